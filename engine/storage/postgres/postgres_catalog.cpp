#include "engine/storage/postgres/postgres_catalog.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/storage/postgres/postgres_functions.h"
#include "engine/storage/postgres/postgres_sqlite_forms.h"
#include "engine/storage/postgres/postgres_tables.h"
#include "engine/storage/postgres/sql/catalog_tables_sql.h"

namespace nce {

namespace {

// Makes the statement triggers of nce_honour_locks on the engine table
// `table` (its name as the server holds it), or makes them again.
void InstallLockTriggers(StoreSession& session, const std::string& table) {
  std::string on = " ON " + QuoteIdentifier(table);
  session.Execute("CREATE OR REPLACE TRIGGER nce_locks_insert AFTER INSERT" + on +
                  " FOR EACH STATEMENT EXECUTE FUNCTION nce_honour_locks();"
                  "CREATE OR REPLACE TRIGGER nce_locks_update AFTER UPDATE" +
                  on +
                  " REFERENCING OLD TABLE AS nce_old"
                  " FOR EACH STATEMENT EXECUTE FUNCTION nce_honour_locks();"
                  "CREATE OR REPLACE TRIGGER nce_locks_delete AFTER DELETE" +
                  on +
                  " REFERENCING OLD TABLE AS nce_old"
                  " FOR EACH STATEMENT EXECUTE FUNCTION nce_honour_locks()");
}

// Makes the triggers of nce_forget_marks on the DBF-kind table `table` (its
// name as the server holds it), or makes them again.
void InstallMarkTriggers(StoreSession& session, const std::string& table) {
  std::string on = " ON " + QuoteIdentifier(table);
  session.Execute("CREATE OR REPLACE TRIGGER nce_marks_delete AFTER DELETE" + on +
                  " REFERENCING OLD TABLE AS nce_old"
                  " FOR EACH STATEMENT EXECUTE FUNCTION nce_forget_marks();"
                  "CREATE OR REPLACE TRIGGER nce_marks_truncate AFTER TRUNCATE" +
                  on + " FOR EACH STATEMENT EXECUTE FUNCTION nce_forget_marks()");
}

// Advisory lock key that serialises the catalog's creation (any fixed number
// that the record locks, keyed by table and record, cannot take).
constexpr int64_t kCatalogLockKey = -0x6e63655f636174;  // "nce_cat"

// The version of what EnsureServerCatalog installs: changes whenever the
// catalog's or the functions' text does, so that a newer engine installs its
// own functions over an older engine's at its first connect.
std::string CatalogVersion() {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (std::string_view text :
       {kCatalogTablesSql, PostgresFunctionsSql(), PostgresSqliteFormsSql()})
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return "1:" + std::to_string(hash);
}

bool InstalledVersionIs(StoreSession& session, const std::string& version) {
  auto read = session.Prepare(
      "SELECT to_regclass('_nce_server') IS NOT NULL AND to_regclass('_nce_fields') IS NOT NULL");
  if (!read->Step() || read->Column(0).integer == 0) return false;
  auto installed = session.Prepare("SELECT version FROM _nce_server");
  return installed->Step() && installed->Column(0).bytes == version;
}

}  // namespace

void EnsureServerCatalog(StoreSession& session) {
  const std::string version = CatalogVersion();
  if (InstalledVersionIs(session, version)) return;
  session.Begin();
  try {
    auto lock = session.Prepare("SELECT pg_advisory_xact_lock(?1)");
    lock->Bind(1, Value::Integer(kCatalogLockKey));
    lock->Step();
    if (!InstalledVersionIs(session, version)) {
      session.Execute(kCatalogTablesSql);
      session.Execute(PostgresFunctionsSql());
      session.Execute(PostgresSqliteFormsSql());
      // Tables an older engine made get what this one gives its tables.
      std::vector<std::pair<std::string, bool>> tables;  // name, DBF-kind
      auto each =
          session.Prepare("SELECT name, table_type <> " + std::to_string(NDS_NDT) +
                          " FROM _nce_tables WHERE to_regclass(quote_ident(name)) IS NOT NULL");
      while (each->Step()) tables.emplace_back(each->Column(0).bytes, each->Column(1).integer != 0);
      for (const auto& [table, dbf] : tables) {
        InstallLockTriggers(session, table);
        if (dbf) InstallMarkTriggers(session, table);
      }
      session.Execute("DELETE FROM _nce_server");
      auto mark = session.Prepare("INSERT INTO _nce_server(version) VALUES(?1)");
      mark->Bind(1, Value::Text(version));
      mark->Step();
    }
    session.Commit();
  } catch (...) {
    if (session.InTransaction()) session.Rollback();
    throw;
  }
}

namespace {

void RunAutoincTrigger(StoreSession& session, const std::string& table, const std::string& field) {
  session.Execute("CREATE TRIGGER " + QuoteIdentifier("nce_autoinc_" + field) +
                  " BEFORE INSERT ON " + QuoteIdentifier(table) +
                  " FOR EACH ROW EXECUTE FUNCTION nce_autoinc(" + QuoteLiteral(field) + ")");
}

void DropAutoincTrigger(StoreSession& session, const std::string& table, const std::string& field) {
  session.Execute("DROP TRIGGER IF EXISTS " + QuoteIdentifier("nce_autoinc_" + field) + " ON " +
                  QuoteIdentifier(table));
}

}  // namespace

void InstallAutoincNumbering(StoreSession& session, const std::string& table,
                             const std::string& field) {
  auto counter = session.Prepare(
      "INSERT INTO _nce_autoinc(table_name, field_name, last_value) VALUES(?1, ?2, 0) "
      "ON CONFLICT(table_name, field_name) DO UPDATE SET last_value = 0");
  counter->Bind(1, Value::Text(table));
  counter->Bind(2, Value::Text(field));
  counter->Step();
  RunAutoincTrigger(session, table, field);
}

void RemoveAutoincNumbering(StoreSession& session, const std::string& table,
                            const std::string& field) {
  DropAutoincTrigger(session, table, field);
  auto counter =
      session.Prepare("DELETE FROM _nce_autoinc WHERE table_name = ?1 AND field_name = ?2");
  counter->Bind(1, Value::Text(table));
  counter->Bind(2, Value::Text(field));
  counter->Step();
}

void RenameAutoincNumbering(StoreSession& session, const std::string& table,
                            const std::string& from, const std::string& to) {
  DropAutoincTrigger(session, table, from);
  auto counter = session.Prepare(
      "UPDATE _nce_autoinc SET field_name = ?3 WHERE table_name = ?1 AND field_name = ?2");
  counter->Bind(1, Value::Text(table));
  counter->Bind(2, Value::Text(from));
  counter->Bind(3, Value::Text(to));
  counter->Step();
  RunAutoincTrigger(session, table, to);
}

void CreateServerTable(StoreSession& session, const TableDesc& table,
                       const std::vector<ColumnRule>& rules) {
  TableDesc server = table;
  server.name = LowerAscii(table.name);
  for (FieldDesc& field : server.fields) field.name = LowerAscii(field.name);
  session.Execute(PostgresCreateTable(server, rules));
  InstallLockTriggers(session, server.name);
  if (table.table_type != NDS_NDT) InstallMarkTriggers(session, server.name);
  // Marks a table of this name left when it was dropped behind the
  // catalog's back would hide the new table's records.
  auto unmark = session.Prepare("DELETE FROM _nce_deleted WHERE table_name = ?1");
  unmark->Bind(1, Value::Text(server.name));
  unmark->Step();
  for (const FieldDesc& field : server.fields)
    if (field.shape.type == NDS_AUTOINC) InstallAutoincNumbering(session, server.name, field.name);
  auto head = session.Prepare(
      "INSERT INTO _nce_tables(name, table_type, char_type) VALUES(?1, ?2, ?3) "
      "ON CONFLICT(name) DO UPDATE SET table_type = ?2, char_type = ?3");
  head->Bind(1, Value::Text(server.name));
  head->Bind(2, Value::Integer(table.table_type));
  head->Bind(3, Value::Integer(table.char_type));
  head->Step();
  auto clear = session.Prepare("DELETE FROM _nce_fields WHERE table_name = ?1");
  clear->Bind(1, Value::Text(server.name));
  clear->Step();
  auto field = session.Prepare(
      "INSERT INTO _nce_fields(table_name, position, name, field_type, length, decimals) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  field->Bind(1, Value::Text(server.name));
  for (size_t i = 0; i < table.fields.size(); ++i) {
    const FieldDesc& f = table.fields[i];
    field->Bind(2, Value::Integer(static_cast<int64_t>(i + 1)));
    field->Bind(3, Value::Text(f.name));
    field->Bind(4, Value::Integer(f.shape.type));
    field->Bind(5, Value::Integer(f.shape.length));
    field->Bind(6, Value::Integer(f.shape.decimals));
    field->Step();
  }
}

bool ServerTableExists(StoreSession& session, std::string_view name) {
  auto find = session.Prepare("SELECT to_regclass(quote_ident(?1)) IS NOT NULL");
  find->Bind(1, Value::Text(LowerAscii(name)));
  return find->Step() && find->Column(0).integer != 0;
}

std::optional<TableDesc> DescribeServerTable(StoreSession& session, std::string_view name) {
  std::string key = LowerAscii(name);
  // The table's row and its fields' in one read: a row per field, or one
  // with no field for a table without fields; none for a table the catalog
  // does not hold.
  auto read = session.Prepare(
      "SELECT t.table_type, t.char_type, f.name, f.field_type, f.length, f.decimals "
      "FROM _nce_tables t LEFT JOIN _nce_fields f ON f.table_name = t.name "
      "WHERE t.name = ?1 ORDER BY f.position");
  read->Bind(1, Value::Text(key));
  if (!read->Step()) return std::nullopt;
  TableDesc table;
  table.name = key;
  table.table_type = static_cast<uint16_t>(read->Column(0).integer);
  table.char_type = static_cast<uint16_t>(read->Column(1).integer);
  table.from_catalog = true;
  do {
    if (read->Column(2).kind == Value::Kind::kNull) continue;
    FieldDesc field;
    field.name = read->Column(2).bytes;
    field.shape = FieldSpec{static_cast<uint16_t>(read->Column(3).integer),
                            static_cast<uint32_t>(read->Column(4).integer),
                            static_cast<uint16_t>(read->Column(5).integer)};
    table.fields.push_back(std::move(field));
  } while (read->Step());
  LayoutRecord(table);
  return table;
}

void SyncServerCatalog(StoreSession& session, std::string_view changed) {
  auto drop = session.Prepare(
      "DELETE FROM _nce_tables WHERE to_regclass(quote_ident(name)) IS NULL OR name = ?1");
  drop->Bind(1, Value::Text(LowerAscii(changed)));
  drop->Step();
  // A table `changed` renamed keeps its AUTOINC triggers: its counters
  // follow it to the table with their trigger and no counter, so that the
  // numbering goes on where it was.
  auto follow = session.Prepare(
      "UPDATE _nce_autoinc a SET table_name = c.relname FROM pg_trigger g JOIN pg_class c ON "
      "c.oid = g.tgrelid WHERE a.table_name = ?1 AND to_regclass(quote_ident(?1)) IS NULL AND "
      "g.tgname = 'nce_autoinc_' || a.field_name AND pg_table_is_visible(c.oid) AND NOT EXISTS "
      "(SELECT 1 FROM _nce_autoinc b WHERE b.table_name = c.relname AND b.field_name = "
      "a.field_name)");
  follow->Bind(1, Value::Text(LowerAscii(changed)));
  follow->Step();
  session.Execute(
      "DELETE FROM _nce_fields f WHERE NOT EXISTS (SELECT 1 FROM _nce_tables t WHERE t.name = "
      "f.table_name); DELETE FROM _nce_autoinc WHERE "
      "to_regclass(quote_ident(table_name)) IS NULL; DELETE FROM _nce_deleted d WHERE NOT "
      "EXISTS (SELECT 1 FROM _nce_tables t WHERE t.name = d.table_name)");
  // Orders whose index went with its table (dropped, renamed) or with a
  // column it read; then the files left without orders.
  session.Execute(
      "DELETE FROM _nce_index_orders WHERE to_regclass(quote_ident(sqlite_index)) IS NULL; "
      "DELETE FROM _nce_index_files f WHERE NOT EXISTS (SELECT 1 FROM _nce_index_orders o "
      "WHERE o.table_name = f.table_name AND o.file_name = f.file_name)");
}

// The catalog's tables that name an engine table, and the column that does.
struct NamingColumn {
  const char* table;
  const char* column;
};
constexpr NamingColumn kNamingColumns[] = {
    {"_nce_tables", "name"},
    {"_nce_fields", "table_name"},
    {"_nce_autoinc", "table_name"},  // the numbering trigger looks its counter up by name
    {"_nce_rowversions", "table_name"},
    {"_nce_rights", "table_name"},
    {"_nce_table_properties", "table_name"},
    {"_nce_deleted", "table_name"},  // deletion marks of DBF-kind tables
};

void MoveServerCatalogRows(StoreSession& session, const std::string& from, const std::string& to) {
  for (const NamingColumn& naming : kNamingColumns) {
    std::string column = naming.column;
    auto move = session.Prepare(std::string("UPDATE ") + naming.table + " SET " + column +
                                " = CAST(?2 AS text) WHERE " + column + " = CAST(?1 AS text)");
    move->Bind(1, Value::Text(from));
    move->Bind(2, Value::Text(to));
    move->Step();
  }
}

}  // namespace nce
