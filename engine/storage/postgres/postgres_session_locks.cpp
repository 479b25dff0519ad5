// The PostgreSQL session's record locks: advisory locks keyed by the
// table's oid and the record number.
#include <libpq-fe.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/sql_text.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/postgres/postgres_statement.h"
#include "engine/storage/postgres/postgres_wire.h"
#include "engine/storage/record_locks.h"
#include "engine/storage/store_dialect.h"

namespace nce {

namespace {

// The text of a query whose one row is the advisory lock key of `record` of
// `table` (names compared without letter case): the table's oid in the high
// half and the record number in the low one, so that the tables' lock
// triggers (nce_honour_locks) find a record's lock by the table and the
// row; for a name the server holds no table of, the sidecar file's byte.
std::string LockKeyQuery(const std::string& table, int64_t record) {
  std::string lower = LowerAscii(table);
  std::string number = std::to_string(record & 0xFFFFFFFFll);
  return "SELECT coalesce((to_regclass(" + QuoteLiteral(QuoteIdentifier(lower)) +
         ")::oid::bigint << 32) | " + number + ", " + std::to_string(LockByteFor(lower, record)) +
         ")";
}

}  // namespace

namespace {

// The query that tries the lock of `record` of `table`, answering the key
// and the attempt; `row_exists`: see TakeLock.
std::string LockAttemptQuery(const std::string& table, int64_t record, bool shared,
                             const std::string& row_exists) {
  std::string attempt =
      std::string(shared ? "pg_try_advisory_lock_shared" : "pg_try_advisory_lock") + "(k)";
  if (!row_exists.empty()) attempt = "CASE WHEN " + row_exists + " THEN " + attempt + " END";
  return "SELECT k, " + attempt + " FROM (" + LockKeyQuery(table, record) + ") AS s(k)";
}

}  // namespace

bool PostgresSession::TakeLock(const std::string& table, int64_t record, bool shared, int64_t* key,
                               const std::string& row_exists, bool* tried) {
  // One round trip: the key and the attempt.
  Result result(Send(LockAttemptQuery(table, record, shared, row_exists), nullptr));
  return ReadLockAttempt(result.get(), key, tried);
}

bool PostgresSession::ReadLockAttempt(const pg_result* result, int64_t* key, bool* tried) {
  if (PQntuples(result) != 1 || PQnfields(result) != 2)
    throw EngineError(NDS_E_GENERAL, "The server gave no record lock.");
  *key = std::strtoll(PQgetvalue(result, 0, 0), nullptr, 10);
  if (tried) *tried = !PQgetisnull(result, 0, 1);
  return PQgetvalue(result, 0, 1)[0] == 't';
}

std::optional<StoreSession::RowLock> PostgresSession::TryLockExistingRow(const std::string& table,
                                                                         int64_t record,
                                                                         StoreStatement* then,
                                                                         bool* then_ran) {
  RequireConnection();
  if (then_ran) *then_ran = false;
  const LockName name{LowerAscii(table), record};
  int64_t key = 0;
  bool tried = false;
  const std::string exists = "EXISTS (SELECT 1 FROM " + dialect().Quoted(table) +
                             " WHERE rowid = " + std::to_string(record) + ")";
  if (locks_.count(name)) {
    // Held already: only the row is in question.
    return Ask("SELECT " + exists) ? RowLock::kLocked : RowLock::kNoRow;
  }
  bool locked = false;
  if (auto* led = dynamic_cast<PostgresStatement*>(then)) {
    // The attempt leads `then` in one request: the read that follows sees
    // the row as it stands under the lock (each statement reads what was
    // committed when it began).
    pg_result* attempt = nullptr;
    led->RunLed(LockAttemptQuery(table, record, false, exists), &attempt);
    Result answer(attempt);
    if (then_ran) *then_ran = true;
    locked = ReadLockAttempt(answer.get(), &key, &tried);
  } else {
    locked = TakeLock(table, record, false, &key, exists, &tried);
  }
  if (!tried) return RowLock::kNoRow;
  if (!locked) return RowLock::kHeldElsewhere;
  locks_[name] = key;
  return RowLock::kLocked;
}

bool PostgresSession::TryLockRecord(const std::string& table, int64_t record, bool shared) {
  RequireConnection();
  const LockName name{LowerAscii(table), record};
  int64_t key = 0;
  if (shared) {
    auto held = shared_locks_.find(name);
    if (held != shared_locks_.end()) {
      ++held->second.count;
      return true;
    }
    if (!TakeLock(table, record, true, &key)) return false;
    shared_locks_[name] = SharedLock{key, 1};
    return true;
  }
  // The server counts a session's locks of one key; this session holds each
  // once, as a cursor holds a record lock once.
  if (locks_.count(name)) return true;
  if (!TakeLock(table, record, false, &key)) return false;
  locks_[name] = key;
  return true;
}

bool PostgresSession::UnlockRecord(const std::string& table, int64_t record, bool shared) {
  RequireConnection();
  const LockName name{LowerAscii(table), record};
  if (shared) {
    auto held = shared_locks_.find(name);
    if (held == shared_locks_.end()) return false;
    if (--held->second.count > 0) return true;
    int64_t key = held->second.key;
    shared_locks_.erase(held);
    return Ask("SELECT pg_advisory_unlock_shared(" + std::to_string(key) + ")");
  }
  auto held = locks_.find(name);
  if (held == locks_.end()) return false;
  int64_t key = held->second;
  locks_.erase(held);
  return Ask("SELECT pg_advisory_unlock(" + std::to_string(key) + ")");
}

}  // namespace nce
