#include "engine/schema/ddl.h"

#include <algorithm>
#include <vector>

#include "engine/base/sql_text.h"

namespace nce {
namespace {

struct Token {
  size_t begin, end;  // byte range in the statement
  std::string upper;  // upper-cased text of a word, empty for other tokens
  char symbol = 0;    // '(' ')' ',' for those, 0 otherwise
};

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Words, quoted names and the symbols ( ) , of a statement; comments and
// other characters are skipped.
std::vector<Token> Tokenise(std::string_view s) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      size_t end = s.find('\n', i);
      i = end == std::string_view::npos ? s.size() : end + 1;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 2;
    } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      while (j < s.size() &&
             !(s[j] == close && !(close != ']' && j + 1 < s.size() && s[j + 1] == close)))
        j += (s[j] == close) ? 2 : 1;
      j = std::min(j + 1, s.size());
      tokens.push_back({i, j, "\"", 0});
      i = j;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < s.size() && IsWordChar(s[j])) ++j;
      tokens.push_back({i, j, UpperAscii(s.substr(i, j - i)), 0});
      i = j;
    } else if (c == '(' || c == ')' || c == ',') {
      tokens.push_back({i, i + 1, "", c});
      ++i;
    } else {
      ++i;
    }
  }
  return tokens;
}

bool IsTableConstraint(const std::string& word) {
  return word == "CONSTRAINT" || word == "PRIMARY" || word == "UNIQUE" || word == "CHECK" ||
         word == "FOREIGN";
}

// Index of the '(' opening the column list of a CREATE TABLE, or the
// token count when there is none.
size_t ColumnListOpen(const std::vector<Token>& tokens) {
  size_t t = 0;
  while (t < tokens.size() && tokens[t].symbol != '(') ++t;
  return t;
}

// A quoted name's text without its quotes.
std::string Unquote(std::string_view quoted) {
  if (quoted.size() < 2) return std::string(quoted);
  char close = quoted.front() == '[' ? ']' : quoted.front();
  std::string name;
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    name += quoted[i];
    if (quoted[i] == close && close != ']') ++i;  // a doubled quote stands for one
  }
  return name;
}

}  // namespace

size_t ColumnListEnd(std::string_view create) {
  std::vector<Token> tokens = Tokenise(create);
  int depth = 0;
  for (size_t t = ColumnListOpen(tokens); t < tokens.size(); ++t) {
    if (tokens[t].symbol == '(') ++depth;
    if (tokens[t].symbol == ')' && --depth == 0) return tokens[t].begin;
  }
  return std::string_view::npos;
}

size_t NamedConstraintsBegin(std::string_view create, std::string_view name_prefix) {
  std::vector<Token> tokens = Tokenise(create);
  int depth = 0;
  for (size_t t = ColumnListOpen(tokens); t + 2 < tokens.size(); ++t) {
    if (tokens[t].symbol == '(') ++depth;
    if (tokens[t].symbol == ')') --depth;
    if (depth == 1 && tokens[t].symbol == ',' && tokens[t + 1].upper == "CONSTRAINT" &&
        tokens[t + 2].upper == "\"" &&
        create.substr(tokens[t + 2].begin + 1).substr(0, name_prefix.size()) == name_prefix)
      return tokens[t].begin;
  }
  return std::string_view::npos;
}

namespace {

// The token of the table an ALTER TABLE statement names; 0 for other
// statements.
size_t AlterNameToken(std::string_view statement, const std::vector<Token>& tokens) {
  if (tokens.size() < 3 || tokens[0].upper != "ALTER" || tokens[1].upper != "TABLE") return 0;
  // schema.table: the table is the name after the dot.
  if (tokens.size() > 3 &&
      statement.substr(tokens[2].end, tokens[3].begin - tokens[2].end).find('.') !=
          std::string_view::npos)
    return 3;
  return 2;
}

std::string NameOf(std::string_view statement, const Token& token) {
  std::string_view text = statement.substr(token.begin, token.end - token.begin);
  return token.upper == "\"" ? Unquote(text) : std::string(text);
}

}  // namespace

std::string AlterTarget(std::string_view statement) {
  std::vector<Token> tokens = Tokenise(statement);
  size_t name = AlterNameToken(statement, tokens);
  return name ? NameOf(statement, tokens[name]) : std::string();
}

std::string AlterRenameTarget(std::string_view statement) {
  std::vector<Token> tokens = Tokenise(statement);
  size_t name = AlterNameToken(statement, tokens);
  if (!name || tokens.size() != name + 4 || tokens[name + 1].upper != "RENAME" ||
      tokens[name + 2].upper != "TO")
    return std::string();
  return NameOf(statement, tokens[name + 3]);
}

ColumnChange ReadColumnChange(std::string_view statement) {
  std::vector<Token> tokens = Tokenise(statement);
  size_t name = AlterNameToken(statement, tokens);
  ColumnChange change;
  if (!name || tokens.size() < name + 3) return change;
  const std::string& verb = tokens[name + 1].upper;
  size_t t = name + 2;
  if (tokens[t].upper == "COLUMN") ++t;
  if (t >= tokens.size()) return change;
  const std::string& first = tokens[t].upper;
  if (tokens[t].symbol || first == "IF" || first == "CONSTRAINT" || IsTableConstraint(first) ||
      first == "EXCLUDE")
    return change;
  if (verb == "ADD") {
    // One definition: no ',' outside its parentheses (NUMERIC(10,2) has one inside).
    int depth = 0;
    for (size_t k = t; k < tokens.size(); ++k) {
      if (tokens[k].symbol == '(') ++depth;
      if (tokens[k].symbol == ')') --depth;
      if (tokens[k].symbol == ',' && depth == 0) return change;
    }
    size_t end = statement.find_last_not_of(" \t\r\n;");
    change.kind = ColumnChange::Kind::kAdd;
    change.column = NameOf(statement, tokens[t]);
    change.definition = std::string(statement.substr(tokens[t].begin, end + 1 - tokens[t].begin));
  } else if (verb == "DROP" && tokens.size() == t + 1) {
    change.kind = ColumnChange::Kind::kDrop;
    change.column = NameOf(statement, tokens[t]);
  } else if (verb == "RENAME" && tokens.size() == t + 3 && tokens[t + 1].upper == "TO" &&
             first != "TO") {
    change.kind = ColumnChange::Kind::kRename;
    change.column = NameOf(statement, tokens[t]);
    change.new_name = NameOf(statement, tokens[t + 2]);
  }
  return change;
}

bool IsSchemaStatement(std::string_view keyword) {
  return keyword == "CREATE" || keyword == "DROP" || keyword == "ALTER";
}

std::string RewriteEngineTypes(std::string_view statement) {
  std::vector<Token> tokens = Tokenise(statement);
  // CREATE [TEMP|TEMPORARY] TABLE ... ( column definitions )
  size_t t = 0;
  if (tokens.empty() || tokens[0].upper != "CREATE") return std::string(statement);
  t = 1;
  if (t < tokens.size() && (tokens[t].upper == "TEMP" || tokens[t].upper == "TEMPORARY")) ++t;
  if (t >= tokens.size() || tokens[t].upper != "TABLE") return std::string(statement);
  while (t < tokens.size() && tokens[t].symbol != '(') {
    if (tokens[t].upper == "AS") return std::string(statement);  // CREATE TABLE ... AS SELECT
    ++t;
  }
  if (t >= tokens.size()) return std::string(statement);

  // (position in the statement, text to insert), in increasing position.
  std::vector<std::pair<size_t, std::string>> inserts;
  int depth = 0;
  bool at_definition_start = true;
  for (++t; t < tokens.size(); ++t) {
    const Token& token = tokens[t];
    if (token.symbol == '(') {
      ++depth;
      continue;
    }
    if (token.symbol == ')') {
      if (depth == 0) break;
      --depth;
      continue;
    }
    if (depth > 0) continue;
    if (token.symbol == ',') {
      at_definition_start = true;
      continue;
    }
    if (!at_definition_start) continue;
    at_definition_start = false;
    if (IsTableConstraint(token.upper) || t + 1 >= tokens.size()) continue;
    const Token& type = tokens[t + 1];  // token after the column name
    if (type.upper == "MEMO") {
      inserts.emplace_back(type.end, " TEXT");
    } else if (type.upper == "IMAGE" || type.upper == "RAW" || type.upper == "MONEY") {
      inserts.emplace_back(type.end, " BLOB");
    } else if (type.upper == "CICHAR") {
      size_t end = type.end;
      if (t + 2 < tokens.size() && tokens[t + 2].symbol == '(') {
        size_t k = t + 2;
        while (k < tokens.size() && tokens[k].symbol != ')') ++k;
        if (k < tokens.size()) end = tokens[k].end;
      }
      inserts.emplace_back(end, " COLLATE NOCASE");
    }
  }
  std::string result;
  size_t copied = 0;
  for (const auto& [position, text] : inserts) {
    result.append(statement.substr(copied, position - copied));
    result += text;
    copied = position;
  }
  result.append(statement.substr(copied));
  return result;
}

}  // namespace nce
