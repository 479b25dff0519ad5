#include "engine/record/record_image.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "engine/base/dates.h"
#include "engine/base/errors.h"
#include "nce/nce.h"

namespace nce {

static_assert(std::endian::native == std::endian::little,
              "record images are little-endian; a big-endian host needs byte swaps here");

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Largest money amount whose four-decimal scaled form fits 64 bits.
constexpr double kMoneyLimit = 922337203685477.0;

// ---- value-fit errors --------------------------------------------------------

[[noreturn]] void Misfit(uint32_t number, const FieldDesc& field, const std::string& what) {
  throw EngineError(number, "Value does not fit column \"" + field.name + "\": " + what);
}
[[noreturn]] void OutOfRange(const FieldDesc& f, const std::string& what) {
  Misfit(NDS_E_VALUE_TOO_LONG, f, what);
}
[[noreturn]] void TooLong(const FieldDesc& f, const std::string& what) {
  Misfit(NDS_E_VALUE_TOO_LONG, f, what);
}
[[noreturn]] void NotAValue(const FieldDesc& f, const std::string& what) {
  Misfit(NDS_E_VALUE_INVALID, f, what);
}

// ---- raw little-endian access ------------------------------------------------

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

bool AllBytes(const uint8_t* p, uint32_t n, uint8_t a, uint8_t b) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != a && p[i] != b) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

// ---- calendar texts ------------------------------------------------------------

// Reads a date at the start of `s` (ParseDatePrefix's forms); `rest` gets
// what follows.
bool ParseDate(std::string_view s, int64_t* julian, std::string_view* rest) {
  std::optional<CivilDate> date = ParseDatePrefix(s, rest);
  if (!date) return false;
  *julian = JulianFromCivil(*date);
  return true;
}

// Reads exactly `count` digits at `pos`.
bool ReadDigits(std::string_view s, size_t pos, size_t count, int* out) {
  if (pos + count > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

// Accepts "HH:MM", "HH:MM:SS" and "HH:MM:SS.fff".
bool ParseTime(std::string_view s, int64_t* ms) {
  int h, m, sec = 0, frac = 0;
  if (!ReadDigits(s, 0, 2, &h) || s.size() < 5 || s[2] != ':' || !ReadDigits(s, 3, 2, &m))
    return false;
  size_t pos = 5;
  if (pos < s.size() && s[pos] == ':') {
    if (!ReadDigits(s, pos + 1, 2, &sec)) return false;
    pos += 3;
    if (pos < s.size() && s[pos] == '.') {
      size_t digits = 0;
      int scale = 100;
      for (++pos; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, ++digits) {
        frac += (s[pos] - '0') * scale;
        scale /= 10;
      }
      if (digits == 0) return false;
    }
  }
  if (!Trim(s.substr(pos)).empty() && Trim(s.substr(pos)) != "Z") return false;
  if (h > 23 || m > 59 || sec > 59) return false;
  *ms = ((h * 60 + m) * 60 + sec) * 1000LL + frac;
  return true;
}

bool ParseTimestamp(std::string_view s, int64_t* julian, int64_t* ms) {
  std::string_view rest;
  if (!ParseDate(s, julian, &rest)) return false;
  rest = Trim(rest);
  if (!rest.empty() && rest.front() == 'T') rest.remove_prefix(1);
  *ms = 0;
  return rest.empty() || ParseTime(rest, ms);
}

std::string IsoDate(int64_t julian) {
  return IsoDateText(CivilFromJulian(julian));
}

std::string CompactDateText(int64_t julian) {
  return CompactDateText(CivilFromJulian(julian));
}

std::string IsoTime(int64_t ms) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                static_cast<int>(ms % 1000));
  return buf;
}

// ---- reading stored values ---------------------------------------------------

bool AsNumber(const Value& v, double* out) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      *out = static_cast<double>(v.integer);
      return true;
    case Value::Kind::kReal:
      *out = v.real;
      return std::isfinite(v.real);
    case Value::Kind::kText: {
      std::string_view t = Trim(v.bytes);
      if (t.empty()) return false;
      std::string copy(t);
      char* end = nullptr;
      *out = std::strtod(copy.c_str(), &end);
      return end && *end == '\0' && std::isfinite(*out);
    }
    default:
      return false;
  }
}

bool AsInteger(const Value& v, int64_t* out) {
  if (v.kind == Value::Kind::kInteger) {
    *out = v.integer;
    return true;
  }
  double d;
  if (!AsNumber(v, &d) || d < -9.2e18 || d > 9.2e18) return false;
  *out = static_cast<int64_t>(std::llround(d));
  return true;
}

bool AsDate(const Value& v, int64_t* julian) {
  return v.kind == Value::Kind::kText && ParseDate(v.bytes, julian, nullptr);
}

bool AsTime(const Value& v, int64_t* ms) {
  if (v.kind == Value::Kind::kInteger) {
    *ms = v.integer;
    return v.integer >= 0 && v.integer < kMsPerDay;
  }
  return v.kind == Value::Kind::kText && ParseTime(Trim(v.bytes), ms);
}

// Right-aligned fixed-point text of `value` with `decimals` places in a
// field of `width` characters; false when it does not fit. Formats digits
// directly (record images are built for every row a cursor reads); values
// beyond 15 significant digits go through printf.
bool FixedText(double value, int decimals, uint32_t width, char* out) {
  static const double kScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  double scaled = decimals < 10 ? value * kScale[decimals] : 1e300;
  char buf[64];
  int n;
  if (std::fabs(scaled) < 9e15) {
    int64_t units = std::llround(scaled);
    bool negative = units < 0;
    uint64_t magnitude = negative ? static_cast<uint64_t>(-units) : static_cast<uint64_t>(units);
    char digits[32];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude > 0 || count <= decimals);
    n = 0;
    if (negative) buf[n++] = '-';
    for (int i = count - 1; i >= 0; --i) {
      buf[n++] = digits[i];
      if (i == decimals && decimals > 0) buf[n++] = '.';
    }
  } else {
    n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    if (n < 0 || n >= static_cast<int>(sizeof buf)) return false;
  }
  if (static_cast<uint32_t>(n) > width) return false;
  std::memset(out, ' ', width - n);
  std::memcpy(out + (width - n), buf, n);
  return true;
}

// As FixedText for a whole number, exact for all 64-bit values.
bool FixedInteger(int64_t value, int decimals, uint32_t width, char* out) {
  std::string text = std::to_string(value);
  if (decimals > 0) text += "." + std::string(decimals, '0');
  if (text.size() > width) return false;
  std::memset(out, ' ', width - text.size());
  std::memcpy(out + (width - text.size()), text.data(), text.size());
  return true;
}

// Right-aligned number text of a numeric field; false when it does not fit.
bool NumericText(const FieldDesc& f, double value, std::string* out) {
  out->resize(f.shape.length);
  return FixedText(value, f.shape.decimals, f.shape.length, out->data());
}

void DateDigits(int64_t julian, uint8_t* out) {
  auto [y, m, d] = CivilFromJulian(julian);
  int parts[] = {y / 1000 % 10, y / 100 % 10, y / 10 % 10, y % 10, m / 10, m % 10, d / 10, d % 10};
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>('0' + parts[i]);
}

}  // namespace

// ---- values ------------------------------------------------------------------------

Value ValueFromColumn(sqlite3_stmt* stmt, int col) {
  switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_INTEGER:
      return Value::Integer(sqlite3_column_int64(stmt, col));
    case SQLITE_FLOAT:
      return Value::Real(sqlite3_column_double(stmt, col));
    case SQLITE_TEXT: {
      auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
      return Value::Text(std::string(p, sqlite3_column_bytes(stmt, col)));
    }
    case SQLITE_BLOB: {
      auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, col));
      return Value::Blob(std::string(p ? p : "", sqlite3_column_bytes(stmt, col)));
    }
    default:
      return Value::Null();
  }
}

// ---- layout -------------------------------------------------------------------------

bool IsBlobType(uint16_t type) {
  return type == NDS_MEMO || type == NDS_BINARY || type == NDS_IMAGE || type == NDS_VARCHAR;
}

// ---- encoding -----------------------------------------------------------------------

void EncodeNull(const FieldDesc& f, bool ndt, uint8_t* image) {
  uint8_t* p = image + f.offset;
  if (!ndt) {
    bool zeros =
        (f.shape.type >= NDS_MEMO && f.shape.type <= NDS_SHORTINT && f.shape.type != NDS_STRING) ||
        f.shape.type == NDS_CURDOUBLE;
    std::memset(p, zeros ? 0 : ' ', f.shape.length);
    return;
  }
  switch (f.shape.type) {
    case NDS_LOGICAL:
      p[0] = ' ';
      break;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      Store<uint32_t>(p, 0x00000020u);
      Store<uint32_t>(p + 4, 0x80000000u);
      break;
    case NDS_INTEGER:
      Store<uint32_t>(p, 0x80000000u);
      break;
    case NDS_SHORTINT:
      Store<uint16_t>(p, 0x8000u);
      break;
    case NDS_TIME:
    case NDS_AUTOINC:
      Store<uint32_t>(p, 0xFFFFFFFFu);
      break;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      Store<uint32_t>(p, 0);
      Store<uint32_t>(p + 4, 0xFFFFFFFFu);
      break;
    case NDS_MONEY:
    case NDS_ROWVERSION:
      Store<uint32_t>(p, 0);
      Store<uint32_t>(p + 4, 0x80000000u);
      break;
    default:
      std::memset(p, 0, f.shape.length);
      break;
  }
}

void EncodeValue(const FieldDesc& f, bool ndt, const Value& v, uint8_t* image) {
  if (IsNull(v)) return EncodeNull(f, ndt, image);
  uint8_t* p = image + f.offset;
  double number;
  int64_t integer, julian, ms;
  switch (f.shape.type) {
    case NDS_LOGICAL: {
      bool truth;
      if (v.kind == Value::Kind::kText) {
        char c = Trim(v.bytes).empty() ? ' ' : Trim(v.bytes)[0];
        if (c == ' ') return EncodeNull(f, ndt, image);
        truth = c == 'T' || c == 't' || c == 'Y' || c == 'y' || c == '1';
      } else {
        truth = AsNumber(v, &number) && number != 0;
      }
      p[0] = truth ? 'T' : 'F';
      return;
    }
    case NDS_NUMERIC:
      if (v.kind == Value::Kind::kInteger) {
        if (!FixedInteger(v.integer, f.shape.decimals, f.shape.length, reinterpret_cast<char*>(p)))
          break;
        return;
      }
      if (!AsNumber(v, &number) ||
          !FixedText(number, f.shape.decimals, f.shape.length, reinterpret_cast<char*>(p)))
        break;
      return;
    case NDS_DATE:
      if (!AsDate(v, &julian)) break;
      if (f.shape.length == 4) {
        Store<int32_t>(p, static_cast<int32_t>(julian));
      } else {
        std::memset(p, ' ', f.shape.length);
        if (f.shape.length >= 8) DateDigits(julian, p);
      }
      return;
    case NDS_STRING:
    case NDS_CISTRING: {
      std::string text = v.kind == Value::Kind::kText || v.kind == Value::Kind::kBlob
                             ? v.bytes
                             : FormatText(f, ndt, v);
      std::memset(p, ' ', f.shape.length);
      std::memcpy(p, text.data(), std::min<size_t>(text.size(), f.shape.length));
      return;
    }
    case NDS_MEMO:
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_VARCHAR: {
      bool holds =
          v.kind == Value::Kind::kText || v.kind == Value::Kind::kBlob ? !v.bytes.empty() : true;
      std::memset(p, 0, f.shape.length);
      Store<int32_t>(p, holds ? -1 : 0);
      return;
    }
    case NDS_COMPACTDATE: {
      if (!AsDate(v, &julian)) break;
      auto [y, m, d] = CivilFromJulian(julian);
      uint32_t packed = static_cast<uint32_t>(y) * 512 + m * 32 + d;
      p[0] = static_cast<uint8_t>(packed >> 16);
      p[1] = static_cast<uint8_t>(packed >> 8);
      p[2] = static_cast<uint8_t>(packed);
      return;
    }
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      if (!AsNumber(v, &number)) break;
      Store<double>(p, number);
      return;
    case NDS_INTEGER:
    case NDS_AUTOINC:
      if (!AsInteger(v, &integer) || integer < INT32_MIN || integer > UINT32_MAX) break;
      Store<uint32_t>(p, static_cast<uint32_t>(integer));
      return;
    case NDS_SHORTINT:
      if (!AsInteger(v, &integer) || integer < INT16_MIN || integer > INT16_MAX) break;
      Store<int16_t>(p, static_cast<int16_t>(integer));
      return;
    case NDS_TIME:
      if (!AsTime(v, &ms)) break;
      Store<int32_t>(p, static_cast<int32_t>(ms));
      return;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      if (v.kind != Value::Kind::kText || !ParseTimestamp(Trim(v.bytes), &julian, &ms)) break;
      Store<uint32_t>(p, static_cast<uint32_t>(julian));
      Store<uint32_t>(p + 4, static_cast<uint32_t>(ms));
      return;
    case NDS_RAW:
      std::memset(p, 0, f.shape.length);
      std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), f.shape.length));
      if (v.kind != Value::Kind::kBlob && v.kind != Value::Kind::kText) break;
      return;
    case NDS_MONEY: {
      if (v.kind == Value::Kind::kInteger) {
        Store<int64_t>(p, v.integer * 10000);
        return;
      }
      if (!AsNumber(v, &number) || !(std::fabs(number) < kMoneyLimit)) break;
      Store<int64_t>(p, std::llround(number * 10000.0));
      return;
    }
    case NDS_ROWVERSION:
      if (!AsInteger(v, &integer)) break;
      Store<int64_t>(p, integer);
      return;
    default:
      break;
  }
  EncodeNull(f, ndt, image);
}

void EncodeColumn(const FieldDesc& f, bool ndt, sqlite3_stmt* stmt, int col, uint8_t* image) {
  uint8_t* p = image + f.offset;
  // One call into the statement per column: the sqlite3_value accessors do
  // not take the connection's mutex again (the engine serialises the use of
  // each connection itself).
  sqlite3_value* value = sqlite3_column_value(stmt, col);
  int kind = sqlite3_value_type(value);
  switch (f.shape.type) {
    case NDS_STRING:
    case NDS_CISTRING:
      if (kind == SQLITE_TEXT) {
        const unsigned char* text = sqlite3_value_text(value);
        size_t n = std::min<size_t>(sqlite3_value_bytes(value), f.shape.length);
        std::memcpy(p, text, n);
        std::memset(p + n, ' ', f.shape.length - n);
        return;
      }
      break;
    case NDS_NUMERIC:
      if (kind == SQLITE_FLOAT || kind == SQLITE_INTEGER) {
        bool fits = kind == SQLITE_INTEGER
                        ? FixedInteger(sqlite3_value_int64(value), f.shape.decimals, f.shape.length,
                                       reinterpret_cast<char*>(p))
                        : FixedText(sqlite3_value_double(value), f.shape.decimals, f.shape.length,
                                    reinterpret_cast<char*>(p));
        if (!fits) EncodeNull(f, ndt, image);
        return;
      }
      break;
    case NDS_DATE:
      if (kind == SQLITE_TEXT) {
        std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                              sqlite3_value_bytes(value));
        int64_t julian;
        if (!ParseDate(text, &julian, nullptr)) {
          EncodeNull(f, ndt, image);
        } else if (f.shape.length == 4) {
          Store<int32_t>(p, static_cast<int32_t>(julian));
        } else {
          std::memset(p, ' ', f.shape.length);
          if (f.shape.length >= 8) DateDigits(julian, p);
        }
        return;
      }
      break;
    case NDS_LOGICAL:
      if (kind == SQLITE_INTEGER) {
        p[0] = sqlite3_value_int64(value) ? 'T' : 'F';
        return;
      }
      break;
    case NDS_INTEGER:
      if (kind == SQLITE_INTEGER) {
        int64_t v = sqlite3_value_int64(value);
        if (v >= INT32_MIN && v <= INT32_MAX) {
          Store<int32_t>(p, static_cast<int32_t>(v));
          return;
        }
      }
      break;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      if (kind == SQLITE_FLOAT || kind == SQLITE_INTEGER) {
        Store<double>(p, sqlite3_value_double(value));
        return;
      }
      break;
    default:
      break;
  }
  if (kind == SQLITE_NULL) return EncodeNull(f, ndt, image);
  EncodeValue(f, ndt, ValueFromColumn(stmt, col), image);
}

// ---- decoding an image ------------------------------------------------------------

namespace {

// The null test of the image forms: what the readers of record images treat
// as an empty field.
bool ImageIsNull(const FieldDesc& f, bool ndt, const uint8_t* p) {
  uint32_t n = f.shape.length;
  if (!ndt) {
    switch (f.shape.type) {
      case NDS_LOGICAL:
      case NDS_NUMERIC:
      case NDS_STRING:
      case NDS_CISTRING:
      case NDS_DATE:
        return AllBytes(p, n, 0, ' ');
      case NDS_COMPACTDATE:
        return AllBytes(p, n, 0, 0);
      case NDS_MEMO:
      case NDS_BINARY:
      case NDS_IMAGE:
      case NDS_VARCHAR:
        return Load<uint32_t>(p) == 0;
      case NDS_DOUBLE:
      case NDS_CURDOUBLE:
      case NDS_INTEGER:
      case NDS_SHORTINT:
        return false;
      default:
        // Types DBF files do not carry: blank is the form EncodeNull writes,
        // anything else reads as in NDT images.
        if (AllBytes(p, n, ' ', ' ')) return true;
        break;
    }
  }
  switch (f.shape.type) {
    case NDS_LOGICAL:
      return p[0] == ' ';
    case NDS_MEMO:
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_VARCHAR:
      return Load<uint32_t>(p) == 0;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      return Load<uint32_t>(p) == 0x20u && Load<uint32_t>(p + 4) == 0x80000000u;
    case NDS_INTEGER:
      return Load<uint32_t>(p) == 0x80000000u;
    case NDS_SHORTINT:
      return Load<uint16_t>(p) == 0x8000u;
    case NDS_TIME:
    case NDS_AUTOINC:
      return Load<uint32_t>(p) == 0xFFFFFFFFu;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return Load<uint32_t>(p) == 0;
    case NDS_MONEY:
    case NDS_ROWVERSION:
      return Load<uint32_t>(p) == 0 && Load<uint32_t>(p + 4) == 0x80000000u;
    default:
      return AllBytes(p, n, 0, 0);
  }
}

Value DateValue(const FieldDesc& f, int64_t julian) {
  if (julian < kFirstJulianDay || !IsValidDate(CivilFromJulian(julian)))
    OutOfRange(f, "Julian day " + std::to_string(julian) + " is not a date of years 1 to 9999");
  return Value::Text(IsoDate(julian));
}

Value NumericValue(const FieldDesc& f, std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty()) return Value::Null();
  std::string copy(t);
  if (f.shape.decimals == 0) {
    int64_t i;
    auto [end, ec] = std::from_chars(copy.data(), copy.data() + copy.size(), i);
    if (ec == std::errc() && end == copy.data() + copy.size()) {
      if (copy.size() > f.shape.length) OutOfRange(f, "\"" + copy + "\" is too wide");
      return Value::Integer(i);
    }
  }
  char* end = nullptr;
  double d = std::strtod(copy.c_str(), &end);
  if (!end || *end != '\0' || !std::isfinite(d)) NotAValue(f, "\"" + copy + "\" is not a number");
  std::string fitted;
  if (!NumericText(f, d, &fitted))
    OutOfRange(
        f, "\"" + copy + "\" needs more than " + std::to_string(f.shape.length) + " characters");
  if (f.shape.decimals == 0) {
    if (!(std::fabs(d) < 9.2e18)) OutOfRange(f, "\"" + copy + "\" is too large for a whole number");
    return Value::Integer(std::llround(d));
  }
  return Value::Real(d);
}

Value IntegerValue(const FieldDesc& f, int64_t v, int64_t low, int64_t high) {
  if (v < low || v > high)
    OutOfRange(f, std::to_string(v) + " lies outside " + std::to_string(low) + " to " +
                      std::to_string(high));
  return Value::Integer(v);
}

Value TimestampValue(const FieldDesc& f, int64_t julian, int64_t ms) {
  if (ms < 0 || ms >= kMsPerDay) OutOfRange(f, std::to_string(ms) + " ms is not a time of day");
  Value date = DateValue(f, julian);
  return Value::Text(date.bytes + " " + IsoTime(ms));
}

}  // namespace

Value DecodeImage(const FieldDesc& f, bool ndt, const uint8_t* place, uint32_t length) {
  if (IsBlobType(f.shape.type)) {
    std::string bytes(reinterpret_cast<const char*>(place), length);
    if (f.shape.type == NDS_BINARY || f.shape.type == NDS_IMAGE)
      return Value::Blob(std::move(bytes));
    return Value::Text(std::move(bytes));
  }
  if (length > f.shape.length) {
    if (f.shape.type == NDS_STRING || f.shape.type == NDS_CISTRING || f.shape.type == NDS_NUMERIC) {
      if (!AllBytes(place + f.shape.length, length - f.shape.length, ' ', 0))
        TooLong(f, std::to_string(length) + " bytes given, the field holds " +
                       std::to_string(f.shape.length));
    } else {
      TooLong(f, std::to_string(length) + " bytes given, the field holds " +
                     std::to_string(f.shape.length));
    }
  }
  // Short values of fixed-width binary fields cannot be read; texts are padded.
  uint8_t buf[64];
  std::string padded;
  const uint8_t* p = place;
  if (length < f.shape.length) {
    bool text = f.shape.type == NDS_STRING || f.shape.type == NDS_CISTRING ||
                f.shape.type == NDS_NUMERIC || f.shape.type == NDS_RAW ||
                (f.shape.type == NDS_LOGICAL) || (!ndt && f.shape.type == NDS_DATE);
    if (!text)
      NotAValue(f, std::to_string(length) + " bytes given, the field needs " +
                       std::to_string(f.shape.length));
    padded.assign(reinterpret_cast<const char*>(place), length);
    padded.resize(f.shape.length, f.shape.type == NDS_RAW ? '\0' : ' ');
    p = reinterpret_cast<const uint8_t*>(padded.data());
  } else if (f.shape.length <= sizeof buf) {
    std::memcpy(buf, place, f.shape.length);
    p = buf;
  }
  if (ImageIsNull(f, ndt, p)) return Value::Null();
  std::string_view text(reinterpret_cast<const char*>(p), f.shape.length);
  switch (f.shape.type) {
    case NDS_LOGICAL:
      switch (p[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
        case '1':
          return Value::Integer(1);
        case 'F':
        case 'f':
        case 'N':
        case 'n':
        case '0':
          return Value::Integer(0);
        default:
          NotAValue(f, "logical byte " + std::to_string(p[0]) + " is neither T nor F");
      }
    case NDS_NUMERIC:
      return NumericValue(f, text);
    case NDS_DATE: {
      if (f.shape.length == 4) return DateValue(f, Load<int32_t>(p));
      int64_t julian;
      if (!ParseDate(Trim(text), &julian, nullptr))
        NotAValue(f, "\"" + std::string(Trim(text)) + "\" is not a date");
      return Value::Text(IsoDate(julian));
    }
    case NDS_STRING:
    case NDS_CISTRING: {
      size_t end = text.find('\0');
      std::string_view s = text.substr(0, end);
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      return Value::Text(std::string(s));
    }
    case NDS_COMPACTDATE: {
      uint32_t packed = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
      CivilDate date{static_cast<int>(packed >> 9), static_cast<int>((packed >> 5) & 15),
                     static_cast<int>(packed & 31)};
      if (!IsValidDate(date)) NotAValue(f, "compact date bytes do not form a date");
      return Value::Text(IsoDateText(date));
    }
    case NDS_DOUBLE:
    case NDS_CURDOUBLE: {
      double d = Load<double>(p);
      if (!std::isfinite(d)) NotAValue(f, "not a finite number");
      return Value::Real(d);
    }
    case NDS_INTEGER:
      return Value::Integer(Load<int32_t>(p));
    case NDS_AUTOINC:
      return Value::Integer(Load<uint32_t>(p));
    case NDS_SHORTINT:
      return Value::Integer(Load<int16_t>(p));
    case NDS_TIME: {
      int32_t ms = Load<int32_t>(p);
      if (ms < 0 || ms >= kMsPerDay) OutOfRange(f, std::to_string(ms) + " ms is not a time of day");
      return Value::Text(IsoTime(ms));
    }
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return TimestampValue(f, Load<uint32_t>(p), Load<uint32_t>(p + 4));
    case NDS_RAW:
      return Value::Blob(std::string(text));
    case NDS_MONEY: {
      int64_t scaled = Load<int64_t>(p);
      if (!(std::fabs(static_cast<double>(scaled) / 10000.0) < kMoneyLimit))
        OutOfRange(f, "the amount lies beyond what money holds");
      if (scaled % 10000 == 0) return Value::Integer(scaled / 10000);
      return Value::Real(static_cast<double>(scaled) / 10000.0);
    }
    case NDS_ROWVERSION:
      return Value::Integer(Load<int64_t>(p));
    default:
      NotAValue(f, "unknown field type " + std::to_string(f.shape.type));
  }
}

// ---- decoding a text ------------------------------------------------------------------

Value DecodeText(const FieldDesc& f, bool ndt, std::string_view text) {
  switch (f.shape.type) {
    case NDS_MEMO:
    case NDS_VARCHAR:
      return Value::Text(std::string(text));
    case NDS_BINARY:
    case NDS_IMAGE:
      return Value::Blob(std::string(text));
    case NDS_RAW:
      if (text.size() > f.shape.length)
        TooLong(f, std::to_string(text.size()) + " bytes given, the field holds " +
                       std::to_string(f.shape.length));
      return DecodeImage(f, ndt, reinterpret_cast<const uint8_t*>(text.data()),
                         static_cast<uint32_t>(text.size()));
    case NDS_STRING:
    case NDS_CISTRING: {
      // Zero bytes only: the NDT form of an empty field.
      if (!text.empty() && text.find_first_not_of('\0') == std::string_view::npos)
        return Value::Null();
      std::string_view s = text.substr(0, text.find('\0'));
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      if (s.size() > f.shape.length)
        TooLong(f, std::to_string(s.size()) + " characters given, the field holds " +
                       std::to_string(f.shape.length));
      return Value::Text(std::string(s));
    }
    default:
      break;
  }
  std::string_view t = Trim(text);
  if (t.empty()) return Value::Null();
  std::string s(t);
  int64_t julian, ms;
  switch (f.shape.type) {
    case NDS_LOGICAL: {
      std::string up;
      for (char c : s) up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (up == "T" || up == "TRUE" || up == "Y" || up == "YES" || up == "1" || up == ".T.")
        return Value::Integer(1);
      if (up == "F" || up == "FALSE" || up == "N" || up == "NO" || up == "0" || up == ".F.")
        return Value::Integer(0);
      NotAValue(f, "\"" + s + "\" is not a logical value");
    }
    case NDS_NUMERIC:
      return NumericValue(f, s);
    case NDS_DATE:
    case NDS_COMPACTDATE:
      if (!ParseDate(s, &julian, nullptr)) NotAValue(f, "\"" + s + "\" is not a date");
      return Value::Text(IsoDate(julian));
    case NDS_TIME:
      if (!ParseTime(s, &ms)) NotAValue(f, "\"" + s + "\" is not a time of day");
      return Value::Text(IsoTime(ms));
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      if (!ParseTimestamp(s, &julian, &ms)) NotAValue(f, "\"" + s + "\" is not a timestamp");
      return TimestampValue(f, julian, ms);
    default:
      break;
  }
  int64_t i = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
  bool whole = ec == std::errc() && end == s.data() + s.size();
  char* dend = nullptr;
  double d = std::strtod(s.c_str(), &dend);
  bool number = dend && *dend == '\0' && std::isfinite(d);
  if (ec == std::errc::result_out_of_range) OutOfRange(f, "\"" + s + "\" is too large");
  switch (f.shape.type) {
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      if (!number) NotAValue(f, "\"" + s + "\" is not a number");
      return Value::Real(d);
    case NDS_INTEGER:
      if (!whole) NotAValue(f, "\"" + s + "\" is not a whole number");
      return IntegerValue(f, i, INT32_MIN + 1, INT32_MAX);
    case NDS_AUTOINC:
      if (!whole) NotAValue(f, "\"" + s + "\" is not a whole number");
      return IntegerValue(f, i, 0, UINT32_MAX - 1);
    case NDS_SHORTINT:
      if (!whole) NotAValue(f, "\"" + s + "\" is not a whole number");
      return IntegerValue(f, i, -32767, 32767);
    case NDS_ROWVERSION:
      if (!whole) NotAValue(f, "\"" + s + "\" is not a whole number");
      return Value::Integer(i);
    case NDS_MONEY:
      if (!number) NotAValue(f, "\"" + s + "\" is not a number");
      if (!(std::fabs(d) < kMoneyLimit)) OutOfRange(f, "\"" + s + "\" is too large for money");
      {
        int64_t scaled = std::llround(d * 10000.0);
        if (scaled % 10000 == 0) return Value::Integer(scaled / 10000);
        return Value::Real(static_cast<double>(scaled) / 10000.0);
      }
    default:
      NotAValue(f, "unknown field type " + std::to_string(f.shape.type));
  }
}

// ---- text form --------------------------------------------------------------------------

std::string FormatText(const FieldDesc& f, bool ndt, const Value& v) {
  if (IsNull(v)) return std::string();
  char buf[64];
  double number;
  int64_t integer, julian, ms;
  switch (f.shape.type) {
    case NDS_STRING:
    case NDS_CISTRING: {
      std::string s;
      if (v.kind == Value::Kind::kText || v.kind == Value::Kind::kBlob) {
        s = v.bytes;
      } else if (v.kind == Value::Kind::kInteger) {
        s = std::to_string(v.integer);
      } else {
        std::snprintf(buf, sizeof buf, "%.15g", v.real);
        s = buf;
      }
      s.resize(f.shape.length, ' ');
      return s;
    }
    case NDS_MEMO:
    case NDS_VARCHAR:
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_RAW:
      if (v.kind == Value::Kind::kText || v.kind == Value::Kind::kBlob) return v.bytes;
      break;
    case NDS_LOGICAL: {
      uint8_t image[1];
      FieldDesc one{f.name, {f.shape.type, 1, 0}, 0};
      EncodeValue(one, ndt, v, image);
      return image[0] == ' ' ? std::string() : std::string(1, static_cast<char>(image[0]));
    }
    case NDS_NUMERIC: {
      std::string text;
      if (AsNumber(v, &number) && NumericText(f, number, &text)) return std::string(Trim(text));
      return std::string();
    }
    case NDS_DATE:
    case NDS_COMPACTDATE:
      return AsDate(v, &julian) ? CompactDateText(julian) : std::string();
    case NDS_TIME:
      return AsTime(v, &ms) ? IsoTime(ms) : std::string();
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      if (v.kind == Value::Kind::kText && ParseTimestamp(Trim(v.bytes), &julian, &ms))
        return CompactDateText(julian) + " " + IsoTime(ms);
      return std::string();
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      if (!AsNumber(v, &number)) return std::string();
      std::snprintf(buf, sizeof buf, "%.15g", number);
      return buf;
    case NDS_MONEY:
      if (!AsNumber(v, &number)) return std::string();
      std::snprintf(buf, sizeof buf, "%.4f", number);
      return buf;
    default:
      if (AsInteger(v, &integer)) return std::to_string(integer);
      break;
  }
  return std::string();
}

}  // namespace nce
