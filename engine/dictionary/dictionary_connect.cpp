#include "engine/dictionary/dictionary_connect.h"

#include "engine/dictionary/dictionary_mirror.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_users.h"

namespace nce {

void ConnectDictionary(Connection& connection, const std::string& user,
                       const std::string& password) {
  StoreSession& session = connection.session();
  if (!session.AuthorizesWhilePreparing())
    return OnMirroredDictionaryConnect(connection, user, password);
  bool has_users = DictionaryHasUsers(session);
  if (has_users) CheckDictionaryLogin(session, user, password);
  OnDictionaryConnect(connection, !has_users);
}

}  // namespace nce
