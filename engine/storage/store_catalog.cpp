#include "engine/storage/store_catalog.h"

#include "engine/base/values.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_stmt.h"
#include "nce/nce.h"

namespace nce {

bool StoreTableExists(Connection& connection, std::string_view name) {
  if (connection.server()) return ServerTableExists(connection.LiveSession(), name);
  SqliteStmt find(connection.db(),
                  "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  find.Bind(1, name);
  return find.Step();
}

std::optional<TableDesc> DescribeStoreTable(Connection& connection, std::string_view name) {
  if (connection.server()) return DescribeServerTable(connection.LiveSession(), name);
  return DescribeTable(connection.db(), name);
}

std::optional<TableDesc> DescribeTableToOpen(Connection& connection, std::string_view name) {
  std::optional<TableDesc> desc = DescribeStoreTable(connection, name);
  if (!desc && connection.server())
    throw EngineError(NDS_E_NOT_SUPPORTED,
                      "The table " + std::string(name) +
                          " was not made by the engine; on a PostgreSQL server it is read "
                          "through SQL statements.");
  return desc;
}

std::vector<std::pair<std::string, int64_t>> StoreTablesWithTypes(Connection& connection) {
  std::vector<std::pair<std::string, int64_t>> tables;
  if (connection.server()) {
    // The server's tables of the session's schema (in lower case, as the
    // server folds the names the engine declares) with the catalog's type.
    auto stmt = connection.LiveSession().Prepare(
        "SELECT coalesce(t.name, c.relname), coalesce(t.table_type, 3) FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace LEFT JOIN LATERAL (SELECT name, table_type "
        "FROM _nce_tables WHERE lower(name) = c.relname ORDER BY name LIMIT 1) t ON true "
        "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') "
        "ORDER BY lower(coalesce(t.name, c.relname)) COLLATE \"C\"");
    while (stmt->Step()) {
      Value name = stmt->Column(0), type = stmt->Column(1);
      tables.emplace_back(name.bytes, type.kind == Value::Kind::kInteger ? type.integer : NDS_NDT);
    }
    return tables;
  }
  SqliteStmt stmt(
      connection.db(),
      "SELECT m.name, coalesce(t.table_type, 3) FROM sqlite_master m LEFT JOIN _nce_tables t "
      "ON t.name = m.name COLLATE NOCASE WHERE m.type = 'table' ORDER BY m.name COLLATE NOCASE");
  while (stmt.Step()) tables.emplace_back(stmt.Text(0), stmt.Int(1));
  return tables;
}

}  // namespace nce
