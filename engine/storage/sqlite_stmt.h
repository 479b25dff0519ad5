// A prepared SQLite statement owned for one scope; failures throw the
// engine's SQL error.
#ifndef ENGINE_STORAGE_SQLITE_STMT_H
#define ENGINE_STORAGE_SQLITE_STMT_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/sql_error.h"

namespace nce {

class SqliteStmt {
 public:
  // Prepares `sql` on `db`; throws EngineError on failure.
  SqliteStmt(sqlite3* db, std::string_view sql) : db_(db) {
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) throw SqlError(db, rc);
  }
  ~SqliteStmt() { sqlite3_finalize(stmt_); }
  SqliteStmt(const SqliteStmt&) = delete;
  SqliteStmt& operator=(const SqliteStmt&) = delete;

  SqliteStmt& Bind(int index, std::string_view text) {
    Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  SqliteStmt& Bind(int index, int64_t value) {
    Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
  }
  // True while a row is available; false when done. Throws on failure.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SqlError(db_, rc);
  }
  void Run() {
    while (Step()) {
    }
  }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                : std::string();
  }
  bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw SqlError(db_, rc);
  }

  sqlite3* db_;                   // connection the statement belongs to
  sqlite3_stmt* stmt_ = nullptr;  // owned
};

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_STMT_H
