#include "engine/storage/postgres/postgres_params.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "engine/base/errors.h"
#include "nce/nce.h"

namespace nce {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || IsDigit(c) || c == '$';
}

// The end of the quoted run that starts at `i` (the opening quote `q`);
// doubled quotes stay inside, and so does a quote after a backslash when
// `backslash` (E'...'). An unterminated run ends with the text.
size_t SkipQuoted(std::string_view s, size_t i, char q, bool backslash) {
  for (++i; i < s.size(); ++i) {
    if (backslash && s[i] == '\\') {
      ++i;
    } else if (s[i] == q) {
      if (i + 1 < s.size() && s[i + 1] == q)
        ++i;
      else
        return i + 1;
    }
  }
  return s.size();
}

// The length of a dollar-quote tag ($ or $name$) starting at `i`, 0 if none.
size_t DollarTag(std::string_view s, size_t i) {
  size_t j = i + 1;
  if (j < s.size() && s[j] == '$') return 2;
  if (j >= s.size() || !IsIdentStart(s[j])) return 0;
  while (j < s.size() && IsIdentChar(s[j]) && s[j] != '$') ++j;
  return j < s.size() && s[j] == '$' ? j + 1 - i : 0;
}

// The end of a /* ... */ comment starting at `i`; PostgreSQL nests them.
size_t SkipBlockComment(std::string_view s, size_t i) {
  int depth = 0;
  while (i < s.size()) {
    if (s.compare(i, 2, "/*") == 0) {
      ++depth;
      i += 2;
    } else if (s.compare(i, 2, "*/") == 0) {
      i += 2;
      if (--depth == 0) return i;
    } else {
      ++i;
    }
  }
  return s.size();
}

// The end of the blob literal X'hex' starting at `i` (an even number of
// hexadecimal digits); 0 when there is none there.
size_t BlobLiteralEnd(std::string_view s, size_t i) {
  if (i + 1 >= s.size() || (s[i] != 'x' && s[i] != 'X') || s[i + 1] != '\'') return 0;
  size_t j = i + 2;
  while (j < s.size() && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
  if (j >= s.size() || s[j] != '\'' || (j - i - 2) % 2 != 0) return 0;
  return j + 1;
}

// SQLite's TRUE and FALSE are the integers 1 and 0, which the server's
// boolean is not: a logical field (a numeric column) takes no boolean, and
// a boolean compares with no number. As an untyped literal '1' or '0' the
// server reads either as the type its place wants: 1 or 0 for a number,
// true or false for a condition. After IS and IS NOT the keyword stays.
std::string_view LogicalLiteral(std::string_view word, std::string_view before,
                                std::string_view before_that) {
  auto is = [](std::string_view w, std::string_view upper) {
    return w.size() == upper.size() &&
           std::equal(w.begin(), w.end(), upper.begin(), [](char a, char b) {
             return std::toupper(static_cast<unsigned char>(a)) == b;
           });
  };
  if (is(before, "IS") || (is(before, "NOT") && is(before_that, "IS"))) return {};
  if (is(word, "TRUE")) return "'1'";
  if (is(word, "FALSE")) return "'0'";
  return {};
}

}  // namespace

PostgresText TranslateParameters(std::string_view s) {
  PostgresText out;
  out.sql.reserve(s.size());
  size_t copied = 0;  // s before it is in out.sql
  auto replace = [&](size_t from, size_t to, std::string_view with) {
    out.sql.append(s.substr(copied, from - copied));
    out.sql.append(with);
    copied = to;
  };
  std::string_view before, before_that;  // the words just before, if nothing else came between
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (!IsIdentStart(c) && !std::isspace(static_cast<unsigned char>(c))) before = before_that = {};
    bool after_word = i > 0 && IsIdentChar(s[i - 1]);
    if (c == '\'') {
      // E'...' (also e'...') takes backslash escapes; a word ending in E
      // before the quote (as in "SOME'...") does not start one.
      bool escape =
          i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e') && !(i > 1 && IsIdentChar(s[i - 2]));
      i = SkipQuoted(s, i, '\'', escape);
    } else if (c == '"') {
      i = SkipQuoted(s, i, '"', false);
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      size_t end = s.find('\n', i);
      i = end == std::string_view::npos ? s.size() : end + 1;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      i = SkipBlockComment(s, i);
    } else if (c == '$' && !after_word && DollarTag(s, i) != 0) {
      size_t tag = DollarTag(s, i);
      size_t end = s.find(s.substr(i, tag), i + tag);
      i = end == std::string_view::npos ? s.size() : end + tag;
    } else if (c == '?' && i + 1 < s.size() && IsDigit(s[i + 1])) {
      replace(i, i + 1, "$");
      long n = 0;
      for (++i; i < s.size() && IsDigit(s[i]); ++i)
        n = std::min(n * 10 + (s[i] - '0'), kMaxPostgresParameter + 1);
      out.max_parameter = std::max(out.max_parameter, n);
      if (n == 0) {
        out.zero_marker = true;
      } else if (n <= kMaxPostgresParameter) {
        if (out.used.size() < static_cast<size_t>(n)) out.used.resize(n);
        out.used[n - 1] = true;
      }
    } else if (size_t end = after_word ? 0 : BlobLiteralEnd(s, i)) {
      // SQLite's blob literal; X'...' is a bit string to the server.
      std::string bytea = "'\\x";
      bytea.append(s.substr(i + 2, end - i - 3));
      bytea += "'::bytea";
      replace(i, end, bytea);
      i = end;
    } else if (IsIdentStart(c) || IsDigit(c)) {
      // A whole word or number, so that a '$' inside it starts no quote.
      const size_t start = i;
      while (i < s.size() && IsIdentChar(s[i])) ++i;
      const std::string_view word = s.substr(start, i - start);
      const bool qualified = start > 0 && s[start - 1] == '.';
      if (std::string_view literal = LogicalLiteral(word, before, before_that);
          !literal.empty() && !qualified)
        replace(start, i, literal);
      before_that = before;
      before = word;
    } else {
      ++i;
    }
  }
  out.sql.append(s.substr(copied));
  return out;
}

void RequireParameterNumbers(const PostgresText& text) {
  if (text.zero_marker || text.max_parameter > kMaxPostgresParameter)
    throw EngineError(NDS_E_SQL,
                      "SQL error: NativeError = 0; variable number must be between ?1 and ?" +
                          std::to_string(kMaxPostgresParameter));
}

}  // namespace nce
