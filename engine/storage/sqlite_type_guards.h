// Type guards: CHECK constraints or triggers generated with each table that
// refuse, inside SQLite itself, every value a field's engine type cannot hold or read back exactly
// (a text longer than a CHAR field, a number beyond a SHORT field, a date
// that is no date, ...). Whatever writes the store (engine SQL, cursors, an
// outside SQLite tool) meets the same checks, and a refused statement
// changes nothing.
//
// A table the engine creates empty carries the guards as named CHECK
// constraints at the end of its column list, which SQLite evaluates inline
// (a trigger runs as a sub-program and costs an insert more than twice as
// much). So does a table that holds rows when the engine first sees it, if
// every row passes them: they are written into its stored text. A table
// with a row they would refuse, tables stored with guard triggers before,
// and tables changed by ALTER TABLE keep or get triggers that test the same
// misfits; a table never has both.
//
// A refusal is an SQLite trigger error whose message starts with
// "NCE-<engine number>: ", or an SQLite CHECK error naming a constraint of
// that text; SqlError turns either into that engine error
// (NDS_E_VALUE_TOO_LONG or NDS_E_VALUE_INVALID) with the column named.
#ifndef ENGINE_STORAGE_SQLITE_TYPE_GUARDS_H
#define ENGINE_STORAGE_SQLITE_TYPE_GUARDS_H

#include <sqlite3.h>

#include <string>

#include "engine/schema/catalog.h"

namespace nce {

// Prefix of the guard triggers' names.
inline constexpr const char* kGuardPrefix = "_nce_guard_";

// Prefix of the guard constraints' names (the refusal's text).
inline constexpr const char* kCheckPrefix = "NCE-";

// Gives `table` the guards its fields need, replacing outdated ones (the
// guards follow the table's fields after ALTER TABLE) and dropping guards
// left under other names. A `new_table` (no catalog rows before) that is
// still empty is made again with the guards as CHECK constraints.
void EnsureTypeGuards(sqlite3* db, const TableDesc& table, bool new_table = false);

// Takes the guard constraints out of `table`'s stored text (before ALTER
// TABLE, which cannot drop a column that a table constraint names and would
// leave a renamed column's old name in the messages); the catalog sync gives
// the table guard triggers. Nothing to do for a table without them.
void DropCheckGuards(sqlite3* db, const std::string& table);

// Drops every guard trigger of the store (before ALTER TABLE, which SQLite
// refuses for columns a trigger names; the catalog sync puts them back).
void DropAllTypeGuards(sqlite3* db);

// Gives every table of the store its guards when some lack them: stores made
// before the guards existed get them when opened. Runs its own transaction;
// does nothing when every table is guarded already.
void GuardStoredTables(sqlite3* db);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_TYPE_GUARDS_H
