// A cursor: the rows a SELECT produced, or a live view of one table. Static
// cursors keep their rows in a table of the connection's private in-memory
// database (so commits and rollbacks of the store leave them as they were);
// live cursors read the store's table itself through a hidden filter, through
// the connection's store session, whichever the store.
// Navigation and record images work from `rows_session`, `source_table`,
// `filter_sql` and `desc`: the cursor's walk moves among its rows, and its
// writer edits the current record the walk holds.
#ifndef ENGINE_CURSOR_CURSOR_H
#define ENGINE_CURSOR_CURSOR_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/handles.h"
#include "engine/base/values.h"
#include "engine/cursor/cursor_walk.h"
#include "engine/cursor/record_writer.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"
#include "engine/storage/store_dialect.h"

namespace nce {

struct CursorOrders;  // index orders, scopes and filters (index_cursor.h)

class Cursor : public Object {
 public:
  Cursor(std::shared_ptr<Connection> connection, ObjectKind kind)
      : Object(kind), walk(*this), writer(*this), connection_(std::move(connection)) {}
  ~Cursor() override;

  Connection& connection() const { return *connection_; }
  const std::shared_ptr<Connection>& connection_ptr() const { return connection_; }

  TableDesc desc;                        // fields, record layout, table and character type
  std::string source_table;              // table holding the rows
  std::string filter_sql;                // hidden condition of a live cursor ("" for none)
  std::vector<Value> filter_values;      // values of the condition's ?N markers
  bool live = false;                     // edits reach the store's table
  bool owns_source = false;              // source_table is dropped when the cursor closes
  uint32_t open_options = 0;             // NDS_OPEN_* bits
  uint16_t text_char_type = 0;           // NdsSetTextCharType; 0: desc.char_type
  uint64_t row_count = 0;                // rows of a static cursor
  CursorWalk walk;                       // position, current record
  RecordWriter writer;                   // edits, appends, record locks (after walk: uses it)
  std::shared_ptr<CursorOrders> orders;  // made on first use of an index function
  // Set by the index layer with `orders`: forgets the orders and their handles
  // as the cursor closes. The cursor layer sits below the index layer, so it
  // reaches it only through this pointer.
  void (*release_orders)(Cursor& cursor) = nullptr;

  // Releases the cursor's orders and the rows of a static cursor. Safe to
  // call twice.
  void Release();

  // Where the rows are: the store's own tables (a live cursor), or the
  // connection's private database (a static cursor).
  void set_rows_in_store() { rows_in_store_ = true; }
  bool rows_in_store() const { return rows_in_store_; }
  // The session on the store or the private database holding the rows. A
  // store's session that lost its connection outside a transaction is
  // connected again first (Connection::LiveSession).
  StoreSession& rows_session() const;
  // How the SQL of the store holding the rows spells names and the like.
  const StoreDialect& dialect() const;
  // The quoted names of the source table and of column `name` as the store
  // holding the rows names them.
  std::string QuotedTable() const { return QuotedColumn(source_table); }
  std::string QuotedColumn(const std::string& name) const;
  // Whether the connection's user may read column `name` of the source
  // table, and refuses a change without `right` (kRightInsert and the
  // like, dictionary_rights.h) on it (empty: the table) with NDS_E_RIGHTS.
  // A store that applies the rights to every statement itself (SQLite's
  // authorizer) answers for them there: these then let everything pass.
  bool MayRead(const std::string& name) const;
  void RequireRight(uint8_t right, const std::string& column) const;

 private:
  std::shared_ptr<Connection> connection_;  // the connection the cursor was opened on
  bool rows_in_store_ = false;              // the rows are the store's own
};

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
