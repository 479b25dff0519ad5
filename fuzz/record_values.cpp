// Fuzzes the cursor dataset's reading of record images: any bytes as the
// field of every engine type, NDT and DBF, read into the value form of each
// framework type the field could be bound to. A field is read within its
// own bytes and written within the value form's size, whatever the bytes
// hold (DBF tables may come from other tools).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dataset/field_type.h"
#include "nds/ndsdata.h"

namespace {

const std::uint16_t kTypes[] = {
    NDS_LOGICAL, NDS_NUMERIC,   NDS_DATE,     NDS_STRING,   NDS_MEMO,       NDS_COMPACTDATE,
    NDS_DOUBLE,  NDS_INTEGER,   NDS_SHORTINT, NDS_TIME,     NDS_TIMESTAMP,  NDS_AUTOINC,
    NDS_RAW,     NDS_CURDOUBLE, NDS_MONEY,    NDS_CISTRING, NDS_ROWVERSION, NDS_MODTIME};

const dataset::TFieldType kFieldTypes[] = {dataset::ftBCD, dataset::ftSmallint, dataset::ftFloat,
                                           dataset::ftString, dataset::ftInteger};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool ndt = (data[0] & 1) != 0;
  const int dataSize = 1 + data[1] % 64;
  // The field's bytes in a block of their own, so that reading past them is
  // caught.
  const std::vector<std::uint8_t> field(data + 2, data + size);
  for (std::uint16_t type : kTypes) {
    nds::TNCEFieldDef def(nullptr);
    def.engineType = type;
    def.length = static_cast<std::uint32_t>(field.size());
    // Fixed-width types need their width; shorter fields are not made by
    // the engine.
    if (def.length < 8 && type != NDS_LOGICAL && type != NDS_NUMERIC && type != NDS_STRING &&
        type != NDS_CISTRING && type != NDS_RAW && type != NDS_DATE)
      continue;
    if (def.length == 0) continue;
    for (dataset::TFieldType fieldType : kFieldTypes) {
      std::vector<std::uint8_t> dest(static_cast<std::size_t>(dataSize), 0xEE);
      nds::ReadEngineFieldValue(field.data(), def, fieldType, dataSize, ndt, dest.data());
    }
  }
  return 0;
}
