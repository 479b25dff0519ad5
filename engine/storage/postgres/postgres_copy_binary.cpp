#include "engine/storage/postgres/postgres_copy_binary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/base/dates.h"
#include "engine/base/errors.h"

namespace nce {
namespace {

// pg_type oids of the types with an encoder (fixed in every server's
// catalog since they are built in).
constexpr uint32_t kBoolOid = 16;
constexpr uint32_t kByteaOid = 17;
constexpr uint32_t kInt8Oid = 20;
constexpr uint32_t kInt2Oid = 21;
constexpr uint32_t kInt4Oid = 23;
constexpr uint32_t kTextOid = 25;
constexpr uint32_t kFloat8Oid = 701;
constexpr uint32_t kVarcharOid = 1043;
constexpr uint32_t kDateOid = 1082;
constexpr uint32_t kTimeOid = 1083;
constexpr uint32_t kTimestampOid = 1114;
constexpr uint32_t kNumericOid = 1700;

// The server's day 0 of dates and timestamps, 2000-01-01, as a Julian day.
constexpr int64_t kServerEpochJulian = 2451545;
constexpr int64_t kMicrosPerDay = 86400000000LL;

// Signs of the numeric receive form; NUMERIC_NAN, NUMERIC_PINF, NUMERIC_NINF.
constexpr uint16_t kNumericPositive = 0x0000;
constexpr uint16_t kNumericNegative = 0x4000;
constexpr uint16_t kNumericNaN = 0xC000;
constexpr uint16_t kNumericPlusInfinity = 0xD000;
constexpr uint16_t kNumericMinusInfinity = 0xF000;
// The server refuses exponents beyond this (NUMERIC_MAX_PRECISION) and
// display scales beyond NUMERIC_DSCALE_MAX; weights stay within an int16.
constexpr int kNumericMaxExponent = 1000;
constexpr int kNumericMaxScale = 0x3FFF;

void Put16(uint16_t v, CopyBuffer* out) {
  char* at = out->Room(2);
  at[0] = static_cast<char>(v >> 8);
  at[1] = static_cast<char>(v);
}
void Put32At(uint32_t v, char* at) {
  at[0] = static_cast<char>(v >> 24);
  at[1] = static_cast<char>(v >> 16);
  at[2] = static_cast<char>(v >> 8);
  at[3] = static_cast<char>(v);
}
void Put32(uint32_t v, CopyBuffer* out) {
  Put32At(v, out->Room(4));
}
void Put64(uint64_t v, CopyBuffer* out) {
  char* at = out->Room(8);
  Put32At(static_cast<uint32_t>(v >> 32), at);
  Put32At(static_cast<uint32_t>(v), at + 4);
}
// The length word of a field of `size` bytes, then its bytes.
void PutField(std::string_view bytes, CopyBuffer* out) {
  Put32(static_cast<uint32_t>(bytes.size()), out);
  out->Append(bytes.data(), bytes.size());
}

[[noreturn]] void Refuse(const std::string& why) {
  throw EngineError(NDS_E_VALUE_INVALID, why);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}
bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// The text the text COPY sends for a real: NaN, the infinities, or the
// shortest text that reads back as the same double.
std::string_view RealText(double real, char (&buffer)[32]) {
  if (std::isnan(real)) return "NaN";
  if (std::isinf(real)) return real < 0 ? "-Infinity" : "Infinity";
  auto end = std::to_chars(buffer, buffer + sizeof buffer, real).ptr;
  return {buffer, static_cast<size_t>(end - buffer)};
}
std::string_view IntegerText(int64_t integer, char (&buffer)[32]) {
  auto end = std::to_chars(buffer, buffer + sizeof buffer, integer).ptr;
  return {buffer, static_cast<size_t>(end - buffer)};
}

// The text a value of any kind is sent as in a text column: what the text
// COPY sends, unescaped as the server unescapes it.
void AppendTextField(const Value& value, CopyBuffer* out) {
  char buffer[32];
  switch (value.kind) {
    case Value::Kind::kInteger:
      PutField(IntegerText(value.integer, buffer), out);
      return;
    case Value::Kind::kReal:
      PutField(RealText(value.real, buffer), out);
      return;
    case Value::Kind::kText:
      if (std::memchr(value.bytes.data(), 0, value.bytes.size()))
        Refuse("A text holds a zero byte, which the server cannot keep.");
      PutField(value.bytes, out);
      return;
    case Value::Kind::kBlob: {
      static const char kHex[] = "0123456789abcdef";
      Put32(static_cast<uint32_t>(2 + 2 * value.bytes.size()), out);
      char* at = out->Room(2 + 2 * value.bytes.size());
      *at++ = '\\';
      *at++ = 'x';
      for (unsigned char c : value.bytes) {
        *at++ = kHex[c >> 4];
        *at++ = kHex[c & 15];
      }
      return;
    }
    default:
      Put32(0xFFFFFFFF, out);
      return;
  }
}

void AppendByteaField(const Value& value, CopyBuffer* out) {
  switch (value.kind) {
    case Value::Kind::kBlob:
      PutField(value.bytes, out);
      return;
    case Value::Kind::kText:
      // The server would read a backslash as the start of an escape.
      if (value.bytes.find('\\') != std::string::npos)
        Refuse("A text holding a backslash cannot be sent for a binary column.");
      AppendTextField(value, out);
      return;
    default:
      AppendTextField(value, out);
      return;
  }
}

// A whole number the column's type holds, from a value whose text the
// server reads as one.
int64_t WholeNumber(const Value& value, int64_t low, int64_t high) {
  char buffer[32];
  std::string_view text;
  switch (value.kind) {
    case Value::Kind::kInteger:
      if (value.integer >= low && value.integer <= high) return value.integer;
      text = IntegerText(value.integer, buffer);
      break;
    case Value::Kind::kReal:
      text = RealText(value.real, buffer);  // "2", or "1e+15", which is none
      break;
    case Value::Kind::kText:
      text = TrimBlanks(value.bytes);
      break;
    default:
      Refuse("The value is not a whole number.");
  }
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  int64_t whole = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), whole);
  if (text.empty() || end != text.data() + text.size() || ec == std::errc::invalid_argument)
    Refuse("\"" + std::string(text) + "\" is not a whole number.");
  if (ec != std::errc() || whole < low || whole > high)
    Refuse("\"" + std::string(text) + "\" is out of its column's range.");
  return whole;
}

void AppendFloat8Field(const Value& value, CopyBuffer* out) {
  double real = 0;
  switch (value.kind) {
    case Value::Kind::kReal:
      real = value.real;
      break;
    case Value::Kind::kInteger:
      // As the server reads the integer's digits: the nearest double.
      real = static_cast<double>(value.integer);
      break;
    case Value::Kind::kText: {
      std::string_view text = TrimBlanks(value.bytes);
      if (EqualsNoCase(text, "NaN")) {
        real = std::numeric_limits<double>::quiet_NaN();
      } else if (EqualsNoCase(text, "Infinity") || EqualsNoCase(text, "+Infinity")) {
        real = std::numeric_limits<double>::infinity();
      } else if (EqualsNoCase(text, "-Infinity")) {
        real = -std::numeric_limits<double>::infinity();
      } else {
        if (!text.empty() && text.front() == '+') text.remove_prefix(1);
        // Decimal forms only (from_chars would also read "inf" and hex forms).
        for (char c : text)
          if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            Refuse("\"" + value.bytes + "\" is not a number.");
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), real);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size())
          Refuse("\"" + value.bytes + "\" is not a number a double holds.");
      }
      break;
    }
    default:
      Refuse("The value is not a number.");
  }
  uint64_t bits;
  std::memcpy(&bits, &real, sizeof bits);
  Put32(8, out);
  Put64(bits, out);
}

// The numeric of the whole number `scaled` / 10^scale (scale 0 to 4), as
// the server reads its shortest decimal text: trailing zeros of the
// fraction do not count in its display scale.
void PutScaledNumeric(int64_t scaled, int scale, CopyBuffer* out) {
  static const uint64_t kPowers[] = {1, 10, 100, 1000, 10000};
  uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : scaled;
  while (scale > 0 && magnitude % 10 == 0) magnitude /= 10, --scale;
  uint64_t whole = magnitude / kPowers[scale];
  // Groups of four digits, the fraction's (weight -1) last.
  uint16_t groups[6];
  int count = 0;
  for (; whole != 0; whole /= 10000) groups[count++] = static_cast<uint16_t>(whole % 10000);
  int weight = count - 1;
  for (int i = 0; i < count / 2; ++i) std::swap(groups[i], groups[count - 1 - i]);
  if (scale > 0) {
    groups[count++] = static_cast<uint16_t>(magnitude % kPowers[scale] * kPowers[4 - scale]);
    if (weight < 0) weight = -1;
  }
  while (count > 0 && groups[count - 1] == 0) --count;
  Put32(8 + 2 * count, out);
  Put16(static_cast<uint16_t>(count), out);
  Put16(static_cast<uint16_t>(count ? weight : 0), out);
  Put16(scaled < 0 && count ? kNumericNegative : kNumericPositive, out);
  Put16(static_cast<uint16_t>(scale), out);
  for (int i = 0; i < count; ++i) Put16(groups[i], out);
}

// A real that is the nearest double of a decimal of at most four decimals
// and fifteen significant digits: its shortest text is that decimal, since
// no two such decimals share a double. False for any other real.
bool PutRealAsScaledNumeric(double real, CopyBuffer* out) {
  if (!(std::fabs(real) < 1e11)) return false;
  const double scaled = std::nearbyint(real * 10000.0);
  if (static_cast<double>(scaled) / 10000.0 != real) return false;
  PutScaledNumeric(static_cast<int64_t>(scaled), 4, out);
  return true;
}

void AppendNumericField(const Value& value, CopyBuffer* out) {
  char buffer[32];
  std::string_view text;
  switch (value.kind) {
    case Value::Kind::kInteger:
      PutScaledNumeric(value.integer, 0, out);
      return;
    case Value::Kind::kReal:
      if (PutRealAsScaledNumeric(value.real, out)) return;
      text = RealText(value.real, buffer);
      break;
    case Value::Kind::kText:
      text = value.bytes;
      break;
    default:
      Refuse("The value is not a number.");
  }
  const size_t length_at = out->size();
  Put32(0, out);
  if (!AppendNumericFromText(text, out))
    Refuse("\"" + std::string(text) + "\" is not a number the server reads exactly as sent.");
  Put32At(static_cast<uint32_t>(out->size() - length_at - 4), out->data() + length_at);
}

// Reads `count` digits at `*pos`; false unless they are all digits.
bool ReadDigits(std::string_view text, size_t* pos, size_t count, int* out) {
  if (*pos + count > text.size()) return false;
  int v = 0;
  for (size_t i = *pos; i < *pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *pos += count;
  *out = v;
  return true;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.f" with up to six decimals, as
// microseconds from midnight (24:00:00 the end of the day, as the server
// takes it); false for anything else.
bool ReadTimeOfDay(std::string_view text, int64_t* micros) {
  size_t pos = 0;
  int hours = 0, minutes = 0, seconds = 0;
  if (!ReadDigits(text, &pos, 2, &hours) || pos >= text.size() || text[pos++] != ':' ||
      !ReadDigits(text, &pos, 2, &minutes))
    return false;
  int64_t fraction = 0;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ReadDigits(text, &pos, 2, &seconds)) return false;
    if (pos < text.size() && text[pos] == '.') {
      int64_t scale = 100000;
      size_t digits = 0;
      for (++pos; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits) {
        if (digits == 6) return false;  // the server would round it
        fraction += (text[pos] - '0') * scale;
        scale /= 10;
      }
      if (digits == 0) return false;
    }
  }
  if (!TrimBlanks(text.substr(pos)).empty() || minutes > 59 || seconds > 59) return false;
  *micros = ((hours * 60LL + minutes) * 60 + seconds) * 1000000 + fraction;
  return hours < 24 || *micros == 24 * 3600 * 1000000LL;
}

// "YYYY-MM-DD" at the start of `text`, a date the calendar has, as days
// from the server's day 0; `rest` gets what follows.
bool ReadIsoDate(std::string_view text, int64_t* days, std::string_view* rest) {
  text = TrimBlanks(text);
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return false;
  int year = 0, month = 0, day = 0;
  size_t pos = 0;
  if (!ReadDigits(text, &pos, 4, &year) || !ReadDigits(text, &(pos = 5), 2, &month) ||
      !ReadDigits(text, &(pos = 8), 2, &day))
    return false;
  int64_t julian = 0;
  if (!JulianOfValidDate(CivilDate{year, month, day}, &julian)) return false;
  *days = julian - kServerEpochJulian;
  *rest = text.substr(10);
  return true;
}

const std::string& CalendarText(const Value& value) {
  if (value.kind != Value::Kind::kText) Refuse("The value is not a date or time text.");
  return value.bytes;
}

void AppendDateField(const Value& value, CopyBuffer* out) {
  int64_t days = 0;
  std::string_view rest;
  const std::string& text = CalendarText(value);
  if (!ReadIsoDate(text, &days, &rest) || !rest.empty())
    Refuse("\"" + text + "\" is not a date of the form YYYY-MM-DD.");
  Put32(4, out);
  Put32(static_cast<uint32_t>(static_cast<int32_t>(days)), out);
}

void AppendTimeField(const Value& value, CopyBuffer* out) {
  int64_t micros = 0;
  const std::string& text = CalendarText(value);
  if (!ReadTimeOfDay(TrimBlanks(text), &micros))
    Refuse("\"" + text + "\" is not a time of the form HH:MM:SS.fff.");
  Put32(8, out);
  Put64(static_cast<uint64_t>(micros), out);
}

void AppendTimestampField(const Value& value, CopyBuffer* out) {
  int64_t days = 0, micros = 0;
  std::string_view rest;
  const std::string& text = CalendarText(value);
  bool read = ReadIsoDate(text, &days, &rest);
  if (read && !rest.empty()) {
    // A blank or a T between the date and the time.
    if (rest.front() != 'T' && !IsBlank(rest.front())) read = false;
    read = read && ReadTimeOfDay(TrimBlanks(rest.substr(1)), &micros);
  }
  if (!read) Refuse("\"" + text + "\" is not a timestamp of the form YYYY-MM-DD HH:MM:SS.fff.");
  Put32(8, out);
  Put64(static_cast<uint64_t>(days * kMicrosPerDay + micros), out);
}

void AppendBoolField(const Value& value, CopyBuffer* out) {
  bool truth = false;
  if (value.kind == Value::Kind::kInteger && (value.integer == 0 || value.integer == 1)) {
    truth = value.integer == 1;
  } else if (value.kind == Value::Kind::kText) {
    std::string_view text = TrimBlanks(value.bytes);
    if (EqualsNoCase(text, "t") || EqualsNoCase(text, "true") || text == "1")
      truth = true;
    else if (!(EqualsNoCase(text, "f") || EqualsNoCase(text, "false") || text == "0"))
      Refuse("\"" + value.bytes + "\" is not a truth value.");
  } else {
    Refuse("The value is not a truth value.");
  }
  Put32(1, out);
  *out->Room(1) = truth ? 1 : 0;
}

}  // namespace

void CopyBuffer::Append(const char* bytes, size_t count) {
  if (count) std::memcpy(Room(count), bytes, count);
}

void CopyBuffer::Grow(size_t count) {
  size_t capacity = std::max<size_t>(capacity_ * 2, 64 * 1024);
  while (capacity < size_ + count) capacity *= 2;
  std::unique_ptr<char[]> data(new char[capacity]);
  if (size_) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

std::optional<CopyColumnType> CopyColumnTypeOf(uint32_t oid) {
  switch (oid) {
    case kBoolOid:
      return CopyColumnType::kBool;
    case kByteaOid:
      return CopyColumnType::kBytea;
    case kInt8Oid:
      return CopyColumnType::kInt8;
    case kInt2Oid:
      return CopyColumnType::kInt2;
    case kInt4Oid:
      return CopyColumnType::kInt4;
    case kTextOid:
    case kVarcharOid:
      return CopyColumnType::kText;
    case kFloat8Oid:
      return CopyColumnType::kFloat8;
    case kDateOid:
      return CopyColumnType::kDate;
    case kTimeOid:
      return CopyColumnType::kTime;
    case kTimestampOid:
      return CopyColumnType::kTimestamp;
    case kNumericOid:
      return CopyColumnType::kNumeric;
    default:
      return std::nullopt;
  }
}

void AppendCopyBinaryHeader(CopyBuffer* out) {
  static const char kSignature[] = "PGCOPY\n\377\r\n";
  out->Append(kSignature, sizeof kSignature);  // with its closing zero byte
  Put32(0, out);                               // flags: no oids
  Put32(0, out);                               // no header extension
}

void AppendCopyBinaryTrailer(CopyBuffer* out) {
  Put16(0xFFFF, out);
}

void AppendCopyBinaryRow(int fields, CopyBuffer* out) {
  Put16(static_cast<uint16_t>(fields), out);
}

void AppendCopyBinaryField(CopyColumnType type, const Value& value, CopyBuffer* out) {
  if (value.kind == Value::Kind::kNull || value.kind == Value::Kind::kUnset) {
    Put32(0xFFFFFFFF, out);
    return;
  }
  switch (type) {
    case CopyColumnType::kBool:
      AppendBoolField(value, out);
      return;
    case CopyColumnType::kInt2:
      Put32(2, out);
      Put16(static_cast<uint16_t>(WholeNumber(value, INT16_MIN, INT16_MAX)), out);
      return;
    case CopyColumnType::kInt4:
      Put32(4, out);
      Put32(static_cast<uint32_t>(WholeNumber(value, INT32_MIN, INT32_MAX)), out);
      return;
    case CopyColumnType::kInt8:
      Put32(8, out);
      Put64(static_cast<uint64_t>(WholeNumber(value, INT64_MIN, INT64_MAX)), out);
      return;
    case CopyColumnType::kFloat8:
      AppendFloat8Field(value, out);
      return;
    case CopyColumnType::kNumeric:
      AppendNumericField(value, out);
      return;
    case CopyColumnType::kText:
      AppendTextField(value, out);
      return;
    case CopyColumnType::kBytea:
      AppendByteaField(value, out);
      return;
    case CopyColumnType::kDate:
      AppendDateField(value, out);
      return;
    case CopyColumnType::kTime:
      AppendTimeField(value, out);
      return;
    case CopyColumnType::kTimestamp:
      AppendTimestampField(value, out);
      return;
  }
}

bool AppendNumericFromText(std::string_view text, CopyBuffer* out) {
  text = TrimBlanks(text);
  auto special = [out](uint16_t sign) {
    Put16(0, out), Put16(0, out), Put16(sign, out), Put16(0, out);
    return true;
  };
  if (EqualsNoCase(text, "NaN")) return special(kNumericNaN);
  if (EqualsNoCase(text, "Infinity") || EqualsNoCase(text, "+Infinity"))
    return special(kNumericPlusInfinity);
  if (EqualsNoCase(text, "-Infinity")) return special(kNumericMinusInfinity);

  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  // The significant digits (leading zeros dropped) and where the point is:
  // `point` digits of them lie before it (negative: zeros come first).
  size_t digits_start = std::string_view::npos, digits_end = 0;
  long point = 0, scale = 0;
  bool seen_point = false, any_digit = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '.') {
      if (seen_point) return false;
      seen_point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    any_digit = true;
    if (seen_point) ++scale;
    if (digits_start == std::string_view::npos) {
      if (c == '0') {
        if (seen_point) --point;
        continue;
      }
      digits_start = pos;
    }
    if (!seen_point) ++point;
    digits_end = pos + 1;
  }
  if (!any_digit) return false;
  if (pos < text.size()) {
    if (text[pos] != 'e' && text[pos] != 'E') return false;
    ++pos;
    bool exponent_negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
      exponent_negative = text[pos++] == '-';
    if (pos == text.size()) return false;
    long exponent = 0;
    for (; pos < text.size(); ++pos) {
      if (text[pos] < '0' || text[pos] > '9') return false;
      exponent = exponent * 10 + (text[pos] - '0');
      if (exponent > kNumericMaxExponent) return false;
    }
    if (exponent_negative) exponent = -exponent;
    point += exponent;
    scale = std::max(0L, scale - exponent);
  }
  if (scale > kNumericMaxScale) return false;

  // The significant digits in base 10000, aligned so that the point falls
  // between two groups. The first digit has decimal weight point - 1, so
  // its group has that weight divided by four, rounded down, and holds
  // `offset` zeros before it.
  const long decimal_weight = point - 1;
  const long weight = decimal_weight >= 0 ? decimal_weight / 4 : -((-decimal_weight - 1) / 4 + 1);
  const long offset = (weight + 1) * 4 - point;
  std::vector<uint16_t> groups;
  if (digits_start != std::string_view::npos) {
    groups.reserve((digits_end - digits_start + static_cast<size_t>(offset)) / 4 + 1);
    int group = 0;
    long in_group = offset;
    for (size_t i = digits_start; i < digits_end; ++i) {
      if (text[i] == '.') continue;
      group = group * 10 + (text[i] - '0');
      if (++in_group == 4) {
        groups.push_back(static_cast<uint16_t>(group));
        group = 0;
        in_group = 0;
      }
    }
    if (in_group > 0) {
      for (; in_group < 4; ++in_group) group *= 10;
      groups.push_back(static_cast<uint16_t>(group));
    }
  }
  while (!groups.empty() && groups.back() == 0) groups.pop_back();
  if (groups.size() > 0x7FFF || weight > 0x7FFF || weight < -0x8000) return false;
  const bool zero = groups.empty();
  Put16(static_cast<uint16_t>(groups.size()), out);
  Put16(static_cast<uint16_t>(zero ? 0 : weight), out);
  Put16(negative && !zero ? kNumericNegative : kNumericPositive, out);
  Put16(static_cast<uint16_t>(scale), out);
  for (uint16_t group : groups) Put16(group, out);
  return true;
}

}  // namespace nce
