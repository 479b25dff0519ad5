#include "dataset/param_parser.h"

namespace dataset {

namespace {

bool IsQuote(char c) {
  return c == '\'' || c == '"' || c == '`';
}

bool EndsName(char c) {
  return c == ' ' || c == ',' || c == ';' || c == ')' || c == '\r' || c == '\n';
}

// A name written as :"...": the first and the last character go when they
// are quote characters.
std::string StripQuotes(std::string name) {
  if (!name.empty() && IsQuote(name.front())) name.erase(0, 1);
  if (!name.empty() && IsQuote(name.back())) name.pop_back();
  return name;
}

}  // namespace

std::string ParseSQLParams(const std::string& sql, std::vector<std::string>* names) {
  // The scan works on the text up to its first zero byte; the rest is
  // copied unchanged.
  size_t end = sql.find('\0');
  if (end == std::string::npos) end = sql.size();
  std::string out;
  out.reserve(sql.size());
  bool quoted = false;
  size_t i = 0;
  auto at = [&](size_t k) { return k < end ? sql[k] : '\0'; };
  while (i < end) {
    char c = sql[i];
    if (c == ':' && !quoted && at(i + 1) == ':') {
      out += ':';  // "::" stands for one colon and starts no parameter
      i += 2;
      continue;
    }
    if (c == ':' && !quoted) {
      size_t start = i + 1;
      size_t k = start;
      bool quoted_name = false;
      while (k < end && (quoted || !EndsName(sql[k]))) {
        if (IsQuote(sql[k])) {
          quoted = !quoted;
          if (k == start) quoted_name = true;
        }
        ++k;
      }
      std::string name = sql.substr(start, k - start);
      if (names) names->push_back(quoted_name ? StripQuotes(name) : name);
      out += '?';
      if (k < end) out += sql[k];  // the character that ended the name is not examined again
      i = k + 1;
      continue;
    }
    if (IsQuote(c)) quoted = !quoted;
    out += c;
    ++i;
  }
  if (end < sql.size()) out.append(sql, end, std::string::npos);
  return out;
}

}  // namespace dataset
