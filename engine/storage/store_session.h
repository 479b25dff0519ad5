// A session on a store and the statements prepared on it, the same for every
// kind of store: a SQLite file (sqlite_session.h) or a PostgreSQL server
// (postgres/postgres_session.h). Statement texts use ?N parameters, as the
// engine writes them. Every failure throws EngineError.
//
// Both kinds keep the same meaning where the stores differ:
//  - a statement that fails inside a transaction undoes only its own work;
//    the transaction stays open with everything done before it;
//  - Begin inside a transaction throws NDS_E_TRANSACTION_OPEN; Commit,
//    Rollback and the savepoint functions outside one NDS_E_NO_TRANSACTION.
#ifndef ENGINE_STORAGE_STORE_SESSION_H
#define ENGINE_STORAGE_STORE_SESSION_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/base/values.h"

namespace nce {

class StoreStatement {
 public:
  virtual ~StoreStatement() = default;

  // Binds parameter ?`index` (from 1) to `value`; an unset value binds NULL.
  // Bindings stay until bound again, across Reset.
  virtual void Bind(int index, const Value& value) = 0;
  // Runs the statement on the first call after preparing or Reset; true
  // while a row is available, false when there are no more.
  virtual bool Step() = 0;
  // The result's columns, known once Step has run.
  virtual int ColumnCount() const = 0;
  virtual std::string ColumnName(int column) const = 0;
  // Column `column` (from 0) of the current row.
  virtual Value Column(int column) const = 0;
  // The same into `value`, which a store may fill reusing the bytes it
  // holds: for reading many rows into the same values.
  virtual void ColumnInto(int column, Value* value) const { *value = Column(column); }
  // Where result column `column` comes from: the table and the column it
  // reads unchanged; both empty for a computed column. Known once Step ran.
  struct Origin {
    std::string table, column;
  };
  virtual Origin ColumnOrigin(int column) const = 0;
  // The column's type as a declared column type the catalog reads
  // (FieldSpecFromDeclaredType); empty when its values must decide.
  virtual std::string ColumnType(int column) const = 0;
  // Whether running the statement changes nothing in the store, known once
  // it is prepared; a store that cannot tell before running says false.
  virtual bool ReadsOnly() const { return false; }
  // Rows inserted, changed or deleted by the last run (0 for a reading one).
  virtual int64_t RowsChanged() const = 0;
  // Makes the statement ready to run again.
  virtual void Reset() = 0;

 protected:
  StoreStatement() = default;
  StoreStatement(const StoreStatement&) = delete;
  StoreStatement& operator=(const StoreStatement&) = delete;
};

class StoreSession {
 public:
  virtual ~StoreSession() = default;

  // Runs `sql`: one or more statements without parameters or wanted rows.
  // When one of several fails outside a transaction, whether those before
  // it stay differs by store (SQLite keeps them, PostgreSQL runs the text
  // as one transaction): run such texts inside a transaction.
  virtual void Execute(std::string_view sql) = 0;
  // Prepares one statement; the statement must not outlive the session.
  virtual std::unique_ptr<StoreStatement> Prepare(std::string_view sql) = 0;
  // Reads one statement that reads or writes rows (SELECT, INSERT, UPDATE,
  // DELETE, WITH, VALUES) as running it would, without running it: throws
  // what its text alone makes it fail with (syntax, a missing table or
  // column). Inside a transaction, a failing check leaves it as it was.
  virtual void Check(std::string_view sql) = 0;

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Savepoints inside the open transaction, named by any text.
  virtual void Savepoint(const std::string& name) = 0;
  virtual void ReleaseSavepoint(const std::string& name) = 0;
  virtual void RollbackToSavepoint(const std::string& name) = 0;
  virtual bool InTransaction() const = 0;
  // Whether the session reaches its store; a server session that lost its
  // connection refuses work until Reconnect.
  virtual bool Connected() const { return true; }
  // Connects again the same way; for a session that lost its connection.
  virtual void Reconnect() {}
  // Record locks that other processes on other machines see: record
  // `record` of `table` (0: the whole table), held by this session, freed by
  // the store when the session ends however it ends. A shared lock conflicts
  // only with another session's exclusive one. TryLockRecord: true when the
  // session holds the lock now (or already did); UnlockRecord: false when it
  // held none. A store whose locks the process keeps beside its file
  // (SQLite, record_locks.h) takes none here.
  virtual bool TryLockRecord(const std::string& table, int64_t record, bool shared = false) {
    (void)table, (void)record, (void)shared;
    return true;
  }
  virtual bool UnlockRecord(const std::string& table, int64_t record, bool shared = false) {
    (void)table, (void)record, (void)shared;
    return true;
  }

 protected:
  StoreSession() = default;
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;
};

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_SESSION_H
