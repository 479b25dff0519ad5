// Fuzzes the readers of field values callers hand the engine: a value in
// text form (NdsSetField) or in record-image form (NdsSetFieldRaw) for every
// field type, NDT and DBF. Anything is refused with an engine error or read;
// a value that is read is written to an image within its field's bytes and
// reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engine/base/errors.h"
#include "engine/record/record_image.h"
#include "nce/nce.h"

namespace {

const uint16_t kTypes[] = {NDS_LOGICAL,    NDS_NUMERIC, NDS_DATE,      NDS_STRING, NDS_COMPACTDATE,
                           NDS_DOUBLE,     NDS_INTEGER, NDS_SHORTINT,  NDS_TIME,   NDS_TIMESTAMP,
                           NDS_AUTOINC,    NDS_RAW,     NDS_CURDOUBLE, NDS_MONEY,  NDS_CISTRING,
                           NDS_ROWVERSION, NDS_MODTIME, NDS_MEMO};

bool IsNumber(const nce::Value& v) {
  return v.kind == nce::Value::Kind::kInteger || v.kind == nce::Value::Kind::kReal;
}

bool Same(const nce::Value& a, const nce::Value& b) {
  // Reals are rounded to the field (decimals, money's four places), and a
  // rounded money amount may come back whole: numbers only need to agree.
  if (IsNumber(a) && IsNumber(b) &&
      (a.kind == nce::Value::Kind::kReal || b.kind == nce::Value::Kind::kReal))
    return true;
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case nce::Value::Kind::kInteger:
      return a.integer == b.integer;
    case nce::Value::Kind::kReal:
      return true;  // rounding to the field's decimals may differ
    default:
      return a.bytes == b.bytes;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint16_t type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  bool ndt = data[1] & 1;
  uint32_t length = 1 + data[2] % 24;
  nce::FieldDesc field{"F", nce::FieldSpec{type, length, static_cast<uint16_t>((data[1] >> 1) % 6)},
                       1};
  if (type == NDS_DATE) field.shape.length = ndt ? 4 : 8;
  if (type == NDS_COMPACTDATE) field.shape.length = 3;
  if (type == NDS_SHORTINT) field.shape.length = 2;
  if (type == NDS_INTEGER || type == NDS_AUTOINC || type == NDS_TIME) field.shape.length = 4;
  if (type == NDS_DOUBLE || type == NDS_CURDOUBLE || type == NDS_TIMESTAMP || type == NDS_MONEY ||
      type == NDS_ROWVERSION || type == NDS_MODTIME)
    field.shape.length = 8;
  if (type == NDS_LOGICAL) field.shape.length = 1;
  if (type == NDS_MEMO) field.shape.length = 9;
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  for (int form = 0; form < 2; ++form) {
    nce::Value value;
    try {
      value = form == 0 ? nce::DecodeText(field, ndt, rest)
                        : nce::DecodeImage(field, ndt, data + 3, static_cast<uint32_t>(size - 3));
    } catch (const nce::EngineError& error) {
      if (error.number() == 0) std::abort();
      continue;
    }
    std::vector<uint8_t> image(1 + field.shape.length + 1, 0xA5);
    nce::EncodeValue(field, ndt, value, image.data());
    if (image.back() != 0xA5) std::abort();
    if (nce::IsBlobType(type)) continue;
    nce::Value back;
    try {
      back = nce::DecodeImage(field, ndt, image.data() + 1, field.shape.length);
    } catch (const nce::EngineError&) {
      std::abort();  // an accepted value must give a readable image
    }
    // DBF fields do not tell empty from null: numbers have no null form (an
    // empty one reads as zero), and blank texts read as null.
    if (!ndt && nce::IsNull(value) && !nce::IsNull(back)) continue;
    if (!ndt && nce::IsNull(back) && value.kind == nce::Value::Kind::kText &&
        value.bytes.find_first_not_of(' ') == std::string::npos)
      continue;
    if (!Same(value, back)) std::abort();
  }
  return 0;
}
