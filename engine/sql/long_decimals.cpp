#include "engine/sql/long_decimals.h"

#include <vector>

#include "engine/base/sql_scan.h"
#include "engine/base/sql_text.h"

namespace nce {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsWordChar(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

struct Token {
  enum class Kind { kWord, kNumber, kQuoted, kSymbol };
  Kind kind;
  size_t begin, end;  // in the statement
  bool is(char symbol, std::string_view sql) const {
    return kind == Kind::kSymbol && sql[begin] == symbol;
  }
};

// The end of a number starting at `i` (digits, a point, digits, an
// exponent), or `i` when the characters there make a word such as 1abc.
size_t NumberEnd(std::string_view sql, size_t i) {
  size_t j = i;
  while (j < sql.size() && IsDigit(sql[j])) ++j;
  if (j < sql.size() && sql[j] == '.') {
    ++j;
    while (j < sql.size() && IsDigit(sql[j])) ++j;
  }
  if (j < sql.size() && (sql[j] == 'e' || sql[j] == 'E')) {
    size_t k = j + 1;
    if (k < sql.size() && (sql[k] == '+' || sql[k] == '-')) ++k;
    if (k < sql.size() && IsDigit(sql[k])) {
      while (k < sql.size() && IsDigit(sql[k])) ++k;
      j = k;
    }
  }
  if (j < sql.size() && (IsWordChar(sql[j]) || sql[j] == '.')) return i;
  return j;
}

// The statement's tokens, without white space and comments.
std::vector<Token> Tokens(std::string_view sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
      ++i;
      continue;
    }
    if (size_t end = CommentEnd(sql, i); end != i) {
      i = end;
      continue;
    }
    if (IsQuoteMark(c)) {
      size_t end = QuotedEnd(sql, i);
      if (end == std::string_view::npos) end = sql.size();
      tokens.push_back({Token::Kind::kQuoted, i, end});
      i = end;
      continue;
    }
    // ".5" is a number, but "t.5" names something of t.
    bool number_start =
        IsDigit(c) ||
        (c == '.' && i + 1 < sql.size() && IsDigit(sql[i + 1]) &&
         !(i > 0 && (IsWordChar(sql[i - 1]) || IsQuoteMark(sql[i - 1]) || sql[i - 1] == ']')));
    if (number_start) {
      if (size_t end = NumberEnd(sql, i); end != i) {
        tokens.push_back({Token::Kind::kNumber, i, end});
        i = end;
        continue;
      }
    }
    if (IsWordChar(c)) {
      size_t end = i;
      while (end < sql.size() && IsWordChar(sql[end])) ++end;
      tokens.push_back({Token::Kind::kWord, i, end});
      i = end;
      continue;
    }
    tokens.push_back({Token::Kind::kSymbol, i, i + 1});
    ++i;
  }
  return tokens;
}

// Whether `number` is a decimal literal (with a point, no exponent) of more
// significant digits than a double keeps.
bool IsLongDecimal(std::string_view number) {
  size_t point = number.find('.');
  if (point == std::string_view::npos || number.find_first_of("eE") != std::string_view::npos)
    return false;
  std::string_view whole = number.substr(0, point), fraction = number.substr(point + 1);
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  if (whole.empty())
    while (!fraction.empty() && fraction.front() == '0') fraction.remove_prefix(1);
  return whole.size() + fraction.size() > kDoubleDigits;
}

// Whether tokens[0, end) end in a bare column reference (name, "name",
// t.name) that stands as a whole operand: what precedes it is no operator.
bool EndsInColumn(const std::vector<Token>& tokens, size_t end, std::string_view sql) {
  auto is_name = [&](const Token& t) {
    if (t.kind == Token::Kind::kQuoted) return sql[t.begin] != '\'';
    return t.kind == Token::Kind::kWord &&
           UpperAscii(sql.substr(t.begin, t.end - t.begin)) != "END";  // CASE ... END
  };
  if (end == 0 || !is_name(tokens[end - 1])) return false;
  size_t k = end - 1;
  while (k >= 2 && tokens[k - 1].is('.', sql) && is_name(tokens[k - 2])) k -= 2;
  if (k == 0) return true;
  const Token& before = tokens[k - 1];
  return before.kind == Token::Kind::kWord || before.is('(', sql) || before.is(',', sql);
}

// The start of the equality operator (=, ==, <>, !=) that tokens[0, end)
// end in, or npos.
size_t EqualityStart(const std::vector<Token>& tokens, size_t end, std::string_view sql) {
  if (end == 0) return std::string::npos;
  const Token& last = tokens[end - 1];
  if (last.is('>', sql))
    return end >= 2 && tokens[end - 2].is('<', sql) && tokens[end - 2].end == last.begin
               ? end - 2
               : std::string::npos;
  if (!last.is('=', sql)) return std::string::npos;
  if (end >= 2 && tokens[end - 2].end == last.begin &&
      (tokens[end - 2].is('=', sql) || tokens[end - 2].is('!', sql)))
    return end - 2;
  if (end >= 2 && tokens[end - 2].end == last.begin &&
      (tokens[end - 2].is('<', sql) || tokens[end - 2].is('>', sql)))
    return std::string::npos;  // <= and >=
  return end - 1;
}

// What the scan knows of one level of parentheses.
struct Level {
  bool row = false;         // the parentheses of a VALUES row
  bool expect_row = false;  // a '(' here opens a VALUES row
  bool after_row = false;   // a VALUES row just closed here
  bool in_set = false;      // inside the assignments of UPDATE ... SET
};

}  // namespace

std::string ColumnLongDecimalsAsText(std::string_view sql) {
  std::vector<Token> tokens = Tokens(sql);
  std::vector<Level> levels(1);
  bool inserts = false, updates = false;          // the statement so far has INSERT/REPLACE, UPDATE
  std::vector<std::pair<size_t, size_t>> quoted;  // (begin, end) of the literals to quote
  for (size_t k = 0; k < tokens.size(); ++k) {
    const Token& t = tokens[k];
    Level& level = levels.back();
    if (t.is('(', sql)) {
      bool row = level.expect_row;
      level.expect_row = level.after_row = false;
      levels.push_back(Level{row});
      continue;
    }
    if (t.is(')', sql)) {
      if (levels.size() == 1) continue;
      bool row = level.row;
      levels.pop_back();
      levels.back().after_row = row;
      levels.back().expect_row = false;
      continue;
    }
    if (t.is(',', sql)) {
      level.expect_row = level.after_row;
      level.after_row = false;
      continue;
    }
    level.expect_row = level.after_row = false;
    if (t.is(';', sql)) {  // the next statement of a trigger's body
      levels.assign(1, Level{});
      inserts = updates = false;
      continue;
    }
    if (t.kind == Token::Kind::kWord) {
      std::string word = UpperAscii(sql.substr(t.begin, t.end - t.begin));
      if (word == "INSERT" || word == "REPLACE") inserts = true;
      if (word == "UPDATE") updates = true;
      if (word == "VALUES" && inserts) level.expect_row = true;
      if (word == "SET" && updates) level.in_set = true;
      if (word == "WHERE" || word == "FROM" || word == "RETURNING") level.in_set = false;
      continue;
    }
    if (t.kind != Token::Kind::kNumber || !IsLongDecimal(sql.substr(t.begin, t.end - t.begin)))
      continue;
    // A sign written against the number belongs to the value.
    size_t first = k;
    if (k > 0 && (tokens[k - 1].is('-', sql) || tokens[k - 1].is('+', sql)) &&
        tokens[k - 1].end == t.begin)
      first = k - 1;
    const Token* before = first > 0 ? &tokens[first - 1] : nullptr;
    const Token* after = k + 1 < tokens.size() ? &tokens[k + 1] : nullptr;
    bool row_item = level.row && before && (before->is('(', sql) || before->is(',', sql)) &&
                    after && (after->is(',', sql) || after->is(')', sql));
    bool assigned =
        level.in_set && before && before->is('=', sql) && first >= 2 &&
        (tokens[first - 2].kind == Token::Kind::kWord ||
         tokens[first - 2].kind == Token::Kind::kQuoted) &&
        (!after || after->is(',', sql) || after->is(';', sql) || after->kind == Token::Kind::kWord);
    size_t equality = EqualityStart(tokens, first, sql);
    bool compared =
        !assigned && equality != std::string::npos && EndsInColumn(tokens, equality, sql);
    if (row_item || assigned || compared) quoted.emplace_back(tokens[first].begin, t.end);
  }
  std::string out;
  out.reserve(sql.size() + 2 * quoted.size());
  size_t copied = 0;
  for (const auto& [begin, end] : quoted) {
    out.append(sql.substr(copied, begin - copied));
    out += '\'';
    out.append(sql.substr(begin, end - begin));
    out += '\'';
    copied = end;
  }
  out.append(sql.substr(copied));
  return out;
}

}  // namespace nce
