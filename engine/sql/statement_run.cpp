// The statements of an execution, run in order through the connection's
// session, whichever the store. Where the stores differ, the session says
// how (store_session.h): who enforces the user's rights, who honours record
// locks, who makes engine tables and column changes, how a query's rows
// are read. The engine's own statements (index orders, the dictionary) are
// the engine's work on either store.
#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_sql.h"
#include "engine/expr/expr_sql.h"
#include "engine/index/index_order.h"
#include "engine/index/index_sql.h"
#include "engine/index/order_fields.h"
#include "engine/schema/ddl.h"
#include "engine/sql/insert_columns.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/statement.h"
#include "engine/sql/statement_keywords.h"
#include "engine/sql/statement_locks.h"
#include "engine/storage/store_catalog.h"

namespace nce {
namespace {

// The statement as the store must get it: an INSERT naming no columns names
// those the store asks for.
std::string WithColumnList(StoreSession& session, const std::string& sql,
                           const std::string& keyword) {
  size_t at = MissingColumnListAt(sql, keyword);
  if (at == std::string::npos) return sql;
  std::string columns = session.InsertColumns(WriteTarget(sql, keyword));
  if (columns.empty()) return sql;
  return sql.substr(0, at) + " (" + columns + ")" + sql.substr(at);
}

}  // namespace

void Statement::Bind(StoreStatement& stmt, const Piece& piece) const {
  for (size_t k = 0; k < piece.marker_count; ++k) {
    size_t ordinal = piece.first_ordinal + k;
    stmt.Bind(static_cast<int>(ordinal), values_[ordinal - 1]);
  }
}

void Statement::RunPieces(StoreSession& session, Run& run) {
  for (size_t i = 0; i < pieces_.size();) {
    const size_t end = TurnEnd(session, i);
    if (end > i + 1) {
      RunTurn(session, i, end, run);
      i = end;
      continue;
    }
    try {
      RunPiece(session, pieces_[i], run);
    } catch (const EngineError& error) {
      throw InScript(error, i);
    }
    ++i;
  }
}

size_t Statement::TurnEnd(StoreSession& session, size_t first) const {
  // An UPDATE or DELETE that yields no rows is prepared, bound, run and
  // counted, nothing more; what it needs decided (the user's rights on its
  // text) is decided before, in order, and none of it depends on the rows
  // another such statement changed.
  size_t end = first;
  for (; end < pieces_.size(); ++end) {
    const Piece& piece = pieces_[end];
    if (piece.keyword != "UPDATE" && piece.keyword != "DELETE") break;
    if (!session.HonoursRecordLocks() || IsDictionaryStatement(piece.sql)) break;
    if (UpperAscii(piece.sql).find("RETURNING") != std::string::npos) break;
    if (!session.AuthorizesWhilePreparing()) {
      // A refusal is left for the statement's own turn to throw.
      try {
        AuthorizeMirroredStatement(*connection_, piece.sql, false);
      } catch (const EngineError&) {
        break;
      }
    }
  }
  return end;
}

void Statement::RunTurn(StoreSession& session, size_t first, size_t end, Run& run) {
  // Statements that write may not read what the user cannot see.
  std::optional<RefuseHiddenReads> refuse;
  if (session.AuthorizesWhilePreparing()) refuse.emplace(*connection_);
  std::vector<std::unique_ptr<StoreStatement>> stmts;
  std::vector<StoreStatement*> turn;
  // A statement the store refuses to prepare fails after those before it ran.
  std::optional<EngineError> unprepared;
  for (size_t i = first; i < end && !unprepared; ++i) {
    try {
      stmts.push_back(session.Prepare(pieces_[i].sql));
      Bind(*stmts.back(), pieces_[i]);
      turn.push_back(stmts.back().get());
    } catch (const EngineError& error) {
      unprepared = error;
    }
  }
  size_t failed = 0;
  try {
    if (!turn.empty()) session.RunInTurn(turn, &failed);
  } catch (const EngineError& error) {
    const Piece& piece = pieces_[first + failed];
    std::optional<EngineError> refusal =
        session.GuardRefusal(WriteTarget(piece.sql, piece.keyword), error);
    throw InScript(refusal ? *refusal : error, first + failed);
  }
  if (unprepared) throw InScript(*unprepared, first + turn.size());
  for (const auto& stmt : stmts) {
    if (stmt->ReadsOnly()) continue;
    run.counted = true;
    run.changes += static_cast<uint64_t>(stmt->RowsChanged());
  }
}

void Statement::RunPiece(StoreSession& session, const Piece& piece, Run& run) {
  const std::string& keyword = piece.keyword;
  // Index orders are made and dropped by the engine, not by the store alone.
  if (IsCreateIndexStatement(piece.sql)) {
    std::string target = CreateIndexTable(piece.sql);
    // An order is data definition on its table, as the authorizer has it.
    if (!session.AuthorizesWhilePreparing() && connection_->dictionary &&
        !connection_->dictionary->MayDefine(target))
      throw EngineError(NDS_E_RIGHTS,
                        "Permission not granted: the data dictionary does not allow this user "
                        "to define indexes of table " +
                            target + ".");
    std::optional<TableDesc> table = DescribeStoreTable(*connection_, target);
    return RunCreateIndexStatement(session, table, piece.sql);
  }
  if (IsDictionaryStatement(piece.sql)) return RunDictionaryStatement(*connection_, piece.sql);
  std::vector<std::string> hidden_tables;
  if (!session.AuthorizesWhilePreparing())
    hidden_tables = AuthorizeMirroredStatement(*connection_, piece.sql, keyword == "SELECT");
  // The next statement is checked against the tables as this one leaves them.
  if (IsSchemaStatement(keyword) || ManagesTransaction(keyword))
    ForgetMirroredTableShapes(*connection_);
  // A DROP INDEX naming an engine order drops it and its catalog rows;
  // other DROP statements go to the store as written.
  if (keyword == "DROP" && RunDropIndexStatement(session, piece.sql)) return;
  if (keyword == "VACUUM" && !session.VacuumKeepsRecordNumbers())
    throw EngineError(NDS_E_SQL,
                      "SQL error: NativeError = 0; VACUUM is not run on this database: it may "
                      "give records new record numbers");
  if (keyword == "CREATE" && session.MakeDeclaredTable(piece.sql, run.table_type, run.char_type))
    return;
  if (keyword == "ALTER" && AlterTable(session, piece)) return;
  // Other users' record locks and exclusive opens on the table it writes.
  std::optional<LockFence> fence;
  if (ChangesRows(keyword) && !session.HonoursRecordLocks())
    fence.emplace(*connection_, WriteTarget(piece.sql, keyword), ReplacesRows(piece.sql, keyword));
  // A statement that writes may not read what the user cannot see.
  std::optional<RefuseHiddenReads> refuse;
  if (session.AuthorizesWhilePreparing() && !OnlyReads(keyword)) refuse.emplace(*connection_);
  if (keyword == "SELECT" && session.ReadsWholeResults())
    return ReadQuery(session, piece, nullptr, hidden_tables, run);
  std::unique_ptr<StoreStatement> stmt =
      session.Prepare(WithColumnList(session, piece.sql, keyword));
  Bind(*stmt, piece);
  if (!session.ReadsWholeResults() && stmt->ColumnCount() > 0 && stmt->ReadsOnly())
    return ReadQuery(session, piece, stmt.get(), hidden_tables, run);
  bool has_row = false;
  try {
    has_row = stmt->Step();
  } catch (const EngineError& error) {
    std::optional<EngineError> refusal =
        session.GuardRefusal(WriteTarget(piece.sql, keyword), error);
    if (refusal) throw *refusal;
    throw;
  }
  if (stmt->ColumnCount() > 0) {
    // Rows a statement that writes yields (RETURNING, ...) become a cursor.
    if (run.cursor) run.cursor->Release();
    run.cursor = nullptr;
    std::vector<ResultColumn> columns =
        StatementResultColumns(*connection_, session, *stmt, piece.sql, run.table_type);
    run.cursor =
        MaterialiseResult(connection_, *stmt, has_row, columns, run.table_type, run.char_type);
  } else {
    while (stmt->Step()) {
    }
  }
  if (ChangesRows(keyword) && !stmt->ReadsOnly()) {
    run.counted = true;
    run.changes += static_cast<uint64_t>(stmt->RowsChanged());
    if ((keyword == "INSERT" || keyword == "REPLACE") && stmt->RowsChanged() > 0)
      NoteAutoinc(session, piece);
  }
  if (IsSchemaStatement(keyword)) AfterSchemaChange(session, piece, run.table_type);
}

bool Statement::AlterTable(StoreSession& session, const Piece& piece) {
  std::string target = AlterTarget(piece.sql);
  if (AlterRenameTarget(piece.sql).empty()) {
    ColumnChange change = ReadColumnChange(piece.sql);
    if (session.ChangeColumns(target, change)) {
      // The store renames a column in its indexes; the orders' texts follow.
      if (change.kind == ColumnChange::Kind::kRename)
        if (std::optional<TableDesc> table = DescribeStoreTable(*connection_, target))
          RenameFieldInOrders(session, table->name, change.column, change.new_name);
      return true;
    }
  }
  // Checked first where the store can, so that the user's right to alter the
  // table decides before anything of the table goes.
  if (session.CanCheck(piece.keyword)) session.Check(piece.sql);
  EngineDefinitions engine_work(*connection_);
  session.BeforeAlterTable(target);
  return false;
}

void Statement::AfterSchemaChange(StoreSession& session, const Piece& piece, uint16_t table_type) {
  EngineDefinitions engine_work(*connection_);
  std::string altered = piece.keyword == "ALTER" ? AlterTarget(piece.sql) : "";
  std::string renamed = piece.keyword == "ALTER" ? AlterRenameTarget(piece.sql) : "";
  if (!renamed.empty() && session.MoveCatalogRows(altered, renamed)) {
    // The orders follow their table under its new name.
    RenameOrdersOfTable(session, LowerAscii(altered), LowerAscii(renamed));
    altered.clear();
  }
  // The store renames a column in its indexes; the orders' texts follow.
  ColumnChange change = piece.keyword == "ALTER" ? ReadColumnChange(piece.sql) : ColumnChange{};
  if (change.kind == ColumnChange::Kind::kRename)
    RenameFieldInOrders(session, AlterTarget(piece.sql), change.column, change.new_name);
  session.SyncCatalog(altered, table_type);
}

void Statement::NoteAutoinc(StoreSession& session, const Piece& piece) {
  std::optional<TableDesc> table =
      DescribeStoreTable(*connection_, WriteTarget(piece.sql, piece.keyword));
  if (!table) return;
  for (const FieldDesc& field : table->fields) {
    if (field.shape.type != NDS_AUTOINC) continue;
    auto read = session.Prepare("SELECT CAST(" + QuoteIdentifier(LowerAscii(field.name)) +
                                " AS BIGINT) FROM " + QuoteIdentifier(table->name) +
                                " WHERE rowid = " + session.LastInsertedRowid());
    if (read->Step() && read->Column(0).kind == Value::Kind::kInteger)
      last_autoinc_ = static_cast<uint32_t>(read->Column(0).integer);
    return;
  }
}

}  // namespace nce
