// One image codec per engine field type: how a field's value is written into
// a record image and read back, and what the field looks like when empty, in
// the two table families. NDT tables hold binary forms with a null form of
// their own per type; DBF-kind tables hold text forms, and blank or zeroed
// bytes for an empty field. record_image.cpp dispatches through this table;
// the text forms of NdsGetField and NdsSetField have a table of their own in
// text_forms.cpp.
#ifndef ENGINE_RECORD_FIELD_CODECS_H
#define ENGINE_RECORD_FIELD_CODECS_H

#include <cstddef>
#include <cstdint>

#include "engine/base/stored_view.h"
#include "engine/base/values.h"
#include "engine/schema/catalog.h"

namespace nce {

// What an encoder from a stored value did.
enum class StoredEncode {
  kWritten,  // the image form is in place
  kNull,     // the field shows nothing: the caller writes the null form
  kByValue,  // not a case of the fast path: the caller goes through a Value
};

// How the image reader takes a value given with fewer bytes than the field.
enum class ShortImage {
  kRefused,           // fixed-width binary forms cannot be read
  kSpacePadded,       // texts are padded with blanks
  kZeroPadded,        // raw bytes are padded with zero bytes
  kSpacePaddedInDbf,  // a text form in DBF-kind tables, binary in NDT ones
};

// What a field's contents are when they travel outside the record image.
enum class BlobContents { kNone, kText, kBytes };

struct ImageCodec {
  // The empty field in each family, written over the field's whole width.
  void (*null_ndt)(const FieldDesc& f, uint8_t* place);
  void (*null_dbf)(const FieldDesc& f, uint8_t* place);
  // What readers of record images take as an empty field in each family.
  bool (*is_null_ndt)(const FieldDesc& f, const uint8_t* place);
  bool (*is_null_dbf)(const FieldDesc& f, const uint8_t* place);
  // Writes a non-null value's image form; false when the field cannot show
  // it (a text where a number belongs): the caller writes the null form.
  bool (*encode)(const FieldDesc& f, bool ndt, const Value& v, uint8_t* place);
  // The walk's fast path from a column of a stepped statement; nullptr when
  // the type has none.
  StoredEncode (*encode_stored)(const FieldDesc& f, const StoredView& value, uint8_t* place);
  // Reads a full-width, non-null image form; raises EngineError when the
  // bytes are no value of the field. Blob codecs have none.
  Value (*decode)(const FieldDesc& f, bool ndt, const uint8_t* place);
  ShortImage short_image;
  // Longer values are taken when the bytes beyond the field are blank.
  bool blank_tail;
  // Memo, binary, image and variable-character fields: their contents travel
  // outside the record image, which holds only a presence marker, and are
  // read back whole as a text or as bytes.
  BlobContents blob;
};

// The codecs of each group of field types, which the table assembles.
extern const ImageCodec kLogicalCodec;
extern const ImageCodec kNumericCodec;
extern const ImageCodec kDateCodec;
extern const ImageCodec kCompactDateCodec;
extern const ImageCodec kStringCodec;
extern const ImageCodec kTextBlobCodec;
extern const ImageCodec kBinaryBlobCodec;
extern const ImageCodec kDoubleCodec;
extern const ImageCodec kIntegerCodec;
extern const ImageCodec kAutoincCodec;
extern const ImageCodec kShortintCodec;
extern const ImageCodec kTimeCodec;
extern const ImageCodec kTimestampCodec;
extern const ImageCodec kRawCodec;
extern const ImageCodec kMoneyCodec;
extern const ImageCodec kRowversionCodec;
extern const ImageCodec kUnknownCodec;

// The codecs indexed by engine field type (NDS_MODTIME the last); holes are
// types the engine does not know.
inline constexpr size_t kCodecCount = 23;
extern const ImageCodec* const kCodecTable[kCodecCount];

// The codec of an engine field type; types the engine does not know get a
// codec that writes them empty and refuses to read them. Inline, as the walk
// asks for every field of every record.
inline const ImageCodec& CodecFor(uint16_t type) {
  return type < kCodecCount ? *kCodecTable[type] : kUnknownCodec;
}

}  // namespace nce

#endif  // ENGINE_RECORD_FIELD_CODECS_H
