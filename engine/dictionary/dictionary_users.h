// Users of a data dictionary: password hashes (libsodium's salted
// crypto_pwhash_str form) kept in the catalog table _nce_users.
#ifndef ENGINE_DICTIONARY_DICTIONARY_USERS_H
#define ENGINE_DICTIONARY_DICTIONARY_USERS_H

#include <sqlite3.h>

#include <string>

namespace nce {

// True when the dictionary has at least one user (and so checks logins).
bool DictionaryHasUsers(sqlite3* db);

// Throws NDS_E_LOGIN_FAILED unless `user` exists and `password` is his.
void CheckDictionaryLogin(sqlite3* db, const std::string& user, const std::string& password);

// Adds a user or replaces his password; `groups` is ";"-separated.
void SetDictionaryUser(sqlite3* db, const std::string& user, const std::string& password,
                       const std::string& groups);

}  // namespace nce

#endif  // ENGINE_DICTIONARY_DICTIONARY_USERS_H
