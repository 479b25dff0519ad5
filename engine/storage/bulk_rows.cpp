#include "engine/storage/bulk_rows.h"

#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_session.h"

namespace nce {
namespace {

// The store's own statement, run once per row: SQLite keeps it prepared, so
// a row costs one bind per value and one step. With `unguarded`, SQLite's
// CHECK constraints (the type guards) and triggers are left out from before
// the INSERT is prepared until Finish: SQLite compiles both into the
// statement, and changing either setting makes it prepare its statements
// again. The only triggers of a new table are the guards that turn money
// texts into numbers (sqlite_type_guards.h), which change nothing in values
// given in their stored form; each one runs as a sub-program with its own
// frame and statement journal, which would cost more than the insert.
class PreparedBulkInsert : public BulkInsert {
 public:
  PreparedBulkInsert(StoreSession& session, const std::string& table,
                     const std::vector<std::string>& columns, int64_t first_record, bool unguarded)
      : session_(session), next_record_(first_record) {
    if (unguarded) {
      session.Execute("PRAGMA ignore_check_constraints = ON");
      unguarded_ = true;
      SetTriggers(false);
    }
    try {
      stmt_ = session.Prepare(BulkInsertSql(table, columns, first_record != 0));
    } catch (...) {
      Guard();
      throw;
    }
  }
  ~PreparedBulkInsert() override {
    try {
      Guard();
    } catch (const EngineError&) {
      // The connection is gone with its settings.
    }
  }

  void Add(const std::vector<Value>& row) override {
    int index = 1;
    if (next_record_ != 0) stmt_->Bind(index++, Value::Integer(next_record_++));
    for (const Value& value : row) stmt_->BindInPlace(index++, value);
    try {
      stmt_->Run();
    } catch (...) {
      stmt_->Reset();
      throw;
    }
    stmt_->Reset();
  }
  // Later rows are checked by the store again.
  void Finish() override { Guard(); }

 private:
  void Guard() {
    if (!unguarded_) return;
    unguarded_ = false;
    SetTriggers(true);
    session_.Execute("PRAGMA ignore_check_constraints = OFF");
  }
  void SetTriggers(bool on) {
    int rc = sqlite3_db_config(SqliteDbOf(session_), SQLITE_DBCONFIG_ENABLE_TRIGGER, on ? 1 : 0,
                               nullptr);
    if (rc != SQLITE_OK) throw EngineError(NDS_E_GENERAL, "SQLite refused to switch triggers");
  }

  StoreSession& session_;
  std::unique_ptr<StoreStatement> stmt_;  // the INSERT
  int64_t next_record_;                   // number of the next row; 0: the store's
  bool unguarded_ = false;                // the store's CHECK constraints are ignored
};

}  // namespace

std::unique_ptr<BulkInsert> StoreSession::BeginBulkInsert(const std::string& table,
                                                          const std::vector<std::string>& columns,
                                                          int64_t first_record,
                                                          bool values_checked) {
  // Only SQLite's guards can be left out; other stores check for themselves.
  bool unguarded = values_checked && SqliteDbOf(*this) != nullptr;
  return std::make_unique<PreparedBulkInsert>(*this, table, columns, first_record, unguarded);
}

std::string BulkInsertSql(const std::string& table, const std::vector<std::string>& columns,
                          bool numbered) {
  std::string names, params;
  int index = 1;
  if (numbered) {
    names = "rowid";
    params = "?1";
    ++index;
  }
  for (const std::string& column : columns) {
    if (!names.empty()) names += ", ", params += ", ";
    names += QuoteIdentifier(column);
    params += "?" + std::to_string(index++);
  }
  return "INSERT INTO " + QuoteIdentifier(table) + " (" + names + ") VALUES (" + params + ")";
}

std::string StoredName(StoreSession& session, const std::string& name) {
  return SqliteDbOf(session) ? name : LowerAscii(name);
}

int64_t NextRecordNumber(StoreSession& session, const std::string& table) {
  auto stmt = session.Prepare("SELECT max(rowid) FROM " + QuoteIdentifier(table));
  if (!stmt->Step()) return 1;
  Value highest = stmt->Column(0);
  return highest.kind == Value::Kind::kInteger ? highest.integer + 1 : 1;
}

}  // namespace nce
