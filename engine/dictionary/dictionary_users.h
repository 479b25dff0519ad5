// Users of a data dictionary: password hashes (libsodium's salted
// crypto_pwhash_str form) kept in the catalog table _nce_users.
#ifndef ENGINE_DICTIONARY_DICTIONARY_USERS_H
#define ENGINE_DICTIONARY_DICTIONARY_USERS_H

#include <string>

namespace nce {

class StoreSession;

// On the dictionary's tables in `session` (a SQLite store, or the mirror of
// a server's dictionary).

// True when the dictionary has at least one user (and so checks logins).
bool DictionaryHasUsers(StoreSession& session);

// Throws NDS_E_LOGIN_FAILED unless `user` exists and `password` is his.
void CheckDictionaryLogin(StoreSession& session, const std::string& user,
                          const std::string& password);

// Adds a user or replaces his password; `groups` is ";"-separated.
void SetDictionaryUser(StoreSession& session, const std::string& user, const std::string& password,
                       const std::string& groups);

}  // namespace nce

#endif  // ENGINE_DICTIONARY_DICTIONARY_USERS_H
