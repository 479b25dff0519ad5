// The catalog functions of sqlite_catalog.h and sqlite_catalog_schema.h for
// the layers above storage, which reach a SQLite store (a store's own
// connection, or a private database such as a server dictionary's mirror)
// through its StoreSession and never hold its SQLite connection. Unless
// said otherwise, each throws NDS_E_NOT_SUPPORTED on a server's session.
#ifndef ENGINE_STORAGE_SESSION_CATALOG_H
#define ENGINE_STORAGE_SESSION_CATALOG_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/schema/catalog.h"
#include "engine/storage/store_session.h"

namespace nce {

// Creates the catalog tables / the data dictionary's tables when missing.
void EnsureCatalog(StoreSession& session);
void EnsureDictionaryTables(StoreSession& session);

// The dictionary's rights counter, on either kind of store: it moves on
// whenever users, groups or rights change. -1 when a SQLite store lacks it.
int64_t RightsVersion(StoreSession& session);

// Describes table `name` (found without regard to letter case); nullopt
// when there is no such table.
std::optional<TableDesc> DescribeTable(StoreSession& session, std::string_view name);

// Brings the catalog in line with the tables the store holds after DDL
// (SyncCatalog of sqlite_catalog.h).
void SyncCatalog(StoreSession& session, uint16_t new_table_type);

// The user tables (reserved names left out), in order of creation.
std::vector<std::string> UserTables(StoreSession& session);

// Whether the store holds any relation (a table, a view, a sequence, an
// index) named `name`, without regard to letter case; on either store.
bool RelationExists(StoreSession& session, std::string_view name);
// Renames table `from` (named as the store holds it) to `to` in the store,
// inside the caller's transaction or savepoint, with the catalog rows that
// name it (fields, counters, rights, properties, deletion marks, row
// versions); on either store.
void MoveTable(StoreSession& session, const std::string& from, const std::string& to);

}  // namespace nce

#endif  // ENGINE_STORAGE_SESSION_CATALOG_H
