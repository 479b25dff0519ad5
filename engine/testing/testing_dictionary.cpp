// Test support: users of a data dictionary, added without a login.
#include <sqlite3.h>

#include <exception>

#include "engine/dictionary/dictionary_users.h"
#include "engine/testing/nce_failpoints.h"

namespace nce::testing {

bool SetDictionaryUser(const std::string& dictionary, const std::string& user,
                       const std::string& password, const std::string& groups) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dictionary.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  bool ok = true;
  try {
    nce::SetDictionaryUser(db, user, password, groups);
  } catch (const std::exception&) {
    ok = false;
  }
  sqlite3_close(db);
  return ok;
}

}  // namespace nce::testing
