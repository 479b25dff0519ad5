#include "engine/dictionary/dictionary_users.h"

#include <sodium.h>

#include "engine/base/errors.h"
#include "engine/storage/sqlite_stmt.h"
#include "nce/nce.h"

namespace nce {
namespace {

void RequireSodium() {
  if (sodium_init() < 0) throw EngineError(NDS_E_GENERAL, "The password library failed to start.");
}

}  // namespace

bool DictionaryHasUsers(sqlite3* db) {
  SqliteStmt stmt(db, "SELECT EXISTS(SELECT 1 FROM _nce_users)");
  stmt.Step();
  return stmt.Int(0) != 0;
}

void CheckDictionaryLogin(sqlite3* db, const std::string& user, const std::string& password) {
  RequireSodium();
  SqliteStmt stmt(db, "SELECT password_hash FROM _nce_users WHERE name = ?1");
  stmt.Bind(1, user);
  bool ok = false;
  if (stmt.Step()) {
    std::string hash = stmt.Text(0);
    ok = crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
  }
  // One message for an unknown user and a wrong password: the refusal must
  // not tell which user names exist.
  if (!ok)
    throw EngineError(NDS_E_LOGIN_FAILED,
                      "The user name or password is not valid for this data dictionary.");
}

void SetDictionaryUser(sqlite3* db, const std::string& user, const std::string& password,
                       const std::string& groups) {
  RequireSodium();
  if (user.empty()) throw EngineError(NDS_E_INVALID_ARGUMENT, "A user needs a name.");
  char hash[crypto_pwhash_STRBYTES];
  // Interactive limits: a login costs a fraction of a second, not seconds.
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw EngineError(NDS_E_MEMORY, "Not enough memory to hash the password.");
  SqliteStmt stmt(db,
                  "INSERT INTO _nce_users(name, password_hash, groups) VALUES(?1, ?2, ?3) "
                  "ON CONFLICT(name) DO UPDATE SET password_hash = ?2, groups = ?3");
  stmt.Bind(1, user).Bind(2, std::string(hash)).Bind(3, groups).Run();
}

}  // namespace nce
