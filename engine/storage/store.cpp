#include "engine/storage/store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "engine/base/errors.h"
#include "engine/schema/catalog.h"
#include "engine/storage/record_locks.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/sqlite_functions.h"
#include "engine/storage/sqlite_type_guards.h"
#include "engine/storage/store_vfs.h"

namespace nce {
namespace {

bool HasDictionaryExtension(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".ndd";
}

// The engine reads none of SQLite's allocation statistics. Without them
// SQLite's allocator takes no process-wide lock on every allocation and
// release. The setting can only be made before SQLite's first use in the
// process; a program that used SQLite before keeps its own.
bool ConfigureSqliteOnce() {
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  return configured;
}

[[noreturn]] void RefusePath(const std::string& path, const std::string& why) {
  throw EngineError(NDS_E_INVALID_PATH, "The database path '" + path + "' " + why);
}

// Puts the store in WAL mode. Switching a new file to WAL needs it alone for
// a moment, and SQLite answers another opener's lock on it with SQLITE_BUSY
// at once, without waiting in its busy handler: several programs connecting
// to a new database together would fail. So the switch is tried again until
// the busy timeout is spent.
int SwitchToWal(sqlite3* db, int busy_timeout_ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_timeout_ms);
  for (;;) {
    int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) return rc;
    sqlite3_sleep(1);
  }
}

}  // namespace

std::string NormalisePath(std::string_view path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

StoreLocation ResolveStoreLocation(std::string_view given) {
  std::string path = NormalisePath(given);
  if (path.empty()) throw EngineError(NDS_E_INVALID_PATH, "No database path was given.");
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) RefusePath(path, "does not exist.");
  StoreLocation location;
  location.database_path = path;
  if (S_ISDIR(info.st_mode)) {
    if (access(path.c_str(), R_OK | W_OK | X_OK) != 0)
      RefusePath(path, "cannot be read and written by this user.");
    location.store_file = path + "/" + kStoreFileName;
    struct stat store_info {};
    if (stat(location.store_file.c_str(), &store_info) == 0) {
      if (!S_ISREG(store_info.st_mode))
        RefusePath(path, std::string("holds a ") + kStoreFileName + " that is not a file.");
      if (access(location.store_file.c_str(), R_OK | W_OK) != 0)
        RefusePath(path, "holds a store file that cannot be read and written by this user.");
    }
    return location;
  }
  if (!S_ISREG(info.st_mode) || !HasDictionaryExtension(path))
    RefusePath(path, "is a file, not a database directory or a data dictionary (.ndd).");
  if (access(path.c_str(), R_OK | W_OK) != 0)
    RefusePath(path, "cannot be read and written by this user.");
  location.store_file = path;
  location.dictionary = true;
  return location;
}

std::unique_ptr<Store> Store::Open(const StoreLocation& location, int busy_timeout_ms) {
  ConfigureSqliteOnce();
  sqlite3* db = nullptr;
  // Without SQLite's own connection mutex: every use of the connection and
  // of its statements happens under the engine connection's lock (the engine
  // functions take it; objects holding statements finalize them under it),
  // so SQLite's lock around every step and column read would only repeat it.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (!location.dictionary) flags |= SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(location.store_file.c_str(), &db, flags, StoreVfsName());
  std::unique_ptr<Store> store(new Store(db, location));
  if (rc != SQLITE_OK) throw SqlError(db, rc, location.store_file);
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, busy_timeout_ms);
  // Record numbers a write transaction keeps from other processes go back
  // when it ends, however it ends: the engine's commit, SQL text, an error.
  sqlite3_commit_hook(db, AtCommit, store.get());
  sqlite3_rollback_hook(db, AtRollback, store.get());
  // Index keys and translated expressions call the engine's SQL functions.
  RegisterExpressionFunctions(db);
  // The first read of the file tells whether it is a database at all.
  rc = SwitchToWal(db, busy_timeout_ms);
  if ((rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT)
    RefusePath(location.database_path, "does not hold a database (" + location.store_file + ").");
  if (rc != SQLITE_OK) throw SqlError(db, rc, location.store_file);
  ExecSql(db, "PRAGMA synchronous=FULL");
  EnsureCatalog(db);
  // Tables stored before the type guards existed get them now. A store busy
  // with another writer's long transaction still opens; its tables get their
  // guards at a later open.
  try {
    GuardStoredTables(db);
  } catch (const EngineError& error) {
    if (error.number() != NDS_E_BUSY) throw;
  }
  return store;
}

// SQLite calls these as a write transaction of the store's connection ends
// (the commit hook before the commit, which may still fail and leave the
// transaction open: forgetting too early only costs a question to SQLite).
int Store::AtCommit(void* store) {
  AtRollback(store);
  return 0;  // the commit goes on
}

void Store::AtRollback(void* store) {
  auto* self = static_cast<Store*>(store);
  self->writing_known_ = false;
  RecordLocks::Instance().ReleaseTransactionRuns(self->db_);
}

bool Store::InWriteTransaction(unsigned* version) {
  if (!writing_known_) {
    if (sqlite3_txn_state(db_, "main") != SQLITE_TXN_WRITE) return false;
    // A null name is the main database, found without comparing names.
    if (sqlite3_file_control(db_, nullptr, SQLITE_FCNTL_DATA_VERSION, &write_version_) != SQLITE_OK)
      return false;
    writing_known_ = true;
  }
  *version = write_version_;
  return true;
}

Store::~Store() {
  // Closing rolls an open transaction back without the rollback hook.
  RecordLocks::Instance().ReleaseTransactionRuns(db_);
  sqlite3_commit_hook(db_, nullptr, nullptr);
  sqlite3_rollback_hook(db_, nullptr, nullptr);
  sqlite3_close_v2(db_);
}

}  // namespace nce
