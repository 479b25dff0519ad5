// Transactions that are known to write from their start, begun so that a
// second writer makes them wait rather than fail halfway.
#ifndef ENGINE_STORAGE_WRITE_TRANSACTION_H
#define ENGINE_STORAGE_WRITE_TRANSACTION_H

#include "engine/storage/store_session.h"

namespace nce {

// Begins a transaction on `session` that is going to write. A SQLite store
// takes its write lock at once (BEGIN IMMEDIATE): a transaction that read
// first could not take it later once another connection had written, while
// taking it now waits for that writer through the busy timeout. A server's
// transactions lock row by row; there it is Begin(). Throws as Begin.
void BeginWriting(StoreSession& session);

}  // namespace nce

#endif  // ENGINE_STORAGE_WRITE_TRANSACTION_H
