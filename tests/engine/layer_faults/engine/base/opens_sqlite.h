// A base file that names SQLite, as the statement wrapper does: allowed in
// its own layer, but a layer kept free of SQLite must not include it.
#include <sqlite3.h>

inline int OpenInMemory(sqlite3** db) {
  return sqlite3_open(":memory:", db);
}
