// Renaming a table of a SQLite store: the table and what the storage keeps
// under its name. The engine's orders (index layer) and the catalog's sync
// follow in the caller (NdsDDRenameObject).
#ifndef ENGINE_STORAGE_SQLITE_TABLE_RENAME_H
#define ENGINE_STORAGE_SQLITE_TABLE_RENAME_H

#include <string>

#include "engine/storage/store_session.h"

namespace nce {

// Renames table `from` (named as the store holds it) to `to` in the SQLite
// store of `session`, inside the caller's transaction or savepoint: the
// numbering triggers, which carry the table's name, are dropped for the
// catalog's sync to make again; the catalog rows of the table (fields,
// counters, rights, properties), its deletion marks with their trigger and
// its row versions take the new name. Throws NDS_E_NOT_SUPPORTED on a
// server's session.
void MoveSqliteTable(StoreSession& session, const std::string& from, const std::string& to);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_TABLE_RENAME_H
