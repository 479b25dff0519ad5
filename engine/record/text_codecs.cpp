// Codecs of the character forms: logical, numeric, string and raw fields.
// Logical fields hold "T" or "F" in both families; numeric fields hold
// right-aligned fixed-point text; string fields hold their text padded with
// blanks; raw fields hold their bytes padded with zero bytes.
#include <algorithm>
#include <string>
#include <string_view>

#include "engine/record/field_codecs.h"
#include "engine/record/field_values.h"
#include "engine/record/null_forms.h"
#include "engine/record/record_image.h"
#include "engine/record/stored_values.h"

namespace nce {

namespace {

char* Chars(uint8_t* p) {
  return reinterpret_cast<char*>(p);
}

std::string_view TextAt(const FieldDesc& f, const uint8_t* p) {
  return std::string_view(reinterpret_cast<const char*>(p), f.shape.length);
}

bool IsTextual(const Value& v) {
  return v.kind == Value::Kind::kText || v.kind == Value::Kind::kBlob;
}

// ---- logical ------------------------------------------------------------------

void LogicalNdtNull(const FieldDesc&, uint8_t* p) {
  p[0] = ' ';
}

bool LogicalNdtIsNull(const FieldDesc&, const uint8_t* p) {
  return p[0] == ' ';
}

bool EncodeLogical(const FieldDesc&, bool, const Value& v, uint8_t* p) {
  bool truth;
  if (v.kind == Value::Kind::kText) {
    char c = Trim(v.bytes).empty() ? ' ' : Trim(v.bytes)[0];
    if (c == ' ') return false;
    truth = c == 'T' || c == 't' || c == 'Y' || c == 'y' || c == '1';
  } else {
    double number;
    truth = AsNumber(v, &number) && number != 0;
  }
  p[0] = truth ? 'T' : 'F';
  return true;
}

StoredEncode StoreLogical(const FieldDesc&, const StoredView& value, uint8_t* p) {
  if (value.kind != StoredView::Kind::kInteger) return StoredEncode::kByValue;
  p[0] = value.integer ? 'T' : 'F';
  return StoredEncode::kWritten;
}

Value DecodeLogical(const FieldDesc& f, bool, const uint8_t* p) {
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
}

// ---- numeric ------------------------------------------------------------------

bool EncodeNumeric(const FieldDesc& f, bool, const Value& v, uint8_t* p) {
  if (v.kind == Value::Kind::kInteger)
    return FixedInteger(v.integer, f.shape.decimals, f.shape.length, Chars(p));
  double number;
  return AsNumber(v, &number) && FixedText(number, f.shape.decimals, f.shape.length, Chars(p));
}

StoredEncode StoreNumeric(const FieldDesc& f, const StoredView& value, uint8_t* p) {
  if (!value.IsNumber()) return StoredEncode::kByValue;
  bool fits = value.kind == StoredView::Kind::kInteger
                  ? FixedInteger(value.integer, f.shape.decimals, f.shape.length, Chars(p))
                  : FixedText(value.real, f.shape.decimals, f.shape.length, Chars(p));
  return fits ? StoredEncode::kWritten : StoredEncode::kNull;
}

Value DecodeNumeric(const FieldDesc& f, bool, const uint8_t* p) {
  return NumericValue(f, TextAt(f, p));
}

// ---- string ---------------------------------------------------------------------

void PutPadded(const FieldDesc& f, std::string_view text, uint8_t* p) {
  std::memset(p, ' ', f.shape.length);
  std::memcpy(p, text.data(), std::min<size_t>(text.size(), f.shape.length));
}

bool EncodeString(const FieldDesc& f, bool ndt, const Value& v, uint8_t* p) {
  if (IsTextual(v))
    PutPadded(f, v.bytes, p);
  else
    PutPadded(f, FormatText(f, ndt, v), p);
  return true;
}

StoredEncode StoreString(const FieldDesc& f, const StoredView& value, uint8_t* p) {
  if (value.kind != StoredView::Kind::kText) return StoredEncode::kByValue;
  size_t n = std::min<size_t>(value.size, f.shape.length);
  if (n) std::memcpy(p, value.bytes, n);
  std::memset(p + n, ' ', f.shape.length - n);
  return StoredEncode::kWritten;
}

// The text up to a zero byte, without trailing blanks.
Value DecodeString(const FieldDesc& f, bool, const uint8_t* p) {
  std::string_view text = TextAt(f, p);
  std::string_view s = text.substr(0, text.find('\0'));
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return Value::Text(std::string(s));
}

// ---- raw ------------------------------------------------------------------------------

bool EncodeRaw(const FieldDesc& f, bool, const Value& v, uint8_t* p) {
  if (!IsTextual(v)) return false;
  std::memset(p, 0, f.shape.length);
  std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), f.shape.length));
  return true;
}

Value DecodeRaw(const FieldDesc& f, bool, const uint8_t* p) {
  return Value::Blob(std::string(TextAt(f, p)));
}

}  // namespace

const ImageCodec kLogicalCodec = {
    .null_ndt = LogicalNdtNull,
    .null_dbf = FillSpaces,
    .is_null_ndt = LogicalNdtIsNull,
    .is_null_dbf = BlankIsNull,
    .encode = EncodeLogical,
    .encode_stored = StoreLogical,
    .decode = DecodeLogical,
    .short_image = ShortImage::kSpacePadded,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec kNumericCodec = {
    .null_ndt = FillZeros,
    .null_dbf = FillSpaces,
    .is_null_ndt = ZerosAreNull,
    .is_null_dbf = BlankIsNull,
    .encode = EncodeNumeric,
    .encode_stored = StoreNumeric,
    .decode = DecodeNumeric,
    .short_image = ShortImage::kSpacePadded,
    .blank_tail = true,
    .blob = BlobContents::kNone,
};

const ImageCodec kStringCodec = {
    .null_ndt = FillZeros,
    .null_dbf = FillSpaces,
    .is_null_ndt = ZerosAreNull,
    .is_null_dbf = BlankIsNull,
    .encode = EncodeString,
    .encode_stored = StoreString,
    .decode = DecodeString,
    .short_image = ShortImage::kSpacePadded,
    .blank_tail = true,
    .blob = BlobContents::kNone,
};

const ImageCodec kRawCodec = {
    .null_ndt = FillZeros,
    .null_dbf = FillSpaces,
    .is_null_ndt = ZerosAreNull,
    .is_null_dbf = BlankOrAsNdt<ZerosAreNull>,
    .encode = EncodeRaw,
    .encode_stored = nullptr,
    .decode = DecodeRaw,
    .short_image = ShortImage::kZeroPadded,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

}  // namespace nce
