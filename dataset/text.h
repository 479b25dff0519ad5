// Text helpers shared by the framework: case-insensitive comparison,
// identifiers, quoting, and the framework's text forms of numbers.
// Text is 8-bit; letter case folding touches ASCII letters only.
#ifndef DATASET_TEXT_H
#define DATASET_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace dataset {

// Comparison and case.
bool SameText(const std::string& a, const std::string& b);
// <0, 0 or >0 like strcmp, ignoring ASCII letter case.
int CompareText(const std::string& a, const std::string& b);
std::string UpperCase(std::string s);
std::string LowerCase(std::string s);
std::string Trim(const std::string& s);  // Removes control characters and spaces at both ends
// The same trim as a view into `s`: nothing is copied.
std::string_view TrimView(std::string_view s);

// True when `name` is an identifier: a letter or underscore, then letters,
// digits or underscores.
bool IsValidIdent(const std::string& name);

// 's' with every apostrophe doubled, enclosed in apostrophes.
std::string QuotedStr(const std::string& s);

// Numbers as text. The decimal separator is always ".".
std::string IntToStr(int64_t value);
// Decimal integer with optional sign and surrounding spaces; "$"-prefixed
// hexadecimal is accepted too. Raises EConvertError
// "'s' is not a valid integer value", or when out of 64-bit range.
int64_t StrToInt64(const std::string& s);
bool TryStrToInt64(const std::string& s, int64_t& value);
// As StrToInt64, and raises EConvertError when the value does not fit 32 bits.
int32_t StrToInt(const std::string& s);
// The shortest text that reads back as the same double, in plain notation
// for exponents -5 to 15 ("0.1", "1.5", "100") and "1.5E20" otherwise;
// "NAN", "INF", "-INF" for the special values.
std::string FloatToStr(double value);
// Decimal with optional sign, fraction and exponent. Raises EConvertError
// "'s' is not a valid floating point value".
double StrToFloat(const std::string& s);
bool TryStrToFloat(const std::string& s, double& value);

}  // namespace dataset

#endif  // DATASET_TEXT_H
