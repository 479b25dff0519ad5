#include "engine/storage/sql_error.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace nce {

EngineError SqlError(sqlite3* db, int rc, std::string_view context) {
  int extended = db ? sqlite3_extended_errcode(db) : rc;
  if ((extended & 0xFF) != (rc & 0xFF)) extended = rc;
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    int timeout = 0;
    if (db) {
      // The busy timeout in force on this connection.
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, "PRAGMA busy_timeout", -1, &stmt, nullptr) == SQLITE_OK &&
          sqlite3_step(stmt) == SQLITE_ROW)
        timeout = sqlite3_column_int(stmt, 0);
      sqlite3_finalize(stmt);
    }
    return EngineError(
        NDS_E_BUSY, "The database is locked by another connection; gave up after waiting " +
                        std::to_string(timeout) + " ms (NativeError = " + std::to_string(extended) +
                        "; " + message + ")");
  }
  if ((rc & 0xFF) == SQLITE_AUTH)
    return EngineError(NDS_E_RIGHTS,
                       "Permission not granted: the data dictionary does not allow this user "
                       "the change (NativeError = " +
                           std::to_string(extended) + "; " + message + ")");
  // A type guard's refusal carries its engine error: "NCE-<number>: <text>",
  // raised by a guard trigger or the name of the guard constraint that failed.
  std::string_view guard;
  constexpr std::string_view kCheckFailed = "CHECK constraint failed: ";
  if (extended == SQLITE_CONSTRAINT_TRIGGER)
    guard = message;
  else if (extended == SQLITE_CONSTRAINT_CHECK &&
           message.compare(0, kCheckFailed.size(), kCheckFailed) == 0)
    guard = std::string_view(message).substr(kCheckFailed.size());
  if (guard.substr(0, 4) == "NCE-") {
    size_t colon = guard.find(": ");
    uint32_t number = static_cast<uint32_t>(std::strtoul(guard.data() + 4, nullptr, 10));
    if (colon != std::string_view::npos && number != 0)
      return EngineError(number, std::string(guard.substr(colon + 2)));
  }
  std::string text = "SQL error: NativeError = " + std::to_string(extended) + "; " + message;
  if (!context.empty()) text += " (" + std::string(context) + ")";
  return EngineError(NDS_E_SQL, text);
}

void ExecSql(sqlite3* db, const char* sql) {
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
  sqlite3_free(message);
  if (rc != SQLITE_OK) throw SqlError(db, rc);
}

}  // namespace nce
