// Small helpers for SQL text the engine builds itself.
#ifndef ENGINE_BASE_SQL_TEXT_H
#define ENGINE_BASE_SQL_TEXT_H

#include <string>
#include <string_view>

namespace nce {

// "name" with embedded double quotes doubled: an SQL identifier.
std::string QuoteIdentifier(std::string_view name);
// 'text' with embedded single quotes doubled: an SQL string literal.
std::string QuoteLiteral(std::string_view text);
// X'...' with the bytes in upper-case hexadecimal: an SQL blob literal.
std::string BlobLiteral(std::string_view bytes);
// Upper-case copy (ASCII letters only).
std::string UpperAscii(std::string_view text);
// Lower-case copy (ASCII letters only).
std::string LowerAscii(std::string_view text);
// Case-insensitive comparison of ASCII texts.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace nce

#endif  // ENGINE_BASE_SQL_TEXT_H
