// The store session over a PostgreSQL server, reached through libpq.
//
// A session connects by a URI, postgresql://user@host:port/database or
// postgres://...; the password comes only from libpq's own places
// (PGPASSWORD, the password file), and a URI that carries one is refused.
// Connection failures: server down, unknown host or missing database ->
// NDS_E_INVALID_PATH; refused login (wrong or missing password, unknown
// role) -> NDS_E_LOGIN_FAILED.
//
// Statement failures carry the server's text and SQLSTATE, and the SQLSTATE
// packed into a number as PostgreSQL does internally as the native error:
// lock not available, serialization failure and deadlock -> NDS_E_BUSY;
// every other one -> NDS_E_SQL ("SQL error: NativeError = n; ...").
// A lost connection -> NDS_E_NO_CONNECTION, saying that the server rolled
// the open transaction back; the session then refuses work until Reconnect.
//
// No call waits on the server for ever: the connect within the URI's
// connect_timeout (libpq's; 10 s when the URI names none), every request
// within the URI's statement_timeout (postgres_uri.h): the server cancels
// a statement that runs longer (NDS_E_SQL, the session goes on), and a
// server that does not answer one second after that is given up
// (NDS_E_NO_CONNECTION, the connection closed).
//
// Values are sent typed and in binary where text could change them:
//   integer -> bigint, real -> double precision (binary, exact; numeric
//   text where that would reach a numeric column rounded: postgres_values.h),
//   blob -> bytea (binary, any bytes), text -> untyped text (the server
//   gives it the type the statement wants; a zero byte is refused), NULL.
// Result columns become values by their type:
//   smallint, integer, bigint, oid -> integer; boolean -> integer 0 or 1;
//   real, double precision -> real (exactly the stored value, also
//   Infinity and NaN); numeric -> integer when the server writes it
//   without a fraction and it fits 64 bits, else its text (never a
//   rounded double); bytea -> blob; NULL -> null; everything else (text,
//   varchar, char, date 'YYYY-MM-DD', ...) -> the server's text in ISO
//   style; time and timestamp as the engine keeps them, 'HH:MM:SS.mmm' and
//   'YYYY-MM-DD HH:MM:SS.mmm', where they hold whole milliseconds.
//
// Each statement runs when first stepped and its whole result is read at
// once, so several statements of one session may be stepped in turn.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_SESSION_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_SESSION_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/errors.h"
#include "engine/storage/postgres/postgres_wire.h"
#include "engine/storage/store_session.h"

struct pg_conn;    // libpq's connection
struct pg_result;  // libpq's result of one statement

namespace nce {

struct PostgresParams;  // postgres_values.h

class PostgresSession : public StoreSession {
 public:
  // Whether `path` names a server: it starts with postgresql:// or postgres://.
  static bool IsServerPath(std::string_view path);
  // Connects; throws as described above. `lock_timeout_ms`: as
  // SetLockTimeout sets it, sent with the session's settings.
  static std::unique_ptr<PostgresSession> Connect(const std::string& uri, int lock_timeout_ms = 0);
  ~PostgresSession() override;

  void Execute(std::string_view sql) override;
  std::unique_ptr<StoreStatement> Prepare(std::string_view sql) override;
  void Check(std::string_view sql) override;
  // One request for all the checks; one more to undo a failing one inside
  // a transaction.
  std::optional<CheckFailure> CheckInTurn(const std::vector<std::string>& statements) override;
  // One request for all the statements, each under its guard savepoint
  // inside a transaction; one more to undo a failing one.
  void RunInTurn(const std::vector<StoreStatement*>& statements, size_t* failed) override;
  void Begin() override;
  void Commit() override;
  void Rollback() override;
  void Savepoint(const std::string& name) override;
  void ReleaseSavepoint(const std::string& name) override;
  void RollbackToSavepoint(const std::string& name) override;
  bool InTransaction() const override;
  // Rows go in with COPY ... FROM STDIN, sent in large pieces, and come out
  // of a server-side cursor a window of rows at a time (postgres_bulk_rows.cpp).
  std::unique_ptr<BulkInsert> BeginBulkInsert(const std::string& table,
                                              const std::vector<std::string>& columns,
                                              int64_t first_record, bool values_checked) override;
  std::unique_ptr<StoreStatement> PrepareStream(std::string_view sql) override;
  void AfterNumberedRows(const std::string& table) override;
  bool WholeNumericsAsDoubles() const override { return true; }
  const StoreDialect& dialect() const override;
  bool Remote() const override { return true; }
  bool SavepointBeginsTransaction() const override { return false; }
  bool KeepsRecordLocks() const override { return true; }
  bool ReadClock(Clock* clock) override;
  // Cut by the server from the value's bytes (a text column's UTF-8 bytes).
  bool ReadValuePart(const std::string& table, const std::string& column, bool binary,
                     int64_t rowid, uint64_t offset, uint64_t length, std::string* part) override;

  // What the SQL front end asks (postgres_session_answers.cpp): the engine
  // authorizes statements against the dictionary's mirror; queries go
  // through server-side cursors; the tables' lock triggers honour the
  // advisory record locks; engine tables and their column changes are made
  // here with their catalog rows.
  void BeginWrite() override { Begin(); }
  bool AuthorizesWhilePreparing() const override { return false; }
  bool CanCheck(std::string_view keyword) const override;
  bool CheckFailureStands(const EngineError& error, bool schema_changed) const override;
  bool ReadsLongDecimalsExactly() const override { return true; }
  bool ReadsWholeResults() const override { return true; }
  bool SelectStarReadsRowid() const override { return true; }
  bool HonoursRecordLocks() const override { return true; }
  bool VacuumKeepsRecordNumbers() const override { return true; }
  // The last row inserted took the newest number of the table's rowid
  // identity, the one sequence the session has used since.
  std::string LastInsertedRowid() const override { return "lastval()"; }
  std::string InsertColumns(std::string_view table) override;
  std::optional<EngineError> GuardRefusal(std::string_view table,
                                          const EngineError& error) override;
  bool MakeDeclaredTable(std::string_view create, uint16_t table_type, uint16_t char_type) override;
  bool ChangeColumns(std::string_view table, const ColumnChange& change) override;
  void BeforeAlterTable(const std::string&) override {}
  bool MoveCatalogRows(const std::string& from, const std::string& to) override;
  void SyncCatalog(const std::string& altered, uint16_t new_table_type) override;

  // A statement running longer than `ms` milliseconds (0: no limit) fails
  // with NDS_E_SQL; the session stays usable. Kept across Reconnect; the
  // URI's statement_timeout until set.
  // Throws NDS_E_TRANSACTION_OPEN inside a transaction, whose rollback would
  // undo the setting.
  void SetStatementTimeout(int ms);
  // A statement waiting longer than `ms` milliseconds (0: no limit) for a
  // lock another session holds fails with NDS_E_BUSY, as a SQLite store's
  // writer gives up after the busy timeout. Kept across Reconnect; set
  // outside transactions only.
  void SetLockTimeout(int ms);
  bool Connected() const override { return conn_ != nullptr; }
  // Connects again with the same URI (after a lost connection, say).
  void Reconnect() override;
  // Record locks as the server's session advisory locks, keyed by the
  // table's oid in the high half and the record number in the low one, so
  // that the tables' lock triggers see them (postgres_catalog.cpp; a name
  // the server holds no table of is keyed as the sidecar file's byte,
  // LockByteFor). Table names are compared without letter case. The session
  // holds an exclusive lock once however often it is taken, and a shared
  // one until it is given back as often as taken.
  bool TryLockRecord(const std::string& table, int64_t record, bool shared = false) override;
  bool UnlockRecord(const std::string& table, int64_t record, bool shared = false) override;
  // One round trip: the lock is asked for only when the row exists.
  std::optional<RowLock> TryLockExistingRow(const std::string& table, int64_t record,
                                            StoreStatement* then, bool* then_ran) override;
  uint64_t Requests() const override { return requests_; }

  // The server process serving this session.
  int ServerProcessId() const;

  // The statements of this session run through Run.
  friend class PostgresStatement;
  friend class PostgresCopyIn;

 private:
  PostgresSession(std::string conninfo, int statement_timeout_ms)
      : conninfo_(std::move(conninfo)), statement_timeout_ms_(statement_timeout_ms) {}
  void Open();
  void Close();
  void RequireConnection() const;
  void RequireTransaction() const;
  // Runs `sql` with `params` (null: a text of any number of statements
  // without parameters); the whole result, owned by the caller. Inside a
  // transaction a savepoint guards the statement, so that its failure
  // undoes its own work alone. Throws on failure.
  pg_result* Run(const std::string& sql, const PostgresParams* params);
  // A statement's text as the server holds it parsed: its name there, the
  // parameter types it was parsed for, and the connection it was parsed on
  // (0: none yet).
  struct ServerStatement {
    std::string name;
    std::vector<unsigned> types;
    uint64_t connection = 0;
  };
  // Runs the text `sql` of a prepared statement with `params` in one round
  // trip: the server parses it once per connection and parameter types (as
  // `parsed`, which this keeps up to date), and inside a transaction the
  // guard savepoint travels with it. The whole result, owned by the caller.
  // `lead`: a text without parameters sent first in the same request (after
  // the guard), whose result goes to *lead_result; a failure of either
  // fails both.
  pg_result* RunParsed(const std::string& sql, const PostgresParams& params,
                       ServerStatement* parsed, const std::string* lead = nullptr,
                       pg_result** lead_result = nullptr);
  // One request of `count` steps in libpq's pipeline mode, then a sync:
  // `send`(i) puts step i in the pipeline (false when libpq refuses it).
  // (*results)[i] gets step i's result, null where the server skipped it
  // after an earlier failure; returns the index of the first failed step,
  // results->size() when none failed. Each answer is waited for within the
  // request's deadline counted from the answer before it, since the
  // server's statement timeout counts each step on its own.
  size_t Pipeline(size_t count, const std::function<bool(size_t)>& send,
                  std::vector<std::shared_ptr<pg_result>>* results, bool transaction_open);
  // The server may drop `parsed`: its statement is gone.
  void Forget(const ServerStatement& parsed);
  // Tries the advisory lock of `record` of `table`; the key it has in *key.
  // `row_exists`: an SQL condition under which the lock is tried; the
  // attempt's answer is NULL where it does not hold (*tried false).
  bool TakeLock(const std::string& table, int64_t record, bool shared, int64_t* key,
                const std::string& row_exists = "", bool* tried = nullptr);
  // The key and the answer of a lock attempt's result (TakeLock).
  static bool ReadLockAttempt(const pg_result* result, int64_t* key, bool* tried);
  // When the answer to a request sent now is given up.
  WireDeadline AnswerDeadline() const;
  // Throws for a wait that did not end ready: the server did not answer in
  // time, or the connection failed; either way the connection is closed.
  void Await(WireWait wait, bool transaction_open);
  // Sends `sql` (with `params`, or a text of any number of statements) and
  // reads its answer as PQexec does, but within the request's deadline:
  // the last result, or the first failed one, or one that began a COPY.
  // Owned by the caller; null when the server sent none.
  pg_result* Exchange(const std::string& sql, const PostgresParams* params, bool transaction_open);
  // The next result of the request in flight (null at its end), read
  // within `deadline`.
  pg_result* NextResult(WireDeadline deadline, bool transaction_open);
  // Closes the connection and says that it was lost, and why.
  EngineError LostConnection(const std::string& why, bool transaction_open);
  // Runs a text without parameters and without a guard; throws on failure.
  void Simple(const std::string& sql);
  // The boolean the one-row, one-column `sql` answers.
  bool Ask(const std::string& sql);
  // Sends `sql`; the result, or throws the error it reports.
  pg_result* Send(const std::string& sql, const PostgresParams* params);
  // Ends a COPY the server began, so that the session can go on.
  void EndCopy();
  // The engine error for a failed result (or a lost connection).
  EngineError Error(const pg_result* result, bool transaction_open);
  // Where savepoint `name` is in savepoints_; throws NDS_E_SQL when unknown.
  size_t FindSavepoint(const std::string& name) const;

  std::string conninfo_;          // the URI for libpq (holds no password)
  pg_conn* conn_ = nullptr;       // owned, nonblocking; null once the connection is lost
  int statement_timeout_ms_ = 0;  // 0: no limit
  int lock_timeout_ms_ = 0;
  std::vector<std::string> savepoints_;  // of the open transaction, oldest first
  // Advisory locks held, by lower-case table name and record number: the
  // key each was taken with, and how often a shared one was taken.
  using LockName = std::pair<std::string, int64_t>;
  struct SharedLock {
    int64_t key = 0;
    int count = 0;
  };
  std::map<LockName, int64_t> locks_;
  std::map<LockName, SharedLock> shared_locks_;
  uint64_t connection_ = 0;             // counts the connections made
  uint64_t statements_parsed_ = 0;      // names the server's parsed statements
  uint64_t requests_ = 0;               // requests sent (Requests)
  std::vector<std::string> forgotten_;  // parsed statements of this connection to drop
};

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_SESSION_H
