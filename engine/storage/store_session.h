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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/values.h"

namespace nce {

class BulkInsert;    // bulk_rows.h
class StoreDialect;  // store_dialect.h

struct ColumnChange;    // schema/ddl.h
enum class SqlDialect;  // expr/expr_sql.h

// Why a write failed, where the record work of a cursor tells causes apart.
struct WriteRefusal {
  enum class Kind {
    kOther,
    kEmptyColumn,  // a NOT NULL column was left empty
    kNumberTaken,  // the record number (or the INTEGER PRIMARY KEY) is another row's
  };
  Kind kind = Kind::kOther;
  std::string column;  // kEmptyColumn: the column's name as the store gives it
};

class StoreStatement {
 public:
  virtual ~StoreStatement() = default;

  // Binds parameter ?`index` (from 1) to `value`; an unset value binds NULL.
  // Bindings stay until bound again, across Reset.
  virtual void Bind(int index, const Value& value) = 0;
  // The same, but a store may read `value` where it lies instead of copying
  // it: the value must stay as it is until the statement is reset, and the
  // binding ends there (the parameter is NULL until bound again). For writes
  // that bind every field of a record at every run.
  virtual void BindInPlace(int index, const Value& value) { Bind(index, value); }
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
  // Runs a statement whose rows, if any, are not wanted.
  void Run() {
    while (Step()) {
    }
  }

  // ---- for writes of records one by one (the cursor's edits and appends) ----
  // The record number of the row the last run inserted; 0 when the store
  // does not tell it (a server, whose rows take the number the insert gave).
  virtual int64_t InsertedRecord() const { return 0; }
  // What the last failed run ran into; kOther once the statement is reset.
  virtual WriteRefusal LastRefusal() const { return {}; }
  // How often the store prepared the statement again by itself since it was
  // made, as SQLite does after every schema change: what was learnt of the
  // table it writes holds while this stays. -1 when the store does not say.
  virtual int64_t Repreparations() const { return -1; }

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
  // Checks `statements` in order as Check does, in as few requests to the
  // store as it can, up to the first that fails: its index in `statements`
  // and what Check throws for it (those after it are left unchecked);
  // nullopt when every one passes. Inside a transaction, a failing check
  // leaves it as it was.
  struct CheckFailure {
    size_t index;
    EngineError error;
  };
  virtual std::optional<CheckFailure> CheckInTurn(const std::vector<std::string>& statements) {
    for (size_t i = 0; i < statements.size(); ++i) {
      try {
        Check(statements[i]);
      } catch (const EngineError& error) {
        return CheckFailure{i, error};
      }
    }
    return std::nullopt;
  }
  // Runs `statements` (prepared on this session and bound, none run since)
  // in order, each as its first Step would, in as few requests to the store
  // as it can; their rows are not read. The first that fails stops the
  // others: its index goes to *failed, and its error is thrown as its Step
  // throws it (its own work undone as Step undoes it; the work of those
  // before it stays, those after it do not run).
  virtual void RunInTurn(const std::vector<StoreStatement*>& statements, size_t* failed) {
    for (size_t i = 0; i < statements.size(); ++i) {
      *failed = i;
      statements[i]->Step();
    }
  }

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Savepoints inside the open transaction, named by any text.
  virtual void Savepoint(const std::string& name) = 0;
  virtual void ReleaseSavepoint(const std::string& name) = 0;
  virtual void RollbackToSavepoint(const std::string& name) = 0;
  virtual bool InTransaction() const = 0;

  // ---- what differs between stores, asked by what it means ----
  // How this store's SQL spells what the stores spell differently.
  virtual const StoreDialect& dialect() const;
  // Whether every statement crosses a network to the store: reads ahead
  // take larger windows there.
  virtual bool Remote() const { return false; }
  // Whether a savepoint taken outside a transaction begins one (SQLite); a
  // server refuses it there, and each statement commits by itself.
  virtual bool SavepointBeginsTransaction() const { return true; }
  // The store's own clock, where every client reads the same time (a
  // server's, in its session's time zone): false where the store is a file
  // on this machine, whose clock is the machine's.
  struct Clock {
    std::string date;          // 'YYYYMMDD'
    std::string time;          // 'HH:MM:SS'
    int32_t milliseconds = 0;  // since midnight
  };
  virtual bool ReadClock(Clock* clock) {
    (void)clock;
    return false;
  }
  // Whether TryLockRecord takes locks that other machines see (a server's);
  // without, the process's lock table beside the file is all there is.
  virtual bool KeepsRecordLocks() const { return false; }
  // Whether the session reaches its store; a server session that lost its
  // connection refuses work until Reconnect.
  virtual bool Connected() const { return true; }
  // Connects again the same way; for a session that lost its connection.
  virtual void Reconnect() {}
  // Whether a write may change rows it does not name through foreign key
  // actions; a store that cannot tell says true.
  virtual bool EnforcesForeignKeys() const { return true; }
  // Part of the value of column `column` of row `rowid` of `table`: up to
  // `length` bytes from `offset`, reading no more of the value than that;
  // `binary`: the column holds bytes, not text. False when the store offers
  // no such read, or the value is not text or a blob (NULL, a number), or
  // the row is gone: the caller then reads the whole value.
  virtual bool ReadValuePart(const std::string& table, const std::string& column, bool binary,
                             int64_t rowid, uint64_t offset, uint64_t length, std::string* part) {
    (void)table, (void)column, (void)binary, (void)rowid, (void)offset, (void)length, (void)part;
    return false;
  }
  // ---- many rows at once (imports and exports, bulk_rows.h) ----
  // Rows into `table` (as the store names it) of `columns`, inside a
  // transaction. `first_record` 0: the store numbers the rows; otherwise the
  // rows take record numbers `first_record`, `first_record` + 1, ... in the
  // order added. `values_checked`: the caller checked every value against
  // its field as the record images do (FitsRecordImage), so that a store
  // may leave out its own type guards for these rows; only for a table made
  // in the same transaction, whose only checks are the guards. The default
  // inserts through one prepared statement.
  virtual std::unique_ptr<BulkInsert> BeginBulkInsert(const std::string& table,
                                                      const std::vector<std::string>& columns,
                                                      int64_t first_record, bool values_checked);
  // A statement that reads rows, handed out a window at a time where the
  // store would otherwise read the whole result at once (a server); inside
  // a transaction. The default is Prepare.
  virtual std::unique_ptr<StoreStatement> PrepareStream(std::string_view sql) {
    return Prepare(sql);
  }
  // Whether the store keeps whole numbers of numeric fields as doubles (a
  // server's double precision columns), which hold them exactly only up to
  // 2^53; SQLite keeps them as 64-bit integers.
  virtual bool WholeNumericsAsDoubles() const { return false; }
  // Lets the store's own numbering of `table` go on past the record numbers
  // a bulk insert gave (a server's identity sequence); SQLite numbers past
  // the highest rowid by itself.
  virtual void AfterNumberedRows(const std::string& table) { (void)table; }

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
  // An exclusive lock as TryLockRecord's, taken only where `table` holds
  // row `record`, with the question whether it does in the same request to
  // the store. nullopt where the store offers no such lock: the caller asks
  // whether the row exists, then TryLockRecord.
  // `then`: a statement of this session, bound and not yet run, that the
  // store may run in the same request right after the lock is tried (for
  // the row as it stands under the lock); *then_ran says whether it did, and
  // its rows are then read with Step (whatever the lock's answer).
  enum class RowLock { kLocked, kHeldElsewhere, kNoRow };
  virtual std::optional<RowLock> TryLockExistingRow(const std::string& table, int64_t record,
                                                    StoreStatement* then = nullptr,
                                                    bool* then_ran = nullptr) {
    (void)table, (void)record, (void)then;
    if (then_ran) *then_ran = false;
    return std::nullopt;
  }
  // How many requests the session has sent to its store; 0 where it does
  // not count them. A row read under this session's exclusive record lock
  // stays as read while the count stays: other sessions' writes to it are
  // refused, and this session's own go through a request.
  virtual uint64_t Requests() const { return 0; }

  // ---- what the SQL front end asks of the store (engine/sql/statement.h) ----
  // Where the stores differ, each answers for itself: the front end never
  // asks which store it has.
  // Begins a transaction that will write. SQLite takes the write lock at
  // once, so that a second writer waits here instead of failing half-way.
  virtual void BeginWrite() = 0;
  // Whether the store enforces a dictionary user's rights itself when a
  // statement is prepared (SQLite's authorizer, dictionary_rights.h), the
  // statements of cursors included; if not, the engine authorizes each
  // statement before it goes to the store, and a cursor checks the rights
  // before it reads or writes a column.
  virtual bool AuthorizesWhilePreparing() const = 0;
  // Whether Check can read a statement led by `keyword` (upper-cased).
  virtual bool CanCheck(std::string_view keyword) const = 0;
  // Whether `error`, thrown by Check, is what running the statement would
  // throw. `schema_changed`: an earlier statement of the same script
  // changes the schema or ends a transaction, and may make what is missing.
  virtual bool CheckFailureStands(const EngineError& error, bool schema_changed) const = 0;
  // Whether the store reads a decimal literal of more digits than a double
  // keeps exactly (SQLite reads it as a double: sql/long_decimals.h).
  virtual bool ReadsLongDecimalsExactly() const = 0;
  // Whether a prepared statement reads its whole result when first stepped
  // (a server): a query's rows then go through a cursor the store holds, a
  // page at a time.
  virtual bool ReadsWholeResults() const = 0;
  // Whether `SELECT *` reads a table's record number as a column of its own
  // (a server's rowid column); SQLite's rowid shows only where named.
  virtual bool SelectStarReadsRowid() const = 0;
  // Whether the store itself refuses a write to a record another session
  // holds locked (a server's lock triggers); otherwise the engine fences
  // locked records off around each SQL write (sql/statement_locks.h).
  virtual bool HonoursRecordLocks() const = 0;
  // Whether VACUUM keeps every record number. SQLite's may renumber the
  // rows of a table, which would move records under their bookmarks and
  // locks: the engine refuses it there.
  virtual bool VacuumKeepsRecordNumbers() const = 0;
  // An SQL expression for the record number of the row the session
  // inserted last.
  virtual std::string LastInsertedRowid() const = 0;
  // The columns an INSERT into `table` that names none must name, quoted
  // and separated by ", "; empty when the statement may stay as written.
  virtual std::string InsertColumns(std::string_view table) = 0;
  // The engine's refusal that the failure `error` of a write to `table`
  // stands for (a type guard that cannot raise the engine's error itself);
  // nullopt when `error` stands as it is.
  virtual std::optional<EngineError> GuardRefusal(std::string_view table,
                                                  const EngineError& error) = 0;
  // Makes the engine table the CREATE TABLE statement `create` declares in
  // the store's own way, with its catalog rows; false when the statement
  // goes to the store as written (and SyncCatalog follows).
  virtual bool MakeDeclaredTable(std::string_view create, uint16_t table_type,
                                 uint16_t char_type) = 0;
  // Makes `change` of an ALTER TABLE of `table` in the store's own way, the
  // catalog following; false when the statement goes to the store as
  // written (and SyncCatalog follows).
  virtual bool ChangeColumns(std::string_view table, const ColumnChange& change) = 0;
  // Before an ALTER TABLE of `table` (empty: not known) goes to the store
  // as written: takes away what the store would refuse the change for,
  // which SyncCatalog gives back.
  virtual void BeforeAlterTable(const std::string& table) = 0;
  // After ALTER TABLE `from` RENAME TO `to`: moves the catalog's rows of the
  // table to its new name; false when SyncCatalog follows the rename itself.
  virtual bool MoveCatalogRows(const std::string& from, const std::string& to) = 0;
  // After a statement that changed the schema: brings the catalog in line
  // with the tables. `altered` names the table an ALTER TABLE changed
  // (empty for others); new tables take `new_table_type`.
  virtual void SyncCatalog(const std::string& altered, uint16_t new_table_type) = 0;

 protected:
  StoreSession() = default;
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;
};

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_SESSION_H
