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
#include "engine/sql/long_decimals.h"
#include "engine/sql/result_columns.h"
#include "engine/sql/statement_locks.h"
#include "engine/storage/store_catalog.h"

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
bool IsSyntaxFailure(const EngineError& error) {
  const std::string& message = error.text();
  return message.find("syntax error") != std::string::npos ||
         message.find("unrecognized token") != std::string::npos ||
         message.find("incomplete input") != std::string::npos;
}

// The store's SQL error `error`, naming the statement of a script it
// belongs to; the engine's own errors (a guard's refusal, a lock, rights)
// stay as they are.
EngineError InScript(const EngineError& error, size_t index, size_t count) {
  if (count <= 1 || error.number() != NDS_E_SQL) return error;
  return EngineError(error.number(), error.text() + " (statement " + std::to_string(index + 1) +
                                         " of " + std::to_string(count) + ")");
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
      : connection_(connection), session_(connection.session()), kind_(kind) {
    if (kind_ == Kind::kTransaction) session_.Execute("BEGIN IMMEDIATE");
    if (kind_ == Kind::kSavepoint) session_.Execute("SAVEPOINT _nce_run");
  }
  ~RunScope() {
    if (done_) return;
    if (kind_ == Kind::kTransaction && session_.InTransaction()) TryExecute("ROLLBACK");
    if (kind_ == Kind::kSavepoint) {
      TryExecute("ROLLBACK TO _nce_run");
      TryExecute("RELEASE _nce_run");
    }
    if (kind_ == Kind::kRestart) connection_.RestartTransaction();
  }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
  void Keep() {
    if (kind_ == Kind::kTransaction) session_.Execute("COMMIT");
    if (kind_ == Kind::kSavepoint) session_.Execute("RELEASE _nce_run");
    done_ = true;
  }

 private:
  // Undoing on the way out of a failure: the failure itself is what the
  // caller learns of.
  void TryExecute(const char* sql) noexcept {
    try {
      session_.Execute(sql);
    } catch (...) {
    }
  }

  Connection& connection_;
  StoreSession& session_;  // the connection's session on its store
  Kind kind_;
  bool done_ = false;  // Keep succeeded
};

// SQLite numbers its parameters from ?1 and refuses ?0; so does the engine,
// on either store, though it numbers the markers in order itself.
void RequireParameterMarker(const std::string& marker) {
  if (marker.size() > 1 && marker[0] == '?' &&
      marker.find_first_not_of('0', 1) == std::string::npos)
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; the marker " + marker +
                                     " names no parameter: parameters are numbered from ?1");
}

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
    if (!connection_->server()) piece.sql = ColumnLongDecimalsAsText(piece.sql);
    piece.first_ordinal = ordinal;
    piece.marker_count = marked.markers.size();
    ordinal += marked.markers.size();
    for (std::string& marker : marked.markers) {
      RequireParameterMarker(marker);
      markers_.push_back(std::move(marker));
    }
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
  StoreSession& session = connection_->session();
  connection_->NewEpoch();
  FollowRightsChanges(*connection_);
  bool schema_changes = false;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    if (IsCreateIndexStatement(pieces_[i].sql)) {
      CheckCreateIndexStatement(pieces_[i].sql);  // index orders are the engine's own
      schema_changes = true;
      continue;
    }
    if (pieces_[i].keyword == "DROP" && IsDropOrderStatement(session, pieces_[i].sql)) continue;
    if (IsDictionaryStatement(pieces_[i].sql)) continue;  // users, groups, rights, links
    std::optional<RefuseHiddenReads> refuse;
    if (!OnlyReads(pieces_[i].keyword)) refuse.emplace(*connection_);
    try {
      session.Check(pieces_[i].sql);
    } catch (const EngineError& error) {
      if (!schema_changes || IsSyntaxFailure(error)) throw InScript(error, i, pieces_.size());
    }
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
  std::string target = InsertTarget(piece.sql);
  if (target.empty()) return;
  std::optional<TableDesc> table = DescribeStoreTable(*connection_, target);
  if (!table) return;
  for (const FieldDesc& field : table->fields) {
    if (field.shape.type != NDS_AUTOINC) continue;
    auto read = connection_->session().Prepare("SELECT CAST(" + QuoteIdentifier(field.name) +
                                               " AS INTEGER) FROM " + QuoteIdentifier(table->name) +
                                               " WHERE rowid = last_insert_rowid()");
    if (read->Step() && read->Column(0).kind == Value::Kind::kInteger)
      last_autoinc_ = static_cast<uint32_t>(read->Column(0).integer);
    return;
  }
}

std::shared_ptr<Cursor> Statement::RunPieces(bool& counted, uint64_t& changes) {
  StoreSession& session = connection_->session();
  std::shared_ptr<Cursor> cursor;
  uint16_t table_type = options.table_type ? options.table_type : NDS_NDT;
  uint16_t char_type = options.char_type ? options.char_type : NDS_ANSI;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    const Piece& piece = pieces_[i];
    // Index orders are made and dropped by the engine, not by the store alone.
    if (IsCreateIndexStatement(piece.sql)) {
      std::optional<TableDesc> table =
          DescribeStoreTable(*connection_, CreateIndexTable(piece.sql));
      RunCreateIndexStatement(session, table, piece.sql);
      continue;
    }
    if (piece.keyword == "DROP" && RunDropIndexStatement(session, piece.sql)) continue;
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
      try {
        session.Check(piece.sql);
      } catch (const EngineError& error) {
        throw InScript(error, i, pieces_.size());
      }
      EngineDefinitions engine_work(*connection_);
      LiftTypeGuardsForAlter(*connection_, AlterTarget(piece.sql));
    }
    // Other users' record locks and exclusive opens on the table it writes.
    std::optional<LockFence> fence;
    if (ChangesRows(piece.keyword))
      fence.emplace(*connection_, WriteTarget(piece.sql, piece.keyword),
                    ReplacesRows(piece.sql, piece.keyword));
    // A statement that writes may not read what the user cannot see.
    std::optional<RefuseHiddenReads> refuse;
    if (!OnlyReads(piece.keyword)) refuse.emplace(*connection_);
    std::unique_ptr<StoreStatement> stmt;
    try {
      stmt = session.Prepare(piece.sql);
      for (size_t k = 0; k < piece.marker_count; ++k) {
        size_t ordinal = piece.first_ordinal + k;
        stmt->Bind(static_cast<int>(ordinal), values_[ordinal - 1]);
      }
    } catch (const EngineError& error) {
      throw InScript(error, i, pieces_.size());
    }
    if (stmt->ColumnCount() > 0 && stmt->ReadsOnly()) {
      if (cursor) cursor->Release();
      cursor = nullptr;
      if (options.read_only == NDS_CURSOR_READWRITE)
        cursor = OpenLiveCursor(connection_, piece.sql, values_, options.char_type);
      if (!cursor) {
        bool has_row = stmt->Step();
        std::vector<ResultColumn> columns = ResultColumns(
            *stmt, table_type,
            [this](const std::string& table) { return DescribeStoreTable(*connection_, table); });
        cursor = MaterialiseResult(connection_, *stmt, has_row, columns, table_type, char_type);
      }
      continue;
    }
    try {
      while (stmt->Step()) {
      }
    } catch (const EngineError& error) {
      throw InScript(error, i, pieces_.size());
    }
    if (ChangesRows(piece.keyword) && !stmt->ReadsOnly()) {
      counted = true;
      changes += static_cast<uint64_t>(stmt->RowsChanged());
      if ((piece.keyword == "INSERT" || piece.keyword == "REPLACE") && stmt->RowsChanged() > 0)
        NoteAutoinc(piece);
    }
    if (IsSchemaStatement(piece.keyword)) {
      EngineDefinitions engine_work(*connection_);
      // SQLite renames a column in its indexes; the orders' texts follow.
      ColumnChange change = piece.keyword == "ALTER" ? ReadColumnChange(piece.sql) : ColumnChange{};
      if (change.kind == ColumnChange::Kind::kRename)
        RenameFieldInOrders(connection_->session(), AlterTarget(piece.sql), change.column,
                            change.new_name);
      SyncStoreCatalog(*connection_, table_type);
    }
  }
  return cursor;
}

std::shared_ptr<Cursor> Statement::Execute() {
  if (!prepared_) throw EngineError(NDS_E_NOT_PREPARED, "The statement has not been prepared.");
  if (connection_->server()) return ExecuteOnServer();
  StoreSession& session = connection_->session();
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
    kind = session.InTransaction() ? RunScope::Kind::kSavepoint : RunScope::Kind::kTransaction;
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
