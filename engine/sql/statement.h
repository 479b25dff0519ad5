// An SQL statement object: options recorded by the NdsStmtSet* functions, a
// prepared text of one or more statements, parameter values by ordinal, and
// what the last execution left (rows affected, last autoincrement value).
//
// Locks: every member function expects the caller to hold the lock of the
// statement's connection (Connection::mutex(), taken by the engine function
// that reached the statement). Execute hands out cursors on the same
// connection, which are then used under that same lock.
#ifndef ENGINE_SQL_STATEMENT_H
#define ENGINE_SQL_STATEMENT_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/handles.h"
#include "engine/base/values.h"
#include "engine/cursor/cursor.h"
#include "engine/sql/sql_script.h"
#include "engine/sql/statement_options.h"
#include "engine/storage/connection.h"
#include "engine/storage/store_session.h"

namespace nce {

class Statement : public Object {
 public:
  explicit Statement(std::shared_ptr<Connection> connection)
      : Object(ObjectKind::kStatement), connection_(std::move(connection)) {}

  Connection& connection() const { return *connection_; }

  StatementOptions options;  // as the NdsStmtSet* functions gave them

  // Splits and marks `sql`; parameter values set before are dropped.
  void Prepare(std::string_view sql);
  bool prepared() const { return prepared_; }
  const std::string& text() const { return text_; }

  // Stores a parameter value: by ordinal, or by name for every marker
  // ":name" of that name. Throws NDS_E_INVALID_FIELD when there is none.
  void SetValue(const FieldRef& field, Value value);
  // Stores part of a binary value that arrives in pieces (NdsSetBinary).
  void SetBinaryPiece(const FieldRef& field, uint32_t total, uint32_t offset, const void* data,
                      uint32_t length);

  // Runs every statement of the prepared text in order; the first failure
  // stops the run and undoes what the run did. Returns the cursor of the
  // last statement that yields rows (null when none does).
  std::shared_ptr<Cursor> Execute();

  // Rows changed by the last execution; nullopt when it ran no statement
  // that changes rows.
  std::optional<uint64_t> rows_affected() const { return rows_affected_; }
  // Autoincrement value of the row the last execution inserted, 0 for none.
  uint32_t last_autoinc() const { return last_autoinc_; }

 private:
  struct Piece {
    std::string sql;           // statement with markers as ?N
    std::string keyword;       // leading keyword, upper-cased
    size_t first_ordinal = 1;  // ordinal of its first marker
    size_t marker_count = 0;   // markers in this statement
  };
  // What one execution gathers while its statements run.
  struct Run {
    uint16_t table_type = 0;         // of tables it makes and cursors it yields
    uint16_t char_type = 0;          // of the same
    std::shared_ptr<Cursor> cursor;  // of the last statement that yields rows
    bool counted = false;            // a statement that changes rows ran
    uint64_t changes = 0;            // rows those statements changed
  };
  std::vector<size_t> Resolve(const FieldRef& field) const;
  // The store's SQL error `error`, naming the statement `index` of a script
  // it belongs to; the engine's own errors (a guard's refusal, a lock,
  // rights) stay as they are.
  EngineError InScript(const EngineError& error, size_t index) const;
  // A statement whose check by the store waits to go with others.
  struct PendingCheck {
    size_t piece;         // its index in pieces_
    bool schema_changed;  // an earlier statement changes the schema
  };
  // Checks the prepared statements against the store (statement.cpp).
  void CheckPieces(StoreSession& session);
  // Has the store check the statements of `turn` together (refusing hidden
  // reads if `refuses`); throws the first failure that stands. Empties it.
  void CheckTurn(StoreSession& session, std::vector<PendingCheck>& turn, bool refuses);
  // Runs the statements in order (statement_run.cpp).
  void RunPieces(StoreSession& session, Run& run);
  void RunPiece(StoreSession& session, const Piece& piece, Run& run);
  // The end of the statements from `first` on that may run together, each
  // asking nothing of the store before it runs and nothing of the rows the
  // others changed (statement_run.cpp).
  size_t TurnEnd(StoreSession& session, size_t first) const;
  // Runs the statements [first, end) together (StoreSession::RunInTurn).
  void RunTurn(StoreSession& session, size_t first, size_t end, Run& run);
  // An ALTER TABLE; true when the store made the change itself.
  bool AlterTable(StoreSession& session, const Piece& piece);
  void AfterSchemaChange(StoreSession& session, const Piece& piece, uint16_t table_type);
  void NoteAutoinc(StoreSession& session, const Piece& piece);
  // A query's rows as the run's cursor (statement_reads.cpp): a live cursor
  // where asked for and possible, else a static one. `stmt`: the query
  // prepared and bound, on a store that steps results as they are read;
  // null where the store holds them in a cursor of its own.
  // `hidden_tables`: tables whose hidden columns the query reads as NULL.
  void ReadQuery(StoreSession& session, const Piece& piece, StoreStatement* stmt,
                 const std::vector<std::string>& hidden_tables, Run& run);
  void ReadInPages(StoreSession& session, const Piece& piece,
                   const std::vector<std::string>& hidden_tables, Run& run);
  void Bind(StoreStatement& stmt, const Piece& piece) const;

  std::shared_ptr<Connection> connection_;  // connection the statement belongs to
  std::string text_;                        // text as prepared
  std::vector<Piece> pieces_;               // its statements in order
  std::vector<std::string> markers_;        // every marker as written, by ordinal - 1
  std::vector<Value> values_;               // parameter values, by ordinal - 1
  bool prepared_ = false;                   // Prepare succeeded
  std::optional<uint64_t> rows_affected_;   // of the last execution
  uint32_t last_autoinc_ = 0;               // of the last execution
};

}  // namespace nce

#endif  // ENGINE_SQL_STATEMENT_H
