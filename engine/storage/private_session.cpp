#include "engine/storage/private_session.h"

#include <sqlite3.h>

#include "engine/base/errors.h"
#include "engine/storage/sqlite_session.h"

namespace nce {

std::unique_ptr<StoreSession> OpenMemorySession() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(":memory:", &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    throw EngineError(NDS_E_MEMORY, "No memory for a private in-memory database.");
  }
  return SqliteSession::Adopt(db);
}

std::unique_ptr<StoreSession> OpenExistingFileSession(const std::string& path) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    throw EngineError(NDS_E_INVALID_PATH, "Cannot open the store " + path + ": " + message);
  }
  return SqliteSession::Adopt(db);
}

}  // namespace nce
