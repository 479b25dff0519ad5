// The engine's catalog in an SQLite store: the catalog rows read and written
// over the store's connection, and the description of a table from them and
// from SQLite's own column list. A table without catalog rows (made by
// another SQLite tool) is described by inference from its declared column
// types.
#ifndef ENGINE_STORAGE_SQLITE_CATALOG_H
#define ENGINE_STORAGE_SQLITE_CATALOG_H

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/schema/catalog.h"

namespace nce {

// The user tables of a store (reserved names left out), in order of creation.
std::vector<std::string> UserTables(sqlite3* db);

// Describes table `name` (found without regard to letter case) from the
// catalog, or by inference when it has no catalog rows; nullopt when there is
// no such table. Throws EngineError on SQLite failures.
std::optional<TableDesc> DescribeTable(sqlite3* db, std::string_view name);

// Brings the catalog in line with the tables SQLite holds after DDL: rows of
// dropped tables go, tables without rows get them (new tables take
// `new_table_type`), changed column lists are re-read keeping known fields.
// AUTOINC fields get their numbering triggers.
void SyncCatalog(sqlite3* db, uint16_t new_table_type);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_CATALOG_H
