// Connecting to a data dictionary: the login and the rights that hold for
// the whole connection.
#ifndef ENGINE_DICTIONARY_DICTIONARY_CONNECT_H
#define ENGINE_DICTIONARY_DICTIONARY_CONNECT_H

#include <string>

#include "engine/storage/connection.h"

namespace nce {

// Checks `user`'s login when the dictionary has users (NDS_E_LOGIN_FAILED)
// and reads the rights and links. A store that applies the rights itself
// (SQLite's authorizer) reads them in its own file; on any other the
// dictionary is read and checked in a mirror of it (dictionary_mirror.h).
void ConnectDictionary(Connection& connection, const std::string& user,
                       const std::string& password);

}  // namespace nce

#endif  // ENGINE_DICTIONARY_DICTIONARY_CONNECT_H
