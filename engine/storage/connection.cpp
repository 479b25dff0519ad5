#include "engine/storage/connection.h"

#include <utility>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_functions.h"
#include "engine/storage/sqlite_session.h"
#include "engine/storage/sqlite_stmt.h"

namespace nce {

Connection::Connection(std::unique_ptr<Store> store, std::string user_name)
    : Object(ObjectKind::kConnection),
      store_(std::move(store)),
      location_(store_->location()),
      user_name_(std::move(user_name)) {}

Connection::Connection(std::unique_ptr<StoreSession> server, std::string uri)
    : Object(ObjectKind::kConnection), server_(std::move(server)) {
  location_.database_path = std::move(uri);
  // Every database on a server holds a data dictionary in its catalog.
  location_.dictionary = true;
}

StoreSession& Connection::session() {
  if (server_) return *server_;
  if (!local_) local_ = std::make_unique<SqliteSession>(db());
  return *local_;
}

StoreSession& Connection::LiveSession() {
  if (!server_) return session();
  // Reached from everywhere a cursor or statement reads its rows, under the
  // lock the engine function took.
  mutex_.AssertHeld();
  if (!server_->Connected() && !transaction_open_) server_->Reconnect();
  return *server_;
}

Connection::~Connection() {
  Close();
}

void Connection::ThrowNoStore() const {
  if (!server_) throw EngineError(NDS_E_NO_CONNECTION, "The connection is closed.");
  throw EngineError(NDS_E_NOT_SUPPORTED,
                    "This function reaches a SQLite store's own connection, which a database "
                    "on a PostgreSQL server does not have.");
}

sqlite3* Connection::scratch_db() {
  if (!scratch_) {
    // Serialised by the connection's lock like the store (see Store::Open).
    int rc =
        sqlite3_open_v2(":memory:", &scratch_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      EngineError error = SqlError(scratch_, rc, "cursor storage");
      sqlite3_close_v2(scratch_);
      scratch_ = nullptr;
      throw error;
    }
    RegisterExpressionFunctions(scratch_);  // filters on static cursors
  }
  return scratch_;
}

StoreSession& Connection::scratch_session() {
  if (!scratch_session_) scratch_session_ = std::make_unique<SqliteSession>(scratch_db());
  return *scratch_session_;
}

void Connection::AddChild(NDSHANDLE handle) {
  children_.insert(handle);
}
void Connection::RemoveChild(NDSHANDLE handle) {
  children_.erase(handle);
}
std::set<NDSHANDLE> Connection::TakeChildren() {
  return std::exchange(children_, {});
}

void Connection::RequireTransaction(const char* what) const {
  if (!transaction_open_)
    throw EngineError(NDS_E_NO_TRANSACTION, std::string("No transaction is open to ") + what + ".");
}

void Connection::BeginTransaction() {
  if (transaction_open_)
    throw EngineError(NDS_E_TRANSACTION_OPEN, "A transaction is already open on this connection.");
  // IMMEDIATE takes the write lock now, so that a second writer waits here
  // (up to the busy timeout) instead of failing half-way through its work.
  NewEpoch();
  if (server_) {
    LiveSession().Begin();
    transaction_open_ = true;
    transaction_lost_ = false;
    untouched_ = false;  // a server transaction is never restarted
    return;
  }
  ExecSql(db(), "BEGIN IMMEDIATE");
  transaction_open_ = true;
  transaction_lost_ = false;
  MarkUntouched();
}

namespace {

int SchemaVersion(sqlite3* db) {
  SqliteStmt read(db, "PRAGMA main.schema_version");
  return read.Step() ? static_cast<int>(read.Int(0)) : -1;
}

}  // namespace

void Connection::MarkUntouched() noexcept {
  try {
    changes_at_begin_ = sqlite3_total_changes64(db());
    schema_at_begin_ = SchemaVersion(db());
    untouched_ = true;
  } catch (const EngineError&) {
    untouched_ = false;  // unknown: executions keep their savepoints
  }
}

bool Connection::TransactionUntouched() const {
  // Cursor edits and the engine's own DDL do not pass through NoteTouched;
  // the connection's change count and the schema version see them.
  return transaction_open_ && untouched_ && !transaction_lost_ && store_ &&
         !sqlite3_get_autocommit(db()) && sqlite3_total_changes64(db()) == changes_at_begin_ &&
         SchemaVersion(db()) == schema_at_begin_;
}

void Connection::RestartTransaction() noexcept {
  sqlite3* handle = store_ ? store_->db() : nullptr;
  if (!handle) return;
  NewEpoch();
  if (!sqlite3_get_autocommit(handle)) sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
  if (sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    transaction_lost_ = true;
    return;
  }
  MarkUntouched();
}

void Connection::RequireLiveTransaction() const {
  if (transaction_open_ && transaction_lost_)
    throw EngineError(NDS_E_NO_TRANSACTION,
                      "The transaction has ended: a failed statement rolled it back and it could "
                      "not be begun again while another user was writing. Roll it back.");
}

// Whether the store or server still holds the open transaction: SQL text
// or a storage failure may have ended it.
bool Connection::TransactionHeld() const {
  return server_ ? server_->InTransaction() : !sqlite3_get_autocommit(db());
}

void Connection::CommitTransaction() {
  RequireTransaction("commit");
  if (!TransactionHeld()) {
    transaction_open_ = false;
    throw EngineError(NDS_E_NO_TRANSACTION,
                      "The transaction has already ended: SQL text committed or rolled it back, or "
                      "a storage error did.");
  }
  NewEpoch();
  if (server_) {
    // The transaction is over whether the commit holds or fails.
    transaction_open_ = false;
    untouched_ = false;
    server_->Commit();
    return;
  }
  ExecSql(db(), "COMMIT");
  transaction_open_ = false;
  untouched_ = false;
}

void Connection::RollbackTransaction() {
  RequireTransaction("roll back");
  NewEpoch();
  transaction_open_ = false;
  untouched_ = false;
  transaction_lost_ = false;
  if (!TransactionHeld()) return;
  if (server_)
    server_->Rollback();
  else
    ExecSql(db(), "ROLLBACK");
}

void Connection::CreateSavepoint(const std::string& name) {
  RequireTransaction("hold a savepoint");
  untouched_ = false;  // a restart would lose the savepoint
  NewEpoch();
  if (server_)
    server_->Savepoint(name);
  else
    ExecSql(db(), ("SAVEPOINT " + QuoteIdentifier(name)).c_str());
}

void Connection::RollbackToSavepoint(const std::string& name) {
  RequireTransaction("roll back to a savepoint");
  untouched_ = false;
  NewEpoch();
  if (server_)
    server_->RollbackToSavepoint(name);
  else
    ExecSql(db(), ("ROLLBACK TO " + QuoteIdentifier(name)).c_str());
}

void Connection::Close() {
  NewEpoch();
  scratch_session_.reset();  // before the database it runs on
  if (scratch_) sqlite3_close_v2(scratch_);
  scratch_ = nullptr;
  local_.reset();  // before the connection it runs on
  store_.reset();
  server_.reset();  // the server rolls an open transaction back
  transaction_open_ = false;
  untouched_ = false;
  transaction_lost_ = false;
}

}  // namespace nce
