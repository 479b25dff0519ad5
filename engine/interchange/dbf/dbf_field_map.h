// Which engine type holds each xBase field, and which xBase field holds
// each engine type: the type map of both directions, and the codec that
// converts a field's bytes for it.
//
// Reading (letter, in the versions where it means that):
//   C          STRING(n)        C binary (VFP)  RAW(n), bytes as they are
//   N F        NUMERIC(n,d)     D               DATE
//   L          LOGICAL          M               MEMO
//   M binary (VFP), B (dBase), W (VFP), Q (VFP) BINARY
//   G P        IMAGE            I               INTEGER (VFP autoincrement: AUTOINC)
//   + (dBase 7) AUTOINC         Y               MONEY
//   B (VFP), O (dBase 7) DOUBLE T, @ (dBase 7)  TIMESTAMP
//   V (VFP)    VARCHAR(n)
// Writing: see PlanField.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_FIELD_MAP_H
#define ENGINE_INTERCHANGE_DBF_DBF_FIELD_MAP_H

#include <cstdint>
#include <string>

#include "engine/interchange/dbf/dbf_format.h"
#include "engine/interchange/table_rows.h"

namespace nce {

// How a field's bytes convert to and from the interchange form.
enum class FieldCodec : uint8_t {
  kText,             // C: text of the code page, blank padded
  kRawText,          // C binary: the bytes themselves
  kDecimal,          // N F: decimal text
  kDate,             // D: YYYYMMDD
  kLogical,          // L: T F Y N, ? or blank for NULL
  kMemoText,         // M: memo text of the code page
  kMemoBlob,         // binary memos
  kInteger,          // I: 4 bytes, least significant first
  kSortableLong,     // I + of dBase 7: 4 bytes, most significant first, sign bit flipped
  kCurrency,         // Y: 8 bytes, scaled by 10,000
  kDouble,           // B of Visual FoxPro: IEEE double, least significant first
  kSortableDouble,   // O of dBase 7: IEEE double made to sort as bytes
  kDateTime,         // T: Julian day and milliseconds, 4 bytes each
  kDbase7Timestamp,  // @: milliseconds from 0000-12-31 as a big-endian double
  kVarText,          // V: text of at most n bytes
  kVarBlob,          // Q: bytes, at most n
};

// A field as the reader converts it.
struct ReadPlan {
  FieldCodec codec;
  FieldSpec shape;  // engine type, length, decimals
  bool nullable;    // the field can read as NULL
};

// The codec and engine shape of `field` in a table of `flavor`. Throws
// EngineError NDS_E_BAD_FILE naming the file and field for a letter this
// reader does not know in that version, or a length the letter cannot have.
ReadPlan PlanRead(const std::string& file, const DbfField& field, DbfFlavor flavor);

// The writer's versions (NDS_DBF_*), oldest first.
const char* DbfVersionName(uint32_t version);

// The field a column becomes in `version`, and how its values convert.
struct WritePlan {
  char letter = 0;
  uint32_t length = 0;
  uint8_t decimals = 0;
  uint8_t flags = 0;      // Visual FoxPro field flags (nullable added by the writer)
  uint32_t fpt_type = 0;  // block type of its memo values in an .fpt
  FieldCodec codec = FieldCodec::kText;
  bool blank_is_null = false;  // a blank field reads back as NULL
};

// The oldest version (NDS_DBF_*) that keeps `column`'s type and NULLs.
uint32_t OldestVersionFor(const TableColumn& column);
// The field `column` becomes in `version`. Throws EngineError
// NDS_E_VALUE_INVALID naming `file` and the column when the version has no
// field that keeps its values (or its NULLs) exactly.
WritePlan PlanField(const std::string& file, const TableColumn& column, uint32_t version);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_FIELD_MAP_H
