// Which names of a connection's database a live cursor can walk as a table,
// whichever the store.
#ifndef ENGINE_STORAGE_LIVE_TABLES_H
#define ENGINE_STORAGE_LIVE_TABLES_H

#include <optional>
#include <string>

#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"

namespace nce {

// Table `name` when the connection's database holds it as a table a live
// cursor can walk: in a SQLite store a table (not a view); on a server, a
// table the engine made (the catalog describes it); nullopt otherwise (a
// view, an unknown name).
std::optional<TableDesc> DescribeLiveTable(Connection& connection, const std::string& name);

}  // namespace nce

#endif  // ENGINE_STORAGE_LIVE_TABLES_H
