#include "engine/storage/sqlite_session.h"

#include <algorithm>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_values.h"

namespace nce {

namespace {

// What the failure SQLite just reported on `db` says to a record write.
WriteRefusal RefusalOf(sqlite3* db) {
  WriteRefusal refusal;
  switch (sqlite3_extended_errcode(db)) {
    case SQLITE_CONSTRAINT_NOTNULL: {
      // "NOT NULL constraint failed: table.column"
      std::string message = sqlite3_errmsg(db);
      size_t dot = message.rfind('.');
      refusal.kind = WriteRefusal::Kind::kEmptyColumn;
      refusal.column = dot == std::string::npos ? message : message.substr(dot + 1);
      break;
    }
    case SQLITE_CONSTRAINT_ROWID:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
      refusal.kind = WriteRefusal::Kind::kNumberTaken;
      break;
    default:
      break;
  }
  return refusal;
}

class SqliteStatement : public StoreStatement {
 public:
  SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }

  void Bind(int index, const Value& value) override {
    if (done_ || row_) Reset();
    int rc = BindValue(stmt_, index, value);
    if (rc != SQLITE_OK) throw SqlError(db_, rc);
  }
  void BindInPlace(int index, const Value& value) override {
    if (done_ || row_) Reset();
    int rc = BindValueInPlace(stmt_, index, value);
    if (rc != SQLITE_OK) throw SqlError(db_, rc);
    in_place_ = true;
  }
  bool Step() override {
    if (done_) return false;
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return row_ = true;
    row_ = false;
    done_ = true;
    if (rc == SQLITE_DONE) {
      // SQLite's count stays from the last write: a reading statement has none.
      changes_ = sqlite3_stmt_readonly(stmt_) ? 0 : sqlite3_changes64(db_);
      return false;
    }
    // The error belongs to the run: resetting keeps it from the next one.
    EngineError error = SqlError(db_, rc);
    refusal_ = RefusalOf(db_);
    sqlite3_reset(stmt_);
    throw error;
  }
  int ColumnCount() const override { return sqlite3_column_count(stmt_); }
  std::string ColumnName(int column) const override {
    const char* name = sqlite3_column_name(stmt_, column);
    return name ? name : "";
  }
  Value Column(int column) const override {
    if (!row_ || column < 0 || column >= ColumnCount())
      throw EngineError(NDS_E_INVALID_FIELD,
                        "Column " + std::to_string(column) + " of the current row does not exist.");
    switch (sqlite3_column_type(stmt_, column)) {
      case SQLITE_INTEGER:
        return Value::Integer(sqlite3_column_int64(stmt_, column));
      case SQLITE_FLOAT:
        return Value::Real(sqlite3_column_double(stmt_, column));
      case SQLITE_TEXT: {
        auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return Value::Text(std::string(text, sqlite3_column_bytes(stmt_, column)));
      }
      case SQLITE_BLOB: {
        auto bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        int size = sqlite3_column_bytes(stmt_, column);
        return Value::Blob(size ? std::string(bytes, size) : std::string());
      }
      default:
        return Value::Null();
    }
  }
  void ColumnInto(int column, Value* value) const override {
    // Text and blob bytes go into the value's own buffer, which keeps its
    // room from row to row.
    int type = row_ && column >= 0 && column < ColumnCount() ? sqlite3_column_type(stmt_, column)
                                                             : SQLITE_NULL;
    if (type != SQLITE_TEXT && type != SQLITE_BLOB) {
      *value = Column(column);
      return;
    }
    const void* bytes = type == SQLITE_TEXT ? sqlite3_column_text(stmt_, column)
                                            : sqlite3_column_blob(stmt_, column);
    value->kind = type == SQLITE_TEXT ? Value::Kind::kText : Value::Kind::kBlob;
    size_t size = static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
    if (bytes)
      value->bytes.assign(static_cast<const char*>(bytes), size);
    else
      value->bytes.clear();
  }
  Origin ColumnOrigin(int column) const override {
    // Only the store's own tables, not temporary or attached ones, have
    // the catalog's descriptions.
    const char* table = sqlite3_column_table_name(stmt_, column);
    const char* origin = sqlite3_column_origin_name(stmt_, column);
    const char* schema = sqlite3_column_database_name(stmt_, column);
    if (!table || !origin || !schema || std::string_view(schema) != "main") return {};
    return {table, origin};
  }
  bool ReadsOnly() const override { return sqlite3_stmt_readonly(stmt_) != 0; }
  std::string ColumnType(int column) const override {
    const char* declared = sqlite3_column_decltype(stmt_, column);
    return declared ? declared : "";
  }
  int64_t RowsChanged() const override { return changes_; }
  void Reset() override {
    sqlite3_reset(stmt_);
    // SQLite would keep reading an in-place value after its owner let it go.
    if (in_place_) sqlite3_clear_bindings(stmt_);
    in_place_ = false;
    row_ = done_ = false;
    changes_ = 0;
    refusal_ = WriteRefusal{};
  }
  int64_t InsertedRecord() const override { return sqlite3_last_insert_rowid(db_); }
  WriteRefusal LastRefusal() const override { return refusal_; }
  int64_t Repreparations() const override {
    return sqlite3_stmt_status(stmt_, SQLITE_STMTSTATUS_REPREPARE, 0);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_;     // owned
  bool row_ = false;       // a row is available
  bool done_ = false;      // the run ended (rows exhausted or failed)
  bool in_place_ = false;  // a value is bound in place (BindInPlace)
  int64_t changes_ = 0;
  WriteRefusal refusal_;  // of the last failed run
};

}  // namespace

std::unique_ptr<SqliteSession> SqliteSession::OpenFile(const std::string& path) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw EngineError(NDS_E_INVALID_PATH, "Cannot open the store " + path + ": " + message);
  }
  sqlite3_extended_result_codes(db, 1);
  return std::unique_ptr<SqliteSession>(new SqliteSession(db, true));
}

std::unique_ptr<SqliteSession> SqliteSession::Adopt(sqlite3* db) {
  return std::unique_ptr<SqliteSession>(new SqliteSession(db, true));
}

SqliteSession::~SqliteSession() {
  if (owned_) sqlite3_close_v2(db_);
}

void SqliteSession::Execute(std::string_view sql) {
  // sqlite3_exec wants a terminated text.
  ExecSql(db_, std::string(sql).c_str());
}

std::unique_ptr<StoreStatement> SqliteSession::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) throw SqlError(db_, rc);
  if (!stmt) throw EngineError(NDS_E_SQL, "SQL error: the statement text holds no statement");
  return std::make_unique<SqliteStatement>(db_, stmt);
}

void SqliteSession::Begin() {
  if (InTransaction()) throw EngineError(NDS_E_TRANSACTION_OPEN, "A transaction is already open.");
  ExecSql(db_, "BEGIN");
}

void SqliteSession::Commit() {
  RequireTransaction();
  ExecSql(db_, "COMMIT");
}

void SqliteSession::Rollback() {
  RequireTransaction();
  ExecSql(db_, "ROLLBACK");
}

void SqliteSession::Savepoint(const std::string& name) {
  RequireTransaction();
  Execute("SAVEPOINT " + QuoteIdentifier(name));
}

void SqliteSession::ReleaseSavepoint(const std::string& name) {
  RequireTransaction();
  Execute("RELEASE SAVEPOINT " + QuoteIdentifier(name));
}

void SqliteSession::RollbackToSavepoint(const std::string& name) {
  RequireTransaction();
  Execute("ROLLBACK TO SAVEPOINT " + QuoteIdentifier(name));
}

bool SqliteSession::EnforcesForeignKeys() const {
  int enforced = 1;
  sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_FKEY, -1, &enforced);
  return enforced != 0;
}

bool SqliteSession::ReadValuePart(const std::string& table, const std::string& column, bool,
                                  int64_t rowid, uint64_t offset, uint64_t length,
                                  std::string* part) {
  // Incremental blob I/O reads only the pages of the part asked for; it
  // opens text and blob values alone.
  sqlite3_blob* blob = nullptr;
  if (sqlite3_blob_open(db_, "main", table.c_str(), column.c_str(), rowid, 0, &blob) != SQLITE_OK) {
    sqlite3_blob_close(blob);
    return false;
  }
  uint64_t size = static_cast<uint64_t>(sqlite3_blob_bytes(blob));
  part->clear();
  if (offset < size) {
    part->resize(std::min(length, size - offset));
    int rc = sqlite3_blob_read(blob, part->data(), static_cast<int>(part->size()),
                               static_cast<int>(offset));
    if (rc != SQLITE_OK) {
      EngineError error = SqlError(db_, rc);
      sqlite3_blob_close(blob);
      throw error;
    }
  }
  sqlite3_blob_close(blob);
  return true;
}

bool SqliteSession::InTransaction() const {
  return !sqlite3_get_autocommit(db_);
}

void SqliteSession::RequireTransaction() const {
  if (!InTransaction()) throw EngineError(NDS_E_NO_TRANSACTION, "No transaction is open.");
}

sqlite3* SqliteDbOf(StoreSession& session) {
  auto* sqlite = dynamic_cast<SqliteSession*>(&session);
  return sqlite ? sqlite->db() : nullptr;
}

sqlite3* RequireSqliteDb(StoreSession& session) {
  sqlite3* db = SqliteDbOf(session);
  if (!db)
    throw EngineError(NDS_E_NOT_SUPPORTED,
                      "This needs a SQLite store; the session is on a PostgreSQL server.");
  return db;
}

}  // namespace nce
