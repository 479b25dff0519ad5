#include "engine/storage/session_catalog.h"

#include "engine/base/sql_text.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/sqlite_session.h"
#include "engine/storage/sqlite_table_rename.h"

namespace nce {

void EnsureCatalog(StoreSession& session) {
  EnsureCatalog(RequireSqliteDb(session));
}

void EnsureDictionaryTables(StoreSession& session) {
  EnsureDictionaryTables(RequireSqliteDb(session));
}

int64_t RightsVersion(StoreSession& session) {
  // A dictionary connection asks before every statement: on SQLite without
  // the cost of a session statement.
  if (auto* sqlite = dynamic_cast<SqliteSession*>(&session)) return RightsVersion(sqlite->db());
  auto read = session.Prepare("SELECT version FROM _nce_rights_version");
  return read->Step() ? read->Column(0).integer : -1;
}

std::optional<TableDesc> DescribeTable(StoreSession& session, std::string_view name) {
  return DescribeTable(RequireSqliteDb(session), name);
}

void SyncCatalog(StoreSession& session, uint16_t new_table_type) {
  SyncCatalog(RequireSqliteDb(session), new_table_type);
}

std::vector<std::string> UserTables(StoreSession& session) {
  return UserTables(RequireSqliteDb(session));
}

bool RelationExists(StoreSession& session, std::string_view name) {
  if (!SqliteDbOf(session)) return ServerTableExists(session, name);
  auto find = session.Prepare("SELECT 1 FROM main.sqlite_master WHERE name = ?1 COLLATE NOCASE");
  find->Bind(1, Value::Text(std::string(name)));
  return find->Step();
}

void MoveTable(StoreSession& session, const std::string& from, const std::string& to) {
  if (SqliteDbOf(session)) return MoveSqliteTable(session, from, to);
  session.Execute("ALTER TABLE " + QuoteIdentifier(from) + " RENAME TO " + QuoteIdentifier(to));
  MoveServerCatalogRows(session, from, to);
}

}  // namespace nce
