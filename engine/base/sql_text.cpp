#include "engine/base/sql_text.h"

namespace nce {
namespace {
char UpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

std::string QuoteIdentifier(std::string_view name) {
  std::string result = "\"";
  for (char c : name) {
    result += c;
    if (c == '"') result += '"';
  }
  return result + "\"";
}

std::string QuoteLiteral(std::string_view text) {
  std::string result = "'";
  for (char c : text) {
    result += c;
    if (c == '\'') result += '\'';
  }
  return result + "'";
}

std::string BlobLiteral(std::string_view bytes) {
  static const char* kHex = "0123456789ABCDEF";
  std::string sql = "X'";
  for (unsigned char b : bytes) {
    sql += kHex[b >> 4];
    sql += kHex[b & 15];
  }
  return sql + "'";
}

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperChar(c);
  return result;
}

std::string LowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

}  // namespace nce
