// An engine connection: one SQLite connection on a store, or a session on a
// PostgreSQL server, chosen once when it opens (open_connection.h); the
// objects opened on it, and its transaction state. A connection is used by
// one thread at a time; its mutex serialises the engine functions that
// reach it. Each takes it with RecursiveLockGuard(connection.mutex()); the
// members it guards say so (GUARDED_BY), and clang's -Wthread-safety checks
// their users (recursive_lock.h says where the check stops).
//
// The layers above storage work through session() and its dialect alone.
// db(), store() and server() are for storage's own files: on a server db()
// and store() throw NDS_E_NOT_SUPPORTED.
#ifndef ENGINE_STORAGE_CONNECTION_H
#define ENGINE_STORAGE_CONNECTION_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "engine/base/handles.h"
#include "engine/base/recursive_lock.h"
#include "engine/storage/store.h"
#include "engine/storage/store_session.h"

namespace nce {

struct DictionaryState;  // rights and links of a dictionary connection (dictionary_rights.h)

class Connection : public Object {
 public:
  Connection(std::unique_ptr<Store> store, std::string user_name);
  // A connection to the database a server session reaches, named by `uri`.
  Connection(std::unique_ptr<StoreSession> server, std::string uri);
  ~Connection() override;

  // The main store connection; throws NDS_E_NO_CONNECTION once closed, and
  // NDS_E_NOT_SUPPORTED on a server. Inline: every engine function on a
  // cursor asks for it.
  sqlite3* db() const {
    if (!store_) ThrowNoStore();
    return store_->db();
  }
  // The store itself; throws as db().
  Store& store() const {
    if (!store_) ThrowNoStore();
    return *store_;
  }
  // The session on the server; null for a connection on a SQLite store.
  // For storage's own files only.
  StoreSession* server() const { return server_.get(); }
  // The session statements run on, whichever the store: the server's
  // session, or one over the store's own SQLite connection. Transactions
  // stay the connection's own (BeginTransaction ...). Throws as db().
  StoreSession& session();
  // The same, connected again first when it lost its connection (a server's)
  // while no transaction was open: nothing of the user's was lost with it,
  // and the next statement may go on. Inside a transaction the loss stands
  // until the transaction is ended (rolled back).
  StoreSession& LiveSession();
  // Whether `db` is the store's own SQLite connection (not the private
  // database of static cursors); false on a server and once closed.
  bool IsStoreDb(sqlite3* db) const { return store_ && store_->db() == db; }
  // What the process's record lock table knows the store's transactions by
  // (RecordLocks::LockInTransaction); null on a server and once closed.
  const void* transaction_key() const { return store_ ? store_->db() : nullptr; }
  // Throws NDS_E_NO_CONNECTION once closed.
  void RequireOpen() const {
    if (!is_open()) ThrowNoStore();
  }
  // A private in-memory database where static cursors keep their rows, so
  // that they outlive commits and rollbacks of the store. Opened on first use.
  sqlite3* scratch_db();
  // A session over that database: for the rows of static cursors and for
  // computations over given values alone. Opened on first use.
  StoreSession& scratch_session();
  bool is_open() const { return store_ != nullptr || server_ != nullptr; }
  const StoreLocation& location() const { return location_; }
  // The name the process's record locks know the store by: its file, or a
  // server's URI (whose locks the server keeps; record_locks.h).
  const std::string& lock_store() const {
    return server_ ? location_.database_path : location_.store_file;
  }
  const std::string& user_name() const { return user_name_; }
  RecursiveLock& mutex() RETURN_CAPABILITY(mutex_) { return mutex_; }

  // Statements and cursors opened on this connection, closed with it.
  void AddChild(NDSHANDLE handle) REQUIRES(mutex_);
  void RemoveChild(NDSHANDLE handle) REQUIRES(mutex_);
  std::set<NDSHANDLE> TakeChildren() REQUIRES(mutex_);
  bool HasChild(NDSHANDLE handle) const REQUIRES(mutex_) { return children_.count(handle) != 0; }

  // Explicit transactions (NdsBeginTransaction ... commit or rollback).
  bool in_transaction() const REQUIRES(mutex_) { return transaction_open_; }
  void BeginTransaction() REQUIRES(mutex_);
  void CommitTransaction() REQUIRES(mutex_);
  void RollbackTransaction() REQUIRES(mutex_);
  void CreateSavepoint(const std::string& name) REQUIRES(mutex_);
  void RollbackToSavepoint(const std::string& name) REQUIRES(mutex_);

  // An SQL execution that fails inside the explicit transaction must leave
  // the transaction as it was. While the transaction has changed nothing yet
  // (no row, no schema, no savepoint, no SQL that wrote), the execution needs
  // no savepoint of its own: rolling the whole transaction back and beginning
  // it again undoes it, and a savepoint would make SQLite copy every page the
  // execution changes into a statement journal first.
  bool TransactionUntouched() const REQUIRES(mutex_);
  // An execution wrote (or managed transactions itself) in the transaction.
  void NoteTouched() REQUIRES(mutex_) { untouched_ = false; }
  // Rolls the untouched transaction back and begins it again. When the new
  // begin fails (another writer took the store), the transaction is lost:
  // RequireLiveTransaction then refuses further work until the caller ends it.
  void RestartTransaction() noexcept REQUIRES(mutex_);
  // Throws NDS_E_NO_TRANSACTION when the transaction was lost that way.
  void RequireLiveTransaction() const REQUIRES(mutex_);

  // What the user of a data dictionary connection may do; null for free tables.
  std::shared_ptr<DictionaryState> dictionary;

  // Counts the events that can bring rows back or take them away without
  // SQLite counting a change (transaction and savepoint boundaries, SQL
  // executions, which may manage either): what a cursor learnt of its table
  // under one count may be void under the next.
  uint64_t epoch() const REQUIRES(mutex_) { return epoch_; }
  void NewEpoch() REQUIRES(mutex_) { ++epoch_; }

  // Closes the store (rolling back an open transaction).
  void Close() REQUIRES(mutex_);

 private:
  [[noreturn]] void ThrowNoStore() const;
  void RequireTransaction(const char* what) const REQUIRES(mutex_);
  bool TransactionHeld() const REQUIRES(mutex_);
  void MarkUntouched() noexcept REQUIRES(mutex_);

  RecursiveLock mutex_;                            // serialises use of the connection
  std::unique_ptr<Store> store_;                   // null once closed, and on a server
  std::unique_ptr<StoreSession> server_;           // null once closed, and on a store
  std::unique_ptr<StoreSession> local_;            // over store_'s connection, made on first use
  StoreLocation location_;                         // where the store lies
  sqlite3* scratch_ = nullptr;                     // in-memory database for static cursors
  std::unique_ptr<StoreSession> scratch_session_;  // over scratch_, made on first use
  std::string user_name_;                          // dictionary user, empty for free tables
  // The store, the sessions and the scratch database are not marked: every
  // layer reaches them through session() and db(), most often from a cursor
  // or statement whose connection the analysis cannot name.
  std::set<NDSHANDLE> children_ GUARDED_BY(mutex_);   // open statements and cursors
  bool transaction_open_ GUARDED_BY(mutex_) = false;  // an explicit transaction is open
  // ... and nothing changed in it yet, see TransactionUntouched
  bool untouched_ GUARDED_BY(mutex_) = false;
  // ... and a restart could not begin it again
  bool transaction_lost_ GUARDED_BY(mutex_) = false;
  int64_t changes_at_begin_ GUARDED_BY(mutex_) = 0;  // sqlite3_total_changes64 when it began
  int schema_at_begin_ GUARDED_BY(mutex_) = 0;       // main schema version when it began
  uint64_t epoch_ GUARDED_BY(mutex_) = 0;            // see epoch()
};

}  // namespace nce

#endif  // ENGINE_STORAGE_CONNECTION_H
