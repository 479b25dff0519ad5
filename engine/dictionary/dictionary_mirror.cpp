#include "engine/dictionary/dictionary_mirror.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_sql.h"
#include "engine/dictionary/dictionary_users.h"
#include "engine/schema/catalog_schema.h"
#include "engine/storage/connection.h"
#include "engine/storage/private_session.h"
#include "engine/storage/session_catalog.h"
#include "engine/storage/sqlite_authorizer.h"
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

// Rolls back to savepoint `name` of `session` and releases it, after a
// failure that is already on its way up.
void UndoSavepoint(StoreSession& session, const std::string& name) {
  try {
    session.Execute("ROLLBACK TO " + name + "; RELEASE " + name);
  } catch (const EngineError&) {
    // The failure being thrown says more than this one.
  }
}

// Replaces the rows of the dictionary's tables in `to` with those in
// `from`, inside the caller's transaction or savepoint. Integers stay
// integers; every other value is stored as text, as the tables hold it.
void CopyRows(StoreSession& from, StoreSession& to) {
  for (const MirroredTable& table : kMirroredTables) {
    to.Execute(std::string("DELETE FROM ") + table.name);
    auto read = from.Prepare(std::string("SELECT ") + table.columns + " FROM " + table.name);
    auto write = to.Prepare(std::string("INSERT INTO ") + table.name + "(" + table.columns +
                            ") VALUES(" + Markers(table.count) + ")");
    Value value;
    while (read->Step()) {
      write->Reset();
      for (int i = 0; i < table.count; ++i) {
        read->ColumnInto(i, &value);
        if (value.kind != Value::Kind::kInteger) value = Value::Text(std::move(value.bytes));
        write->Bind(i + 1, value);
      }
      write->Step();
    }
  }
}

// Replaces the mirror's dictionary rows with the server's; the mirror's
// counter then says which of the server's versions it holds (read first: a
// change in between is read again at the next statement).
void LoadRows(StoreSession& server, StoreSession& mirror) {
  EnsureCatalog(mirror);
  EnsureDictionaryTables(mirror);
  int64_t version = RightsVersion(server);
  mirror.Execute("SAVEPOINT nce_mirror");
  try {
    CopyRows(server, mirror);
    auto mark = mirror.Prepare("UPDATE _nce_rights_version SET version = ?1");
    mark->Bind(1, Value::Integer(version));
    mark->Step();
    mirror.Execute("RELEASE nce_mirror");
  } catch (...) {
    UndoSavepoint(mirror, "nce_mirror");
    throw;
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
  std::vector<std::string> stale = UserTables(mirror.session());
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
    mirror.session().Execute(sql);
    mirror.set_shapes_current(true);
  } catch (...) {
    UndoSavepoint(mirror.session(), "nce_shapes");
    throw;
  }
}

// The rights of a user who does not administer the dictionary, plus: the
// dictionary's own tables are the engine's to read and write on a server,
// where its users' password hashes and rights would otherwise be open to
// plain SQL. A hidden column read as NULL notes its table, which the query
// must then read through a view (hidden_column_views.h).
class ServerCheck : public StoreAuthorizer {
 public:
  explicit ServerCheck(DictionaryState& state) : state_(state) {}

  Authorization Authorize(const ActionRequest& request) override {
    bool touches_rows =
        request.action == StoreAction::kRead || request.action == StoreAction::kInsert ||
        request.action == StoreAction::kUpdate || request.action == StoreAction::kDelete;
    if (touches_rows && !state_.administrator && request.first &&
        EqualsNoCase(std::string_view(request.first).substr(0, kReservedPrefix.size()),
                     kReservedPrefix))
      return Authorization::kDeny;
    Authorization decision = state_.Authorize(request);
    if (decision == Authorization::kIgnore && request.action == StoreAction::kRead)
      hidden_tables_.insert(request.first);
    return decision;
  }

  // Tables of which the statement reads a hidden column.
  std::vector<std::string> hidden_tables() const {
    return {hidden_tables_.begin(), hidden_tables_.end()};
  }

 private:
  DictionaryState& state_;               // the user's rights
  std::set<std::string> hidden_tables_;  // see hidden_tables()
};

DictionaryState& StateOf(Connection& connection) {
  if (!connection.dictionary || !connection.dictionary->mirror)
    throw EngineError(NDS_E_GENERAL, "The connection has no dictionary on the server.");
  return *connection.dictionary;
}

// The rights read again from the mirror's rows.
void ReadState(Connection& connection, const std::shared_ptr<DictionaryMirror>& mirror,
               const std::string& user, bool trusted) {
  connection.dictionary = ReadDictionaryState(mirror->session(), user, trusted);
  connection.dictionary->mirror = mirror;
}

}  // namespace

DictionaryMirror::DictionaryMirror() : session_(OpenMemorySession()) {}

DictionaryMirror::~DictionaryMirror() = default;

void OnMirroredDictionaryConnect(Connection& connection, const std::string& user,
                                 const std::string& password) {
  auto mirror = std::make_shared<DictionaryMirror>();
  LoadRows(connection.LiveSession(), mirror->session());
  bool has_users = DictionaryHasUsers(mirror->session());
  if (has_users) CheckDictionaryLogin(mirror->session(), user, password);
  ReadState(connection, mirror, user, !has_users);
}

void RefreshMirroredDictionaryState(Connection& connection) {
  DictionaryState& state = StateOf(connection);
  std::shared_ptr<DictionaryMirror> mirror = state.mirror;
  LoadRows(connection.LiveSession(), mirror->session());
  ReadState(connection, mirror, state.user, state.trusted);
}

void FollowMirroredRightsChanges(Connection& connection) {
  // Once per engine function: its prepare, its execution and the cursors
  // the execution opens go by the rights as that one look found them, and
  // an administrator's change holds from the next function on. (A
  // dictionary statement of the connection's own reads the rights again.)
  const uint64_t call = connection.mutex().takings();
  if (StateOf(connection).compared_in == call) return;
  if (RightsVersion(connection.LiveSession()) != StateOf(connection).version)
    RefreshMirroredDictionaryState(connection);
  StateOf(connection).compared_in = call;
}

StoreSession& MirroredDictionarySession(Connection& connection) {
  FollowMirroredRightsChanges(connection);
  DictionaryMirror& mirror = *StateOf(connection).mirror;
  LoadTableShapes(connection.LiveSession(), mirror);
  return mirror.session();
}

void LockMirroredDictionary(StoreSession& session) {
  auto lock = session.Prepare("SELECT pg_advisory_xact_lock(?1)");
  lock->Bind(1, Value::Integer(kDictionaryLockKey));
  lock->Step();
}

void RunMirroredDictionaryStatement(Connection& connection, std::string_view sql) {
  StoreSession& session = connection.LiveSession();
  if (!session.InTransaction())
    throw EngineError(NDS_E_GENERAL, "A dictionary statement runs inside a transaction.");
  LockMirroredDictionary(session);
  StoreSession& mirror = MirroredDictionarySession(connection);
  LoadRows(session, mirror);  // the rows as the lock found them
  RunDictionaryStatementOn(connection, mirror, sql);
  CopyRows(mirror, session);  // the server's triggers move its counter on
  RefreshMirroredDictionaryState(connection);
}

std::vector<std::string> AuthorizeMirroredStatement(Connection& connection, const std::string& sql,
                                                    bool query) {
  DictionaryState& state = StateOf(connection);
  if (state.administrator) return {};
  std::shared_ptr<DictionaryState> held = connection.dictionary;  // the authorizer reads it
  if (!state.mirror->shapes_current()) LoadTableShapes(connection.LiveSession(), *state.mirror);
  // A query reads hidden columns as NULL through views; any other statement
  // that reads one is refused, as on SQLite.
  std::optional<RefuseHiddenReads> refuse;
  if (!query) refuse.emplace(connection);
  ServerCheck check(*held);
  try {
    CheckUnderAuthorizer(state.mirror->session(), check, sql);
  } catch (const EngineError& refusal) {
    if (refusal.number() == NDS_E_RIGHTS) throw;
    throw EngineError(NDS_E_RIGHTS,
                      "Permission not granted: the statement cannot be checked against the rights "
                      "of user " +
                          state.user +
                          " on this server, and only members of the group ADMIN run statements "
                          "unchecked (" +
                          refusal.text() + ")");
  }
  return check.hidden_tables();
}

void ForgetMirroredTableShapes(Connection& connection) {
  if (connection.dictionary && connection.dictionary->mirror)
    connection.dictionary->mirror->set_shapes_current(false);
}

}  // namespace nce
