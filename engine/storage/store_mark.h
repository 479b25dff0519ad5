// What a connection knows of the database holding a cursor's rows without
// reading them: a mark of the database inside this connection's write
// transaction, and whether it is in one.
//
// Inside its write transaction no other connection can change a row, so
// what a cursor read under a mark stays true while the mark holds: until
// this connection changes a row (SQLite counts every change, those of
// triggers and foreign key actions too), a transaction or savepoint boundary
// or an SQL execution passes (the connection's epoch), or a commit shows in
// the database's data version. A server's rows may change under any read:
// there is no mark there.
#ifndef ENGINE_STORAGE_STORE_MARK_H
#define ENGINE_STORAGE_STORE_MARK_H

#include <cstdint>

#include "engine/storage/connection.h"
#include "engine/storage/store_session.h"

namespace nce {

struct StoreMark {
  int64_t changes = -1;  // rows changed by the connection; -1: no mark (no write transaction)
  uint64_t epoch = 0;    // the connection's epoch
  unsigned version = 0;  // the database's data version
  bool operator==(const StoreMark&) const = default;
};

// The mark of `rows` now: the session of `connection` on the database
// holding a cursor's rows (its store's, or its private database). Under the
// connection's lock.
StoreMark MarkNow(Connection& connection, StoreSession& rows) REQUIRES(connection.mutex());
// Whether the connection of `rows` holds its database's write transaction;
// false on a server.
bool InWriteTransaction(StoreSession& rows);

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_MARK_H
