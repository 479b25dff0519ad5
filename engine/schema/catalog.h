// What the engine knows about each table beyond what a store keeps: field
// types, lengths and decimals, and the record image layout they give. The
// stores read and write it in the catalog tables that catalog_schema.h
// describes (engine/storage/sqlite_catalog.h for an SQLite store); a table
// without catalog rows is described by inference from its declared column
// types, which FieldSpecFromDeclaredType reads.
#ifndef ENGINE_SCHEMA_CATALOG_H
#define ENGINE_SCHEMA_CATALOG_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/schema/catalog_schema.h"

namespace nce {

// An engine field type with its length in the record image and decimals.
struct FieldSpec {
  uint16_t type = 0;      // engine field type code 1..22
  uint32_t length = 0;    // bytes in the record image
  uint16_t decimals = 0;  // decimal places (numeric fields)
};

// One field of a table or cursor, in field order.
struct FieldDesc {
  std::string name;     // field name as declared (also the store's column name)
  FieldSpec shape;      // type, length, decimals
  uint32_t offset = 0;  // position of the field's first byte in the record image
};

// What the engine knows about a table or a cursor's result.
struct TableDesc {
  std::string name;               // table name as the store keeps it
  uint16_t table_type = 3;        // NDS_NDT, NDS_CDX or NDS_NTX
  uint16_t char_type = 1;         // NDS_ANSI or NDS_OEM
  bool from_catalog = false;      // false when inferred from the declared types
  std::vector<FieldDesc> fields;  // in field order
  uint32_t record_length = 0;     // bytes of one record image
};

// True for names the engine reserves for itself (never a user table).
bool IsReservedName(std::string_view name);

// The engine type that a declared SQLite column type stands for: the engine's
// own type names (CHAR(n), CICHAR(n), NUMERIC(p,s), DATE, ...), and the usual
// SQL names for tables made by other tools. `table_type` decides lengths that
// differ between NDT and DBF-kind tables (dates).
FieldSpec FieldSpecFromDeclaredType(std::string_view declared, uint16_t table_type);

// Record image length of a field of `type` without an explicit length.
uint32_t DefaultFieldLength(uint16_t type, uint16_t table_type);

// Assigns offsets in field order and the record length. Byte 0 of a record
// image is the deletion mark (' ' or '*'); fields follow without gaps.
void LayoutRecord(TableDesc& table);

}  // namespace nce

#endif  // ENGINE_SCHEMA_CATALOG_H
