#include "engine/interchange/csv/csv_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "engine/base/dates.h"
#include "engine/base/money.h"
#include "nce/nce.h"

namespace nce {
namespace {

// A double holds every decimal of at most this many significant digits
// exactly (DBL_DIG). The engine keeps numeric fields with decimals as
// doubles and formats them by scaling to a whole number of units, which is
// exact below 10^15 units.
constexpr size_t kExactDigits = 15;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view s) {
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

// Two digits at `s` as a number; -1 when either is no digit.
int TwoDigits(const char* s) {
  return IsDigit(s[0]) && IsDigit(s[1]) ? (s[0] - '0') * 10 + (s[1] - '0') : -1;
}

// Writes `n` as `width` digits with leading zeros at `out`.
char* PutDigits(char* out, int64_t n, int width) {
  for (int i = width - 1; i >= 0; --i, n /= 10) out[i] = static_cast<char>('0' + n % 10);
  return out + width;
}

// "YYYY-MM-DD" at `out`; returns the end.
char* PutDate(char* out, int64_t julian) {
  CivilDate d = CivilFromJulian(julian);
  out = PutDigits(out, d.year, 4);
  *out++ = '-';
  out = PutDigits(out, d.month, 2);
  *out++ = '-';
  return PutDigits(out, d.day, 2);
}

// "HH:MM:SS.mmm" at `out`; returns the end.
char* PutTime(char* out, int64_t ms) {
  out = PutDigits(out, ms / 3600000, 2);
  *out++ = ':';
  out = PutDigits(out, ms / 60000 % 60, 2);
  *out++ = ':';
  out = PutDigits(out, ms / 1000 % 60, 2);
  *out++ = '.';
  return PutDigits(out, ms % 1000, 3);
}

// Sets `*out` to a text value without giving up its buffer.
void SetText(Value* out, std::string_view text) {
  out->kind = Value::Kind::kText;
  out->bytes.assign(text.data(), text.size());
}

void SetInteger(Value* out, int64_t v) {
  out->kind = Value::Kind::kInteger;
  out->integer = v;
}

// The range of whole numbers each integer type holds. The smallest value
// of each width is the field's null form in record images, so it is not a
// value; auto-increment fields count from 0 and keep all ones for null.
struct WholeRange {
  int64_t low;
  int64_t high;
};
WholeRange RangeOf(uint16_t type) {
  switch (type) {
    case NDS_SHORTINT:
      return {-32767, 32767};
    case NDS_AUTOINC:
      return {0, 4294967294};
    case NDS_ROWVERSION:
      return {-std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max()};
    default:
      return {-2147483647, 2147483647};
  }
}

// Reads a whole number: a decimal whose fraction is zeros only. Returns 0,
// or the error number with `*why`.
uint32_t ReadWhole(std::string_view text, const WholeRange& range, int64_t* v, std::string* why) {
  CsvDecimal d;
  if (!ReadCsvDecimal(text, &d) || !SignificantFraction(d).empty()) {
    *why = "\"" + CsvExcerpt(text) + "\" is not a whole number";
    return NDS_E_VALUE_INVALID;
  }
  uint64_t magnitude = 0;
  bool fits = d.whole.size() <= 19;
  if (fits && !d.whole.empty())
    fits = std::from_chars(d.whole.data(), d.whole.data() + d.whole.size(), magnitude).ec ==
           std::errc();
  const uint64_t limit = d.negative ? 0 - static_cast<uint64_t>(range.low) : range.high;
  if (!fits || magnitude > limit) {
    *why = CsvExcerpt(text) + " lies outside " + std::to_string(range.low) + " to " +
           std::to_string(range.high);
    return NDS_E_VALUE_TOO_LONG;
  }
  *v = d.negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return 0;
}

// Writes the decimal `d` as its exact text with at most `decimals` places
// (zeros beyond them dropped; the caller made sure only zeros are) into
// `*out`: no '+', no leading zeros, no sign on zero.
void SetDecimalText(const CsvDecimal& d, size_t decimals, Value* out) {
  out->kind = Value::Kind::kText;
  std::string& s = out->bytes;
  s.clear();
  if (d.negative && !IsZero(d)) s += '-';
  if (d.whole.empty())
    s += '0';
  else
    s.append(d.whole);
  size_t keep = std::max(SignificantFraction(d).size(), std::min(d.fraction.size(), decimals));
  if (keep > 0) {
    s += '.';
    s.append(d.fraction.substr(0, keep));
  }
}

uint32_t NumericValue(const FieldSpec& shape, std::string_view text, Value* out, std::string* why) {
  CsvDecimal d;
  if (!ReadCsvDecimal(text, &d)) {
    *why = "\"" + CsvExcerpt(text) + "\" is not a decimal number";
    return NDS_E_VALUE_INVALID;
  }
  const size_t decimals = shape.decimals;
  const std::string_view fraction = SignificantFraction(d);
  if (fraction.size() > decimals) {
    *why =
        CsvExcerpt(text) + " has more than the column's " + std::to_string(decimals) + " decimals";
    return NDS_E_VALUE_TOO_LONG;
  }
  const size_t width = (d.negative && !IsZero(d) ? 1 : 0) + std::max<size_t>(1, d.whole.size()) +
                       (decimals > 0 ? decimals + 1 : 0);
  if (width > shape.length) {
    *why = CsvExcerpt(text) + " needs " + std::to_string(width) + " characters, more than the " +
           "column's " + std::to_string(shape.length);
    return NDS_E_VALUE_TOO_LONG;
  }
  if (decimals == 0) {
    int64_t whole;
    if (ReadWhole(text, {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()},
                  &whole, why) != 0) {
      *why = CsvExcerpt(text) + " is beyond the 64-bit whole numbers the column holds";
      return NDS_E_VALUE_TOO_LONG;
    }
  } else {
    // Digits from the first that is not zero to the column's last decimal.
    size_t digits = 0;
    if (!d.whole.empty()) {
      digits = d.whole.size() + decimals;
    } else if (!fraction.empty()) {
      digits = decimals - fraction.find_first_not_of('0');
    }
    if (digits > kExactDigits) {
      *why = CsvExcerpt(text) + " has more than the " + std::to_string(kExactDigits) +
             " significant digits the engine keeps exactly";
      return NDS_E_VALUE_TOO_LONG;
    }
  }
  SetDecimalText(d, decimals, out);
  return 0;
}

uint32_t MoneyValue(std::string_view text, Value* out, std::string* why) {
  CsvDecimal d;
  int64_t scaled;
  if (!ReadCsvDecimal(text, &d)) {
    *why = "\"" + CsvExcerpt(text) + "\" is not an amount";
    return NDS_E_VALUE_INVALID;
  }
  switch (ParseMoney(text, &scaled)) {
    case MoneyParse::kOk:
      break;
    case MoneyParse::kTooManyDecimals:
      *why = CsvExcerpt(text) + " has more than 4 decimals";
      return NDS_E_VALUE_TOO_LONG;
    default:
      *why = CsvExcerpt(text) + " lies outside -922337203685477.5807 to 922337203685477.5807";
      return NDS_E_VALUE_TOO_LONG;
  }
  SetDecimalText(d, 4, out);
  return 0;
}

uint32_t DoubleValue(std::string_view text, Value* out, std::string* why) {
  double v;
  bool out_of_range = false;
  if (!ReadCsvDouble(text, &v, &out_of_range)) {
    *why = "\"" + CsvExcerpt(text) + "\" " +
           (out_of_range ? "lies beyond what a double holds" : "is not a number");
    return out_of_range ? NDS_E_VALUE_TOO_LONG : NDS_E_VALUE_INVALID;
  }
  out->kind = Value::Kind::kReal;
  out->real = v;
  return 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t BlobValue(const FieldSpec& shape, std::string_view text, Value* out, std::string* why) {
  if (text.size() < 2 || text[0] != '\\' || (text[1] != 'x' && text[1] != 'X') ||
      text.size() % 2 != 0) {
    *why = "\"" + CsvExcerpt(text) + "\" is not \\x and two hexadecimal digits per byte";
    return NDS_E_VALUE_INVALID;
  }
  out->kind = Value::Kind::kBlob;
  std::string& bytes = out->bytes;
  bytes.resize((text.size() - 2) / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    int hi = HexDigit(text[2 + 2 * i]), lo = HexDigit(text[3 + 2 * i]);
    if (hi < 0 || lo < 0) {
      *why = "\"" + CsvExcerpt(text) + "\" is not \\x and two hexadecimal digits per byte";
      return NDS_E_VALUE_INVALID;
    }
    bytes[i] = static_cast<char>(hi * 16 + lo);
  }
  if (shape.type == NDS_RAW && bytes.size() > shape.length) {
    *why = std::to_string(bytes.size()) + " bytes, more than the column's " +
           std::to_string(shape.length);
    return NDS_E_VALUE_TOO_LONG;
  }
  return 0;
}

uint32_t CalendarValue(uint16_t type, std::string_view text, Value* out, std::string* why) {
  int64_t julian = 0, ms = 0;
  char buf[32];
  char* end = buf;
  switch (type) {
    case NDS_DATE:
    case NDS_COMPACTDATE:
      if (!ReadCsvDate(text, &julian)) {
        *why = "\"" + CsvExcerpt(text) + "\" is not a date YYYY-MM-DD";
        return NDS_E_VALUE_INVALID;
      }
      SetText(out, text);  // already the form it reads: YYYY-MM-DD
      return 0;
    case NDS_TIME:
      if (!ReadCsvTime(text, &ms)) {
        *why = "\"" + CsvExcerpt(text) + "\" is not a time HH:MM[:SS[.mmm]]";
        return NDS_E_VALUE_INVALID;
      }
      end = PutTime(buf, ms);
      break;
    default:
      if (!ReadCsvTimestamp(text, &julian, &ms)) {
        *why = "\"" + CsvExcerpt(text) + "\" is not a timestamp YYYY-MM-DD HH:MM:SS[.mmm]";
        return NDS_E_VALUE_INVALID;
      }
      end = PutDate(buf, julian);
      *end++ = ' ';
      end = PutTime(end, ms);
      break;
  }
  SetText(out, std::string_view(buf, end - buf));
  return 0;
}

// The decimal value of a number text, for comparing two texts: its sign,
// its significant digits and the power of ten of the last of them. Zero has
// no digits (and no sign).
struct DecimalKey {
  bool negative = false;
  std::string digits;
  int64_t exponent = 0;
  bool operator==(const DecimalKey&) const = default;
};

// False when the text is not of the forms ReadCsvDouble takes, or its
// exponent is beyond reason.
bool KeyOf(std::string_view text, DecimalKey* key) {
  size_t e = text.find_first_of("eE");
  int64_t exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view exp = text.substr(e + 1);
    if (!exp.empty() && exp.front() == '+') exp.remove_prefix(1);
    auto [end, ec] = std::from_chars(exp.data(), exp.data() + exp.size(), exponent);
    if (exp.size() > 9 || ec != std::errc() || end != exp.data() + exp.size()) return false;
    text = text.substr(0, e);
  }
  CsvDecimal d;
  if (!ReadCsvDecimal(text, &d)) return false;
  key->digits.assign(d.whole);
  key->digits.append(d.fraction);
  exponent -= static_cast<int64_t>(d.fraction.size());
  size_t last = key->digits.find_last_not_of('0');
  if (last == std::string::npos) {
    *key = DecimalKey{};
    return true;
  }
  exponent += static_cast<int64_t>(key->digits.size() - 1 - last);
  key->digits.resize(last + 1);
  key->digits.erase(0, key->digits.find_first_not_of('0'));
  key->negative = d.negative;
  key->exponent = exponent;
  return true;
}

struct LogicalWord {
  std::string_view word;
  bool truth;
};
constexpr LogicalWord kLogicalWords[] = {
    {"true", true}, {"false", false}, {"t", true},  {"f", false}, {"yes", true},
    {"no", false},  {"y", true},      {"n", false}, {"1", true},  {"0", false},
};

bool EqualsLower(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

void AppendHex(std::string_view bytes, std::string* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->append("\\x");
  for (unsigned char c : bytes) {
    out->push_back(kHex[c >> 4]);
    out->push_back(kHex[c & 15]);
  }
}

void AppendInteger(int64_t v, std::string* out) {
  char buf[24];
  out->append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The shortest text that reads back as `v`; in fixed notation (never an
// exponent) for decimal columns, whose reader takes plain decimals only.
void AppendReal(double v, bool fixed, std::string* out) {
  char buf[400];  // the longest fixed form of a double has 309 whole digits
  char* end = fixed ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed).ptr
                    : std::to_chars(buf, buf + sizeof buf, v).ptr;
  out->append(buf, end);
}

}  // namespace

bool ReadCsvDecimal(std::string_view text, CsvDecimal* out) {
  *out = CsvDecimal{};
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    out->negative = text.front() == '-';
    text.remove_prefix(1);
  }
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if ((whole.empty() && fraction.empty()) || !AllDigits(whole) || !AllDigits(fraction))
    return false;
  size_t first = whole.find_first_not_of('0');
  out->whole = first == std::string_view::npos ? std::string_view() : whole.substr(first);
  out->fraction = fraction;
  return true;
}

std::string_view SignificantFraction(const CsvDecimal& d) {
  size_t last = d.fraction.find_last_not_of('0');
  return last == std::string_view::npos ? std::string_view() : d.fraction.substr(0, last + 1);
}

bool IsZero(const CsvDecimal& d) {
  return d.whole.empty() && SignificantFraction(d).empty();
}

bool ReadCsvDouble(std::string_view text, double* value, bool* out_of_range) {
  *out_of_range = false;
  // Only the characters of decimal and exponent forms: from_chars would
  // also take "inf" and "nan".
  for (char c : text)
    if (!IsDigit(c) && c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') return false;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+' || text.front() == 'e' || text.front() == 'E')
    return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  if (end != text.data() + text.size()) return false;
  if (ec == std::errc::result_out_of_range) *out_of_range = true;
  return ec == std::errc() && std::isfinite(*value);
}

bool DoubleHoldsExactly(std::string_view text, double value) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  DecimalKey given, held;
  return ec == std::errc() && KeyOf(text, &given) &&
         KeyOf(std::string_view(buf, end - buf), &held) && given == held;
}

bool ReadCsvDate(std::string_view text, int64_t* julian) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int y1 = TwoDigits(text.data()), y2 = TwoDigits(text.data() + 2);
  int m = TwoDigits(text.data() + 5), d = TwoDigits(text.data() + 8);
  if (y1 < 0 || y2 < 0 || m < 0 || d < 0) return false;
  return JulianOfValidDate(CivilDate{y1 * 100 + y2, m, d}, julian);
}

bool ReadCsvTime(std::string_view text, int64_t* ms) {
  if (text.size() < 5 || text[2] != ':') return false;
  int h = TwoDigits(text.data()), m = TwoDigits(text.data() + 3), s = 0, frac = 0;
  size_t pos = 5;
  if (pos < text.size()) {
    if (text.size() < 8 || text[5] != ':') return false;
    s = TwoDigits(text.data() + 6);
    pos = 8;
    if (pos < text.size()) {
      std::string_view digits = text.substr(9);
      if (text[8] != '.' || digits.empty() || !AllDigits(digits)) return false;
      for (size_t i = 0; i < digits.size(); ++i) {
        if (i < 3)
          frac = frac * 10 + (digits[i] - '0');
        else if (digits[i] != '0')
          return false;  // finer than a millisecond
      }
      for (size_t i = digits.size(); i < 3; ++i) frac *= 10;
    }
  }
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return false;
  *ms = ((h * 60 + m) * 60 + s) * 1000LL + frac;
  return true;
}

bool ReadCsvTimestamp(std::string_view text, int64_t* julian, int64_t* ms) {
  if (!ReadCsvDate(text.substr(0, 10), julian)) return false;
  *ms = 0;
  if (text.size() == 10) return true;
  return (text[10] == ' ' || text[10] == 'T') && ReadCsvTime(text.substr(11), ms);
}

bool ReadCsvLogical(std::string_view text, bool* truth) {
  for (const LogicalWord& w : kLogicalWords)
    if (EqualsLower(text, w.word)) {
      *truth = w.truth;
      return true;
    }
  return false;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsCsvTextType(uint16_t type) {
  return type == NDS_STRING || type == NDS_CISTRING || type == NDS_MEMO || type == NDS_VARCHAR;
}

uint32_t CsvFieldValue(const FieldSpec& shape, std::string_view text, Value* out,
                       std::string* why) {
  if (IsCsvTextType(shape.type)) {
    if ((shape.type == NDS_STRING || shape.type == NDS_CISTRING) && text.size() > shape.length) {
      *why = std::to_string(text.size()) + " bytes, more than the column's " +
             std::to_string(shape.length);
      return NDS_E_VALUE_TOO_LONG;
    }
    SetText(out, text);
    return 0;
  }
  text = TrimBlanks(text);
  switch (shape.type) {
    case NDS_LOGICAL: {
      bool truth;
      if (!ReadCsvLogical(text, &truth)) {
        *why = "\"" + CsvExcerpt(text) + "\" is not true or false";
        return NDS_E_VALUE_INVALID;
      }
      SetInteger(out, truth ? 1 : 0);
      return 0;
    }
    case NDS_NUMERIC:
      return NumericValue(shape, text, out, why);
    case NDS_MONEY:
      return MoneyValue(text, out, why);
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      return DoubleValue(text, out, why);
    case NDS_INTEGER:
    case NDS_SHORTINT:
    case NDS_AUTOINC:
    case NDS_ROWVERSION: {
      int64_t v;
      uint32_t error = ReadWhole(text, RangeOf(shape.type), &v, why);
      if (error == 0) SetInteger(out, v);
      return error;
    }
    case NDS_DATE:
    case NDS_COMPACTDATE:
    case NDS_TIME:
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return CalendarValue(shape.type, text, out, why);
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_RAW:
      return BlobValue(shape, text, out, why);
    default:
      *why = "the column's type " + std::to_string(shape.type) + " has no CSV form";
      return NDS_E_VALUE_INVALID;
  }
}

bool AppendCsvText(const FieldSpec& shape, const Value& value, std::string* out) {
  const bool text = value.kind == Value::Kind::kText;
  const bool integer = value.kind == Value::Kind::kInteger;
  const bool real = value.kind == Value::Kind::kReal && std::isfinite(value.real);
  int64_t julian, ms;
  switch (shape.type) {
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_MEMO:
    case NDS_VARCHAR:
      if (!text) return false;
      out->append(value.bytes);
      return true;
    case NDS_LOGICAL:
      if (!integer || (value.integer != 0 && value.integer != 1)) return false;
      out->append(value.integer ? "true" : "false");
      return true;
    case NDS_NUMERIC:
    case NDS_MONEY: {
      CsvDecimal d;
      if (text && !ReadCsvDecimal(value.bytes, &d)) return false;
      if (!text && !integer && !real) return false;
      break;
    }
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      if (!integer && !real) return false;
      break;
    case NDS_INTEGER:
    case NDS_SHORTINT:
    case NDS_AUTOINC:
    case NDS_ROWVERSION:
      if (!integer) return false;
      break;
    case NDS_DATE:
    case NDS_COMPACTDATE:
      if (!text || !ReadCsvDate(value.bytes, &julian)) return false;
      break;
    case NDS_TIME:
      if (!text || !ReadCsvTime(value.bytes, &ms)) return false;
      break;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      if (!text || !ReadCsvTimestamp(value.bytes, &julian, &ms)) return false;
      break;
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_RAW:
      if (value.kind != Value::Kind::kBlob && !text) return false;
      AppendHex(value.bytes, out);
      return true;
    default:
      return false;
  }
  if (text)
    out->append(value.bytes);
  else if (integer)
    AppendInteger(value.integer, out);
  else
    AppendReal(value.real, shape.type == NDS_NUMERIC || shape.type == NDS_MONEY, out);
  return true;
}

std::string CsvExcerpt(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < text.size() && i < 40; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  if (text.size() > 40) out += "...";
  return out;
}

}  // namespace nce
