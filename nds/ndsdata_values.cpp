// Field values of the cursor dataset: one engine field of a record image
// converted into the value form the framework expects, and the engine's null
// forms of NDT tables (binary fields) and DBF-kind tables (text fields).
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dataset/bcd.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// Julian day number of the framework's day 0 (0001-01-01 is day 1).
constexpr double kJulianOfDayZero = 1721425.0;
constexpr double kMSecsPerDay = 86400000.0;

template <typename T>
T Load(const std::uint8_t* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

bool AllBytes(const std::uint8_t* bytes, std::uint32_t length, bool spacesToo) {
  for (std::uint32_t i = 0; i < length; ++i)
    if (bytes[i] != 0 && !(spacesToo && bytes[i] == ' ')) return false;
  return true;
}

bool AllSpaces(const std::uint8_t* bytes, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i)
    if (bytes[i] != ' ') return false;
  return true;
}

bool NdtIsNull(const std::uint8_t* p, std::uint32_t length, std::uint16_t type) {
  switch (type) {
    case NDS_LOGICAL:
      return p[0] == ' ';
    case NDS_NUMERIC:
    case NDS_DATE:
    case NDS_STRING:
    case NDS_COMPACTDATE:
    case NDS_RAW:
    case NDS_CISTRING:
      return AllBytes(p, length, false);
    case NDS_MEMO:
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_VARCHAR:
      return Load<std::uint32_t>(p) == 0;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      return Load<std::uint32_t>(p) == 0x00000020u && Load<std::uint32_t>(p + 4) == 0x80000000u;
    case NDS_INTEGER:
      return Load<std::uint32_t>(p) == 0x80000000u;
    case NDS_SHORTINT:
      return Load<std::uint16_t>(p) == 0x8000u;
    case NDS_TIME:
    case NDS_AUTOINC:
      return Load<std::uint32_t>(p) == 0xFFFFFFFFu;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return Load<std::uint32_t>(p) == 0;
    case NDS_MONEY:
    case NDS_ROWVERSION:
      return Load<std::uint32_t>(p) == 0 && Load<std::uint32_t>(p + 4) == 0x80000000u;
    default:
      return true;
  }
}

bool DbfIsNull(const std::uint8_t* p, std::uint32_t length, std::uint16_t type) {
  switch (type) {
    case NDS_LOGICAL:
    case NDS_NUMERIC:
    case NDS_STRING:
    case NDS_CISTRING:  // stored as text like a plain string; never always null
      return AllBytes(p, length, true);
    case NDS_DATE:
      return length == 4 ? Load<std::uint32_t>(p) == 0 : AllBytes(p, length, true);
    case NDS_MEMO:
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_VARCHAR:
      return Load<std::uint32_t>(p) == 0;
    case NDS_COMPACTDATE:
      return AllBytes(p, length, false);
    case NDS_DOUBLE:
    case NDS_INTEGER:
    case NDS_SHORTINT:
    case NDS_CURDOUBLE:
      return false;
    case NDS_TIME:
    case NDS_TIMESTAMP:
    case NDS_AUTOINC:
    case NDS_RAW:
    case NDS_MONEY:
    case NDS_ROWVERSION:
    case NDS_MODTIME:
      // DBF files do not carry these types, but the engine keeps them in
      // their binary forms in every table kind, a null one as blanks.
      // Calling them always null would hide stored values.
      return AllBytes(p, length, false) || AllSpaces(p, length) || NdtIsNull(p, length, type);
    default:
      return true;
  }
}

// "YYYYMMDD" of a compact date: 24 bits, most significant byte first, year
// in bits 23-9, month in 8-5, day in 4-0.
std::string UnpackCompactDate(const std::uint8_t* p) {
  const std::uint32_t packed = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  char text[16];
  std::snprintf(text, sizeof text, "%04u%02u%02u", (packed >> 9) % 10000u, (packed >> 5) & 0xFu,
                packed & 0x1Fu);
  return text;
}

// Day number of a date text through the engine's own date reading; the
// engine's answer code is not consulted (an unreadable text gives day 0's
// Julian number 0, as the engine leaves it).
std::int32_t DayNumberOfText(const std::string& text) {
  double julian = 0;
  NdsConvertStringToJulian(text.c_str(), static_cast<std::uint16_t>(text.size()), &julian);
  return static_cast<std::int32_t>(julian - kJulianOfDayZero);
}

constexpr std::uint64_t kEightBlanks = 0x2020202020202020ull;

// `length` less the blanks at the end of `p`, eight bytes a step: a text
// column's value is mostly shorter than the column.
std::uint32_t WithoutTrailingBlanks(const std::uint8_t* p, std::uint32_t length) {
  while (length >= 8) {
    const std::uint64_t diff = Load<std::uint64_t>(p + length - 8) ^ kEightBlanks;
    if (diff != 0) {
      // The highest differing byte is the last one in memory that is no blank.
      if constexpr (std::endian::native == std::endian::little)
        return length - static_cast<std::uint32_t>(std::countl_zero(diff)) / 8;
      break;
    }
    length -= 8;
  }
  while (length > 0 && p[length - 1] == ' ') --length;
  return length;
}

std::string_view Trimmed(const std::uint8_t* p, std::uint32_t length) {
  std::uint32_t begin = 0, end = length;
  // Numeric texts stand right-aligned behind blanks: the first eight bytes
  // that are not all blanks tell where the text starts.
  while (end - begin >= 8) {
    const std::uint64_t diff = Load<std::uint64_t>(p + begin) ^ kEightBlanks;
    if (diff != 0) {
      // The lowest differing byte is the first one in memory.
      if constexpr (std::endian::native == std::endian::little)
        begin += static_cast<std::uint32_t>(std::countr_zero(diff)) / 8;
      break;
    }
    begin += 8;
  }
  while (begin < end && p[begin] == ' ') ++begin;
  while (end > begin && (p[end - 1] == ' ' || p[end - 1] == 0)) --end;
  return std::string_view(reinterpret_cast<const char*>(p) + begin, end - begin);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The parts of a plain decimal text "[-]digits[.digits]": its sign, its
// significant digits (leading integer zeros dropped; an integer of zeros
// keeps one zero when there are no decimal places) and its decimal places.
struct PlainDecimal {
  bool negative = false;
  const char* first = nullptr;  // the first significant integer digit
  const char* integerEnd = nullptr;
  const char* fractionStart = nullptr;
  const char* fractionEnd = nullptr;
  std::size_t places = 0;
  std::size_t precision = 0;  // significant digits, the decimal places included
};

// False for any other text or more than 64 digits.
bool ScanPlainDecimal(std::string_view text, PlainDecimal* d) {
  const char* c = text.data();
  const char* const end = c + text.size();
  d->negative = c != end && *c == '-';
  if (d->negative) ++c;
  const char* const integerStart = c;
  while (c != end && *c == '0') ++c;
  d->first = c;
  while (c != end && IsDigit(*c)) ++c;
  d->integerEnd = c;
  d->fractionStart = c;
  if (c != end && *c == '.') {
    d->fractionStart = ++c;
    while (c != end && IsDigit(*c)) ++c;
  }
  d->fractionEnd = c;
  if (c != end || d->integerEnd == integerStart) return false;
  d->places = static_cast<std::size_t>(d->fractionEnd - d->fractionStart);
  if (static_cast<std::size_t>(d->integerEnd - integerStart) + d->places > 64) return false;
  if (d->first == d->integerEnd && d->places == 0) --d->first;
  d->precision = static_cast<std::size_t>(d->integerEnd - d->first) + d->places;
  return true;
}

// The common numeric text straight into the TBcd at `dest`, as the
// framework's text reading builds it (zero without a sign); false, with
// `dest` untouched, for any other text or more than 32 digits, which then
// takes the framework's reading. A walk reads one such value per numeric
// field and record.
bool PlainTextToBcd(std::string_view text, void* dest) {
  PlainDecimal d;
  if (!ScanPlainDecimal(text, &d)) return false;
  if (d.precision > static_cast<std::size_t>(dataset::kMaxBcdPrecision)) return false;

  auto* value = static_cast<dataset::TBcd*>(dest);
  std::memset(value, 0, sizeof *value);
  // The digits go two to a byte, high nibble first; `half` tells that the
  // byte at `out` holds a high nibble waiting for its low one.
  std::uint8_t* out = value->Fraction;
  bool half = false;
  unsigned any = 0;  // stays 0 for a zero value, which has no sign
  auto put = [&](const char* from, const char* to) {
    if (half && from != to) {
      const unsigned low = static_cast<unsigned>(*from++ - '0');
      any |= low;
      *out++ |= static_cast<std::uint8_t>(low);
      half = false;
    }
    for (; to - from >= 2; from += 2) {
      const unsigned high = static_cast<unsigned>(from[0] - '0');
      const unsigned low = static_cast<unsigned>(from[1] - '0');
      any |= high | low;
      *out++ = static_cast<std::uint8_t>(high << 4 | low);
    }
    if (from != to) {
      const unsigned high = static_cast<unsigned>(*from - '0');
      any |= high;
      *out = static_cast<std::uint8_t>(high << 4);
      half = true;
    }
  };
  put(d.first, d.integerEnd);
  put(d.fractionStart, d.fractionEnd);
  value->Precision = static_cast<std::uint8_t>(d.precision);
  value->SignSpecialPlaces =
      static_cast<std::uint8_t>((d.negative && any != 0 ? 0x80 : 0) | d.places);
  return true;
}

// A numeric field of a record image (the text "[-]digits[.digits]",
// right-aligned behind blanks) as the double its TBcd converts to, read in
// one pass: up to 15 significant digits the digits and the power of ten are
// exact doubles, so one division rounds as the BCD's conversion does. False
// for any other text, which then takes the BCD's way.
bool NumericImageToDouble(const std::uint8_t* p, std::uint32_t length, double* value) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const std::string_view text = Trimmed(p, length);
  const char* c = text.data();
  const char* const end = c + text.size();
  const bool negative = c != end && *c == '-';
  if (negative) ++c;
  const char* const integerStart = c;
  while (c != end && *c == '0') ++c;
  const char* const first = c;  // the first significant integer digit
  // The whole part and the fraction are read as one number of all their
  // digits. Beyond 19 significant digits it wraps around; such texts are
  // refused below anyway.
  std::uint64_t digits = 0;
  unsigned digit = 0;
  for (; c != end && (digit = static_cast<unsigned char>(*c) - unsigned{'0'}) <= 9; ++c)
    digits = digits * 10 + digit;
  const char* const integerEnd = c;
  std::size_t places = 0;
  if (c != end && *c == '.') {
    const char* const fractionStart = ++c;
    for (; c != end && (digit = static_cast<unsigned char>(*c) - unsigned{'0'}) <= 9; ++c)
      digits = digits * 10 + digit;
    places = static_cast<std::size_t>(c - fractionStart);
  }
  if (c != end || integerEnd == integerStart) return false;
  if (static_cast<std::size_t>(integerEnd - integerStart) + places > 64) return false;
  if (static_cast<std::size_t>(integerEnd - first) + places > 15) return false;
  const double magnitude = static_cast<double>(digits) / kPowers[places];
  *value = negative && digits != 0 ? -magnitude : magnitude;
  return true;
}

// Kept out of ReadEngineFieldValue so that the reads of the other types do
// not pay for its registers on entry and exit.
[[gnu::noinline]] void ConvertNumericText(const std::uint8_t* p, std::uint32_t length,
                                          dataset::TFieldType type, void* dest) {
  const std::string_view view = Trimmed(p, length);
  switch (type) {
    case dataset::ftBCD:
    case dataset::ftFMTBcd: {
      if (PlainTextToBcd(view, dest)) return;
      dataset::TBcd value{};
      if (dataset::TryStrToBcd(std::string(view), value)) std::memcpy(dest, &value, sizeof value);
      return;
    }
    case dataset::ftSmallint: {
      const std::string text(view);
      std::int16_t value = 0;
      const char* first = text.data();
      if (!text.empty() && text[0] == '+') ++first;
      const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
      if (ec == std::errc() && end == text.data() + text.size())
        std::memcpy(dest, &value, sizeof value);
      return;
    }
    default: {
      const std::string text(view);
      if (text.empty()) return;
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      if (end == text.c_str() + text.size()) std::memcpy(dest, &value, sizeof value);
      return;
    }
  }
}

// Bytes a conversion writes at least for an engine type read into a field
// of `fieldType`; strings and raw bytes are cut to the field instead.
int ValueSizeOf(std::uint16_t engineType, dataset::TFieldType fieldType) {
  switch (engineType) {
    case NDS_LOGICAL:
    case NDS_SHORTINT:
      return 2;
    case NDS_NUMERIC:
      if (fieldType == dataset::ftBCD || fieldType == dataset::ftFMTBcd)
        return sizeof(dataset::TBcd);
      return fieldType == dataset::ftSmallint ? 2 : 8;
    case NDS_DATE:
    case NDS_COMPACTDATE:
    case NDS_INTEGER:
    case NDS_AUTOINC:
    case NDS_TIME:
      return 4;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return 8;
    case NDS_MONEY:
    case NDS_ROWVERSION:
      return sizeof(dataset::TBcd);
    case NDS_STRING:
    case NDS_CISTRING:
      return 1;  // the terminating zero
    default:
      return 0;
  }
}

}  // namespace

bool TNdsDataSet::ReadFieldValue(dataset::TField& field, void* dest) {
  const dataset::TRecordBuffer buffer = ReadingBuffer();
  if (buffer == nullptr) return false;
  if (field.FieldNo() > 0) {
    const TNCEFieldDef& def = *engineFields_->Items(field.FieldNo() - 1);
    // The binary integers and day numbers of NDT tables, read by the field
    // objects made for them, are copied as ReadEngineFieldValue would,
    // without its dispatch over every type: a walk reads such values at
    // every record.
    if (engineTableType_ == NDS_NDT && dest != nullptr) {
      const std::uint8_t* p = buffer + def.offset;
      if (def.engineType == NDS_INTEGER && field.DataType() == dataset::ftInteger) {
        if (Load<std::uint32_t>(p) == 0x80000000u) return false;
        std::memcpy(dest, p, 4);
        return true;
      }
      if (def.engineType == NDS_DATE && def.length == 4 && field.DataType() == dataset::ftDate) {
        if (Load<std::uint32_t>(p) == 0) return false;
        const std::int32_t day =
            Load<std::int32_t>(p) - static_cast<std::int32_t>(kJulianOfDayZero);
        std::memcpy(dest, &day, sizeof day);
        return true;
      }
    }
    return !ConvertFromEngineValue(field, buffer, dest);
  }
  switch (State()) {
    case dataset::dsBrowse:
    case dataset::dsEdit:
    case dataset::dsInsert:
    case dataset::dsCalcFields:
    case dataset::dsFilter:
      return ReadCalcSlot(buffer, field, dest);
    default:
      return false;
  }
}

bool TNdsDataSet::ReadFieldAsDouble(dataset::TField& field, double* value, bool* is_null) {
  if (field.FieldNo() <= 0) return false;
  if (field.DataType() != dataset::ftBCD && field.DataType() != dataset::ftFMTBcd) return false;
  const dataset::TRecordBuffer buffer = ReadingBuffer();
  if (buffer == nullptr) return false;
  const TNCEFieldDef& def = *engineFields_->Items(field.FieldNo() - 1);
  if (def.engineType != NDS_NUMERIC) return false;
  const std::uint8_t* p = buffer + def.offset;
  // A numeric field's null forms: all zero bytes (NDT), or blanks too.
  if (AllBytes(p, def.length, engineTableType_ != NDS_NDT)) {
    *value = 0;
    *is_null = true;
    return true;
  }
  if (!NumericImageToDouble(p, def.length, value)) return false;
  *is_null = false;
  return true;
}

bool TNdsDataSet::ReadFieldAsString(dataset::TField& field, std::string* text, bool* is_null) {
  if (field.FieldNo() <= 0) return false;
  const dataset::TRecordBuffer buffer = ReadingBuffer();
  if (buffer == nullptr) return false;
  const TNCEFieldDef& def = *engineFields_->Items(field.FieldNo() - 1);
  if (def.engineType != NDS_STRING && def.engineType != NDS_CISTRING) return false;
  const std::uint8_t* p = buffer + def.offset;
  // A text field's null forms: all zero bytes (NDT), or blanks too.
  if (AllBytes(p, def.length, engineTableType_ != NDS_NDT)) {
    text->clear();
    *is_null = true;
    return true;
  }
  // As ReadEngineFieldValue writes the value form: what fits the field
  // object without the trailing blanks, up to a zero byte.
  const int dataSize = field.DataSize();
  const std::uint32_t room = static_cast<std::uint32_t>(std::max(dataSize - 1, 0));
  std::uint32_t end = WithoutTrailingBlanks(p, std::min(def.length, room));
  if (const void* zero = std::memchr(p, 0, end))
    end = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - p);
  text->assign(reinterpret_cast<const char*>(p), end);
  *is_null = false;
  return true;
}

bool ReadEngineFieldValue(const std::uint8_t* p, const TNCEFieldDef& def,
                          dataset::TFieldType fieldType, int dataSize, bool ndt, void* dest) {
  const std::uint32_t length = def.length;
  const std::uint16_t type = def.engineType;
  if (ndt ? NdtIsNull(p, length, type) : DbfIsNull(p, length, type)) return true;
  // A field object whose value form is smaller than the conversion writes
  // (one bound to a column of another type) gets nothing.
  if (dest == nullptr || dataSize < ValueSizeOf(type, fieldType)) return false;

  switch (type) {
    case NDS_LOGICAL: {
      const char c = static_cast<char>(p[0]);
      const std::int16_t value =
          (c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y') ? -1 : 0;
      std::memcpy(dest, &value, sizeof value);
      break;
    }
    case NDS_NUMERIC:
      ConvertNumericText(p, length, fieldType, dest);
      break;
    case NDS_DATE: {
      std::int32_t day = 0;
      if (length == 4)
        // In 64 bits: a damaged image's day near the lowest 32-bit value
        // must not overflow (the result wraps, as the field's type does).
        day = static_cast<std::int32_t>(static_cast<std::int64_t>(Load<std::int32_t>(p)) -
                                        static_cast<std::int64_t>(kJulianOfDayZero));
      else
        day = DayNumberOfText(std::string(reinterpret_cast<const char*>(p), length));
      std::memcpy(dest, &day, sizeof day);
      break;
    }
    case NDS_STRING:
    case NDS_CISTRING: {
      // A field object sized smaller than the column gets what fits.
      const std::uint32_t room = static_cast<std::uint32_t>(std::max(dataSize - 1, 0));
      const std::uint32_t count = std::min(length, room);
      // The text without its trailing blanks, zeros up to the end of what
      // was copied.
      const std::uint32_t end = WithoutTrailingBlanks(p, count);
      auto* text = static_cast<char*>(dest);
      std::memcpy(text, p, end);
      std::memset(text + end, 0, count + 1 - end);
      break;
    }
    case NDS_COMPACTDATE: {
      const std::int32_t day = DayNumberOfText(UnpackCompactDate(p));
      std::memcpy(dest, &day, sizeof day);
      break;
    }
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      std::memcpy(dest, p, 8);
      break;
    case NDS_INTEGER:
    case NDS_AUTOINC:
    case NDS_TIME:
      std::memcpy(dest, p, 4);
      break;
    case NDS_SHORTINT:
      std::memcpy(dest, p, 2);
      break;
    case NDS_TIMESTAMP:
    case NDS_MODTIME: {
      const double day = Load<std::uint32_t>(p);
      const double msecs = Load<std::uint32_t>(p + 4);
      double value = (day - kJulianOfDayZero) * kMSecsPerDay + msecs;
      if (value < 0) value = 0;
      std::memcpy(dest, &value, sizeof value);
      break;
    }
    case NDS_RAW:
      std::memcpy(dest, p, std::min(length, static_cast<std::uint32_t>(std::max(dataSize, 0))));
      break;
    case NDS_MONEY: {
      const dataset::TBcd value = dataset::CurrToBcd(Load<std::int64_t>(p), 20);
      std::memcpy(dest, &value, sizeof value);
      break;
    }
    case NDS_ROWVERSION: {
      const dataset::TBcd value = dataset::Int64ToBcd(Load<std::int64_t>(p));
      std::memcpy(dest, &value, sizeof value);
      break;
    }
    default:
      // Blob contents travel through a blob stream.
      break;
  }
  return false;
}

// Out of line: ReadFieldValue's own reads need none of its registers.
[[gnu::noinline]] bool TNdsDataSet::ConvertFromEngineValue(dataset::TField& field,
                                                           dataset::TRecordBuffer buffer,
                                                           void* dest) {
  const TNCEFieldDef& def = *engineFields_->Items(field.FieldNo() - 1);
  // A blob written since the record was read is null exactly when it is
  // empty; otherwise the presence marker read with the record decides.
  if (field.IsBlob()) {
    if (const TNdsBlobCache* cache = blobCaches_.Modified(buffer, field.BlobIndex()))
      return cache->Bytes().empty();
  }
  return ReadEngineFieldValue(buffer + def.offset, def, field.DataType(), field.DataSize(),
                              engineTableType_ == NDS_NDT, dest);
}

}  // namespace nds
