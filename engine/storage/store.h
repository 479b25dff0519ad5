// The store: the one SQLite file that holds a database. A free-table
// directory D keeps its tables in D/nce.db; a data dictionary path X.ndd is
// the store file itself. The store runs in WAL mode with synchronous=FULL, so
// a committed transaction survives a crash, readers never wait for a writer,
// and a second writer waits up to the busy timeout, then fails clearly.
#ifndef ENGINE_STORAGE_STORE_H
#define ENGINE_STORAGE_STORE_H

#include <memory>
#include <string>
#include <string_view>

// SQLite's connection, named here without its header so that the layers
// above reach it only through the functions that take it.
struct sqlite3;

namespace nce {

// Name of the store file inside a free-table directory.
inline constexpr const char* kStoreFileName = "nce.db";

struct StoreLocation {
  std::string database_path;  // the directory or dictionary path, '/' separators
  std::string store_file;     // the SQLite file
  bool dictionary = false;    // true for a .ndd data dictionary, and on a server
};

// Resolves a database path as the caller gave it ('\' or '/' separators).
// Throws EngineError NDS_E_INVALID_PATH when the path is empty, missing, a
// file other than a dictionary, or unreadable.
StoreLocation ResolveStoreLocation(std::string_view path);

class Store {
 public:
  // Opens (a directory's store is created on first use) and configures the
  // store, and makes sure the engine's catalog exists. Throws EngineError.
  static std::unique_ptr<Store> Open(const StoreLocation& location, int busy_timeout_ms);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  sqlite3* db() const { return db_; }
  const StoreLocation& location() const { return location_; }

  // Whether this connection holds the store's write transaction; if so,
  // `*version` is the store's data version, which no other connection can
  // change until the transaction ends. Learnt from SQLite once per
  // transaction: its commit and rollback hooks forget it as it ends, and
  // asking SQLite costs more than many a cursor step that wants to know.
  bool InWriteTransaction(unsigned* version);

 private:
  Store(sqlite3* db, StoreLocation location) : db_(db), location_(std::move(location)) {}
  static int AtCommit(void* store);
  static void AtRollback(void* store);

  sqlite3* db_;                 // owned SQLite connection
  StoreLocation location_;      // where the store lies
  bool writing_known_ = false;  // in the write transaction, with ...
  unsigned write_version_ = 0;  // ... this data version
};

// Normalises separators to '/' and drops trailing separators (not the root).
std::string NormalisePath(std::string_view path);

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_H
