// The catalog of a connection's store read and kept in step the same way
// whichever the store: the layers above ask here instead of choosing
// between the SQLite catalog (sqlite_catalog.h) and the server's
// (postgres/postgres_catalog.h) themselves.
#ifndef ENGINE_STORAGE_STORE_CATALOG_H
#define ENGINE_STORAGE_STORE_CATALOG_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"

namespace nce {

// Whether the store holds a table `name` (found without regard to letter
// case on a SQLite store, as an unquoted name finds it on a server).
bool StoreTableExists(Connection& connection, std::string_view name);

// Table `name` as the catalog describes it (by inference from its declared
// columns for a SQLite table without catalog rows); nullopt when the store
// holds no such table, or, on a server, none the engine made.
std::optional<TableDesc> DescribeStoreTable(Connection& connection, std::string_view name);
// The same for a table cursor to open: a server's table that the engine did
// not make is refused with NDS_E_NOT_SUPPORTED (SQL statements read it).
std::optional<TableDesc> DescribeTableToOpen(Connection& connection, std::string_view name);

// Every table of the store with its table type from the catalog (NDT for a
// table without catalog rows), in order of name without regard to case.
std::vector<std::pair<std::string, int64_t>> StoreTablesWithTypes(Connection& connection);

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_CATALOG_H
