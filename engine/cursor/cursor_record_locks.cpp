// Record locks of a cursor: the process's lock table, which every cursor of
// the process and every process on the same file sees (record_locks.h), and
// where the store keeps locks of its own (a server's advisory locks, which
// other machines see and the server frees when a client dies), those too.
#include "engine/base/errors.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/cursor_walk.h"
#include "engine/cursor/record_write.h"
#include "engine/cursor/write_lock.h"
#include "engine/storage/record_locks.h"

namespace nce {

void CursorWalk::ThrowLocked(const Cursor& c, int64_t recno) {
  throw EngineError(NDS_E_LOCK_FAILED, "Record " + std::to_string(recno) + " of " + c.source_table +
                                           " is locked by another user.");
}

void CursorWalk::HoldTable(Cursor& c, bool exclusive) {
  LockTarget table{c.connection().lock_store(), c.source_table, 0};
  LockResult taken = exclusive ? RecordLocks::Instance().Lock(table, c.handle())
                               : RecordLocks::Instance().LockShared(table, c.handle());
  // Other machines see the open through the store's own locks.
  if (taken == LockResult::kLocked && !LockInStore(c, 0, !exclusive)) taken = LockResult::kConflict;
  if (taken == LockResult::kLocked) return;
  throw EngineError(
      NDS_E_LOCK_FAILED,
      exclusive
          ? "The table " + c.source_table + " is open elsewhere; it cannot be opened exclusively."
          : "The table " + c.source_table + " is opened exclusively by another user.");
}

uint32_t CursorWalk::LockNumber(Cursor& c) {
  if (lock_table_ == 0)
    lock_table_ = RecordLocks::Instance().TableNumber(c.connection().lock_store(), c.source_table);
  return lock_table_;
}

bool CursorWalk::RowExists(Cursor& c, int64_t rowid) {
  StatementUse exists(KeptStatement(c, "SELECT 1 FROM " + c.QuotedTable() + " WHERE rowid = ?1"));
  exists->Bind(1, Value::Integer(rowid));
  return exists->Step();
}

bool CursorWalk::LockInStore(Cursor& c, int64_t recno, bool shared) {
  StoreSession& store = c.rows_session();
  if (!store.KeepsRecordLocks()) return true;
  // An exclusive lock is held once per session; a shared one as often as taken.
  if (!shared && store_locks_.count({recno, false})) return true;
  if (!store.TryLockRecord(c.source_table, recno, shared)) return false;
  store_locks_.insert({recno, shared});
  return true;
}

void CursorWalk::UnlockInStore(Cursor& c, int64_t recno, bool shared) {
  auto held = store_locks_.find({recno, shared});
  if (held == store_locks_.end()) return;
  store_locks_.erase(held);
  c.rows_session().UnlockRecord(c.source_table, recno, shared);
}

bool CursorWalk::LockedInStore(Cursor& c, int64_t rowid) {
  if (!c.rows_session().KeepsRecordLocks() || store_locks_.count({rowid, false})) return false;
  // Another session's lock shows only by trying it.
  if (!LockInStore(c, rowid, false)) return true;
  UnlockInStore(c, rowid, false);
  return false;
}

CursorWalk::WriteLock::WriteLock(CursorWalk& walk, Cursor& c, int64_t recno)
    : walk_(walk), c_(c), recno_(recno) {
  RecordLocks& locks = RecordLocks::Instance();
  local_ = !locks.HeldBy(walk.LockNumber(c), recno, c.handle());
  if (local_ && locks.Lock(walk.LockNumber(c), recno, c.handle()) != LockResult::kLocked) {
    local_ = false;
    ThrowLocked(c, recno);
  }
  store_ = c.rows_session().KeepsRecordLocks() && !walk.store_locks_.count({recno, false});
  if (store_ && !walk.LockInStore(c, recno, false)) {
    store_ = false;
    Release();
    ThrowLocked(c, recno);
  }
}

void CursorWalk::WriteLock::Release() noexcept {
  if (local_) RecordLocks::Instance().Unlock(walk_.LockNumber(c_), recno_, c_.handle());
  local_ = false;
  if (!store_) return;
  store_ = false;
  try {
    walk_.UnlockInStore(c_, recno_, false);
  } catch (const EngineError&) {
    // The connection went away: the store freed the lock with it.
  }
}

void CursorWalk::Lock(Cursor& c, int64_t recno) {
  if (!c.live)
    throw EngineError(
        NDS_E_STATIC_VIEW,
        "The cursor is a static copy of a query result; its records cannot be locked.");
  if (recno == 0) {
    RequireRecord();
    recno = current_.rowid;
  } else if (recno < 0) {
    throw EngineError(NDS_E_INVALID_RECORD, "Record " + std::to_string(recno) + " does not exist.");
  }
  // The cursor's own unwritten append is not in the table yet, but is its
  // record all the same.
  bool own_append = appended_ && on_record_ && !gone_ && recno == current_.rowid;
  // A record read under a store mark that still holds is in the table.
  bool known = recno == current_read_rowid_ && Holds(c, current_read_);
  if (!own_append && !known && !RowExists(c, recno))
    throw EngineError(NDS_E_INVALID_RECORD, "Record " + std::to_string(recno) + " does not exist.");
  RecordLocks& locks = RecordLocks::Instance();
  const bool held = locks.HeldBy(LockNumber(c), recno, c.handle());
  switch (locks.Lock(LockNumber(c), recno, c.handle())) {
    case LockResult::kLocked:
      break;
    case LockResult::kConflict:
      ThrowLocked(c, recno);
    case LockResult::kIoError:
      throw EngineError(NDS_E_GENERAL,
                        "The lock file of " + c.connection().lock_store() + " cannot be used.");
  }
  if (!LockInStore(c, recno, false)) {
    if (!held) locks.Unlock(LockNumber(c), recno, c.handle());
    ThrowLocked(c, recno);
  }
  locks_.insert(recno);
}

void CursorWalk::Unlock(Cursor& c, int64_t recno) {
  if (recno == 0) {
    RequireRecord();
    recno = current_.rowid;
  }
  // A record being appended keeps its lock until it is written or cancelled.
  if (appended_ && recno == current_.rowid) {
    locks_.erase(recno);
    return;
  }
  if (locks_.erase(recno) == 0 && !RecordLocks::Instance().HeldBy(LockNumber(c), recno, c.handle()))
    return;  // not locked: nothing to release
  RecordLocks::Instance().Unlock(LockNumber(c), recno, c.handle());
  UnlockInStore(c, recno, false);
}

void CursorWalk::ReleaseLocks(Cursor& c) {
  RecordLocks::Instance().UnlockAll(c.handle());
  locks_.clear();
  // A store frees the locks of a session that is gone by itself.
  if (!store_locks_.empty() && c.connection().is_open()) {
    StoreSession& store = c.connection().session();
    for (const auto& [recno, shared] : store_locks_) {
      if (!store.Connected()) break;
      try {
        store.UnlockRecord(c.source_table, recno, shared);
      } catch (const EngineError&) {
        break;  // the connection went away meanwhile
      }
    }
  }
  store_locks_.clear();
}

}  // namespace nce
