// Connecting to a server as a site would: over TLS with the server's
// certificate checked, through a service of the user's service file, and
// the refusals a user meets (a path that does not parse, an unknown host, a
// certificate of another authority, a wrong password), each saying which,
// within the connect timeout, and leaving no handle and no socket behind.
#include <dirent.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "engine/storage/postgres/postgres_session.h"
#include "gtest/gtest.h"
#include "nce/nce.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"
#include "tests/store/test_server.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using nce_test::LastErrorNumber;
using nce_test::LastErrorText;
using test_support::ServerFile;
using test_support::ServerPort;

// Whether the session of `connection` is encrypted, as the server says.
std::string Encrypted(NDSHANDLE connection) {
  return nce_test::RowsText(connection, "SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()");
}

NDSRESULT Connect(const std::string& uri, NDSHANDLE* connection) {
  *connection = 0;
  return NdsConnect60(uri.c_str(), NDS_REMOTE_SERVER, "", "", 0, connection);
}

// The file descriptors this process has open.
int OpenFiles() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (readdir(dir)) ++count;
  closedir(dir);
  return count;
}

TEST(ServerConnect, TlsWithTheServersCertificateCheckedAndAServiceOfTheUsersFile) {
  const std::string database = test_support::FreshDatabase();
  const std::string uri = test_support::ServerUri(database);
  nce::PostgresSession::Connect(test_support::ServerUri("postgres"))
      ->Execute("ALTER DATABASE " + database + " OWNER TO nce_password_user");
  // A service names host, port, database, role and TLS; the password of a
  // role that needs one comes from the password file, as psql reads them.
  test_support::TempDir home;
  const std::string services =
      home.Write("pg_service.conf", "[volantra]\nhost=127.0.0.1\nport=" + ServerPort() +
                                        "\ndbname=" + database +
                                        "\nuser=nce_password_user\nsslmode=require\n");
  const std::string passwords =
      home.Write("pgpass", "127.0.0.1:" + ServerPort() + ":*:nce_password_user:right-password\n");
  chmod(passwords.c_str(), 0600);
  setenv("PGSERVICEFILE", services.c_str(), 1);
  NDSHANDLE connection = 0;
  EXPECT_EQ(Connect("postgresql://?service=volantra", &connection), NDS_E_LOGIN_FAILED)
      << LastErrorText();
  setenv("PGPASSFILE", passwords.c_str(), 1);
  EXPECT_EQ(Connect("postgresql://?service=volantra", &connection), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(nce_test::RowsText(connection, "SELECT current_user, current_database()"),
            "nce_password_user|" + database + "\n");
  EXPECT_EQ(Encrypted(connection), "T\n");
  NdsDisconnect(connection);
  unsetenv("PGSERVICEFILE");
  unsetenv("PGPASSFILE");

  for (const std::string& options :
       {std::string("?sslmode=require"),
        "?sslmode=verify-full&sslrootcert=" + ServerFile("root.crt")}) {
    NDSHANDLE secured = 0;
    ASSERT_EQ(Connect(uri + options, &secured), NDS_SUCCESS) << options << LastErrorText();
    EXPECT_EQ(Encrypted(secured), "T\n") << options;
    NdsDisconnect(secured);
  }
}

TEST(ServerConnect, EachRefusalSaysWhichWithinTheTimeoutAndLeavesNothingOpen) {
  const std::string port = ServerPort();
  struct Refusal {
    std::string uri;
    uint32_t number;
    std::string says;
  } refusals[] = {
      {"postgresql://postgres@[::1/db", NDS_E_INVALID_PATH, "not a valid URI"},
      {"postgresql://postgres@127.0.0.1:port/db", NDS_E_INVALID_PATH, "invalid integer value"},
      {"postgresql://postgres@nosuch.invalid/db?connect_timeout=5", NDS_E_INVALID_PATH,
       "could not translate host name \"nosuch.invalid\""},
      {"postgresql://postgres@127.0.0.1:" + port +
           "/postgres?sslmode=verify-full&sslrootcert=" + ServerFile("other-root.crt"),
       NDS_E_INVALID_PATH, "certificate verify failed"},
      {"postgresql://postgres@127.0.0.1:" + port + "/postgres?service=nosuch", NDS_E_INVALID_PATH,
       "definition of service \"nosuch\" not found"},
      {"postgresql://nce_password_user@127.0.0.1:" + port + "/postgres", NDS_E_LOGIN_FAILED,
       "password authentication failed"},
  };
  setenv("PGPASSWORD", "wrong-password", 1);
  const int files = OpenFiles();
  for (const Refusal& refusal : refusals) {
    const auto start = std::chrono::steady_clock::now();
    NDSHANDLE connection = 0;
    EXPECT_EQ(Connect(refusal.uri, &connection), refusal.number) << refusal.uri;
    EXPECT_EQ(connection, 0u);
    EXPECT_NE(LastErrorText().find(refusal.says), std::string::npos) << LastErrorText();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << refusal.uri;
  }
  EXPECT_EQ(OpenFiles(), files) << "a refused connect left a file or socket open";
  unsetenv("PGPASSWORD");
}

}  // namespace
