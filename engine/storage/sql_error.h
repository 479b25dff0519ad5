// Turning SQLite failures into engine errors. Every SQL failure is engine
// error 7200 whose text carries "NativeError = <n>;" with SQLite's extended
// result code, the form the component layer reads the native number from.
#ifndef ENGINE_STORAGE_SQL_ERROR_H
#define ENGINE_STORAGE_SQL_ERROR_H

#include <sqlite3.h>

#include <string_view>

#include "engine/base/errors.h"

namespace nce {

// The engine error for SQLite result `rc` on `db` (db may be null). A busy
// store becomes NDS_E_BUSY with a text naming the timeout instead of 7200.
EngineError SqlError(sqlite3* db, int rc, std::string_view context = {});

// Runs `sql` (no parameters, no result rows wanted); throws SqlError.
void ExecSql(sqlite3* db, const char* sql);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQL_ERROR_H
