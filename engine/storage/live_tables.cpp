#include "engine/storage/live_tables.h"

#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_stmt.h"

namespace nce {

std::optional<TableDesc> DescribeLiveTable(Connection& connection, const std::string& name) {
  if (connection.server()) return DescribeServerTable(connection.LiveSession(), name);
  sqlite3* db = connection.db();
  SqliteStmt kind(db, "SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE");
  kind.Bind(1, name);
  if (!kind.Step() || kind.Text(0) != "table") return std::nullopt;
  return DescribeTable(db, name);
}

}  // namespace nce
