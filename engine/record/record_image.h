// Record images: the fixed byte layout in which a cursor hands out one record
// and takes field values back. The store keeps natural values (numbers, ISO
// date texts, blobs); this unit converts between those values and the
// per-field forms of the two table families:
//  - NDT tables: binary forms (Julian day numbers, IEEE doubles, little-endian
//    integers) with a distinct null form per type;
//  - DBF-kind tables (CDX, NTX): text forms (dates as "YYYYMMDD", numbers as
//    right-aligned text), three-byte compact dates, and a leading deleted
//    flag byte ("*" deleted, " " not) before the first field.
#ifndef ENGINE_RECORD_RECORD_IMAGE_H
#define ENGINE_RECORD_RECORD_IMAGE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/stored_view.h"
#include "engine/base/values.h"
#include "engine/record/field_codecs.h"
#include "engine/schema/catalog.h"

namespace nce {

// A copy of a stored value, to keep beyond the store's next step.
Value ValueFromStored(const StoredView& stored);

// True for a null (or never set) value.
inline bool IsNull(const Value& v) {
  return v.kind == Value::Kind::kNull || v.kind == Value::Kind::kUnset;
}

// True for memo, binary, image and variable-character fields, whose contents
// travel outside the record image.
bool IsBlobType(uint16_t type);

// Writes the image form of `value` at the field's place in `image`. A value
// the field cannot show (a text where a number belongs) is written as null.
// Blob fields get a presence marker: -1 when the value holds data, else 0.
void EncodeValue(const FieldDesc& field, bool ndt, const Value& value, uint8_t* image);

// Writes the field's null form: what an empty field looks like in the image.
void EncodeNull(const FieldDesc& field, bool ndt, uint8_t* image);

// The general path of EncodeStored, through a Value.
void EncodeStoredByValue(const FieldDesc& field, bool ndt, const StoredView& stored,
                         uint8_t* image);

// EncodeValue for a stored value, without an intermediate copy for the
// common types. Inline: a walk encodes every column of every row it reads,
// and the loop over the columns keeps what they share in registers.
inline void EncodeStored(const FieldDesc& f, bool ndt, const StoredView& stored, uint8_t* image) {
  const ImageCodec& codec = CodecFor(f.shape.type);
  StoredEncode done = codec.encode_stored ? codec.encode_stored(f, stored, image + f.offset)
                                          : StoredEncode::kByValue;
  if (done == StoredEncode::kWritten) return;
  if (done == StoredEncode::kNull || stored.kind == StoredView::Kind::kNull)
    return EncodeNull(f, ndt, image);
  EncodeStoredByValue(f, ndt, stored, image);
}

// Reads the value at the field's place in an image (the form EncodeValue
// writes). Raises EngineError 5147 (too long or too large) or 5148 (not a
// value of the field's type) naming the column as `column "NAME"`.
Value DecodeImage(const FieldDesc& field, bool ndt, const uint8_t* place, uint32_t length);

// Reads a value given as text (NdsSetField): the field's text form, such as
// "12.50", "20240305" or "T". Same errors as DecodeImage.
Value DecodeText(const FieldDesc& field, bool ndt, std::string_view text);

// The text form of a value, as NdsGetField hands it out. String fields come
// padded to their length; blob fields give their whole contents.
std::string FormatText(const FieldDesc& field, bool ndt, const Value& value);

}  // namespace nce

#endif  // ENGINE_RECORD_RECORD_IMAGE_H
