// Live cursors: a simple SELECT of one table, asked for read-write, becomes a
// cursor on the table itself. Its WHERE condition stays with the cursor as a
// hidden filter, and edits through the cursor reach the table.
#ifndef ENGINE_CURSOR_CURSOR_LIVE_H
#define ENGINE_CURSOR_CURSOR_LIVE_H

#include <memory>
#include <string_view>
#include <vector>

#include "engine/base/values.h"
#include "engine/cursor/cursor.h"
#include "engine/storage/connection.h"

namespace nce {

// The parts of "SELECT * | col, ... FROM table [WHERE condition]".
struct SimpleSelect {
  bool all_columns = false;          // "*"
  std::vector<std::string> columns;  // named columns otherwise
  std::string table;                 // table name, unquoted
  std::string condition;             // WHERE condition text, "" for none
};

// Recognises a simple single-table SELECT (no join, grouping, ordering,
// DISTINCT, alias, compound or limit); false for anything else.
bool ParseSimpleSelect(std::string_view sql, SimpleSelect* out);

// A live cursor for `sql` on `connection`, or null when the statement is not
// a simple SELECT of a table. `values` are the statement's parameter values
// by ordinal (the condition's ?N markers); `char_type` 0 keeps the table's.
std::shared_ptr<Cursor> OpenLiveCursor(const std::shared_ptr<Connection>& connection,
                                       std::string_view sql, const std::vector<Value>& values,
                                       uint16_t char_type);

}  // namespace nce

#endif  // ENGINE_CURSOR_CURSOR_LIVE_H
