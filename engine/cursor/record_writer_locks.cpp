// Record locks of a cursor: the process's lock table, which every cursor of
// the process and every process on the same file sees (record_locks.h), and
// where the store keeps locks of its own (a server's advisory locks, which
// other machines see and the server frees when a client dies), those too.
#include <optional>

#include "engine/base/errors.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/record_write.h"
#include "engine/cursor/record_writer.h"
#include "engine/cursor/write_lock.h"
#include "engine/storage/record_locks.h"

namespace nce {

void RecordWriter::ThrowLocked(int64_t recno) const {
  throw EngineError(NDS_E_LOCK_FAILED, "Record " + std::to_string(recno) + " of " +
                                           cursor_.source_table + " is locked by another user.");
}

void RecordWriter::HoldTable(bool exclusive) {
  LockTarget table{cursor_.connection().lock_store(), cursor_.source_table, 0};
  LockResult taken = exclusive ? RecordLocks::Instance().Lock(table, cursor_.handle())
                               : RecordLocks::Instance().LockShared(table, cursor_.handle());
  // Other machines see the open through the store's own locks.
  if (taken == LockResult::kLocked && !LockInStore(0, !exclusive)) taken = LockResult::kConflict;
  if (taken == LockResult::kLocked) return;
  throw EngineError(
      NDS_E_LOCK_FAILED,
      exclusive ? "The table " + cursor_.source_table +
                      " is open elsewhere; it cannot be opened exclusively."
                : "The table " + cursor_.source_table + " is opened exclusively by another user.");
}

uint32_t RecordWriter::LockNumber() {
  if (lock_table_ == 0)
    lock_table_ = RecordLocks::Instance().TableNumber(cursor_.connection().lock_store(),
                                                      cursor_.source_table);
  return lock_table_;
}

bool RecordWriter::RowExists(int64_t rowid) {
  StatementUse exists(
      KeptStatement("SELECT 1 FROM " + cursor_.QuotedTable() + " WHERE rowid = ?1"));
  exists->Bind(1, Value::Integer(rowid));
  return exists->Step();
}

bool RecordWriter::LockInStore(int64_t recno, bool shared) {
  StoreSession& store = cursor_.rows_session();
  if (!store.KeepsRecordLocks()) return true;
  // An exclusive lock is held once per session; a shared one as often as taken.
  if (!shared && store_locks_.count({recno, false})) return true;
  if (!store.TryLockRecord(cursor_.source_table, recno, shared)) return false;
  store_locks_.insert({recno, shared});
  return true;
}

void RecordWriter::UnlockInStore(int64_t recno, bool shared) {
  auto held = store_locks_.find({recno, shared});
  if (held == store_locks_.end()) return;
  store_locks_.erase(held);
  cursor_.rows_session().UnlockRecord(cursor_.source_table, recno, shared);
}

bool RecordWriter::LockedInStore(int64_t rowid) {
  if (!cursor_.rows_session().KeepsRecordLocks() || store_locks_.count({rowid, false}))
    return false;
  // Another session's lock shows only by trying it.
  if (!LockInStore(rowid, false)) return true;
  UnlockInStore(rowid, false);
  return false;
}

RecordWriter::WriteLock::WriteLock(RecordWriter& writer, int64_t recno)
    : writer_(writer), recno_(recno) {
  RecordLocks& locks = RecordLocks::Instance();
  const NDSHANDLE owner = writer.cursor_.handle();
  local_ = !locks.HeldBy(writer.LockNumber(), recno, owner);
  if (local_ && locks.Lock(writer.LockNumber(), recno, owner) != LockResult::kLocked) {
    local_ = false;
    writer.ThrowLocked(recno);
  }
  store_ = writer.cursor_.rows_session().KeepsRecordLocks() &&
           !writer.store_locks_.count({recno, false});
  if (store_ && !writer.LockInStore(recno, false)) {
    store_ = false;
    Release();
    writer.ThrowLocked(recno);
  }
}

void RecordWriter::WriteLock::Release() noexcept {
  if (local_)
    RecordLocks::Instance().Unlock(writer_.LockNumber(), recno_, writer_.cursor_.handle());
  local_ = false;
  if (!store_) return;
  store_ = false;
  try {
    writer_.UnlockInStore(recno_, false);
  } catch (const EngineError&) {
    // The connection went away: the store freed the lock with it.
  }
}

void RecordWriter::Lock(int64_t recno) {
  if (!cursor_.live)
    throw EngineError(
        NDS_E_STATIC_VIEW,
        "The cursor is a static copy of a query result; its records cannot be locked.");
  if (recno == 0) {
    walk_.RequireRecord();
    recno = walk_.current_row().rowid;
  } else if (recno < 0) {
    throw EngineError(NDS_E_INVALID_RECORD, "Record " + std::to_string(recno) + " does not exist.");
  }
  // The cursor's own unwritten append is not in the table yet, but is its
  // record all the same.
  bool own_append =
      appended_ && walk_.on_record() && !walk_.gone() && recno == walk_.current_row().rowid;
  // A record read under a store mark that still holds is in the table.
  bool known = recno == walk_.read_rowid() && walk_.Holds(walk_.read_mark());
  auto no_record = [recno] {
    return EngineError(NDS_E_INVALID_RECORD,
                       "Record " + std::to_string(recno) + " does not exist.");
  };
  // A store that asks for the row with its lock (a server's) saves a round
  // trip; the row is asked first below where the process's table refuses.
  StoreSession& store = cursor_.rows_session();
  const bool with_lock =
      !own_append && !known && store.KeepsRecordLocks() && !store_locks_.count({recno, false});
  if (!own_append && !known && !with_lock && !RowExists(recno)) throw no_record();
  RecordLocks& locks = RecordLocks::Instance();
  const bool held = locks.HeldBy(LockNumber(), recno, cursor_.handle());
  switch (locks.Lock(LockNumber(), recno, cursor_.handle())) {
    case LockResult::kLocked:
      break;
    case LockResult::kConflict:
      if (with_lock && !RowExists(recno)) throw no_record();
      ThrowLocked(recno);
    case LockResult::kIoError:
      throw EngineError(NDS_E_GENERAL, "The lock file of " + cursor_.connection().lock_store() +
                                           " cannot be used.");
  }
  bool taken = true;
  // The current record, unedited, comes back with its lock: the edit that
  // follows need not read it again (CursorWalk::Refresh).
  StoreStatement* read = nullptr;
  std::optional<StatementUse> read_use;
  if (with_lock && !editing() && walk_.on_record() && !walk_.gone() &&
      recno == walk_.current_row().rowid) {
    read = &KeptStatement("SELECT " + walk_.Navigation().RowColumns() + " FROM " +
                          cursor_.QuotedTable() + " WHERE rowid = ?1");
    read_use.emplace(*read);
    read->Bind(1, Value::Integer(recno));
  }
  bool read_ran = false;
  if (std::optional<StoreSession::RowLock> row;
      with_lock && (row = store.TryLockExistingRow(cursor_.source_table, recno, read, &read_ran))) {
    if (*row == StoreSession::RowLock::kNoRow) {
      if (!held) locks.Unlock(LockNumber(), recno, cursor_.handle());
      throw no_record();
    }
    taken = *row == StoreSession::RowLock::kLocked;
    if (taken) store_locks_.insert({recno, false});
    if (taken && read_ran && read->Step()) {
      walk_.HoldReadUnderLock(*read);
      NoteChecksumUnderLock(*read);
    }
  } else {
    if (with_lock && !RowExists(recno)) {
      if (!held) locks.Unlock(LockNumber(), recno, cursor_.handle());
      throw no_record();
    }
    taken = LockInStore(recno, false);
  }
  if (!taken) {
    if (!held) locks.Unlock(LockNumber(), recno, cursor_.handle());
    ThrowLocked(recno);
  }
  locks_.insert(recno);
}

void RecordWriter::Unlock(int64_t recno) {
  if (recno == 0) {
    walk_.RequireRecord();
    recno = walk_.current_row().rowid;
  }
  // A record being appended keeps its lock until it is written or cancelled.
  if (appended_ && recno == walk_.current_row().rowid) {
    locks_.erase(recno);
    return;
  }
  if (locks_.erase(recno) == 0 &&
      !RecordLocks::Instance().HeldBy(LockNumber(), recno, cursor_.handle()))
    return;  // not locked: nothing to release
  RecordLocks::Instance().Unlock(LockNumber(), recno, cursor_.handle());
  UnlockInStore(recno, false);
}

void RecordWriter::ReleaseLocks() {
  RecordLocks::Instance().UnlockAll(cursor_.handle());
  locks_.clear();
  // A store frees the locks of a session that is gone by itself.
  if (!store_locks_.empty() && cursor_.connection().is_open()) {
    StoreSession& store = cursor_.connection().session();
    for (const auto& [recno, shared] : store_locks_) {
      if (!store.Connected()) break;
      try {
        store.UnlockRecord(cursor_.source_table, recno, shared);
      } catch (const EngineError&) {
        break;  // the connection went away meanwhile
      }
    }
  }
  store_locks_.clear();
}

}  // namespace nce
