// Codecs of the calendar fields. A date of four bytes is a Julian day
// number; a longer one (DBF-kind tables) the text "YYYYMMDD". A compact date
// packs year, month and day into three big-endian bytes. Times are
// milliseconds of the day; timestamps a Julian day and milliseconds.
#include <string>
#include <string_view>

#include "engine/base/dates.h"
#include "engine/record/calendar_texts.h"
#include "engine/record/field_codecs.h"
#include "engine/record/field_values.h"
#include "engine/record/null_forms.h"
#include "engine/record/stored_values.h"

namespace nce {

namespace {

// ---- date ---------------------------------------------------------------------------

void PutDate(const FieldDesc& f, int64_t julian, uint8_t* p) {
  if (f.shape.length == 4) {
    Store<int32_t>(p, static_cast<int32_t>(julian));
  } else {
    std::memset(p, ' ', f.shape.length);
    if (f.shape.length >= 8) DateDigits(julian, p);
  }
}

bool EncodeDate(const FieldDesc& f, bool, const Value& v, uint8_t* p) {
  int64_t julian;
  if (!AsDate(v, &julian)) return false;
  PutDate(f, julian, p);
  return true;
}

// The form the store keeps dates in, "YYYY-MM-DD" and nothing more, read
// without the general parser (a walk reads one per record); false for any
// other text, which then takes ParseDate.
bool ReadIsoDate(std::string_view text, int64_t* julian) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  // Each digit as its value; any other byte gives more than 9.
  const unsigned y0 = s[0] - 48u, y1 = s[1] - 48u, y2 = s[2] - 48u, y3 = s[3] - 48u;
  const unsigned m0 = s[5] - 48u, m1 = s[6] - 48u, d0 = s[8] - 48u, d1 = s[9] - 48u;
  if (y0 > 9 || y1 > 9 || y2 > 9 || y3 > 9 || m0 > 9 || m1 > 9 || d0 > 9 || d1 > 9) return false;
  const CivilDate date{static_cast<int>(y0 * 1000 + y1 * 100 + y2 * 10 + y3),
                       static_cast<int>(m0 * 10 + m1), static_cast<int>(d0 * 10 + d1)};
  return JulianOfValidDate(date, julian);
}

StoredEncode StoreDate(const FieldDesc& f, const StoredView& value, uint8_t* p) {
  if (value.kind != StoredView::Kind::kText) return StoredEncode::kByValue;
  std::string_view text = value.Bytes();
  int64_t julian;
  if (!ReadIsoDate(text, &julian) && !ParseDate(text, &julian, nullptr)) return StoredEncode::kNull;
  PutDate(f, julian, p);
  return StoredEncode::kWritten;
}

Value DecodeDate(const FieldDesc& f, bool, const uint8_t* p) {
  if (f.shape.length == 4) return DateValue(f, Load<int32_t>(p));
  std::string_view text = Trim(std::string_view(reinterpret_cast<const char*>(p), f.shape.length));
  int64_t julian;
  if (!ParseDate(text, &julian, nullptr))
    NotAValue(f, "\"" + std::string(text) + "\" is not a date");
  return Value::Text(IsoDate(julian));
}

// ---- compact date -----------------------------------------------------------------

bool EncodeCompactDate(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  int64_t julian;
  if (!AsDate(v, &julian)) return false;
  auto [y, m, d] = CivilFromJulian(julian);
  uint32_t packed = static_cast<uint32_t>(y) * 512 + m * 32 + d;
  p[0] = static_cast<uint8_t>(packed >> 16);
  p[1] = static_cast<uint8_t>(packed >> 8);
  p[2] = static_cast<uint8_t>(packed);
  return true;
}

Value DecodeCompactDate(const FieldDesc& f, bool, const uint8_t* p) {
  uint32_t packed = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  CivilDate date{static_cast<int>(packed >> 9), static_cast<int>((packed >> 5) & 15),
                 static_cast<int>(packed & 31)};
  if (!IsValidDate(date)) NotAValue(f, "compact date bytes do not form a date");
  return Value::Text(IsoDateText(date));
}

// ---- time ---------------------------------------------------------------------------

void TimeNdtNull(const FieldDesc&, uint8_t* p) {
  Store<uint32_t>(p, 0xFFFFFFFFu);
}

bool TimeNdtIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint32_t>(p) == 0xFFFFFFFFu;
}

bool EncodeTime(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  int64_t ms;
  if (!AsTime(v, &ms)) return false;
  Store<int32_t>(p, static_cast<int32_t>(ms));
  return true;
}

Value DecodeTime(const FieldDesc& f, bool, const uint8_t* p) {
  return TimeValue(f, Load<int32_t>(p));
}

// ---- timestamp ------------------------------------------------------------------

void TimestampNdtNull(const FieldDesc&, uint8_t* p) {
  Store<uint32_t>(p, 0);
  Store<uint32_t>(p + 4, 0xFFFFFFFFu);
}

// Day zero is no date: the day alone tells an empty timestamp.
bool TimestampNdtIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint32_t>(p) == 0;
}

bool EncodeTimestamp(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  int64_t julian, ms;
  if (v.kind != Value::Kind::kText || !ParseTimestamp(Trim(v.bytes), &julian, &ms)) return false;
  Store<uint32_t>(p, static_cast<uint32_t>(julian));
  Store<uint32_t>(p + 4, static_cast<uint32_t>(ms));
  return true;
}

Value DecodeTimestamp(const FieldDesc& f, bool, const uint8_t* p) {
  return TimestampValue(f, Load<uint32_t>(p), Load<uint32_t>(p + 4));
}

}  // namespace

const ImageCodec kDateCodec = {
    .null_ndt = FillZeros,
    .null_dbf = FillSpaces,
    .is_null_ndt = ZerosAreNull,
    .is_null_dbf = BlankIsNull,
    .encode = EncodeDate,
    .encode_stored = StoreDate,
    .decode = DecodeDate,
    .short_image = ShortImage::kSpacePaddedInDbf,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kCompactDateCodec = {
    .null_ndt = FillZeros,
    .null_dbf = FillZeros,
    .is_null_ndt = ZerosAreNull,
    .is_null_dbf = ZerosAreNull,
    .encode = EncodeCompactDate,
    .encode_stored = nullptr,
    .decode = DecodeCompactDate,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kTimeCodec = {
    .null_ndt = TimeNdtNull,
    .null_dbf = FillSpaces,
    .is_null_ndt = TimeNdtIsNull,
    .is_null_dbf = BlankOrAsNdt<TimeNdtIsNull>,
    .encode = EncodeTime,
    .encode_stored = nullptr,
    .decode = DecodeTime,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kTimestampCodec = {
    .null_ndt = TimestampNdtNull,
    .null_dbf = FillSpaces,
    .is_null_ndt = TimestampNdtIsNull,
    .is_null_dbf = BlankOrAsNdt<TimestampNdtIsNull>,
    .encode = EncodeTimestamp,
    .encode_stored = nullptr,
    .decode = DecodeTimestamp,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

}  // namespace nce
