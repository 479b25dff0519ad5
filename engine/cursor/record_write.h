// Helpers of the statements that write a cursor's record: kept statements
// reset after use, a savepoint that makes a write of several statements all
// or nothing, and NOT NULL failures reported by column.
#ifndef ENGINE_CURSOR_RECORD_WRITE_H
#define ENGINE_CURSOR_RECORD_WRITE_H

#include <sqlite3.h>

#include <string>

#include "engine/base/errors.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_stmt.h"

namespace nce {

// Resets a kept statement when its use ends, so that no read transaction
// stays open behind it.
class StatementUse {
 public:
  explicit StatementUse(SqliteStmt& stmt) : stmt_(stmt) {}
  ~StatementUse() { stmt_.Reset(); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  SqliteStmt* operator->() { return &stmt_; }

 private:
  SqliteStmt& stmt_;  // kept by the cursor
};

// The prepared SAVEPOINT, RELEASE and ROLLBACK TO of one savepoint name;
// all null for a write that needs no savepoint.
struct WriteSavepointStatements {
  SqliteStmt* open = nullptr;
  SqliteStmt* release = nullptr;
  SqliteStmt* undo = nullptr;
};

// Opens the savepoint of `stmts` (when there is one); it is rolled back
// unless Commit is called.
class WriteSavepoint {
 public:
  explicit WriteSavepoint(const WriteSavepointStatements& stmts) : stmts_(stmts) {
    if (stmts_.open) Run(*stmts_.open);
  }
  ~WriteSavepoint() {
    if (done_ || !stmts_.open) return;
    sqlite3_step(stmts_.undo->get());
    stmts_.undo->Reset();
    sqlite3_step(stmts_.release->get());
    stmts_.release->Reset();
  }
  WriteSavepoint(const WriteSavepoint&) = delete;
  WriteSavepoint& operator=(const WriteSavepoint&) = delete;
  void Commit() {
    if (stmts_.open) Run(*stmts_.release);
    done_ = true;
  }

 private:
  static void Run(SqliteStmt& stmt) {
    StatementUse use(stmt);
    use->Run();
  }

  WriteSavepointStatements stmts_;  // kept by the cursor
  bool done_ = false;               // released
};

// Runs `write`; a NOT NULL constraint it breaks becomes the value-required
// error that names the column, instead of a bare SQL error.
template <class Write>
void RunNamingEmptyColumn(sqlite3* db, Write write) {
  try {
    write();
  } catch (const EngineError&) {
    if (sqlite3_extended_errcode(db) != SQLITE_CONSTRAINT_NOTNULL) throw;
    std::string message = sqlite3_errmsg(db);  // "NOT NULL constraint failed: table.column"
    size_t dot = message.rfind('.');
    std::string column = dot == std::string::npos ? message : message.substr(dot + 1);
    throw EngineError(NDS_E_VALUE_REQUIRED,
                      "Value required: column \"" + column + "\" may not be empty.");
  }
}

}  // namespace nce

#endif  // ENGINE_CURSOR_RECORD_WRITE_H
