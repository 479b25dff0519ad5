// Statements on a database on a PostgreSQL server: each statement of the
// text runs through the connection's session, in a transaction of its own
// (or a savepoint inside the caller's), so that a failure undoes the whole
// execution as on a SQLite store. The engine's CREATE TABLE makes an engine
// table there (typed columns, type guards, catalog rows); rows a statement
// yields become a static cursor, as on a SQLite store.
#include <atomic>
#include <cctype>
#include <optional>
#include <set>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor_live.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_server.h"
#include "engine/dictionary/dictionary_sql.h"
#include "engine/dictionary/hidden_column_views.h"
#include "engine/index/index_order.h"
#include "engine/index/index_sql.h"
#include "engine/index/order_fields.h"
#include "engine/schema/ddl.h"
#include "engine/sql/insert_columns.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/statement.h"
#include "engine/sql/statement_locks.h"
#include "engine/storage/declared_table.h"
#include "engine/storage/paged_rows.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_column_changes.h"
#include "engine/storage/postgres/postgres_tables.h"

namespace nce {
namespace {

// Statements that end or shape the transaction, or that the server runs
// outside any transaction (VACUUM): no transaction or savepoint of the
// execution's own around them.
bool ManagesTransaction(const std::string& keyword) {
  return keyword == "BEGIN" || keyword == "COMMIT" || keyword == "END" || keyword == "ROLLBACK" ||
         keyword == "SAVEPOINT" || keyword == "RELEASE" || keyword == "START" ||
         keyword == "VACUUM";
}

bool OnlyReads(const std::string& keyword) {
  return keyword == "SELECT" || keyword == "VALUES" || keyword == "EXPLAIN" || keyword == "SHOW";
}

// The execution's transaction of its own, or its savepoint inside the
// caller's; rolled back unless kept.
class ServerRunScope {
 public:
  enum class Kind { kNone, kTransaction, kSavepoint };
  ServerRunScope(StoreSession& session, Kind kind) : session_(session), kind_(kind) {
    if (kind_ == Kind::kTransaction) session_.Begin();
    if (kind_ == Kind::kSavepoint) session_.Savepoint(kSavepoint);
  }
  ~ServerRunScope() {
    if (done_) return;
    try {
      if (kind_ == Kind::kTransaction && session_.InTransaction()) session_.Rollback();
      if (kind_ == Kind::kSavepoint && session_.InTransaction()) {
        session_.RollbackToSavepoint(kSavepoint);
        session_.ReleaseSavepoint(kSavepoint);
      }
    } catch (const EngineError&) {
      // The server lost the connection: it rolls back by itself.
    }
  }
  ServerRunScope(const ServerRunScope&) = delete;
  ServerRunScope& operator=(const ServerRunScope&) = delete;
  void Keep() {
    if (kind_ == Kind::kTransaction) session_.Commit();
    if (kind_ == Kind::kSavepoint) session_.ReleaseSavepoint(kSavepoint);
    done_ = true;
  }

 private:
  static constexpr const char* kSavepoint = "nce_run";
  StoreSession& session_;
  Kind kind_;
  bool done_ = false;
};

// Names the statement of a script a failure belongs to, in the error's text.
EngineError InScript(const EngineError& error, size_t index, size_t count) {
  if (count <= 1) return error;
  return EngineError(error.number(), error.text() + " (statement " + std::to_string(index + 1) +
                                         " of " + std::to_string(count) + ")");
}

// Whether `sql` names `word` outside quotes (a rough look: a word inside a
// literal counts too, which only keeps a column that could have gone).
bool MentionsWord(std::string_view sql, std::string_view word) {
  std::string upper = UpperAscii(sql), wanted = UpperAscii(word);
  auto is_word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (size_t at = upper.find(wanted); at != std::string::npos; at = upper.find(wanted, at + 1)) {
    bool starts = at == 0 || !is_word(upper[at - 1]);
    bool ends = at + wanted.size() >= upper.size() || !is_word(upper[at + wanted.size()]);
    if (starts && ends) return true;
  }
  return false;
}

// The text of a SELECT up to its first FROM: its result columns, roughly.
std::string_view SelectList(std::string_view sql) {
  std::string upper = UpperAscii(sql);
  for (size_t at = upper.find("FROM"); at != std::string::npos; at = upper.find("FROM", at + 1)) {
    bool starts = at == 0 || !std::isalnum(static_cast<unsigned char>(upper[at - 1]));
    bool ends = at + 4 >= upper.size() || !std::isalnum(static_cast<unsigned char>(upper[at + 4]));
    if (starts && ends) return sql.substr(0, at);
  }
  return sql;
}

// The result columns a static cursor keeps (result_columns.h). A table's
// rowid column, which a server's SELECT * includes and SQLite's leaves out,
// is kept only when the statement names rowid, and then once per table.
std::vector<ResultColumn> ServerResultColumns(StoreSession& session, StoreStatement& stmt,
                                              std::string_view sql, uint16_t table_type) {
  std::set<std::string> numbered;  // tables whose rowid column is kept
  bool names_rowid = MentionsWord(SelectList(sql), "rowid");
  return ResultColumns(
      stmt, table_type,
      [&session](const std::string& table) { return DescribeServerTable(session, table); },
      [&](const StoreStatement::Origin& origin) {
        return !EqualsNoCase(origin.column, "rowid") ||
               (names_rowid && numbered.insert(origin.table).second);
      });
}

// Rows a server-side cursor holds for the reader: in pages of this many.
constexpr int kPageRows = 1000;

// The table CREATE TABLE [IF NOT EXISTS] names when it says IF NOT EXISTS;
// empty otherwise.
bool SaysIfNotExists(std::string_view create) {
  std::string upper = UpperAscii(create.substr(0, create.find('(')));
  return upper.find("IF NOT EXISTS") != std::string::npos;
}

}  // namespace

namespace {

// Whether a check's failure says what running the statement would say: the
// text is no SQL, or a table or column it names is missing. The server
// infers the types of parameters when it checks, and may fail where the
// run, with typed values, would not; such failures wait for the run.
bool RunWouldFail(const EngineError& error, bool schema_changed) {
  const std::string& text = error.text();
  if (text.find("SQLSTATE 42601") != std::string::npos) return true;  // syntax
  if (schema_changed) return false;  // an earlier statement may make what is missing
  return text.find("SQLSTATE 42P01") != std::string::npos ||  // no such table
         text.find("SQLSTATE 42703") != std::string::npos;    // no such column
}

// Whether a live cursor for the query `sql` hides what the query may not
// read: the cursor reads hidden columns as NULL itself, but its condition
// goes to the server as written. A condition that reads a hidden column
// leaves the query to a static cursor read through views
// (hidden_column_views.h), where the condition sees NULL, as on SQLite.
bool LiveCursorHidesAlike(Connection& connection, const std::string& sql,
                          const std::vector<std::string>& hidden_tables) {
  if (hidden_tables.empty()) return true;
  SimpleSelect select;
  if (!ParseSimpleSelect(sql, &select) || select.condition.empty()) return true;
  std::string condition_alone =
      "SELECT 1 FROM " + QuoteIdentifier(select.table) + " WHERE " + select.condition;
  return AuthorizeServerStatement(connection, condition_alone, true).empty();
}

// The statement as the server must get it: an INSERT naming no columns
// into an engine table names the table's fields.
std::string WithServerColumnList(StoreSession& session, const std::string& sql,
                                 const std::string& keyword) {
  size_t at = MissingColumnListAt(sql, keyword);
  if (at == std::string::npos) return sql;
  std::string columns = ServerInsertColumns(session, WriteTarget(sql, keyword));
  if (columns.empty()) return sql;
  return sql.substr(0, at) + " (" + columns + ")" + sql.substr(at);
}

}  // namespace

void Statement::CheckOnServer() {
  StoreSession& session = connection_->LiveSession();
  FollowRightsChanges(*connection_);
  ForgetServerTableShapes(*connection_);
  bool schema_changed = false;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    const std::string& keyword = pieces_[i].keyword;
    if (IsCreateIndexStatement(pieces_[i].sql)) {
      CheckCreateIndexStatement(pieces_[i].sql);  // index orders are the engine's own, as on SQLite
      schema_changed = true;
      continue;
    }
    // The user's rights decide now, as on SQLite, where no earlier
    // statement of the script changes what they are checked against.
    if (!schema_changed && !IsDictionaryStatement(pieces_[i].sql)) {
      try {
        AuthorizeServerStatement(*connection_, pieces_[i].sql, keyword == "SELECT");
      } catch (const EngineError& error) {
        throw InScript(error, i, pieces_.size());
      }
    }
    if (keyword == "SELECT" || keyword == "INSERT" || keyword == "UPDATE" || keyword == "DELETE" ||
        keyword == "WITH" || keyword == "VALUES") {
      try {
        session.Check(pieces_[i].sql);
      } catch (const EngineError& error) {
        if (RunWouldFail(error, schema_changed)) throw InScript(error, i, pieces_.size());
      }
    }
    schema_changed = schema_changed || IsSchemaStatement(keyword) || ManagesTransaction(keyword);
  }
}

void Statement::ReadOnServer(const Piece& piece, const std::vector<std::string>& hidden_tables,
                             uint16_t table_type, uint16_t char_type,
                             std::shared_ptr<Cursor>& cursor) {
  // The server holds the rows in a cursor of its own and hands them out a
  // page at a time, so that a large result never lies whole in memory
  // twice. Its cursors live in transactions: the read has one of its own
  // when the caller has none.
  StoreSession& session = *connection_->server();
  static std::atomic<uint64_t> cursors{0};
  const std::string name = "nce_rows_" + std::to_string(++cursors);
  const bool own = !session.InTransaction();
  if (own) session.Begin();
  std::optional<HiddenColumnViews> views;
  bool declared = false;
  try {
    views.emplace(session, *connection_->dictionary, hidden_tables);
    auto declare = session.Prepare("DECLARE " + name + " NO SCROLL CURSOR FOR " + piece.sql);
    for (size_t k = 0; k < piece.marker_count; ++k) {
      size_t ordinal = piece.first_ordinal + k;
      declare->Bind(static_cast<int>(ordinal), values_[ordinal - 1]);
    }
    declare->Step();
    declared = true;
    PagedRows rows(session.Prepare("FETCH " + std::to_string(kPageRows) + " FROM " + name));
    bool has_row = rows.Step();
    if (cursor) cursor->Release();
    cursor = nullptr;
    std::vector<ResultColumn> columns = ServerResultColumns(session, rows, piece.sql, table_type);
    cursor = MaterialiseResult(connection_, rows, has_row, columns, table_type, char_type);
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

void Statement::NoteServerAutoinc(const Piece& piece) {
  StoreSession& session = *connection_->server();
  std::optional<TableDesc> table =
      DescribeServerTable(session, WriteTarget(piece.sql, piece.keyword));
  if (!table) return;
  for (const FieldDesc& field : table->fields) {
    if (field.shape.type != NDS_AUTOINC) continue;
    // The last row inserted took the newest number of the table's rowid
    // identity, the one sequence the session has used since.
    auto read = session.Prepare("SELECT " + QuoteIdentifier(LowerAscii(field.name)) + " FROM " +
                                QuoteIdentifier(table->name) + " WHERE rowid = lastval()");
    if (read->Step() && read->Column(0).kind == Value::Kind::kInteger)
      last_autoinc_ = static_cast<uint32_t>(read->Column(0).integer);
    return;
  }
}

std::shared_ptr<Cursor> Statement::ExecuteOnServer() {
  StoreSession& session = connection_->LiveSession();
  connection_->NewEpoch();
  FollowRightsChanges(*connection_);  // an administrator's changes hold from this statement on
  ForgetServerTableShapes(*connection_);
  bool manages = false, reads_only = true;
  for (const Piece& piece : pieces_) {
    manages = manages || ManagesTransaction(piece.keyword);
    reads_only = reads_only && OnlyReads(piece.keyword);
  }
  connection_->RequireLiveTransaction();
  ServerRunScope::Kind kind = ServerRunScope::Kind::kNone;
  if (!manages && !reads_only)
    kind = session.InTransaction() ? ServerRunScope::Kind::kSavepoint
                                   : ServerRunScope::Kind::kTransaction;
  rows_affected_.reset();
  last_autoinc_ = 0;
  uint16_t table_type = options.table_type ? options.table_type : NDS_NDT;
  uint16_t char_type = options.char_type ? options.char_type : NDS_ANSI;
  bool counted = false;
  uint64_t changes = 0;
  std::shared_ptr<Cursor> cursor;
  try {
    ServerRunScope scope(session, kind);
    for (size_t i = 0; i < pieces_.size(); ++i) {
      try {
        RunOnServer(pieces_[i], table_type, char_type, cursor, counted, changes);
      } catch (const EngineError& error) {
        throw InScript(error, i, pieces_.size());
      }
    }
    scope.Keep();
  } catch (...) {
    if (cursor) cursor->Release();
    throw;
  }
  if (counted) rows_affected_ = changes;
  return cursor;
}

void Statement::RunOnServer(const Piece& piece, uint16_t table_type, uint16_t char_type,
                            std::shared_ptr<Cursor>& cursor, bool& counted, uint64_t& changes) {
  StoreSession& session = *connection_->server();
  if (IsCreateIndexStatement(piece.sql)) {
    // An order is data definition on its table, as the authorizer has it.
    std::string target = CreateIndexTable(piece.sql);
    if (connection_->dictionary && !connection_->dictionary->MayDefine(target))
      throw EngineError(NDS_E_RIGHTS,
                        "Permission not granted: the data dictionary does not allow this user "
                        "to define indexes of table " +
                            target + ".");
    std::optional<TableDesc> table = DescribeServerTable(session, target);
    return RunCreateIndexStatement(session, table, piece.sql);
  }
  if (IsDictionaryStatement(piece.sql))
    return RunServerDictionaryStatement(*connection_, piece.sql);
  std::vector<std::string> hidden_tables =
      AuthorizeServerStatement(*connection_, piece.sql, piece.keyword == "SELECT");
  // The next statement is checked against the tables as this one leaves them.
  if (IsSchemaStatement(piece.keyword) || ManagesTransaction(piece.keyword))
    ForgetServerTableShapes(*connection_);
  // A DROP INDEX naming an engine order drops it and its catalog rows;
  // other DROP statements go to the server as written.
  if (piece.keyword == "DROP" && RunDropIndexStatement(session, piece.sql)) return;
  if (piece.keyword == "CREATE") {
    std::vector<ColumnRule> rules;
    if (std::optional<TableDesc> table = DescribeDeclaredTable(piece.sql, table_type, &rules)) {
      if (!SaysIfNotExists(piece.sql) || !ServerTableExists(session, table->name)) {
        table->char_type = char_type;
        CreateServerTable(session, *table, rules);
      }
      return;
    }
  }
  if (piece.keyword == "ALTER" && AlterRenameTarget(piece.sql).empty()) {
    // A column added, dropped or renamed: the catalog's description follows.
    // Any other change of a table's columns makes the server forget it
    // (SyncServerCatalog): a DBF-kind table would lose its type and its
    // deletion marks, and its deleted records would come back.
    std::optional<TableDesc> table = DescribeServerTable(session, AlterTarget(piece.sql));
    ColumnChange change = ReadColumnChange(piece.sql);
    if (table && ChangeServerColumns(session, *table, change)) {
      // The server renames a column in its indexes; the orders' texts follow.
      if (change.kind == ColumnChange::Kind::kRename)
        RenameFieldInOrders(session, table->name, change.column, change.new_name);
      return;
    }
    if (table && table->table_type != NDS_NDT)
      throw EngineError(NDS_E_NOT_SUPPORTED, "The columns of the DBF-kind table " + table->name +
                                                 " cannot be changed on a PostgreSQL server yet.");
  }
  if (piece.keyword == "SELECT") {
    if (options.read_only == NDS_CURSOR_READWRITE &&
        LiveCursorHidesAlike(*connection_, piece.sql, hidden_tables)) {
      if (cursor) cursor->Release();
      cursor = OpenLiveCursor(connection_, piece.sql, values_, options.char_type);
      if (cursor) return;
    }
    return ReadOnServer(piece, hidden_tables, table_type, char_type, cursor);
  }
  std::unique_ptr<StoreStatement> stmt =
      session.Prepare(WithServerColumnList(session, piece.sql, piece.keyword));
  for (size_t k = 0; k < piece.marker_count; ++k) {
    size_t ordinal = piece.first_ordinal + k;
    stmt->Bind(static_cast<int>(ordinal), values_[ordinal - 1]);
  }
  bool has_row = false;
  try {
    has_row = stmt->Step();
  } catch (const EngineError& error) {
    // A value an engine table's guards refuse: the SQLite store's refusal.
    std::string target = WriteTarget(piece.sql, piece.keyword);
    if (target.empty()) throw;
    std::optional<TableDesc> table = DescribeServerTable(session, target);
    std::optional<EngineError> refusal = table ? PostgresGuardRefusal(*table, error) : std::nullopt;
    if (refusal) throw *refusal;
    throw;
  }
  if (stmt->ColumnCount() > 0) {
    if (cursor) cursor->Release();
    cursor = nullptr;
    std::vector<ResultColumn> columns = ServerResultColumns(session, *stmt, piece.sql, table_type);
    cursor = MaterialiseResult(connection_, *stmt, has_row, columns, table_type, char_type);
  } else {
    while (stmt->Step()) {
    }
  }
  if (piece.keyword == "INSERT" || piece.keyword == "UPDATE" || piece.keyword == "DELETE" ||
      piece.keyword == "WITH" || piece.keyword == "MERGE") {
    counted = true;
    changes += static_cast<uint64_t>(stmt->RowsChanged());
    if (piece.keyword == "INSERT" && stmt->RowsChanged() > 0) NoteServerAutoinc(piece);
  }
  if (!IsSchemaStatement(piece.keyword)) return;
  std::string altered = piece.keyword == "ALTER" ? AlterTarget(piece.sql) : "";
  std::string renamed = piece.keyword == "ALTER" ? AlterRenameTarget(piece.sql) : "";
  if (!renamed.empty()) {
    // A renamed table keeps what the catalog says of it (its type, fields,
    // orders, rights, deletion marks) under its new name.
    MoveServerCatalogRows(session, LowerAscii(altered), LowerAscii(renamed));
    RenameServerOrdersOfTable(session, LowerAscii(altered), LowerAscii(renamed));
    altered.clear();
  }
  SyncServerCatalog(session, altered);
}

}  // namespace nce
