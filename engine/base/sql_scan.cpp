#include "engine/base/sql_scan.h"

#include <cctype>

namespace nce {

size_t QuotedEnd(std::string_view sql, size_t i) {
  char close = sql[i] == '[' ? ']' : sql[i];
  size_t end = sql.find(close, i + 1);
  return end == std::string_view::npos ? end : end + 1;
}

size_t CommentEnd(std::string_view sql, size_t i) {
  if (sql.substr(i, 2) == "--") {
    size_t end = sql.find('\n', i);
    return end == std::string_view::npos ? sql.size() : end + 1;
  }
  if (sql.substr(i, 2) == "/*") {
    size_t end = sql.find("*/", i + 2);
    return end == std::string_view::npos ? sql.size() : end + 2;
  }
  return i;
}

size_t WordEnd(std::string_view sql, size_t i) {
  while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_')) ++i;
  return i;
}

}  // namespace nce
