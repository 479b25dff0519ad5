#include "engine/sql/statement.h"

#include <cctype>
#include <cstring>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor_live.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_sql.h"
#include "engine/index/index_sql.h"
#include "engine/index/order_fields.h"
#include "engine/schema/catalog.h"
#include "engine/schema/ddl.h"
#include "engine/sql/statement_locks.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_stmt.h"
#include "engine/storage/sqlite_type_guards.h"
#include "engine/storage/sqlite_values.h"

namespace nce {
namespace {

bool ManagesTransaction(const std::string& keyword) {
  return keyword == "BEGIN" || keyword == "COMMIT" || keyword == "END" || keyword == "ROLLBACK" ||
         keyword == "SAVEPOINT" || keyword == "RELEASE";
}

bool OnlyReads(const std::string& keyword) {
  return keyword == "SELECT" || keyword == "VALUES" || keyword == "EXPLAIN";
}

bool ChangesRows(const std::string& keyword) {
  return keyword == "INSERT" || keyword == "UPDATE" || keyword == "DELETE" ||
         keyword == "REPLACE" || keyword == "WITH";
}

// A failure that no earlier statement of the script could cure.
bool IsSyntaxFailure(sqlite3* db) {
  const char* message = sqlite3_errmsg(db);
  return std::strstr(message, "syntax error") || std::strstr(message, "unrecognized token") ||
         std::strstr(message, "incomplete input");
}

// Names the statement of a script a failure belongs to.
std::string Where(size_t index, size_t count) {
  if (count <= 1) return {};
  return "statement " + std::to_string(index + 1) + " of " + std::to_string(count);
}

// The table an INSERT writes to, as written after INTO.
std::string InsertTarget(std::string_view sql) {
  std::string upper = UpperAscii(sql);
  size_t into = upper.find("INTO");
  if (into == std::string::npos) return {};
  size_t i = into + 4;
  while (i < sql.size() && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n'))
    ++i;
  if (i >= sql.size()) return {};
  if (sql[i] == '"' || sql[i] == '[' || sql[i] == '`') {
    char close = sql[i] == '[' ? ']' : sql[i];
    size_t end = sql.find(close, i + 1);
    return end == std::string_view::npos ? std::string()
                                         : std::string(sql.substr(i + 1, end - i - 1));
  }
  size_t end = i;
  while (end < sql.size() &&
         (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_'))
    ++end;
  return std::string(sql.substr(i, end - i));
}

// Undoes or keeps the work of one execution: a transaction of its own when
// none is open, a savepoint inside the caller's transaction, a restart of
// the caller's transaction when it has changed nothing yet (see
// Connection::TransactionUntouched), or nothing when the script manages
// transactions itself or only reads.
class RunScope {
 public:
  enum class Kind { kNone, kTransaction, kSavepoint, kRestart };
  RunScope(Connection& connection, Kind kind)
      : connection_(connection), db_(connection.db()), kind_(kind) {
    if (kind_ == Kind::kTransaction) ExecSql(db_, "BEGIN IMMEDIATE");
    if (kind_ == Kind::kSavepoint) ExecSql(db_, "SAVEPOINT _nce_run");
  }
  ~RunScope() {
    if (done_) return;
    if (kind_ == Kind::kTransaction && !sqlite3_get_autocommit(db_))
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (kind_ == Kind::kSavepoint) {
      sqlite3_exec(db_, "ROLLBACK TO _nce_run", nullptr, nullptr, nullptr);
      sqlite3_exec(db_, "RELEASE _nce_run", nullptr, nullptr, nullptr);
    }
    if (kind_ == Kind::kRestart) connection_.RestartTransaction();
  }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
  void Keep() {
    if (kind_ == Kind::kTransaction) ExecSql(db_, "COMMIT");
    if (kind_ == Kind::kSavepoint) ExecSql(db_, "RELEASE _nce_run");
    done_ = true;
  }

 private:
  Connection& connection_;
  sqlite3* db_;
  Kind kind_;
  bool done_ = false;  // Keep succeeded
};

}  // namespace

void Statement::Prepare(std::string_view sql) {
  prepared_ = false;
  pieces_.clear();
  markers_.clear();
  values_.clear();
  text_.assign(sql);
  size_t ordinal = 1;
  for (std::string_view statement : SplitScript(text_)) {
    MarkedStatement marked = MarkParameters(statement, ordinal);
    Piece piece;
    piece.keyword = LeadingKeyword(statement);
    piece.sql = piece.keyword == "CREATE" ? RewriteEngineTypes(marked.sql) : marked.sql;
    piece.first_ordinal = ordinal;
    piece.marker_count = marked.markers.size();
    ordinal += marked.markers.size();
    for (std::string& marker : marked.markers) markers_.push_back(std::move(marker));
    pieces_.push_back(std::move(piece));
  }
  if (pieces_.empty())
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; the statement text is empty");
  values_.resize(markers_.size());
  if (connection_->server()) {
    CheckOnServer();
    prepared_ = true;
    return;
  }
  // Check what can be checked now: syntax always, missing tables and columns
  // unless an earlier statement of the script changes the schema.
  sqlite3* db = connection_->db();
  connection_->NewEpoch();
  FollowRightsChanges(*connection_);
  bool schema_changes = false;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    if (IsCreateIndexStatement(pieces_[i].sql)) {
      CheckCreateIndexStatement(pieces_[i].sql);  // index orders are the engine's own
      schema_changes = true;
      continue;
    }
    if (pieces_[i].keyword == "DROP" &&
        IsDropOrderStatement(connection_->session(), pieces_[i].sql))
      continue;
    if (IsDictionaryStatement(pieces_[i].sql)) continue;  // users, groups, rights, links
    std::optional<RefuseHiddenReads> refuse;
    if (!OnlyReads(pieces_[i].keyword)) refuse.emplace(*connection_);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, pieces_[i].sql.c_str(), -1, &stmt, nullptr);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK && (!schema_changes || IsSyntaxFailure(db)))
      throw SqlError(db, rc, Where(i, pieces_.size()));
    schema_changes = schema_changes || IsSchemaStatement(pieces_[i].keyword) ||
                     ManagesTransaction(pieces_[i].keyword);
  }
  prepared_ = true;
}

std::vector<size_t> Statement::Resolve(const FieldRef& field) const {
  std::vector<size_t> indexes;
  if (field.ordinal) {
    if (field.ordinal > values_.size())
      throw EngineError(NDS_E_INVALID_FIELD, "Parameter number " + std::to_string(field.ordinal) +
                                                 " is out of range: the statement has " +
                                                 std::to_string(values_.size()) + " parameter(s).");
    indexes.push_back(field.ordinal - 1);
    return indexes;
  }
  std::string wanted = field.name;
  if (!wanted.empty() && wanted[0] != ':') wanted = ":" + wanted;
  for (size_t i = 0; i < markers_.size(); ++i)
    if (EqualsNoCase(markers_[i], wanted)) indexes.push_back(i);
  if (indexes.empty())
    throw EngineError(NDS_E_INVALID_FIELD, "The statement has no parameter " + wanted + ".");
  return indexes;
}

void Statement::SetValue(const FieldRef& field, Value value) {
  for (size_t index : Resolve(field)) values_[index] = value;
}

void Statement::SetBinaryPiece(const FieldRef& field, uint32_t total, uint32_t offset,
                               const void* data, uint32_t length) {
  if (static_cast<uint64_t>(offset) + length > total)
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      "The binary piece lies beyond the value's total length.");
  if (length > 0 && data == nullptr)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "No binary data was given.");
  for (size_t index : Resolve(field)) {
    Value& value = values_[index];
    if (value.kind != Value::Kind::kBlob || offset == 0) value = Value::Blob(std::string());
    value.bytes.resize(total);
    if (length) std::memcpy(value.bytes.data() + offset, data, length);
  }
}

void Statement::NoteAutoinc(const Piece& piece) {
  sqlite3* db = connection_->db();
  if (sqlite3_changes64(db) == 0) return;
  std::string target = InsertTarget(piece.sql);
  if (target.empty()) return;
  std::optional<TableDesc> table = DescribeTable(db, target);
  if (!table) return;
  for (const FieldDesc& field : table->fields) {
    if (field.shape.type != NDS_AUTOINC) continue;
    SqliteStmt read(db, "SELECT " + QuoteIdentifier(field.name) + " FROM " +
                            QuoteIdentifier(table->name) + " WHERE rowid = ?1");
    read.Bind(1, sqlite3_last_insert_rowid(db));
    if (read.Step() && !read.IsNull(0)) last_autoinc_ = static_cast<uint32_t>(read.Int(0));
    return;
  }
}

std::shared_ptr<Cursor> Statement::RunPieces(bool& counted, uint64_t& changes) {
  sqlite3* db = connection_->db();
  std::shared_ptr<Cursor> cursor;
  uint16_t table_type = options.table_type ? options.table_type : NDS_NDT;
  uint16_t char_type = options.char_type ? options.char_type : NDS_ANSI;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    const Piece& piece = pieces_[i];
    // Index orders are made and dropped by the engine, not by SQLite alone.
    if (IsCreateIndexStatement(piece.sql)) {
      RunCreateIndexStatement(connection_->session(),
                              DescribeTable(db, CreateIndexTable(piece.sql)), piece.sql, false);
      continue;
    }
    if (piece.keyword == "DROP" && RunDropIndexStatement(connection_->session(), piece.sql))
      continue;
    if (IsDictionaryStatement(piece.sql)) {
      RunDictionaryStatement(*connection_, piece.sql);
      continue;
    }
    // SQLite refuses to drop or change a column that a trigger or a table
    // constraint names; the type guards go first (the altered table's guard
    // constraints too) and the catalog sync below gives them back as triggers.
    if (piece.keyword == "ALTER") {
      // Prepared first, so that the user's right to alter the table decides
      // before any guard goes.
      sqlite3_stmt* check = nullptr;
      int checked = sqlite3_prepare_v2(db, piece.sql.c_str(), -1, &check, nullptr);
      sqlite3_finalize(check);
      if (checked != SQLITE_OK) throw SqlError(db, checked, Where(i, pieces_.size()));
      EngineDefinitions engine_work(*connection_);
      DropAllTypeGuards(db);
      std::string altered = AlterTarget(piece.sql);
      if (!altered.empty()) DropCheckGuards(db, altered);
    }
    // Other users' record locks and exclusive opens on the table it writes.
    std::optional<LockFence> fence;
    if (ChangesRows(piece.keyword))
      fence.emplace(*connection_, WriteTarget(piece.sql, piece.keyword),
                    ReplacesRows(piece.sql, piece.keyword));
    // A statement that writes may not read what the user cannot see.
    std::optional<RefuseHiddenReads> refuse;
    if (!OnlyReads(piece.keyword)) refuse.emplace(*connection_);
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, piece.sql.c_str(), -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    if (rc != SQLITE_OK) throw SqlError(db, rc, Where(i, pieces_.size()));
    for (size_t k = 0; k < piece.marker_count; ++k) {
      size_t ordinal = piece.first_ordinal + k;
      rc = BindValue(stmt.get(), static_cast<int>(ordinal), values_[ordinal - 1]);
      if (rc != SQLITE_OK) throw SqlError(db, rc, Where(i, pieces_.size()));
    }
    if (sqlite3_column_count(stmt.get()) > 0 && sqlite3_stmt_readonly(stmt.get())) {
      if (cursor) cursor->Release();
      cursor = nullptr;
      if (options.read_only == NDS_CURSOR_READWRITE)
        cursor = OpenLiveCursor(connection_, piece.sql, values_, options.char_type);
      if (!cursor) cursor = MaterialiseSelect(connection_, stmt.get(), table_type, char_type);
      continue;
    }
    for (;;) {
      rc = sqlite3_step(stmt.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw SqlError(db, rc, Where(i, pieces_.size()));
    }
    if (ChangesRows(piece.keyword) && !sqlite3_stmt_readonly(stmt.get())) {
      counted = true;
      changes += static_cast<uint64_t>(sqlite3_changes64(db));
      if (piece.keyword == "INSERT" || piece.keyword == "REPLACE") NoteAutoinc(piece);
    }
    if (IsSchemaStatement(piece.keyword)) {
      EngineDefinitions engine_work(*connection_);
      // SQLite renames a column in its indexes; the orders' texts follow.
      ColumnChange change = piece.keyword == "ALTER" ? ReadColumnChange(piece.sql) : ColumnChange{};
      if (change.kind == ColumnChange::Kind::kRename)
        RenameFieldInOrders(connection_->session(), AlterTarget(piece.sql), change.column,
                            change.new_name);
      SyncCatalog(db, table_type);
    }
  }
  return cursor;
}

std::shared_ptr<Cursor> Statement::Execute() {
  if (!prepared_) throw EngineError(NDS_E_NOT_PREPARED, "The statement has not been prepared.");
  if (connection_->server()) return ExecuteOnServer();
  sqlite3* db = connection_->db();
  connection_->NewEpoch();
  FollowRightsChanges(*connection_);
  bool manages = false, reads_only = true;
  for (const Piece& piece : pieces_) {
    manages = manages || ManagesTransaction(piece.keyword);
    reads_only = reads_only && OnlyReads(piece.keyword);
  }
  connection_->RequireLiveTransaction();
  if (manages) connection_->NoteTouched();  // its savepoints would not survive a restart
  RunScope::Kind kind = RunScope::Kind::kNone;
  if (!manages && !reads_only)
    kind = sqlite3_get_autocommit(db) ? RunScope::Kind::kTransaction : RunScope::Kind::kSavepoint;
  if (kind == RunScope::Kind::kSavepoint && connection_->TransactionUntouched())
    kind = RunScope::Kind::kRestart;
  rows_affected_.reset();
  last_autoinc_ = 0;
  bool counted = false;
  uint64_t changes = 0;
  std::shared_ptr<Cursor> cursor;
  {
    RunScope scope(*connection_, kind);
    try {
      cursor = RunPieces(counted, changes);
      scope.Keep();
    } catch (...) {
      if (cursor) cursor->Release();
      throw;
    }
  }
  if (!reads_only) connection_->NoteTouched();
  if (counted) rows_affected_ = changes;
  return cursor;
}

}  // namespace nce
