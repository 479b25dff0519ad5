// The table of image codecs by engine field type, with the codecs of blob
// fields and of types the engine does not know.
#include "engine/record/field_codecs.h"

#include <string>

#include "engine/record/field_values.h"
#include "engine/record/null_forms.h"
#include "nce/nce.h"

namespace nce {

namespace {

// ---- blobs: a presence marker in the image ----------------------------------------

bool BlobMarkerIsNull(const FieldDesc&, const uint8_t* p) {
  return Load<uint32_t>(p) == 0;
}

// -1 when the value holds data, else 0.
bool EncodeBlobMarker(const FieldDesc& f, bool, const Value& v, uint8_t* p) {
  bool holds =
      v.kind == Value::Kind::kText || v.kind == Value::Kind::kBlob ? !v.bytes.empty() : true;
  std::memset(p, 0, f.shape.length);
  Store<int32_t>(p, holds ? -1 : 0);
  return true;
}

// ---- types the engine does not know ------------------------------------------------

bool EncodeUnknown(const FieldDesc&, bool, const Value&, uint8_t*) {
  return false;
}

Value DecodeUnknown(const FieldDesc& f, bool, const uint8_t*) {
  NotAValue(f, "unknown field type " + std::to_string(f.shape.type));
}

// Blob columns hold only a presence marker in the image; text and bytes
// differ in how their contents are read.
constexpr ImageCodec BlobCodec(BlobContents contents) {
  return {
      .null_ndt = FillZeros,
      .null_dbf = FillZeros,
      .is_null_ndt = BlobMarkerIsNull,
      .is_null_dbf = BlobMarkerIsNull,
      .encode = EncodeBlobMarker,
      .encode_stored = nullptr,
      .decode = nullptr,
      .short_image = ShortImage::kRefused,
      .blank_tail = false,
      .blob = contents,
  };
}

}  // namespace

constinit const ImageCodec kTextBlobCodec = BlobCodec(BlobContents::kText);
constinit const ImageCodec kBinaryBlobCodec = BlobCodec(BlobContents::kBytes);

const ImageCodec kUnknownCodec = {
    .null_ndt = FillZeros,
    .null_dbf = FillSpaces,
    .is_null_ndt = ZerosAreNull,
    .is_null_dbf = BlankOrAsNdt<ZerosAreNull>,
    .encode = EncodeUnknown,
    .encode_stored = nullptr,
    .decode = DecodeUnknown,
    .short_image = ShortImage::kRefused,
    .blank_tail = false,
    .blob = BlobContents::kNone,
};

const ImageCodec* const kCodecTable[kCodecCount] = {
    &kUnknownCodec,      // 0
    &kLogicalCodec,      // NDS_LOGICAL
    &kNumericCodec,      // NDS_NUMERIC
    &kDateCodec,         // NDS_DATE
    &kStringCodec,       // NDS_STRING
    &kTextBlobCodec,     // NDS_MEMO
    &kBinaryBlobCodec,   // NDS_BINARY
    &kBinaryBlobCodec,   // NDS_IMAGE
    &kTextBlobCodec,     // NDS_VARCHAR
    &kCompactDateCodec,  // NDS_COMPACTDATE
    &kDoubleCodec,       // NDS_DOUBLE
    &kIntegerCodec,      // NDS_INTEGER
    &kShortintCodec,     // NDS_SHORTINT
    &kTimeCodec,         // NDS_TIME
    &kTimestampCodec,    // NDS_TIMESTAMP
    &kAutoincCodec,      // NDS_AUTOINC
    &kRawCodec,          // NDS_RAW
    &kDoubleCodec,       // NDS_CURDOUBLE
    &kMoneyCodec,        // NDS_MONEY
    &kUnknownCodec,      // 19
    &kStringCodec,       // NDS_CISTRING
    &kRowversionCodec,   // NDS_ROWVERSION
    &kTimestampCodec,    // NDS_MODTIME
};

static_assert(kCodecCount == NDS_MODTIME + 1, "one codec per engine field type");

}  // namespace nce
