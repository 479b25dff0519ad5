#include "engine/storage/store_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/base/failpoints.h"

namespace nce {
namespace {

constexpr int kWindowBytes = 64 * 1024;
// Reads and writes larger than this go straight to the file.
constexpr int kLargestWindowed = kWindowBytes / 4;

struct WalFile;

// A main store file. Each file object below is followed, in the block SQLite
// allocates for it, by SQLite's own file object, which does the work.
struct DbFile {
  sqlite3_file base;
  const char* name;  // SQLite's name buffer, by which the WAL finds its database
  WalFile* wal;      // the windowed WAL of this database, while it is open
};

// The WAL of a main store file, and its window: window[0, valid) holds the
// newest content of the file from offset `start` (what the file holds, or
// what was written and is not yet in the file: window[dirty_from, dirty_to)).
struct WalFile {
  sqlite3_file base;
  DbFile* db;             // null once the database file is closed
  unsigned char* window;  // kWindowBytes; null: the file is used as is
  sqlite3_int64 start;    // file offset of window[0]
  int valid;              // 0: the window holds nothing
  int dirty_from, dirty_to;
  sqlite3_int64 next_read;  // where the last read ended
  int failed;               // a write-out that could not be reported yet
};

template <typename T>
constexpr int HeaderBytes() {
  return static_cast<int>((sizeof(T) + 7) & ~size_t{7});
}

template <typename T>
sqlite3_file* Inner(T* file) {
  return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + HeaderBytes<T>());
}

sqlite3_vfs* Inner(sqlite3_vfs* vfs) {
  return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

WalFile* AsWal(sqlite3_file* file) {
  return reinterpret_cast<WalFile*>(file);
}

DbFile* AsDb(sqlite3_file* file) {
  return reinterpret_cast<DbFile*>(file);
}

// The open main store files of the process, for their WALs to find.
std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<DbFile*>& Registry() {
  static auto* files = new std::vector<DbFile*>;
  return *files;
}

// --- the window ---

int WriteOut(WalFile* w) {
  if (w->dirty_to <= w->dirty_from) return SQLITE_OK;
  sqlite3_file* file = Inner(w);
  // Tests make the write fail as a full disk would.
  int rc = CheckFailpoint("StoreWalWriteOut")
               ? SQLITE_FULL
               : file->pMethods->xWrite(file, w->window + w->dirty_from,
                                        w->dirty_to - w->dirty_from, w->start + w->dirty_from);
  w->dirty_from = w->dirty_to = 0;
  if (rc != SQLITE_OK) w->valid = 0;  // the file's content there is unknown now
  return rc;
}

// Writes the window out and forgets it: once the shared WAL index is
// unlocked, other connections may write the WAL where the window lies.
int WriteOutAndForget(WalFile* w) {
  int rc = WriteOut(w);
  w->valid = 0;
  return rc;
}

// A failure of a write-out that SQLite gave no way to report comes back at
// the next call.
int TakeFailure(WalFile* w) {
  int rc = w->failed;
  w->failed = SQLITE_OK;
  return rc;
}

bool Holds(const WalFile* w, sqlite3_int64 offset, int amount) {
  return offset >= w->start && offset + amount <= w->start + w->valid;
}

bool Overlaps(const WalFile* w, sqlite3_int64 offset, int amount) {
  return w->valid > 0 && offset < w->start + w->valid && offset + amount > w->start;
}

// Fills the window from `offset` with what the file holds; false when the
// file ends before `needed` bytes.
int Fill(WalFile* w, sqlite3_int64 offset, int needed, bool* filled) {
  sqlite3_file* file = Inner(w);
  sqlite3_int64 size = 0;
  int rc = file->pMethods->xFileSize(file, &size);
  *filled = false;
  if (rc != SQLITE_OK || offset + needed > size) return rc;
  int length = static_cast<int>(std::min<sqlite3_int64>(kWindowBytes, size - offset));
  rc = file->pMethods->xRead(file, w->window, length, offset);
  if (rc != SQLITE_OK) return rc;
  w->start = offset;
  w->valid = length;
  *filled = true;
  return SQLITE_OK;
}

// --- methods that hand the call to SQLite's own file as it is ---

template <typename T>
sqlite3_file* InnerOf(sqlite3_file* f) {
  return Inner(reinterpret_cast<T*>(f));
}

template <typename T>
int Read(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xRead(file, out, amount, offset);
}

template <typename T>
int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xWrite(file, data, amount, offset);
}

template <typename T>
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xTruncate(file, size);
}

template <typename T>
int Sync(sqlite3_file* f, int flags) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xSync(file, flags);
}

template <typename T>
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xFileSize(file, size);
}

template <typename T>
int FileControl(sqlite3_file* f, int op, void* arg) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xFileControl(file, op, arg);
}

template <typename T>
int Lock(sqlite3_file* f, int level) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xLock(file, level);
}

template <typename T>
int Unlock(sqlite3_file* f, int level) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xUnlock(file, level);
}

template <typename T>
int CheckReservedLock(sqlite3_file* f, int* out) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xCheckReservedLock(file, out);
}

template <typename T>
int SectorSize(sqlite3_file* f) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xSectorSize(file);
}

template <typename T>
int DeviceCharacteristics(sqlite3_file* f) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xDeviceCharacteristics(file);
}

template <typename T>
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xFetch(file, offset, amount, out);
}

template <typename T>
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
  sqlite3_file* file = InnerOf<T>(f);
  return file->pMethods->xUnfetch(file, offset, page);
}

// --- the WAL file's methods ---

int WalClose(sqlite3_file* f) {
  WalFile* w = AsWal(f);
  int rc = w->window ? WriteOut(w) : SQLITE_OK;
  {
    std::lock_guard<std::mutex> hold(RegistryMutex());
    if (w->db) w->db->wal = nullptr;
  }
  sqlite3_free(w->window);
  sqlite3_file* file = Inner(w);
  int closed = file->pMethods ? file->pMethods->xClose(file) : SQLITE_OK;
  return rc != SQLITE_OK ? rc : closed;
}

int WalRead(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
  WalFile* w = AsWal(f);
  if (!w->window) return Read<WalFile>(f, out, amount, offset);
  if (int rc = TakeFailure(w)) return rc;
  // Reads that follow one another closely (the commit's walk over the
  // frames, the checkpoint's over the pages, a recovery) fill the window.
  const sqlite3_int64 gap = offset - w->next_read;
  const bool run = gap >= 0 && gap < kLargestWindowed;
  w->next_read = offset + amount;
  if (Holds(w, offset, amount)) {
    std::memcpy(out, w->window + (offset - w->start), static_cast<size_t>(amount));
    return SQLITE_OK;
  }
  if (Overlaps(w, offset, amount) || (run && amount <= kLargestWindowed)) {
    if (int rc = WriteOutAndForget(w)) return rc;
  }
  if (run && amount <= kLargestWindowed) {
    bool filled = false;
    if (int rc = Fill(w, offset, amount, &filled)) return rc;
    if (filled) {
      std::memcpy(out, w->window, static_cast<size_t>(amount));
      return SQLITE_OK;
    }
  }
  // A lone read, or one past the end of the file: SQLite's own answer.
  return Read<WalFile>(f, out, amount, offset);
}

int WalWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  WalFile* w = AsWal(f);
  if (!w->window) return Write<WalFile>(f, data, amount, offset);
  if (int rc = TakeFailure(w)) return rc;
  if (amount > kLargestWindowed) {
    if (Overlaps(w, offset, amount)) {
      if (int rc = WriteOutAndForget(w)) return rc;
    }
    return Write<WalFile>(f, data, amount, offset);
  }
  // A write that lies inside or right after what the window holds joins it;
  // any other starts a new window.
  const bool joins = w->valid > 0 && offset >= w->start && offset <= w->start + w->valid &&
                     offset + amount <= w->start + kWindowBytes;
  if (!joins) {
    if (int rc = WriteOutAndForget(w)) return rc;
    w->start = offset;
  }
  const int at = static_cast<int>(offset - w->start);
  std::memcpy(w->window + at, data, static_cast<size_t>(amount));
  w->valid = std::max(w->valid, at + amount);
  if (w->dirty_to <= w->dirty_from) {
    w->dirty_from = at;
    w->dirty_to = at + amount;
  } else {
    w->dirty_from = std::min(w->dirty_from, at);
    w->dirty_to = std::max(w->dirty_to, at + amount);
  }
  return SQLITE_OK;
}

// Before a call that needs the file as SQLite believes it to be: reports a
// failure kept from earlier, and writes the window out.
int Settle(WalFile* w, bool forget) {
  if (!w->window) return SQLITE_OK;
  if (int rc = TakeFailure(w)) return rc;
  return forget ? WriteOutAndForget(w) : WriteOut(w);
}

int WalTruncate(sqlite3_file* f, sqlite3_int64 size) {
  if (int rc = Settle(AsWal(f), true)) return rc;
  return Truncate<WalFile>(f, size);
}

int WalSync(sqlite3_file* f, int flags) {
  if (int rc = Settle(AsWal(f), false)) return rc;
  return Sync<WalFile>(f, flags);
}

int WalFileSize(sqlite3_file* f, sqlite3_int64* size) {
  if (int rc = Settle(AsWal(f), false)) return rc;
  return FileSize<WalFile>(f, size);
}

int WalFileControl(sqlite3_file* f, int op, void* arg) {
  WalFile* w = AsWal(f);
  // A size hint may extend the file, so everything written goes first. SQLite
  // ignores what a hint returns: a failed write-out is kept for the next call.
  if (w->window) {
    if (int rc = WriteOut(w)) {
      if (w->failed == SQLITE_OK) w->failed = rc;
      return rc;
    }
  }
  return FileControl<WalFile>(f, op, arg);
}

const sqlite3_io_methods kWalMethods = {
    1,
    WalClose,
    WalRead,
    WalWrite,
    WalTruncate,
    WalSync,
    WalFileSize,
    Lock<WalFile>,
    Unlock<WalFile>,
    CheckReservedLock<WalFile>,
    WalFileControl,
    SectorSize<WalFile>,
    DeviceCharacteristics<WalFile>,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// --- the main file's methods: SQLite's own, with the WAL written out before
// each use of the shared WAL index ---

int ShareWal(DbFile* db, bool forget) {
  WalFile* w = db->wal;
  if (!w || !w->window) return SQLITE_OK;
  return forget ? WriteOutAndForget(w) : WriteOut(w);
}

// A failure SQLite cannot be told of now comes back at the WAL's next call.
void KeepFailure(DbFile* db, int rc) {
  if (rc != SQLITE_OK && db->wal && db->wal->failed == SQLITE_OK) db->wal->failed = rc;
}

int DbClose(sqlite3_file* f) {
  DbFile* db = AsDb(f);
  {
    std::lock_guard<std::mutex> hold(RegistryMutex());
    auto& files = Registry();
    files.erase(std::remove(files.begin(), files.end(), db), files.end());
    if (db->wal) db->wal->db = nullptr;
  }
  sqlite3_file* file = Inner(db);
  return file->pMethods ? file->pMethods->xClose(file) : SQLITE_OK;
}

int DbShmMap(sqlite3_file* f, int page, int page_size, int extend, void volatile** out) {
  DbFile* db = AsDb(f);
  if (int rc = ShareWal(db, true)) return rc;
  sqlite3_file* file = Inner(db);
  return file->pMethods->xShmMap(file, page, page_size, extend, out);
}

int DbShmLock(sqlite3_file* f, int offset, int n, int flags) {
  DbFile* db = AsDb(f);
  if (int rc = ShareWal(db, true)) {
    // SQLite does not look at what an unlock returns.
    if (!(flags & SQLITE_SHM_UNLOCK)) return rc;
    KeepFailure(db, rc);
  }
  sqlite3_file* file = Inner(db);
  return file->pMethods->xShmLock(file, offset, n, flags);
}

// Called between the two copies of the WAL index header that publish a
// commit: the frames it publishes must be in the file by then.
void DbShmBarrier(sqlite3_file* f) {
  DbFile* db = AsDb(f);
  KeepFailure(db, ShareWal(db, false));
  sqlite3_file* file = Inner(db);
  file->pMethods->xShmBarrier(file);
}

int DbShmUnmap(sqlite3_file* f, int delete_flag) {
  DbFile* db = AsDb(f);
  KeepFailure(db, ShareWal(db, true));
  sqlite3_file* file = Inner(db);
  return file->pMethods->xShmUnmap(file, delete_flag);
}

const sqlite3_io_methods kDbMethods = {
    3,
    DbClose,
    Read<DbFile>,
    Write<DbFile>,
    Truncate<DbFile>,
    Sync<DbFile>,
    FileSize<DbFile>,
    Lock<DbFile>,
    Unlock<DbFile>,
    CheckReservedLock<DbFile>,
    FileControl<DbFile>,
    SectorSize<DbFile>,
    DeviceCharacteristics<DbFile>,
    DbShmMap,
    DbShmLock,
    DbShmBarrier,
    DbShmUnmap,
    Fetch<DbFile>,
    Unfetch<DbFile>,
};

// --- the file layer ---

int OpenDb(sqlite3_vfs* inner, const char* name, sqlite3_file* f, int flags, int* out_flags) {
  DbFile* db = AsDb(f);
  std::memset(db, 0, sizeof(*db));
  int rc = inner->xOpen(inner, name, Inner(db), flags, out_flags);
  if (rc != SQLITE_OK) return rc;
  // SQLite's file layer on this system keeps the shared-memory and mapping
  // methods this one forwards to.
  if (Inner(db)->pMethods->iVersion < 3) {
    Inner(db)->pMethods->xClose(Inner(db));
    return SQLITE_CANTOPEN;
  }
  db->base.pMethods = &kDbMethods;
  db->name = name;
  std::lock_guard<std::mutex> hold(RegistryMutex());
  Registry().push_back(db);
  return SQLITE_OK;
}

int OpenWal(sqlite3_vfs* inner, const char* name, sqlite3_file* f, int flags, int* out_flags) {
  WalFile* w = AsWal(f);
  std::memset(w, 0, sizeof(*w));
  w->next_read = -1;
  int rc = inner->xOpen(inner, name, Inner(w), flags, out_flags);
  if (rc != SQLITE_OK) return rc;
  w->base.pMethods = &kWalMethods;
  const char* database = sqlite3_filename_database(name);
  std::lock_guard<std::mutex> hold(RegistryMutex());
  for (DbFile* db : Registry()) {
    if (db->name != database) continue;
    // Without memory for the window, the WAL is used as is.
    w->window = static_cast<unsigned char*>(sqlite3_malloc(kWindowBytes));
    if (!w->window) break;
    w->db = db;
    db->wal = w;
    break;
  }
  return SQLITE_OK;
}

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* out_flags) {
  sqlite3_vfs* inner = Inner(vfs);
  if (flags & SQLITE_OPEN_MAIN_DB) return OpenDb(inner, name, f, flags, out_flags);
  if (flags & SQLITE_OPEN_WAL) return OpenWal(inner, name, f, flags, out_flags);
  return inner->xOpen(inner, name, f, flags, out_flags);  // SQLite's own file, as is
}

sqlite3_vfs* Build() {
  static sqlite3_vfs vfs;
  sqlite3_vfs* inner = sqlite3_vfs_find(nullptr);
  vfs.iVersion = 2;
  vfs.szOsFile = std::max(HeaderBytes<DbFile>(), HeaderBytes<WalFile>()) + inner->szOsFile;
  vfs.mxPathname = inner->mxPathname;
  vfs.zName = "nce-store";
  vfs.pAppData = inner;
  vfs.xOpen = Open;
  vfs.xDelete = [](sqlite3_vfs* v, const char* name, int sync) {
    return Inner(v)->xDelete(Inner(v), name, sync);
  };
  vfs.xAccess = [](sqlite3_vfs* v, const char* name, int flags, int* out) {
    return Inner(v)->xAccess(Inner(v), name, flags, out);
  };
  vfs.xFullPathname = [](sqlite3_vfs* v, const char* name, int size, char* out) {
    return Inner(v)->xFullPathname(Inner(v), name, size, out);
  };
  vfs.xDlOpen = [](sqlite3_vfs* v, const char* name) { return Inner(v)->xDlOpen(Inner(v), name); };
  vfs.xDlError = [](sqlite3_vfs* v, int size, char* out) {
    Inner(v)->xDlError(Inner(v), size, out);
  };
  vfs.xDlSym = [](sqlite3_vfs* v, void* handle, const char* symbol) {
    return Inner(v)->xDlSym(Inner(v), handle, symbol);
  };
  vfs.xDlClose = [](sqlite3_vfs* v, void* handle) { Inner(v)->xDlClose(Inner(v), handle); };
  vfs.xRandomness = [](sqlite3_vfs* v, int size, char* out) {
    return Inner(v)->xRandomness(Inner(v), size, out);
  };
  vfs.xSleep = [](sqlite3_vfs* v, int micros) { return Inner(v)->xSleep(Inner(v), micros); };
  vfs.xCurrentTime = [](sqlite3_vfs* v, double* out) {
    return Inner(v)->xCurrentTime(Inner(v), out);
  };
  vfs.xGetLastError = [](sqlite3_vfs* v, int size, char* out) {
    return Inner(v)->xGetLastError(Inner(v), size, out);
  };
  vfs.xCurrentTimeInt64 = [](sqlite3_vfs* v, sqlite3_int64* out) {
    return Inner(v)->xCurrentTimeInt64(Inner(v), out);
  };
  sqlite3_vfs_register(&vfs, 0);
  return &vfs;
}

}  // namespace

const char* StoreVfsName() {
  static sqlite3_vfs* vfs = Build();
  return vfs->zName;
}

}  // namespace nce
