// A cursor: the rows a SELECT produced, or a live view of one table. Static
// cursors keep their rows in a table of the connection's private in-memory
// database (so commits and rollbacks of the store leave them as they were);
// live cursors read the store's table itself through a hidden filter.
// Navigation and record images work from `source_db`, `source_table`,
// `filter_sql` and `desc`.
#ifndef ENGINE_CURSOR_CURSOR_H
#define ENGINE_CURSOR_CURSOR_H

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/handles.h"
#include "engine/base/values.h"
#include "engine/cursor/cursor_walk.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"

namespace nce {

struct CursorOrders;  // index orders, scopes and filters (index_cursor.h)

class Cursor : public Object {
 public:
  Cursor(std::shared_ptr<Connection> connection, ObjectKind kind)
      : Object(kind), connection_(std::move(connection)) {}
  ~Cursor() override;

  Connection& connection() const { return *connection_; }
  const std::shared_ptr<Connection>& connection_ptr() const { return connection_; }

  TableDesc desc;                        // fields, record layout, table and character type
  sqlite3* source_db = nullptr;          // database holding the rows
  std::string source_table;              // SQLite table holding the rows
  std::string filter_sql;                // hidden condition of a live cursor ("" for none)
  std::vector<Value> filter_values;      // values of the condition's ?N markers
  bool live = false;                     // edits reach the store's table
  bool owns_source = false;              // source_table is dropped when the cursor closes
  uint32_t open_options = 0;             // NDS_OPEN_* bits
  uint64_t row_count = 0;                // rows of a static cursor
  CursorWalk walk;                       // position, current record, edits
  std::shared_ptr<CursorOrders> orders;  // made on first use of an index function
  // Set by the index layer with `orders`: forgets the orders and their handles
  // as the cursor closes. The cursor layer sits below the index layer, so it
  // reaches it only through this pointer.
  void (*release_orders)(Cursor& cursor) = nullptr;

  // Releases the cursor's orders and the rows of a static cursor. Safe to
  // call twice.
  void Release();

 private:
  std::shared_ptr<Connection> connection_;  // the connection the cursor was opened on
};

// Runs the SELECT `stmt` (prepared and bound on the store) to its end and
// keeps its rows as a new static cursor on `connection`; `table_type` and
// `char_type` come from the statement's options. The caller registers it.
std::shared_ptr<Cursor> MaterialiseSelect(const std::shared_ptr<Connection>& connection,
                                          sqlite3_stmt* stmt, uint16_t table_type,
                                          uint16_t char_type);

// A result column a static cursor keeps: its number in the statement's
// result, and its field's shape when known (else fit to the values).
struct ResultColumn {
  int column = 0;
  std::optional<FieldSpec> shape;
};

// The same for a statement of a store session that has stepped once
// (`has_row`: to a row), keeping `columns` as the cursor's fields.
std::shared_ptr<Cursor> MaterialiseResult(const std::shared_ptr<Connection>& connection,
                                          StoreStatement& stmt, bool has_row,
                                          const std::vector<ResultColumn>& columns,
                                          uint16_t table_type, uint16_t char_type);

}  // namespace nce

#endif  // ENGINE_CURSOR_CURSOR_H
