#include "engine/dictionary/dictionary_server.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "engine/base/errors.h"
#include "engine/storage/sql_error.h"
#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_stmt.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_sql.h"
#include "engine/dictionary/dictionary_users.h"
#include "engine/schema/catalog_schema.h"
#include "engine/storage/connection.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/store_session.h"
#include "nce/nce.h"

namespace nce {
namespace {

// Advisory lock key that serialises the dictionary's writers on a server
// (any fixed number that the record locks and the catalog's key cannot take).
constexpr int64_t kDictionaryLockKey = -0x6e63655f646963;  // "nce_dic"

// The dictionary's tables and their columns, alike on both sides.
struct MirroredTable {
  const char* name;
  const char* columns;
  int count;
};
constexpr MirroredTable kMirroredTables[] = {
    {"_nce_users", "name, password_hash, groups", 3},
    {"_nce_groups", "name", 1},
    {"_nce_rights", "grantee, table_name, column_name, rights", 4},
    {"_nce_table_properties", "table_name, property, value", 3},
};

std::string Markers(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += (i > 1 ? ", ?" : "?") + std::to_string(i);
  return text;
}

int64_t ServerRightsVersion(StoreSession& session) {
  auto read = session.Prepare("SELECT version FROM _nce_rights_version");
  return read->Step() ? read->Column(0).integer : -1;
}

// Replaces the mirror's dictionary rows with the server's; the mirror's
// counter then says which of the server's versions it holds (read first: a
// change in between is read again at the next statement).
void LoadRows(StoreSession& session, sqlite3* db) {
  EnsureCatalog(db);
  EnsureDictionaryTables(db);
  int64_t version = ServerRightsVersion(session);
  ExecSql(db, "SAVEPOINT nce_mirror");
  try {
    for (const MirroredTable& table : kMirroredTables) {
      ExecSql(db, (std::string("DELETE FROM ") + table.name).c_str());
      auto read = session.Prepare(std::string("SELECT ") + table.columns + " FROM " + table.name);
      SqliteStmt write(db, std::string("INSERT INTO ") + table.name + "(" + table.columns +
                               ") VALUES(" + Markers(table.count) + ")");
      while (read->Step()) {
        write.Reset();
        for (int i = 0; i < table.count; ++i) {
          Value value = read->Column(i);
          if (value.kind == Value::Kind::kInteger)
            write.Bind(i + 1, value.integer);
          else
            write.Bind(i + 1, std::string_view(value.bytes));
        }
        write.Run();
      }
    }
    SqliteStmt mark(db, "UPDATE _nce_rights_version SET version = ?1");
    mark.Bind(1, version).Run();
    ExecSql(db, "RELEASE nce_mirror");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK TO nce_mirror; RELEASE nce_mirror", nullptr, nullptr, nullptr);
    throw;
  }
}

// Writes the mirror's dictionary rows to the server, inside the caller's
// transaction; the server's triggers move its counter on.
void StoreRows(StoreSession& session, sqlite3* db) {
  for (const MirroredTable& table : kMirroredTables) {
    session.Execute(std::string("DELETE FROM ") + table.name);
    SqliteStmt read(db, std::string("SELECT ") + table.columns + " FROM " + table.name);
    auto write = session.Prepare(std::string("INSERT INTO ") + table.name + "(" + table.columns +
                                 ") VALUES(" + Markers(table.count) + ")");
    while (read.Step()) {
      write->Reset();
      for (int i = 0; i < table.count; ++i) {
        if (sqlite3_column_type(read.get(), i) == SQLITE_INTEGER)
          write->Bind(i + 1, Value::Integer(read.Int(i)));
        else
          write->Bind(i + 1, Value::Text(read.Text(i)));
      }
      write->Step();
    }
  }
}

// Gives the mirror an empty table with the columns of every table the
// server shows this session (its own temporary ones first), so that
// statements prepare there as they would on the server. An engine table's
// rowid column is left to SQLite's own rowid, so that an INSERT without a
// column list takes the fields alone, as on the server. The engine's
// catalog tables stay the mirror's own. Views are left out: the server
// reads their tables without the mirror seeing which, so a statement on a
// view cannot be checked.
void LoadTableShapes(StoreSession& session, DictionaryMirror& mirror) {
  sqlite3* db = mirror.db();
  auto read = session.Prepare(
      "SELECT c.relname, a.attname FROM pg_class c JOIN pg_namespace n ON n.oid = "
      "c.relnamespace JOIN pg_attribute a ON a.attrelid = c.oid WHERE c.relkind IN "
      "('r', 'p', 'f') AND n.nspname NOT IN ('pg_catalog', 'information_schema') AND "
      "pg_table_is_visible(c.oid) AND a.attnum > 0 AND NOT a.attisdropped AND c.relname NOT "
      "LIKE '\\_nce\\_%' ORDER BY n.oid = pg_my_temp_schema() DESC, c.relname, a.attnum");
  std::map<std::string, std::vector<std::string>> tables;  // upper-cased name -> columns
  std::vector<std::string> names;                          // as the server names them
  std::string owner;
  while (read->Step()) {
    std::string name = read->Column(0).bytes;
    std::string key = UpperAscii(name);
    if (name != owner && tables.count(key)) continue;  // hidden by a temporary table
    if (name != owner && !tables.count(key)) names.push_back(name);
    owner = name;
    std::vector<std::string>& columns = tables[key];
    if (!EqualsNoCase(read->Column(1).bytes, "rowid")) columns.push_back(read->Column(1).bytes);
  }
  std::vector<std::string> stale;
  {
    SqliteStmt list(db,
                    "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                    "'\\_nce\\_%' ESCAPE '\\' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    while (list.Step()) stale.push_back(list.Text(0));
  }
  std::string sql = "SAVEPOINT nce_shapes;";
  for (const std::string& name : stale) sql += "DROP TABLE " + QuoteIdentifier(name) + ";";
  for (const std::string& name : names) {
    std::string columns;
    for (const std::string& column : tables[UpperAscii(name)])
      columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(column);
    if (columns.empty()) columns = "rowid";  // a table of its rowid alone
    sql += "CREATE TABLE " + QuoteIdentifier(name) + "(" + columns + ");";
  }
  sql += "RELEASE nce_shapes;";
  try {
    ExecSql(db, sql.c_str());
    mirror.set_shapes_current(true);
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK TO nce_shapes; RELEASE nce_shapes", nullptr, nullptr, nullptr);
    throw;
  }
}

// What the authorizer of one statement's check reads and notes.
struct ServerCheck {
  DictionaryState* state;               // the user's rights
  std::set<std::string> hidden_tables;  // tables of which it reads a hidden column
};

// The rights of a user who does not administer the dictionary, plus: the
// dictionary's own tables are the engine's to read and write on a server,
// where its users' password hashes and rights would otherwise be open to
// plain SQL. A hidden column read as NULL notes its table, which the query
// must then read through a view (hidden_column_views.h).
int AuthorizeOnServer(void* data, int action, const char* arg1, const char* arg2,
                      const char* database, const char* trigger) {
  auto* check = static_cast<ServerCheck*>(data);
  const DictionaryState* state = check->state;
  bool touches_rows = action == SQLITE_READ || action == SQLITE_INSERT || action == SQLITE_UPDATE ||
                      action == SQLITE_DELETE;
  if (touches_rows && !state->administrator && arg1 &&
      EqualsNoCase(std::string_view(arg1).substr(0, kReservedPrefix.size()), kReservedPrefix))
    return SQLITE_DENY;
  int decision = AuthorizeDictionaryAction(check->state, action, arg1, arg2, database, trigger);
  if (decision == SQLITE_IGNORE && action == SQLITE_READ) check->hidden_tables.insert(arg1);
  return decision;
}

DictionaryState& StateOf(Connection& connection) {
  if (!connection.dictionary || !connection.dictionary->mirror)
    throw EngineError(NDS_E_GENERAL, "The connection has no dictionary on the server.");
  return *connection.dictionary;
}

// The rights read again from the mirror's rows.
void ReadState(Connection& connection, const std::shared_ptr<DictionaryMirror>& mirror,
               const std::string& user, bool trusted) {
  connection.dictionary = ReadDictionaryState(mirror->db(), user, trusted);
  connection.dictionary->mirror = mirror;
}

}  // namespace

DictionaryMirror::DictionaryMirror() {
  int rc = sqlite3_open_v2(
      ":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw EngineError(NDS_E_MEMORY, "No memory for the dictionary of the server connection.");
  }
}

DictionaryMirror::~DictionaryMirror() {
  sqlite3_close_v2(db_);
}

void OnServerDictionaryConnect(Connection& connection, const std::string& user,
                               const std::string& password) {
  auto mirror = std::make_shared<DictionaryMirror>();
  LoadRows(connection.LiveServer(), mirror->db());
  bool has_users = DictionaryHasUsers(mirror->db());
  if (has_users) CheckDictionaryLogin(mirror->db(), user, password);
  ReadState(connection, mirror, user, !has_users);
}

void RefreshServerDictionaryState(Connection& connection) {
  DictionaryState& state = StateOf(connection);
  std::shared_ptr<DictionaryMirror> mirror = state.mirror;
  LoadRows(connection.LiveServer(), mirror->db());
  ReadState(connection, mirror, state.user, state.trusted);
}

void FollowServerRightsChanges(Connection& connection) {
  DictionaryState& state = StateOf(connection);
  if (ServerRightsVersion(connection.LiveServer()) != state.version)
    RefreshServerDictionaryState(connection);
}

sqlite3* ServerDictionaryDb(Connection& connection) {
  FollowServerRightsChanges(connection);
  DictionaryMirror& mirror = *StateOf(connection).mirror;
  LoadTableShapes(connection.LiveServer(), mirror);
  return mirror.db();
}

void LockServerDictionary(StoreSession& session) {
  auto lock = session.Prepare("SELECT pg_advisory_xact_lock(?1)");
  lock->Bind(1, Value::Integer(kDictionaryLockKey));
  lock->Step();
}

void RunServerDictionaryStatement(Connection& connection, std::string_view sql) {
  StoreSession& session = connection.LiveServer();
  if (!session.InTransaction())
    throw EngineError(NDS_E_GENERAL, "A dictionary statement runs inside a transaction.");
  LockServerDictionary(session);
  sqlite3* db = ServerDictionaryDb(connection);  // the rows as the lock found them
  LoadRows(session, db);
  RunDictionaryStatementOn(connection, db, sql);
  StoreRows(session, db);
  RefreshServerDictionaryState(connection);
}

std::vector<std::string> AuthorizeServerStatement(Connection& connection, const std::string& sql,
                                                  bool query) {
  DictionaryState& state = StateOf(connection);
  if (state.administrator) return {};
  std::shared_ptr<DictionaryState> held = connection.dictionary;  // the authorizer reads it
  sqlite3* db = state.mirror->db();
  if (!state.mirror->shapes_current()) LoadTableShapes(connection.LiveServer(), *state.mirror);
  // A query reads hidden columns as NULL through views; any other statement
  // that reads one is refused, as on SQLite.
  std::optional<RefuseHiddenReads> refuse;
  if (!query) refuse.emplace(connection);
  ServerCheck check{held.get(), {}};
  sqlite3_set_authorizer(db, AuthorizeOnServer, &check);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
  sqlite3_finalize(stmt);
  if (rc == SQLITE_OK) {
    sqlite3_set_authorizer(db, nullptr, nullptr);
    return {check.hidden_tables.begin(), check.hidden_tables.end()};
  }
  EngineError refusal = SqlError(db, rc, "checking the rights");
  sqlite3_set_authorizer(db, nullptr, nullptr);
  if (refusal.number() == NDS_E_RIGHTS) throw refusal;
  throw EngineError(NDS_E_RIGHTS,
                    "Permission not granted: the statement cannot be checked against the rights "
                    "of user " +
                        state.user +
                        " on this server, and only members of the group ADMIN run statements "
                        "unchecked (" +
                        refusal.text() + ")");
}

void ForgetServerTableShapes(Connection& connection) {
  if (connection.dictionary && connection.dictionary->mirror)
    connection.dictionary->mirror->set_shapes_current(false);
}

}  // namespace nce
