// Connecting to a data dictionary (.ndd): user name and password are
// checked once the dictionary has users.
#include <fstream>

#include "engine/testing/nce_failpoints.h"
#include "tests/engine/engine_test_support.h"

namespace nce_test {
namespace {

class DictionaryLogin : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_.path() / "Volantra.NDD").string();
    std::ofstream(path_).close();  // an empty file is an empty store
    NDSHANDLE connection = 0;
    ASSERT_EQ(NdsConnect60(path_.c_str(), NDS_LOCAL_SERVER, "", "", 0, &connection), NDS_SUCCESS)
        << LastErrorText();
    NdsDisconnect(connection);
  }
  void AddUser(const std::string& user, const std::string& password) {
    ASSERT_TRUE(nce::testing::SetDictionaryUser(path_, user, password, ""));
  }
  NDSRESULT Login(const char* user, const char* password) {
    NDSHANDLE connection = 0;
    NDSRESULT rc = NdsConnect60(path_.c_str(), NDS_LOCAL_SERVER, user, password, 0, &connection);
    if (connection) NdsDisconnect(connection);
    return rc;
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(DictionaryLogin, WithoutUsersAnyoneConnects) {
  EXPECT_EQ(Login("", ""), NDS_SUCCESS);
  EXPECT_EQ(Login("somebody", "anything"), NDS_SUCCESS);
}

TEST_F(DictionaryLogin, WithUsersNameAndPasswordMustMatch) {
  AddUser("Pilot", "s3cret");
  EXPECT_EQ(Login("Pilot", "s3cret"), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(Login("pilot", "s3cret"), NDS_SUCCESS);  // user names ignore letter case
  EXPECT_EQ(Login("Pilot", "S3CRET"), NDS_E_LOGIN_FAILED);
  EXPECT_NE(LastErrorText().find("user name or password is not valid"), std::string::npos);
  EXPECT_EQ(Login("Nobody", "s3cret"), NDS_E_LOGIN_FAILED);
  EXPECT_EQ(Login("Pilot", ""), NDS_E_LOGIN_FAILED);
  EXPECT_EQ(Login(nullptr, nullptr), NDS_E_LOGIN_FAILED);
  // The password is kept only as a salted hash.
  EXPECT_EQ(QueryDirect(path_,
                        "SELECT instr(password_hash, 's3cret') = 0 AND "
                        "password_hash LIKE '$argon2id$%' FROM _nce_users"),
            "1");
}

TEST_F(DictionaryLogin, MissingDictionaryIsRefused) {
  NDSHANDLE connection = 0;
  std::string missing = (dir_.path() / "other.ndd").string();
  EXPECT_EQ(NdsConnect60(missing.c_str(), NDS_LOCAL_SERVER, "", "", 0, &connection),
            NDS_E_INVALID_PATH);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace nce_test
