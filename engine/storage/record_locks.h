// Record locks shared by every connection of the process and, through
// byte-range locks on a sidecar file next to each store, by every process.
// A store on a server (named by its URI) has no sidecar: the table of this
// process decides between its cursors, and the cursors take the locks that
// other processes see on the server itself (StoreSession::TryLockRecord).
//
// A lock belongs to one cursor. Inside the process a table of held locks
// decides conflicts between cursors; across processes each lock is also an
// open-file-description lock (F_OFD_SETLK) on one byte of the store's
// sidecar file, so the kernel drops it when the holding process dies.
#ifndef ENGINE_STORAGE_RECORD_LOCKS_H
#define ENGINE_STORAGE_RECORD_LOCKS_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/base/thread_annotations.h"

namespace nce {

enum class LockResult {
  kLocked,    // the lock is now held by the caller (or already was)
  kConflict,  // another cursor of this process, or another process, holds it
  kIoError,   // the sidecar file could not be opened or locked
};

// Names one lockable item: record `record` of `table` in the store file
// `store`. Record number 0 stands for the whole table.
struct LockTarget {
  std::string store;  // path of the store file (as the connection opened it)
  std::string table;  // table name; compared without letter case
  int64_t record;     // record number (rowid) or 0 for the table
};

class RecordLocks {
 public:
  // The one instance of the process.
  static RecordLocks& Instance();

  // The number this process gives table `table` of store `store` (two
  // spellings of one store path get the same). A cursor asks once and locks
  // its records by the number: resolving the names costs more than a lock.
  uint32_t TableNumber(const std::string& store, const std::string& table);

  // Takes the write lock of `target` for `owner` (a cursor handle).
  LockResult Lock(const LockTarget& target, uint32_t owner);
  // By table number (TableNumber) and record number: the write lock, its
  // release (false when `owner` held none), whether someone other than
  // `owner` holds the write lock, whether `owner` holds it.
  LockResult Lock(uint32_t table, int64_t record, uint32_t owner);
  bool Unlock(uint32_t table, int64_t record, uint32_t owner);
  bool LockedByOther(uint32_t table, int64_t record, uint32_t owner);
  bool HeldBy(uint32_t table, int64_t record, uint32_t owner);
  // Takes a shared lock of `target` for `owner`: several owners may hold one
  // together; it conflicts only with a write lock. Used for table opens.
  LockResult LockShared(const LockTarget& target, uint32_t owner);
  // Releases every lock `owner` holds (its cursor closes).
  void UnlockAll(uint32_t owner);

  // The write lock of a number for a new record, taken inside a write
  // transaction of the SQLite connection `txn`. No other connection can add
  // a row until that transaction ends, so the first such lock takes a run of
  // numbers from the kernel in one call and later ones are handed out from
  // the run by this process's table alone. The run's numbers, those already
  // inserted included, stay locked for other processes until
  // ReleaseTransactionRuns; numbers still held then keep their locks.
  LockResult LockInTransaction(uint32_t table, int64_t record, uint32_t owner, const void* txn);
  // Gives the runs of transaction `txn` back (it committed or rolled back,
  // or its connection closes). Costs an atomic load when there are none.
  void ReleaseTransactionRuns(const void* txn);

  // The write locks on table `table` of `store` (its records, and record 0
  // for an exclusive open) held by other processes or by owners of this
  // process for which `own` is false. Costs one map lookup and one system
  // call when there are none, so every SQL write can ask.
  struct TableLocks {
    bool exclusive = false;        // the table is opened exclusively
    std::vector<int64_t> records;  // locked record numbers
    bool any() const { return exclusive || !records.empty(); }
  };
  TableLocks ForeignLocks(const std::string& store, const std::string& table,
                          const std::function<bool(uint32_t)>& own);

  RecordLocks(const RecordLocks&) = delete;
  RecordLocks& operator=(const RecordLocks&) = delete;

 private:
  RecordLocks() = default;
  ~RecordLocks();

  struct Key {
    uint32_t table;  // TableNumber
    int64_t record;
    auto operator<=>(const Key&) const = default;
  };
  // A numbered table: its store's resolved path and its lower-case name.
  struct Table {
    std::string store;
    std::string name;
  };
  struct Holders {
    uint32_t writer = 0;              // owner of the write lock, 0 when none
    std::map<uint32_t, int> readers;  // owners of shared locks
  };

  // A run of record numbers locked for a transaction (LockInTransaction).
  struct Run {
    uint32_t table;
    int64_t first, last;  // record numbers, both in the run
    const void* txn;
  };

  uint32_t NumberLocked(const std::string& store, const std::string& table) REQUIRES(mutex_);
  LockResult LockLocked(const Key& key, uint32_t owner) REQUIRES(mutex_);
  const Run* RunHolding(const Key& key) const REQUIRES(mutex_);
  // In a forked child: drops the parent's locks.
  void ForgetParent() REQUIRES(mutex_);
  int SidecarFd(const std::string& store) REQUIRES(mutex_);  // -1 when it cannot be opened
  bool KernelLock(const Key& key, short type) REQUIRES(mutex_);
  bool KernelLockRange(uint32_t table, int64_t first, int64_t last, short type) REQUIRES(mutex_);
  void KernelUnlockIfFree(const Key& key, const Holders& holders) REQUIRES(mutex_);

  mutable Mutex mutex_;                             // guards everything below
  std::map<Key, Holders> held_ GUARDED_BY(mutex_);  // locks held by this process
  std::vector<Table> tables_ GUARDED_BY(mutex_);    // numbered tables; number n at n - 1
  // Store path as given -> table name as given -> table number.
  std::map<std::string, std::map<std::string, uint32_t>> numbers_ GUARDED_BY(mutex_);
  // Store path -> open sidecar file.
  std::map<std::string, int> sidecars_ GUARDED_BY(mutex_);
  // Fork generation that opened the sidecar files.
  uint64_t sidecar_generation_ GUARDED_BY(mutex_) = 0;
  std::vector<Run> runs_ GUARDED_BY(mutex_);  // runs of open write transactions
  std::atomic<size_t> run_count_{0};          // runs_.size(), read without the mutex
};

// Byte of the sidecar file that stands for a record of a table: a hash of the
// table name in the high bits, the record number in the low 40 bits.
int64_t LockByteFor(const std::string& lowerTable, int64_t record);

}  // namespace nce

#endif  // ENGINE_STORAGE_RECORD_LOCKS_H
