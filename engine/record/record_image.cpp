// The record image's entry points: each finds the field's codec
// (field_codecs.h) and applies the framing all types share.
#include "engine/record/record_image.h"

#include <string>

#include "engine/record/field_codecs.h"
#include "engine/record/field_values.h"
#include "engine/record/image_bytes.h"

namespace nce {

Value ValueFromStored(const StoredView& stored) {
  switch (stored.kind) {
    case StoredView::Kind::kInteger:
      return Value::Integer(stored.integer);
    case StoredView::Kind::kReal:
      return Value::Real(stored.real);
    case StoredView::Kind::kText:
      return Value::Text(std::string(stored.Bytes()));
    case StoredView::Kind::kBlob:
      return Value::Blob(std::string(stored.Bytes()));
    case StoredView::Kind::kNull:
      break;
  }
  return Value::Null();
}

bool IsBlobType(uint16_t type) {
  return CodecFor(type).blob != BlobContents::kNone;
}

// ---- encoding -----------------------------------------------------------------------

void EncodeNull(const FieldDesc& f, bool ndt, uint8_t* image) {
  const ImageCodec& codec = CodecFor(f.shape.type);
  (ndt ? codec.null_ndt : codec.null_dbf)(f, image + f.offset);
}

void EncodeValue(const FieldDesc& f, bool ndt, const Value& v, uint8_t* image) {
  if (IsNull(v) || !CodecFor(f.shape.type).encode(f, ndt, v, image + f.offset))
    EncodeNull(f, ndt, image);
}

void EncodeStoredByValue(const FieldDesc& f, bool ndt, const StoredView& stored, uint8_t* image) {
  EncodeValue(f, ndt, ValueFromStored(stored), image);
}

// ---- decoding an image ------------------------------------------------------------

namespace {

[[noreturn]] void GivenTooLong(const FieldDesc& f, uint32_t length) {
  TooLong(f, std::to_string(length) + " bytes given, the field holds " +
                 std::to_string(f.shape.length));
}

bool TakesShortImage(ShortImage rule, bool ndt) {
  return rule == ShortImage::kSpacePadded || rule == ShortImage::kZeroPadded ||
         (rule == ShortImage::kSpacePaddedInDbf && !ndt);
}

}  // namespace

Value DecodeImage(const FieldDesc& f, bool ndt, const uint8_t* place, uint32_t length) {
  const ImageCodec& codec = CodecFor(f.shape.type);
  if (codec.blob != BlobContents::kNone) {
    std::string bytes(reinterpret_cast<const char*>(place), length);
    return codec.blob == BlobContents::kBytes ? Value::Blob(std::move(bytes))
                                              : Value::Text(std::move(bytes));
  }
  if (length > f.shape.length &&
      !(codec.blank_tail && AllBytes(place + f.shape.length, length - f.shape.length, ' ', 0)))
    GivenTooLong(f, length);
  std::string padded;
  const uint8_t* p = place;
  if (length < f.shape.length) {
    if (!TakesShortImage(codec.short_image, ndt))
      NotAValue(f, std::to_string(length) + " bytes given, the field needs " +
                       std::to_string(f.shape.length));
    padded.assign(reinterpret_cast<const char*>(place), length);
    padded.resize(f.shape.length, codec.short_image == ShortImage::kZeroPadded ? '\0' : ' ');
    p = reinterpret_cast<const uint8_t*>(padded.data());
  }
  if ((ndt ? codec.is_null_ndt : codec.is_null_dbf)(f, p)) return Value::Null();
  return codec.decode(f, ndt, p);
}

}  // namespace nce
