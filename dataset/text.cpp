#include "dataset/text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "dataset/exceptions.h"

namespace dataset {

namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsSpace(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

bool SameText(const std::string& a, const std::string& b) {
  return CompareText(a, b) == 0;
}

int CompareText(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(Lower(a[i]));
    unsigned char y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string UpperCase(std::string s) {
  for (char& c : s) c = Upper(c);
  return s;
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = Lower(c);
  return s;
}

std::string_view TrimView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Trim(const std::string& s) {
  return std::string(TrimView(s));
}

bool IsValidIdent(const std::string& name) {
  if (name.empty()) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!alpha(name[0])) return false;
  for (char c : name)
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

std::string QuotedStr(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string IntToStr(int64_t value) {
  return std::to_string(value);
}

bool TryStrToInt64(const std::string& s, int64_t& value) {
  std::string t = Trim(s);
  if (t.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
  int base = 10;
  if (i < t.size() && t[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return false;
  uint64_t magnitude = 0;
  const char* first = t.data() + i;
  const char* last = t.data() + t.size();
  auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
  if (ec != std::errc() || ptr != last) return false;
  if (base == 16 && !negative) {
    // Hexadecimal text spells the bit pattern, so "$FFFFFFFFFFFFFFFF" is -1.
    value = static_cast<int64_t>(magnitude);
    return true;
  }
  if (negative) {
    if (magnitude > uint64_t{1} << 63) return false;
    value = static_cast<int64_t>(0 - magnitude);
  } else {
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    value = static_cast<int64_t>(magnitude);
  }
  return true;
}

int64_t StrToInt64(const std::string& s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
  return v;
}

int32_t StrToInt(const std::string& s) {
  int64_t v = StrToInt64(s);
  if (v < INT32_MIN || v > INT32_MAX)
    throw EConvertError("'" + s + "' is not a valid integer value");
  return static_cast<int32_t>(v);
}

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // Shortest round-trip digits in scientific form, then laid out.
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  (void)ec;
  std::string sci(buf, end);
  bool negative = sci[0] == '-';
  if (negative) sci.erase(0, 1);
  size_t e = sci.find('e');
  int exponent = std::atoi(sci.c_str() + e + 1);
  std::string digits;
  for (size_t i = 0; i < e; ++i)
    if (sci[i] != '.') digits += sci[i];
  std::string out;
  if (exponent < -5 || exponent > 15) {
    out = digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::string(exponent < 0 ? "-" : "") + std::to_string(std::abs(exponent));
  } else if (exponent < 0) {
    out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    size_t int_len = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= int_len) {
      out = digits + std::string(int_len - digits.size(), '0');
    } else {
      out = digits.substr(0, int_len) + "." + digits.substr(int_len);
    }
  }
  return negative ? "-" + out : out;
}

bool TryStrToFloat(const std::string& s, double& value) {
  std::string t = Trim(s);
  if (t.empty()) return false;
  // Only plain decimal forms: no hexadecimal floats, no "nan"/"inf" words.
  size_t i = 0;
  if (t[i] == '+' || t[i] == '-') ++i;
  bool digits = false;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
  }
  if (!digits) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    bool exp_digits = false;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, exp_digits = true;
    if (!exp_digits) return false;
  }
  if (i != t.size()) return false;
  // from_chars, unlike strtod, ignores the process locale (Qt sets one).
  size_t start = t[0] == '+' ? 1 : 0;
  double v = 0;
  auto [ptr, ec] = std::from_chars(t.data() + start, t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size()) return false;
  value = v;
  return true;
}

double StrToFloat(const std::string& s) {
  double v;
  if (!TryStrToFloat(s, v)) throw EConvertError("'" + s + "' is not a valid floating point value");
  return v;
}

}  // namespace dataset
