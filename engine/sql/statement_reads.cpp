// A query's rows as the cursor of an execution: a live cursor on the table
// where the caller asks for one and the query allows it, otherwise a static
// cursor holding the rows. A store that steps results as they are read
// fills the static cursor from the prepared query; a store whose
// statements read their whole result at once (a server) holds the rows in
// a cursor of its own and hands them out a page at a time, so that a large
// result never lies whole in memory twice.
#include <atomic>
#include <optional>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor_live.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/hidden_column_views.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/statement.h"
#include "engine/storage/paged_rows.h"

namespace nce {
namespace {

// Rows a store's own cursor holds for the reader: in pages of this many.
constexpr int kPageRows = 1000;

// Whether a live cursor for the query `sql` hides what the query may not
// read: the cursor reads hidden columns as NULL itself, but its condition
// goes to the store as written. A condition that reads a hidden column
// leaves the query to a static cursor read through views
// (hidden_column_views.h), where the condition sees NULL.
bool LiveCursorHidesAlike(Connection& connection, const std::string& sql,
                          const std::vector<std::string>& hidden_tables) {
  if (hidden_tables.empty()) return true;
  SimpleSelect select;
  if (!ParseSimpleSelect(sql, &select) || select.condition.empty()) return true;
  std::string condition_alone =
      "SELECT 1 FROM " + QuoteIdentifier(select.table) + " WHERE " + select.condition;
  return AuthorizeMirroredStatement(connection, condition_alone, true).empty();
}

}  // namespace

void Statement::ReadQuery(StoreSession& session, const Piece& piece, StoreStatement* stmt,
                          const std::vector<std::string>& hidden_tables, Run& run) {
  if (run.cursor) run.cursor->Release();
  run.cursor = nullptr;
  if (options.read_only == NDS_CURSOR_READWRITE &&
      LiveCursorHidesAlike(*connection_, piece.sql, hidden_tables)) {
    run.cursor = OpenLiveCursor(connection_, piece.sql, values_, options.char_type);
    if (run.cursor) return;
  }
  if (!stmt) return ReadInPages(session, piece, hidden_tables, run);
  bool has_row = stmt->Step();
  std::vector<ResultColumn> columns =
      StatementResultColumns(*connection_, session, *stmt, piece.sql, run.table_type);
  run.cursor =
      MaterialiseResult(connection_, *stmt, has_row, columns, run.table_type, run.char_type);
}

void Statement::ReadInPages(StoreSession& session, const Piece& piece,
                            const std::vector<std::string>& hidden_tables, Run& run) {
  // The store's cursors live in transactions: the read has one of its own
  // when the caller has none.
  static std::atomic<uint64_t> cursors{0};
  const std::string name = "nce_rows_" + std::to_string(++cursors);
  const bool own = !session.InTransaction();
  if (own) session.Begin();
  std::optional<HiddenColumnViews> views;
  bool declared = false;
  try {
    views.emplace(session, *connection_->dictionary, hidden_tables);
    auto declare = session.Prepare("DECLARE " + name + " NO SCROLL CURSOR FOR " + piece.sql);
    Bind(*declare, piece);
    declare->Step();
    declared = true;
    PagedRows rows(session.Prepare("FETCH " + std::to_string(kPageRows) + " FROM " + name));
    bool has_row = rows.Step();
    std::vector<ResultColumn> columns =
        StatementResultColumns(*connection_, session, rows, piece.sql, run.table_type);
    run.cursor =
        MaterialiseResult(connection_, rows, has_row, columns, run.table_type, run.char_type);
    session.Execute("CLOSE " + name);
    declared = false;
    views->Drop();  // before anything else of the engine's reads the tables again
    if (own) session.Commit();
  } catch (...) {
    try {
      // A rollback of the read's own transaction takes its cursor and views
      // with it; in the caller's, the views go once the cursor is closed.
      if (own && session.InTransaction()) session.Rollback();
      if (!own && declared) session.Execute("CLOSE " + name);
      if (!own && views) views->Drop();
    } catch (const EngineError&) {
      // The connection is gone, and the session's views with it.
    }
    throw;
  }
}

}  // namespace nce
