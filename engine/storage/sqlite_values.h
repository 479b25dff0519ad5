// Binding the engine's values to SQLite statements: the one place a value
// meets SQLite's binding functions.
#ifndef ENGINE_STORAGE_SQLITE_VALUES_H
#define ENGINE_STORAGE_SQLITE_VALUES_H

#include <sqlite3.h>

#include "engine/base/values.h"

namespace nce {

// Binds `value` to parameter `index` of `stmt` (an unset value binds NULL).
int BindValue(sqlite3_stmt* stmt, int index, const Value& value);
// The same without copying text and blob bytes: `value` must stay as it is
// until the statement's bindings are cleared (as StatementUse does at the
// end of a use).
int BindValueInPlace(sqlite3_stmt* stmt, int index, const Value& value);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_VALUES_H
