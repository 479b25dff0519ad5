// Tokenizing SQL text and reading its FROM table and ORDER BY columns.
#include "dataset/sql_text.h"

#include <cctype>

#include "dataset/dataset.h"
#include "dataset/text.h"

namespace dataset {

namespace {

bool IsWordStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '@' || c == '#' || c >= 0x80;
}
bool IsWordPart(unsigned char c) {
  return IsWordStart(c) || std::isdigit(c) || c == '$';
}

// Scans a quoted run starting at `i` (the opening quote) up to the closing
// `close`, a doubled closing quote standing for one. Returns the text
// between the quotes and leaves `i` after the closing quote (or at the end
// of an unterminated run).
std::string ScanQuoted(const std::string& sql, size_t& i, char close) {
  std::string text;
  ++i;
  while (i < sql.size()) {
    if (sql[i] == close) {
      if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
        text += close;
        i += 2;
        continue;
      }
      ++i;
      return text;
    }
    text += sql[i++];
  }
  return text;
}

bool IsWord(const TSqlToken& token, const char* word) {
  return token.kind == TSqlToken::kWord && SameText(token.text, word);
}

bool IsSymbol(const TSqlToken& token, char symbol) {
  return token.kind == TSqlToken::kSymbol && token.text[0] == symbol;
}

bool IsName(const TSqlToken& token) {
  return (token.kind == TSqlToken::kWord || token.kind == TSqlToken::kQuotedName) &&
         !token.text.empty();
}

// Words that end an ORDER BY clause.
bool EndsOrderBy(const TSqlToken& token) {
  static const char* const kWords[] = {"LIMIT", "OFFSET", "FETCH", "FOR", "ROWS", "UNION", "TOP"};
  for (const char* word : kWords) {
    if (IsWord(token, word)) return true;
  }
  return false;
}

// Reads one ORDER BY item (tokens [begin, end)) into `column`; false when
// it is an expression rather than a column.
bool ReadOrderByItem(const std::vector<TSqlToken>& tokens, size_t begin, size_t end,
                     TOrderByColumn& column) {
  // Modifiers after the column.
  while (end > begin) {
    const TSqlToken& last = tokens[end - 1];
    if (IsWord(last, "ASC")) {
      --end;
    } else if (IsWord(last, "DESC")) {
      column.descending = true;
      --end;
    } else if ((IsWord(last, "FIRST") || IsWord(last, "LAST")) && end - begin >= 2 &&
               IsWord(tokens[end - 2], "NULLS")) {
      end -= 2;
    } else if (end - begin >= 2 && IsWord(tokens[end - 2], "COLLATE")) {
      end -= 2;
    } else {
      break;
    }
  }
  if (end == begin) return false;
  if (end - begin == 1 && tokens[begin].kind == TSqlToken::kNumber) {
    int64_t position = 0;
    if (!TryStrToInt64(tokens[begin].text, position) || position < 1 || position > 65535)
      return false;
    column.position = static_cast<int>(position);
    return true;
  }
  // name ( "." name )*
  for (size_t i = begin; i < end; ++i) {
    bool expect_name = (i - begin) % 2 == 0;
    if (expect_name ? !IsName(tokens[i]) : !IsSymbol(tokens[i], '.')) return false;
  }
  if ((end - begin) % 2 == 0) return false;  // ends with a dot
  column.name = tokens[end - 1].text;
  return true;
}

}  // namespace

std::vector<TSqlToken> TokenizeSql(const std::string& sql) {
  std::vector<TSqlToken> tokens;
  size_t i = 0;
  const size_t n = sql.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(sql[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t close = sql.find("*/", i + 2);
      i = close == std::string::npos ? n : close + 2;
    } else if (c == '\'') {
      size_t start = i;
      ScanQuoted(sql, i, '\'');
      tokens.push_back({TSqlToken::kString, sql.substr(start, i - start)});
    } else if (c == '"') {
      tokens.push_back({TSqlToken::kQuotedName, ScanQuoted(sql, i, '"')});
    } else if (c == '[') {
      tokens.push_back({TSqlToken::kQuotedName, ScanQuoted(sql, i, ']')});
    } else if (IsWordStart(c)) {
      size_t start = i;
      while (i < n && IsWordPart(static_cast<unsigned char>(sql[i]))) ++i;
      tokens.push_back({TSqlToken::kWord, sql.substr(start, i - start)});
    } else if (std::isdigit(c)) {
      size_t start = i;
      while (i < n && (std::isdigit(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
      tokens.push_back({TSqlToken::kNumber, sql.substr(start, i - start)});
    } else {
      tokens.push_back({TSqlToken::kSymbol, std::string(1, sql[i])});
      ++i;
    }
  }
  return tokens;
}

std::string TableNameFromSQL(const std::string& sql) {
  std::vector<TSqlToken> tokens = TokenizeSql(sql);
  size_t from = 0;
  while (from < tokens.size() && !IsWord(tokens[from], "FROM")) ++from;
  size_t i = from + 1;
  if (i >= tokens.size() || !IsName(tokens[i])) return "";
  std::string name = tokens[i].text;
  while (i + 2 < tokens.size() && IsSymbol(tokens[i + 1], '.') && IsName(tokens[i + 2])) {
    name += "." + tokens[i + 2].text;
    i += 2;
  }
  return name;
}

std::vector<TOrderByColumn> OrderByColumns(const std::string& sql) {
  std::vector<TSqlToken> tokens = TokenizeSql(sql);
  // The last ORDER BY outside parentheses.
  size_t start = tokens.size();
  int depth = 0;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (IsSymbol(tokens[i], '(')) ++depth;
    if (IsSymbol(tokens[i], ')') && depth > 0) --depth;
    if (depth == 0 && IsWord(tokens[i], "ORDER") && IsWord(tokens[i + 1], "BY")) start = i + 2;
  }
  std::vector<TOrderByColumn> columns;
  size_t item = start;
  depth = 0;
  for (size_t i = start; i <= tokens.size(); ++i) {
    bool at_end =
        i == tokens.size() || (depth == 0 && (IsSymbol(tokens[i], ';') ||
                                              IsSymbol(tokens[i], ')') || EndsOrderBy(tokens[i])));
    if (at_end || (depth == 0 && IsSymbol(tokens[i], ','))) {
      TOrderByColumn column;
      if (i > item && ReadOrderByItem(tokens, item, i, column)) columns.push_back(column);
      item = i + 1;
      if (at_end) break;
      continue;
    }
    if (IsSymbol(tokens[i], '(')) ++depth;
    if (IsSymbol(tokens[i], ')')) --depth;
  }
  return columns;
}

std::unique_ptr<TIndexDef> IndexDefForOrderBy(const std::string& sql, const TDataSet& dataset) {
  std::string fields, desc_fields;
  for (const TOrderByColumn& column : OrderByColumns(sql)) {
    TField* field = nullptr;
    if (column.position > 0) {
      if (column.position <= dataset.FieldCount()) field = dataset.Fields()[column.position - 1];
    } else {
      field = dataset.FindField(column.name);
    }
    if (!field) continue;
    fields += (fields.empty() ? "" : ";") + field->FieldName();
    if (column.descending) desc_fields += (desc_fields.empty() ? "" : ";") + field->FieldName();
  }
  if (fields.empty()) return nullptr;
  auto def = std::make_unique<TIndexDef>("", fields, TIndexOptions{});
  def->SetDescFields(desc_fields);
  return def;
}

}  // namespace dataset
