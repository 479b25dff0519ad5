#include "engine/storage/store_mark.h"

#include <sqlite3.h>

#include "engine/storage/sqlite_session.h"

namespace nce {

StoreMark MarkNow(Connection& connection, StoreSession& rows) {
  StoreMark now;
  sqlite3* db = SqliteDbOf(rows);
  if (!db) return now;
  if (connection.IsStoreDb(db)) {
    if (!connection.store().InWriteTransaction(&now.version)) return now;
  } else {
    if (sqlite3_txn_state(db, "main") != SQLITE_TXN_WRITE) return now;
    // A null name is the main database, found without comparing names.
    if (sqlite3_file_control(db, nullptr, SQLITE_FCNTL_DATA_VERSION, &now.version) != SQLITE_OK)
      return now;
  }
  now.epoch = connection.epoch();
  now.changes = sqlite3_total_changes64(db);
  return now;
}

bool InWriteTransaction(StoreSession& rows) {
  sqlite3* db = SqliteDbOf(rows);
  return db && sqlite3_txn_state(db, "main") == SQLITE_TXN_WRITE;
}

}  // namespace nce
