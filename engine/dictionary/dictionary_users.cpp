#include "engine/dictionary/dictionary_users.h"

#include <sodium.h>

#include "engine/base/errors.h"
#include "engine/storage/store_session.h"
#include "nce/nce.h"

namespace nce {
namespace {

void RequireSodium() {
  if (sodium_init() < 0) throw EngineError(NDS_E_GENERAL, "The password library failed to start.");
}

}  // namespace

bool DictionaryHasUsers(StoreSession& session) {
  auto read = session.Prepare("SELECT EXISTS(SELECT 1 FROM _nce_users)");
  read->Step();
  return read->Column(0).integer != 0;
}

void CheckDictionaryLogin(StoreSession& session, const std::string& user,
                          const std::string& password) {
  RequireSodium();
  auto read = session.Prepare("SELECT password_hash FROM _nce_users WHERE name = ?1");
  read->Bind(1, Value::Text(user));
  bool ok = false;
  if (read->Step()) {
    std::string hash = read->Column(0).bytes;
    ok = crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
  }
  // One message for an unknown user and a wrong password: the refusal must
  // not tell which user names exist.
  if (!ok)
    throw EngineError(NDS_E_LOGIN_FAILED,
                      "The user name or password is not valid for this data dictionary.");
}

void SetDictionaryUser(StoreSession& session, const std::string& user, const std::string& password,
                       const std::string& groups) {
  RequireSodium();
  if (user.empty()) throw EngineError(NDS_E_INVALID_ARGUMENT, "A user needs a name.");
  char hash[crypto_pwhash_STRBYTES];
  // Interactive limits: a login costs a fraction of a second, not seconds.
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw EngineError(NDS_E_MEMORY, "Not enough memory to hash the password.");
  auto write = session.Prepare(
      "INSERT INTO _nce_users(name, password_hash, groups) VALUES(?1, ?2, ?3) "
      "ON CONFLICT(name) DO UPDATE SET password_hash = ?2, groups = ?3");
  write->Bind(1, Value::Text(user));
  write->Bind(2, Value::Text(hash));
  write->Bind(3, Value::Text(groups));
  write->Step();
}

}  // namespace nce
