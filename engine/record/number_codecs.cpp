// Codecs of the binary number fields: IEEE doubles, 32-bit, auto-increment
// and 16-bit integers, money (a 64-bit count of ten-thousandths) and row
// versions. In NDT images each has a null form no value takes; DBF-kind
// tables hold the four of them they know without an empty value.
#include <cmath>
#include <string>

#include "engine/base/money.h"
#include "engine/record/field_codecs.h"
#include "engine/record/field_values.h"
#include "engine/record/null_forms.h"
#include "engine/record/stored_values.h"

namespace nce {

namespace {

// ---- double ---------------------------------------------------------------------

void DoubleNdtNull(const FieldDesc&, uint8_t* p) {
  Store<uint32_t>(p, 0x00000020u);
  Store<uint32_t>(p + 4, 0x80000000u);
}

bool DoubleNdtIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint32_t>(p) == 0x20u && Load<uint32_t>(p + 4) == 0x80000000u;
}

bool EncodeDouble(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  double number;
  if (!AsNumber(v, &number)) return false;
  Store<double>(p, number);
  return true;
}

StoredEncode StoreDouble(const FieldDesc&, const StoredView& value, uint8_t* p) {
  if (!value.IsNumber()) return StoredEncode::kByValue;
  Store<double>(p, value.Number());
  return StoredEncode::kWritten;
}

Value DecodeDouble(const FieldDesc& f, bool, const uint8_t* p) {
  double d = Load<double>(p);
  if (!std::isfinite(d)) NotAValue(f, "not a finite number");
  return Value::Real(d);
}

// ---- 32-bit and auto-increment integers -------------------------------------------

void IntegerNdtNull(const FieldDesc&, uint8_t* p) {
  Store<uint32_t>(p, 0x80000000u);
}

bool IntegerNdtIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint32_t>(p) == 0x80000000u;
}

void AutoincNdtNull(const FieldDesc&, uint8_t* p) {
  Store<uint32_t>(p, 0xFFFFFFFFu);
}

bool AutoincNdtIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint32_t>(p) == 0xFFFFFFFFu;
}

// Both kinds take signed and unsigned 32-bit values; the reader tells them
// apart.
bool EncodeInteger(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  int64_t integer;
  if (!AsInteger(v, &integer) || integer < INT32_MIN || integer > UINT32_MAX) return false;
  Store<uint32_t>(p, static_cast<uint32_t>(integer));
  return true;
}

StoredEncode StoreInteger(const FieldDesc&, const StoredView& value, uint8_t* p) {
  if (value.kind != StoredView::Kind::kInteger) return StoredEncode::kByValue;
  int64_t v = value.integer;
  if (v < INT32_MIN || v > INT32_MAX) return StoredEncode::kByValue;
  Store<int32_t>(p, static_cast<int32_t>(v));
  return StoredEncode::kWritten;
}

Value DecodeInteger(const FieldDesc&, bool, const uint8_t* p) {
  return Value::Integer(Load<int32_t>(p));
}

Value DecodeAutoinc(const FieldDesc&, bool, const uint8_t* p) {
  return Value::Integer(Load<uint32_t>(p));
}

// ---- 16-bit integers ------------------------------------------------------------------

void ShortintNdtNull(const FieldDesc&, uint8_t* p) {
  Store<uint16_t>(p, 0x8000u);
}

bool ShortintNdtIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint16_t>(p) == 0x8000u;
}

bool EncodeShortint(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  int64_t integer;
  if (!AsInteger(v, &integer) || integer < INT16_MIN || integer > INT16_MAX) return false;
  Store<int16_t>(p, static_cast<int16_t>(integer));
  return true;
}

Value DecodeShortint(const FieldDesc&, bool, const uint8_t* p) {
  return Value::Integer(Load<int16_t>(p));
}

// ---- money and row versions ----------------------------------------------------------

void Int64NdtNull(const FieldDesc&, uint8_t* p) {
  Store<uint32_t>(p, 0);
  Store<uint32_t>(p + 4, 0x80000000u);
}

bool Int64NdtIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint32_t>(p) == 0 && Load<uint32_t>(p + 4) == 0x80000000u;
}

bool EncodeMoney(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  int64_t scaled;
  if (!MoneyFromValue(v, &scaled)) return false;
  Store<int64_t>(p, scaled);
  return true;
}

// Every 64-bit value but the null form is an amount.
Value DecodeMoney(const FieldDesc&, bool, const uint8_t* p) {
  return MoneyValue(Load<int64_t>(p));
}

bool EncodeRowversion(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  int64_t integer;
  if (!AsInteger(v, &integer)) return false;
  Store<int64_t>(p, integer);
  return true;
}

Value DecodeRowversion(const FieldDesc&, bool, const uint8_t* p) {
  return Value::Integer(Load<int64_t>(p));
}

}  // namespace

const ImageCodec kDoubleCodec = {
    .null_ndt = DoubleNdtNull,
    .null_dbf = FillZeros,
    .is_null_ndt = DoubleNdtIsNull,
    .is_null_dbf = NeverNull,
    .encode = EncodeDouble,
    .encode_stored = StoreDouble,
    .decode = DecodeDouble,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kIntegerCodec = {
    .null_ndt = IntegerNdtNull,
    .null_dbf = FillZeros,
    .is_null_ndt = IntegerNdtIsNull,
    .is_null_dbf = NeverNull,
    .encode = EncodeInteger,
    .encode_stored = StoreInteger,
    .decode = DecodeInteger,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kAutoincCodec = {
    .null_ndt = AutoincNdtNull,
    .null_dbf = FillSpaces,
    .is_null_ndt = AutoincNdtIsNull,
    .is_null_dbf = BlankOrAsNdt<AutoincNdtIsNull>,
    .encode = EncodeInteger,
    .encode_stored = nullptr,
    .decode = DecodeAutoinc,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kShortintCodec = {
    .null_ndt = ShortintNdtNull,
    .null_dbf = FillZeros,
    .is_null_ndt = ShortintNdtIsNull,
    .is_null_dbf = NeverNull,
    .encode = EncodeShortint,
    .encode_stored = nullptr,
    .decode = DecodeShortint,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kMoneyCodec = {
    .null_ndt = Int64NdtNull,
    .null_dbf = FillSpaces,
    .is_null_ndt = Int64NdtIsNull,
    .is_null_dbf = BlankOrAsNdt<Int64NdtIsNull>,
    .encode = EncodeMoney,
    .encode_stored = nullptr,
    .decode = DecodeMoney,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kRowversionCodec = {
    .null_ndt = Int64NdtNull,
    .null_dbf = FillSpaces,
    .is_null_ndt = Int64NdtIsNull,
    .is_null_dbf = BlankOrAsNdt<Int64NdtIsNull>,
    .encode = EncodeRowversion,
    .encode_stored = nullptr,
    .decode = DecodeRowversion,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

}  // namespace nce
