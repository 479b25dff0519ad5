// Helpers of the statements that write a cursor's record: a savepoint that
// makes one write all or nothing, and NOT NULL failures reported by column.
#ifndef ENGINE_CURSOR_RECORD_WRITE_H
#define ENGINE_CURSOR_RECORD_WRITE_H

#include <sqlite3.h>

#include <string>

#include "engine/base/errors.h"
#include "engine/base/sql_error.h"

namespace nce {

// Opens a savepoint on `db`; it is rolled back unless Commit is called.
class WriteSavepoint {
 public:
  explicit WriteSavepoint(sqlite3* db) : db_(db) { ExecSql(db_, "SAVEPOINT nce_record_write"); }
  ~WriteSavepoint() {
    if (!done_) {
      sqlite3_exec(db_, "ROLLBACK TO nce_record_write", nullptr, nullptr, nullptr);
      sqlite3_exec(db_, "RELEASE nce_record_write", nullptr, nullptr, nullptr);
    }
  }
  WriteSavepoint(const WriteSavepoint&) = delete;
  WriteSavepoint& operator=(const WriteSavepoint&) = delete;
  void Commit() {
    ExecSql(db_, "RELEASE nce_record_write");
    done_ = true;
  }

 private:
  sqlite3* db_;        // store connection
  bool done_ = false;  // released
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
