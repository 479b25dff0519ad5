#include "engine/storage/session_catalog.h"

#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/sqlite_session.h"

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

}  // namespace nce
