// Test support: users of a data dictionary, added without a login.
#include <exception>

#include "engine/dictionary/dictionary_users.h"
#include "engine/storage/private_session.h"
#include "engine/testing/nce_failpoints.h"

namespace nce::testing {

bool SetDictionaryUser(const std::string& dictionary, const std::string& user,
                       const std::string& password, const std::string& groups) {
  try {
    nce::SetDictionaryUser(*OpenExistingFileSession(dictionary), user, password, groups);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace nce::testing
