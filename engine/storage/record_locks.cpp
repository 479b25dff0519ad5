#include "engine/storage/record_locks.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <filesystem>

namespace nce {

namespace {

constexpr int kRecordBits = 40;                      // record numbers below 2^40
constexpr uint64_t kTableHashMask = (1u << 22) - 1;  // keeps offsets below 2^62

// Numbers a transaction's run locks at once: one system call per this many
// appends. Another process appending meanwhile passes them by.
constexpr int64_t kRunLength = 64;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Two spellings of one store path must meet on the same locks. Resolving a
// path costs several system calls, and every SQL write asks about locks, so
// the answers are kept.
// A store on a server is named by its URI; it has no file beside it.
bool IsServerStore(const std::string& store) {
  return store.find("://") != std::string::npos;
}

std::string CanonicalStore(const std::string& path) {
  if (IsServerStore(path)) return path;  // a URI, no file path
  static std::mutex mutex;
  static std::map<std::string, std::string> known;
  std::lock_guard<std::mutex> guard(mutex);
  auto it = known.find(path);
  if (it != known.end()) return it->second;
  std::error_code ec;
  auto canonical = std::filesystem::weakly_canonical(path, ec);
  std::string result = ec ? path : canonical.string();
  if (!ec) known.emplace(path, result);
  return result;
}

// Counts the forks this process came out of. Asking the kernel for the
// process id at every lock operation costs a system call; a fork handler
// marks the child instead.
std::atomic<uint64_t> g_fork_generation{1};

void NoteFork() {
  g_fork_generation.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

int64_t LockByteFor(const std::string& lowerTable, int64_t record) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : lowerTable) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  uint64_t bucket = (hash & kTableHashMask) + 1;  // never 0: byte 0 is unused
  uint64_t low = static_cast<uint64_t>(record) & ((1ull << kRecordBits) - 1);
  return static_cast<int64_t>((bucket << kRecordBits) | low);
}

RecordLocks& RecordLocks::Instance() {
  // Never destroyed: cursors may still be closing while the process exits.
  static RecordLocks* instance = [] {
    pthread_atfork(nullptr, nullptr, NoteFork);
    return new RecordLocks();
  }();
  return *instance;
}

RecordLocks::~RecordLocks() {
  for (auto& [store, fd] : sidecars_) close(fd);
}

uint32_t RecordLocks::NumberLocked(const std::string& store, const std::string& table) {
  std::map<std::string, uint32_t>& of_store = numbers_[store];
  auto known = of_store.find(table);
  if (known != of_store.end()) return known->second;
  Table resolved{CanonicalStore(store), Lower(table)};
  uint32_t number = 0;
  for (size_t i = 0; i < tables_.size() && number == 0; ++i)
    if (tables_[i].store == resolved.store && tables_[i].name == resolved.name)
      number = static_cast<uint32_t>(i + 1);
  if (number == 0) {
    tables_.push_back(std::move(resolved));
    number = static_cast<uint32_t>(tables_.size());
  }
  of_store.emplace(table, number);
  return number;
}

uint32_t RecordLocks::TableNumber(const std::string& store, const std::string& table) {
  MutexLock guard(mutex_);
  return NumberLocked(store, table);
}

void RecordLocks::ForgetParent() {
  // A child made by fork shares its parent's open sidecar files, and with
  // them the parent's locks; it starts afresh with files of its own.
  uint64_t generation = g_fork_generation.load(std::memory_order_relaxed);
  if (sidecar_generation_ == generation) return;
  for (auto& [path, fd] : sidecars_) close(fd);
  sidecars_.clear();
  held_.clear();
  runs_.clear();
  run_count_.store(0, std::memory_order_relaxed);
  sidecar_generation_ = generation;
}

int RecordLocks::SidecarFd(const std::string& store) {
  if (IsServerStore(store)) return -1;  // no file to lock beside it
  auto it = sidecars_.find(store);
  if (it != sidecars_.end()) return it->second;
  int fd = open((store + ".nce-locks").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  sidecars_.emplace(store, fd);
  return fd;
}

bool RecordLocks::KernelLock(const Key& key, short type) {
  return KernelLockRange(key.table, key.record, key.record, type);
}

bool RecordLocks::KernelLockRange(uint32_t table, int64_t first, int64_t last, short type) {
  if (first > last) return true;
  const Table& named = tables_[table - 1];
  // A server's workstations see its locks through the server (the cursor
  // takes them there); in this process the table above decides.
  if (IsServerStore(named.store)) return true;
  int fd = SidecarFd(named.store);
  if (fd < 0) {
    errno = EIO;
    return false;
  }
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = LockByteFor(named.name, first);
  fl.l_len = last - first + 1;
  while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

const RecordLocks::Run* RecordLocks::RunHolding(const Key& key) const {
  for (const Run& run : runs_)
    if (run.table == key.table && run.first <= key.record && key.record <= run.last) return &run;
  return nullptr;
}

void RecordLocks::KernelUnlockIfFree(const Key& key, const Holders& holders) {
  if (holders.writer != 0) return;
  // A number of a transaction's run stays locked until the transaction ends.
  if (RunHolding(key)) return;
  // A writer gone but readers left: the byte drops back to a shared lock.
  KernelLock(key, holders.readers.empty() ? F_UNLCK : F_RDLCK);
}

LockResult RecordLocks::Lock(const LockTarget& target, uint32_t owner) {
  return Lock(TableNumber(target.store, target.table), target.record, owner);
}

LockResult RecordLocks::Lock(uint32_t table, int64_t record, uint32_t owner) {
  MutexLock guard(mutex_);
  ForgetParent();
  return LockLocked(Key{table, record}, owner);
}

LockResult RecordLocks::LockLocked(const Key& key, uint32_t owner) {
  Holders& holders = held_[key];
  if (holders.writer == owner) return LockResult::kLocked;
  bool otherReaders = std::any_of(holders.readers.begin(), holders.readers.end(),
                                  [owner](const auto& r) { return r.first != owner; });
  if (holders.writer != 0 || otherReaders) return LockResult::kConflict;
  if (!KernelLock(key, F_WRLCK)) {
    bool conflict = errno == EAGAIN || errno == EACCES;
    if (holders.readers.empty()) held_.erase(key);
    return conflict ? LockResult::kConflict : LockResult::kIoError;
  }
  holders.writer = owner;
  return LockResult::kLocked;
}

LockResult RecordLocks::LockShared(const LockTarget& target, uint32_t owner) {
  MutexLock guard(mutex_);
  ForgetParent();
  Key key{NumberLocked(target.store, target.table), target.record};
  Holders& holders = held_[key];
  if (holders.writer != 0 && holders.writer != owner) return LockResult::kConflict;
  if (holders.writer == 0 && holders.readers.empty() && !KernelLock(key, F_RDLCK)) {
    bool conflict = errno == EAGAIN || errno == EACCES;
    held_.erase(key);
    return conflict ? LockResult::kConflict : LockResult::kIoError;
  }
  ++holders.readers[owner];
  return LockResult::kLocked;
}

bool RecordLocks::Unlock(uint32_t table, int64_t record, uint32_t owner) {
  MutexLock guard(mutex_);
  ForgetParent();
  const Key key{table, record};
  auto it = held_.find(key);
  if (it == held_.end()) return false;
  Holders& holders = it->second;
  if (holders.writer == owner) {
    holders.writer = 0;
  } else {
    auto reader = holders.readers.find(owner);
    if (reader == holders.readers.end()) return false;
    if (--reader->second == 0) holders.readers.erase(reader);
  }
  KernelUnlockIfFree(key, holders);
  if (holders.writer == 0 && holders.readers.empty()) held_.erase(it);
  return true;
}

void RecordLocks::UnlockAll(uint32_t owner) {
  MutexLock guard(mutex_);
  ForgetParent();
  for (auto it = held_.begin(); it != held_.end();) {
    Holders& holders = it->second;
    bool changed = false;
    if (holders.writer == owner) {
      holders.writer = 0;
      changed = true;
    }
    changed |= holders.readers.erase(owner) > 0;
    if (changed) KernelUnlockIfFree(it->first, holders);
    if (holders.writer == 0 && holders.readers.empty())
      it = held_.erase(it);
    else
      ++it;
  }
}

LockResult RecordLocks::LockInTransaction(uint32_t table, int64_t record, uint32_t owner,
                                          const void* txn) {
  MutexLock guard(mutex_);
  ForgetParent();
  const Key key{table, record};
  const Run* run = RunHolding(key);
  if (held_.count(key) || (run && run->txn != txn)) return LockLocked(key, owner);
  if (!run) {
    // The run ends below the next run of the table (a savepoint rolled back
    // may have lowered the table's end) and within the record bits.
    int64_t last = std::min(record + kRunLength - 1, (int64_t{1} << kRecordBits) - 1);
    for (const Run& other : runs_)
      if (other.table == table && other.first > record) last = std::min(last, other.first - 1);
    // Bytes of the run that this process holds already are locked through
    // the same file description: the run's lock covers them, and the
    // release leaves them as their holders need them.
    if (!KernelLockRange(table, record, last, F_WRLCK)) {
      if (errno != EAGAIN && errno != EACCES) return LockResult::kIoError;
      return LockLocked(key, owner);  // another process holds a number of the run
    }
    // A run that ends just below grows, so that a transaction's appends to
    // one table keep one run however many they are.
    auto below = std::find_if(runs_.begin(), runs_.end(), [&](const Run& r) {
      return r.table == table && r.txn == txn && r.last == record - 1;
    });
    if (below != runs_.end()) {
      below->last = last;
    } else {
      runs_.push_back(Run{table, record, last, txn});
      run_count_.store(runs_.size(), std::memory_order_relaxed);
    }
  }
  held_[key].writer = owner;
  return LockResult::kLocked;
}

void RecordLocks::ReleaseTransactionRuns(const void* txn) {
  if (run_count_.load(std::memory_order_relaxed) == 0) return;
  MutexLock guard(mutex_);
  ForgetParent();
  for (size_t i = 0; i < runs_.size();) {
    if (runs_[i].txn != txn) {
      ++i;
      continue;
    }
    const Run run = runs_[i];
    runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(i));
    // Unheld numbers go back; a held one keeps the lock its holders need.
    int64_t from = run.first;
    for (auto it = held_.lower_bound(Key{run.table, run.first});
         it != held_.end() && it->first.table == run.table && it->first.record <= run.last; ++it) {
      KernelLockRange(run.table, from, it->first.record - 1, F_UNLCK);
      if (it->second.writer == 0) KernelLock(it->first, F_RDLCK);
      from = it->first.record + 1;
    }
    KernelLockRange(run.table, from, run.last, F_UNLCK);
  }
  run_count_.store(runs_.size(), std::memory_order_relaxed);
}

bool RecordLocks::LockedByOther(uint32_t table, int64_t record, uint32_t owner) {
  MutexLock guard(mutex_);
  ForgetParent();
  const Key key{table, record};
  auto it = held_.find(key);
  if (it != held_.end()) {
    if (it->second.writer != 0) return it->second.writer != owner;
    if (!it->second.readers.empty()) return false;  // we hold it shared
  }
  // Another process's lock shows only in the sidecar file.
  const Table& names = tables_[table - 1];
  int fd = SidecarFd(names.store);
  if (fd < 0) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = LockByteFor(names.name, record);
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type == F_WRLCK;  // a shared lock elsewhere does not stop a write
}

bool RecordLocks::HeldBy(uint32_t table, int64_t record, uint32_t owner) {
  MutexLock guard(mutex_);
  ForgetParent();
  auto it = held_.find(Key{table, record});
  return it != held_.end() && it->second.writer == owner;
}

RecordLocks::TableLocks RecordLocks::ForeignLocks(const std::string& store,
                                                  const std::string& table,
                                                  const std::function<bool(uint32_t)>& own) {
  MutexLock guard(mutex_);
  ForgetParent();
  TableLocks result;
  auto note = [&result](int64_t record) {
    if (record == 0)
      result.exclusive = true;
    else
      result.records.push_back(record);
  };
  Key first{NumberLocked(store, table), INT64_MIN};
  for (auto it = held_.lower_bound(first); it != held_.end() && it->first.table == first.table;
       ++it)
    if (it->second.writer != 0 && !own(it->second.writer)) note(it->first.record);
  const Table& named = tables_[first.table - 1];
  // Other processes: ask the kernel for the first write lock in the table's
  // range of bytes, again and again past each one found. A read probe meets
  // write locks only, so other processes' shared table opens do not count;
  // this process's own locks never conflict with its own probe.
  int fd = SidecarFd(named.store);
  if (fd < 0) return result;
  const int64_t begin = LockByteFor(named.name, 0);
  const int64_t end = begin + (int64_t{1} << kRecordBits);
  for (int64_t start = begin; start < end;) {
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = start;
    probe.l_len = end - start;
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK) break;
    int64_t byte = std::max<int64_t>(probe.l_start, start);
    note(byte - begin);
    start = probe.l_len == 0 ? end : byte + 1;
  }
  std::sort(result.records.begin(), result.records.end());
  result.records.erase(std::unique(result.records.begin(), result.records.end()),
                       result.records.end());
  return result;
}

}  // namespace nce
