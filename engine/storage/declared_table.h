// The engine table a CREATE TABLE statement declares, described as the
// catalog would describe it once SQLite made it: for stores that do not read
// the engine's DDL themselves (a PostgreSQL server).
#ifndef ENGINE_STORAGE_DECLARED_TABLE_H
#define ENGINE_STORAGE_DECLARED_TABLE_H

#include <optional>
#include <string_view>
#include <vector>

#include "engine/schema/catalog.h"

namespace nce {

// Makes the table of `create` (a CREATE TABLE statement with a column list,
// engine types rewritten by RewriteEngineTypes) in a private in-memory
// SQLite database and describes it there; new tables take `table_type`.
// nullopt when the statement is no such statement (CREATE TABLE ... AS
// SELECT, a temporary table, a view) or SQLite refuses it: the caller's
// store then reads it as it is and reports what is wrong with it.
//
// With `rules`, also the rules the declaration gives each field besides its
// type, in field order, which such a store must keep itself; a rule no such
// store keeps yet (CHECK, COLLATE, FOREIGN KEY, a generated column, an
// INTEGER PRIMARY KEY that names the record number, a UNIQUE or PRIMARY KEY
// over several columns) is refused with NDS_E_NOT_SUPPORTED rather than
// dropped.
struct ColumnRule {
  bool not_null = false;    // NOT NULL
  bool unique = false;      // UNIQUE (or PRIMARY KEY)
  std::string default_sql;  // the DEFAULT expression as written; empty: none
};
std::optional<TableDesc> DescribeDeclaredTable(std::string_view create, uint16_t table_type,
                                               std::vector<ColumnRule>* rules = nullptr);

}  // namespace nce

#endif  // ENGINE_STORAGE_DECLARED_TABLE_H
