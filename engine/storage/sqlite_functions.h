// The engine's SQL functions on an SQLite connection: nce_key and the helpers
// translated expressions call, registered on every store connection. What
// each computes lives in engine/expr/expr_functions.h; this unit reads
// SQLite's arguments and hands back SQLite's results.
#ifndef ENGINE_STORAGE_SQLITE_FUNCTIONS_H
#define ENGINE_STORAGE_SQLITE_FUNCTIONS_H

#include <sqlite3.h>

namespace nce {

// Registers nce_key, nce_contains, nce_ctod, nce_ctot, nce_ctots, nce_mod and
// nce_pow on `db`. Throws EngineError on failure.
void RegisterExpressionFunctions(sqlite3* db);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_FUNCTIONS_H
