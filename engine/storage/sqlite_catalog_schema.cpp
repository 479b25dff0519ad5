#include "engine/storage/sqlite_catalog_schema.h"

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/schema/catalog_schema.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_stmt.h"

namespace nce {
namespace {

// The catalog's tables. Names are compared without regard to letter case, as
// SQLite compares table and column names.
constexpr const char* kCatalogSchema = R"sql(
CREATE TABLE IF NOT EXISTS _nce_tables(
  name TEXT PRIMARY KEY COLLATE NOCASE,
  table_type INTEGER NOT NULL,
  char_type INTEGER NOT NULL DEFAULT 1);
CREATE TABLE IF NOT EXISTS _nce_fields(
  table_name TEXT NOT NULL COLLATE NOCASE,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  field_type INTEGER NOT NULL,
  length INTEGER NOT NULL,
  decimals INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(table_name, position));
CREATE TABLE IF NOT EXISTS _nce_autoinc(
  table_name TEXT NOT NULL COLLATE NOCASE,
  field_name TEXT NOT NULL COLLATE NOCASE,
  last_value INTEGER NOT NULL,
  PRIMARY KEY(table_name, field_name));
CREATE TABLE IF NOT EXISTS _nce_index_files(
  table_name TEXT NOT NULL COLLATE NOCASE,
  file_name TEXT NOT NULL COLLATE NOCASE,
  PRIMARY KEY(table_name, file_name));
CREATE TABLE IF NOT EXISTS _nce_index_orders(
  table_name TEXT NOT NULL COLLATE NOCASE,
  file_name TEXT NOT NULL COLLATE NOCASE,
  order_name TEXT NOT NULL COLLATE NOCASE,
  position INTEGER NOT NULL,
  expression TEXT NOT NULL,
  condition TEXT NOT NULL DEFAULT '',
  flags INTEGER NOT NULL DEFAULT 0,
  sqlite_index TEXT NOT NULL,
  PRIMARY KEY(table_name, order_name));
CREATE TABLE IF NOT EXISTS _nce_users(
  name TEXT PRIMARY KEY COLLATE NOCASE,
  password_hash TEXT NOT NULL,
  groups TEXT NOT NULL DEFAULT '');
)sql";

// The data dictionary's tables.
constexpr const char* kDictionarySchema = R"sql(
CREATE TABLE IF NOT EXISTS _nce_groups(name TEXT PRIMARY KEY COLLATE NOCASE);
CREATE TABLE IF NOT EXISTS _nce_rights(
  grantee TEXT NOT NULL COLLATE NOCASE,
  table_name TEXT NOT NULL COLLATE NOCASE,
  column_name TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  rights INTEGER NOT NULL,
  PRIMARY KEY(grantee, table_name, column_name));
CREATE TABLE IF NOT EXISTS _nce_table_properties(
  table_name TEXT NOT NULL COLLATE NOCASE,
  property INTEGER NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(table_name, property));
CREATE TABLE IF NOT EXISTS _nce_links(name TEXT PRIMARY KEY COLLATE NOCASE, path TEXT NOT NULL);
)sql";

// A counter that every change of users, groups or rights moves on, so that
// open connections notice an administrator's change at their next statement.
// Triggers keep it, so changes made by any path (or an outside SQLite tool)
// count alike.
constexpr const char* kRightsVersionTable =
    "CREATE TABLE IF NOT EXISTS _nce_rights_version(version INTEGER NOT NULL);"
    "INSERT INTO _nce_rights_version SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM "
    "_nce_rights_version);";
constexpr const char* kRightsTables[] = {"_nce_users", "_nce_groups", "_nce_rights"};
constexpr const char* kRightsEvents[] = {"INSERT", "UPDATE", "DELETE"};

void EnsureRightsVersion(sqlite3* db) {
  std::string sql = "SAVEPOINT _nce_rights_version;";
  sql += kRightsVersionTable;
  for (const char* table : kRightsTables)
    for (const char* event : kRightsEvents)
      sql += std::string("CREATE TRIGGER IF NOT EXISTS ") + table + "_" + event +
             "_counted AFTER " + event + " ON " + table +
             " BEGIN UPDATE _nce_rights_version SET version = version + 1; END;";
  sql += "RELEASE _nce_rights_version;";
  try {
    ExecSql(db, sql.c_str());
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK TO _nce_rights_version; RELEASE _nce_rights_version", nullptr,
                 nullptr, nullptr);
    throw;
  }
}

bool HasObject(sqlite3* db, const char* name) {
  SqliteStmt probe(db, "SELECT count(*) FROM sqlite_master WHERE name = ?1");
  probe.Bind(1, std::string_view(name));
  probe.Step();
  return probe.Int(0) != 0;
}

}  // namespace

void EnsureCatalog(sqlite3* db) {
  {
    SqliteStmt probe(db, "SELECT count(*) FROM sqlite_master WHERE name = '_nce_users'");
    probe.Step();
    if (probe.Int(0) != 0) return;
  }  // the probe's read ends here: a write cannot start inside an old read
  // One transaction, so that a second process creating the catalog at the
  // same moment waits and then finds all of it.
  ExecSql(db, "BEGIN IMMEDIATE");
  char* message = nullptr;
  int rc = sqlite3_exec(db, kCatalogSchema, nullptr, nullptr, &message);
  sqlite3_free(message);
  if (rc != SQLITE_OK) {
    EngineError error = SqlError(db, rc, "creating the engine catalog");
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw error;
  }
  ExecSql(db, "COMMIT");
}

void EnsureDictionaryTables(sqlite3* db) {
  if (!HasObject(db, "_nce_links")) ExecSql(db, kDictionarySchema);
  // Dictionaries made before the counter existed get it here.
  // A dictionary busy with another writer still opens; it gets the counter
  // at a later connect, and until then changes reach connections when they
  // connect again.
  if (!HasObject(db, "_nce_rights_DELETE_counted")) {
    try {
      EnsureRightsVersion(db);
    } catch (const EngineError& error) {
      if (error.number() != NDS_E_BUSY) throw;
    }
  }
}

int64_t RightsVersion(sqlite3* db) {
  sqlite3_stmt* read = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT version FROM _nce_rights_version", -1, &read, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(read);
    return -1;
  }
  int64_t version = sqlite3_step(read) == SQLITE_ROW ? sqlite3_column_int64(read, 0) : -1;
  sqlite3_finalize(read);
  return version;
}

void EnsureDeletedMarks(sqlite3* db) {
  ExecSql(db, ("CREATE TABLE IF NOT EXISTS main." + QuoteIdentifier(DeletedMarksTable()) +
               " (table_name TEXT NOT NULL, record INTEGER NOT NULL,"
               " PRIMARY KEY (table_name, record)) WITHOUT ROWID")
                  .c_str());
}

namespace {

std::string DeletedMarksTrigger(const std::string& table) {
  return std::string(kReservedPrefix) + "marks_" + table;
}

}  // namespace

void EnsureDeletedMarksTrigger(sqlite3* db, const std::string& table) {
  EnsureDeletedMarks(db);
  // A trigger's statements may not name a schema: "main" is implied.
  ExecSql(db, ("CREATE TRIGGER IF NOT EXISTS main." + QuoteIdentifier(DeletedMarksTrigger(table)) +
               " AFTER DELETE ON " + QuoteIdentifier(table) + " BEGIN DELETE FROM " +
               QuoteIdentifier(DeletedMarksTable()) + " WHERE table_name = " +
               QuoteLiteral(UpperAscii(table)) + " AND record = OLD.rowid; END")
                  .c_str());
}

void ForgetDeletedMarks(sqlite3* db, const std::string& table) {
  if (!HasObject(db, DeletedMarksTable().c_str())) return;
  SqliteStmt forget(
      db, "DELETE FROM main." + QuoteIdentifier(DeletedMarksTable()) + " WHERE table_name = ?1");
  forget.Bind(1, UpperAscii(table)).Run();
}

void MoveDeletedMarks(sqlite3* db, const std::string& from, const std::string& to) {
  ExecSql(db,
          ("DROP TRIGGER IF EXISTS main." + QuoteIdentifier(DeletedMarksTrigger(from))).c_str());
  if (!HasObject(db, DeletedMarksTable().c_str())) return;
  SqliteStmt move(db, "UPDATE main." + QuoteIdentifier(DeletedMarksTable()) +
                          " SET table_name = ?2 WHERE table_name = ?1");
  move.Bind(1, UpperAscii(from)).Bind(2, UpperAscii(to)).Run();
  if (sqlite3_changes(db) > 0) EnsureDeletedMarksTrigger(db, to);
}

void EnsureRowVersions(sqlite3* db) {
  ExecSql(db, ("CREATE TABLE IF NOT EXISTS main." + QuoteIdentifier(RowVersionsTable()) +
               " (table_name TEXT PRIMARY KEY, last_value INTEGER NOT NULL)")
                  .c_str());
}

}  // namespace nce
