#include "engine/storage/connection.h"

#include <utility>

#include "engine/base/errors.h"
#include "engine/base/sql_error.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_functions.h"

namespace nce {

Connection::Connection(std::unique_ptr<Store> store, std::string user_name)
    : Object(ObjectKind::kConnection),
      store_(std::move(store)),
      location_(store_->location()),
      user_name_(std::move(user_name)) {}

Connection::~Connection() {
  Close();
}

sqlite3* Connection::db() const {
  if (!store_) throw EngineError(NDS_E_NO_CONNECTION, "The connection is closed.");
  return store_->db();
}

sqlite3* Connection::scratch_db() {
  if (!scratch_) {
    int rc =
        sqlite3_open_v2(":memory:", &scratch_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
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
  ExecSql(db(), "BEGIN IMMEDIATE");
  transaction_open_ = true;
}

void Connection::CommitTransaction() {
  RequireTransaction("commit");
  if (sqlite3_get_autocommit(db())) {
    transaction_open_ = false;
    throw EngineError(NDS_E_NO_TRANSACTION,
                      "The transaction has already ended: SQL text committed or rolled it back, or "
                      "a storage error did.");
  }
  ExecSql(db(), "COMMIT");
  transaction_open_ = false;
}

void Connection::RollbackTransaction() {
  RequireTransaction("roll back");
  transaction_open_ = false;
  if (!sqlite3_get_autocommit(db())) ExecSql(db(), "ROLLBACK");
}

void Connection::CreateSavepoint(const std::string& name) {
  RequireTransaction("hold a savepoint");
  ExecSql(db(), ("SAVEPOINT " + QuoteIdentifier(name)).c_str());
}

void Connection::RollbackToSavepoint(const std::string& name) {
  RequireTransaction("roll back to a savepoint");
  ExecSql(db(), ("ROLLBACK TO " + QuoteIdentifier(name)).c_str());
}

void Connection::Close() {
  if (scratch_) sqlite3_close_v2(scratch_);
  scratch_ = nullptr;
  store_.reset();
  transaction_open_ = false;
}

}  // namespace nce
