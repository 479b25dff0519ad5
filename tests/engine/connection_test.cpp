// Connecting: where a database may lie, what is refused, and what the
// connection reports about itself.
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "engine/testing/nce_failpoints.h"
#include "tests/engine/engine_test_support.h"

namespace nce_test {
namespace {

NDSRESULT Connect(const std::string& path, uint16_t mask, NDSHANDLE* handle) {
  return NdsConnect60(path.c_str(), mask, "", "", 0, handle);
}

TEST(Connection, DirectoryGetsItsStoreOnFirstConnect) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  ASSERT_NE(connection, 0u);
  EXPECT_TRUE(std::filesystem::exists(StoreFile(dir)));
  uint16_t type = 0;
  ASSERT_EQ(NdsGetHandleType(connection, &type), NDS_SUCCESS);
  EXPECT_EQ(type, NDS_HANDLE_CONNECTION);
  uint16_t alive = 0, kind = 0;
  ASSERT_EQ(NdsIsConnectionAlive(connection, &alive), NDS_SUCCESS);
  EXPECT_EQ(alive, 1);
  ASSERT_EQ(NdsGetConnectionType(connection, &kind), NDS_SUCCESS);
  EXPECT_EQ(kind, NDS_CONNECTION_LOCAL);
  EXPECT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
  // A closed handle is unknown from then on, never a crash.
  EXPECT_EQ(NdsDisconnect(connection), NDS_E_NOT_CONNECTED);
  EXPECT_EQ(NdsIsConnectionAlive(connection, &alive), NDS_E_INVALID_HANDLE);
}

TEST(Connection, BackslashesSeparateLikeSlashes) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "data");
  std::string path = dir.str() + "\\data\\";
  NDSHANDLE connection = 0;
  ASSERT_EQ(Connect(path, NDS_LOCAL_SERVER, &connection), NDS_SUCCESS) << LastErrorText();
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "data" / "nce.db"));
  NdsDisconnect(connection);
}

TEST(Connection, RefusesPathsThatHoldNoDatabase) {
  TempDir dir;
  NDSHANDLE connection = 77;
  EXPECT_EQ(Connect((dir.path() / "missing").string(), NDS_LOCAL_SERVER, &connection),
            NDS_E_INVALID_PATH);
  EXPECT_EQ(connection, 0u);
  EXPECT_NE(LastErrorText().find("does not exist"), std::string::npos) << LastErrorText();

  EXPECT_EQ(Connect("", NDS_LOCAL_SERVER, &connection), NDS_E_INVALID_PATH);

  std::ofstream(dir.path() / "plain.txt") << "not a database";
  EXPECT_EQ(Connect((dir.path() / "plain.txt").string(), NDS_LOCAL_SERVER, &connection),
            NDS_E_INVALID_PATH);
  EXPECT_NE(LastErrorText().find("is a file"), std::string::npos) << LastErrorText();

  // A dictionary file, or a directory's store file, that is not a database.
  std::ofstream(dir.path() / "junk.ndd") << std::string(4096, 'x');
  EXPECT_EQ(Connect((dir.path() / "junk.ndd").string(), NDS_LOCAL_SERVER, &connection),
            NDS_E_INVALID_PATH);
  EXPECT_NE(LastErrorText().find("does not hold a database"), std::string::npos) << LastErrorText();
  std::filesystem::create_directories(dir.path() / "bad");
  std::ofstream(dir.path() / "bad" / "nce.db") << std::string(4096, 'y');
  EXPECT_EQ(Connect((dir.path() / "bad").string(), NDS_LOCAL_SERVER, &connection),
            NDS_E_INVALID_PATH);
  std::filesystem::create_directories(dir.path() / "odd" / "nce.db");
  EXPECT_EQ(Connect((dir.path() / "odd").string(), NDS_LOCAL_SERVER, &connection),
            NDS_E_INVALID_PATH);
  EXPECT_NE(LastErrorText().find("not a file"), std::string::npos) << LastErrorText();
  // The refused files are left as they were.
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "bad" / "nce.db"), 4096u);
  EXPECT_EQ(NdsConnect60(nullptr, NDS_LOCAL_SERVER, "", "", 0, &connection),
            NDS_E_INVALID_ARGUMENT);
}

TEST(Connection, RefusesUnreadableDirectory) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "locked");
  chmod((dir.path() / "locked").c_str(), 0);
  NDSHANDLE connection = 0;
  EXPECT_EQ(Connect((dir.path() / "locked").string(), NDS_LOCAL_SERVER, &connection),
            NDS_E_INVALID_PATH);
  EXPECT_NE(LastErrorText().find("cannot be read"), std::string::npos) << LastErrorText();
}

TEST(Connection, ServerMaskWithoutLocalBitIsRefused) {
  TempDir dir;
  NDSHANDLE connection = 0;
  EXPECT_EQ(Connect(dir.str(), NDS_REMOTE_SERVER, &connection), NDS_E_REMOTE_SERVER);
  EXPECT_NE(LastErrorText().find("remote"), std::string::npos);
  EXPECT_EQ(Connect(dir.str(), NDS_AIS_SERVER | NDS_REMOTE_SERVER, &connection),
            NDS_E_REMOTE_SERVER);
  // The repair window's mask (remote and local) connects locally.
  ASSERT_EQ(Connect(dir.str(), NDS_REMOTE_SERVER | NDS_LOCAL_SERVER, &connection), NDS_SUCCESS);
  NdsDisconnect(connection);
  ASSERT_EQ(NdsConnect(dir.str().c_str(), &connection), NDS_SUCCESS);
  NdsDisconnect(connection);
}

TEST(Connection, DisconnectClosesWhatWasOpenedOnIt) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  RunSqlOrFail(connection, "CREATE TABLE t(a INTEGER); INSERT INTO t VALUES(1);");
  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQLDirect(statement, "SELECT a FROM t", &cursor), NDS_SUCCESS);
  ASSERT_NE(cursor, 0u);
  size_t before = nce::testing::LiveHandleCount();
  ASSERT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
  EXPECT_EQ(nce::testing::LiveHandleCount(), before - 3);
  EXPECT_EQ(NdsCloseSQLStatement(statement), NDS_E_UNKNOWN_STATEMENT);
  EXPECT_EQ(NdsCloseTable(cursor), NDS_E_INVALID_HANDLE);
}

// Several programs starting on a new database at once: each must connect
// (the switch of the new file to WAL mode meets the others' locks), and the
// catalog is made once. Several rounds, as the race is not met every time.
TEST(Connection, SimultaneousFirstConnectsAllSucceed) {
  for (int round = 0; round < 10; ++round) {
    TempDir dir;
    std::vector<std::thread> threads;
    std::vector<NDSRESULT> results(4, 99);
    std::vector<NDSHANDLE> handles(4, 0);
    for (size_t i = 0; i < results.size(); ++i)
      threads.emplace_back([&, i] { results[i] = NdsConnect(dir.str().c_str(), &handles[i]); });
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < results.size(); ++i) {
      EXPECT_EQ(results[i], NDS_SUCCESS) << "round " << round;
      NdsDisconnect(handles[i]);
    }
    EXPECT_EQ(
        QueryDirect(StoreFile(dir),
                    "SELECT count(*) FROM sqlite_master WHERE name LIKE '\\_nce\\_%' ESCAPE '\\'"),
        "6");
  }
}

// SQLite does not serialise a connection by itself: the engine's lock must
// cover every step, column read and finalisation, including those of
// cursors and orders that go away after their engine function returned.
TEST(Connection, SeveralThreadsShareOneConnection) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  RunSqlOrFail(connection,
               "CREATE TABLE t(a INTEGER, b CHAR(10)); "
               "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 300) "
               "INSERT INTO t SELECT x, 'row ' || x FROM n; "
               "CREATE TABLE u(v INTEGER); INSERT INTO u VALUES(0);");
  NDSHANDLE setup = 0, made = 0;
  ASSERT_EQ(NdsOpenTable(connection, "t", 0, 0, 0, &setup), NDS_SUCCESS);
  ASSERT_EQ(NdsCreateIndex(setup, nullptr, "B", "b", nullptr, 0, &made), NDS_SUCCESS);
  ASSERT_EQ(NdsCloseTable(setup), NDS_SUCCESS);
  std::vector<int> walked;
  std::vector<NDSRESULT> failures;
  std::atomic<bool> done{false};
  std::thread walker([&] {
    NDSHANDLE cursor = 0;
    // One row per step: every move runs a statement.
    if (NdsOpenTable(connection, "t", 0, 0, 0, &cursor) != NDS_SUCCESS ||
        NdsCacheRecords(cursor, 0) != NDS_SUCCESS)
      return;
    std::vector<char> record(64);
    while (!done) {
      int rows = 0;
      uint16_t eof = 0;
      for (NdsGotoTop(cursor); NdsAtEOF(cursor, &eof) == NDS_SUCCESS && !eof; NdsSkip(cursor, 1)) {
        uint32_t length = static_cast<uint32_t>(record.size());
        if (NdsGetRecord(cursor, record.data(), &length) == NDS_SUCCESS) ++rows;
      }
      walked.push_back(rows);
    }
    NdsCloseTable(cursor);
  });
  for (int round = 0; round < 100; ++round) {
    NDSHANDLE cursor = 0, order = 0, statement = 0, result = 0;
    uint16_t found = 0, count = 1;
    const char key[] = "row 15";
    NDSRESULT rc = NdsOpenTable(connection, "t", 0, 0, 0, &cursor);
    if (rc == NDS_SUCCESS) rc = NdsOpenIndex(cursor, "t.ndi", &order, &count);
    if (rc == NDS_SUCCESS) rc = NdsSeek(order, key, 6, NDS_STRINGKEY, NDS_HARDSEEK, &found);
    if (rc == NDS_SUCCESS && !found) rc = NDS_E_GENERAL;
    if (rc == NDS_SUCCESS) rc = NdsCreateSQLStatement(connection, &statement);
    if (rc == NDS_SUCCESS) rc = NdsExecuteSQLDirect(statement, "SELECT a FROM t", &result);
    if (rc == NDS_SUCCESS) rc = NdsCloseTable(result);
    if (rc == NDS_SUCCESS) rc = NdsExecuteSQLDirect(statement, "UPDATE u SET v = v + 1", nullptr);
    if (rc == NDS_SUCCESS) rc = NdsCloseSQLStatement(statement);
    if (rc == NDS_SUCCESS) rc = NdsCloseTable(cursor);  // its order goes with it
    if (rc != NDS_SUCCESS) failures.push_back(rc);
  }
  done = true;
  walker.join();
  EXPECT_EQ(failures, std::vector<NDSRESULT>());
  ASSERT_FALSE(walked.empty());
  EXPECT_EQ(walked, std::vector<int>(walked.size(), 300));
  EXPECT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
}

TEST(Connection, VersionAndHandleTypes) {
  uint32_t major = 0, minor = 99;
  char letter = 0;
  ASSERT_EQ(NdsGetVersion(&major, &minor, &letter, nullptr, nullptr), NDS_SUCCESS);
  EXPECT_GE(major, 1u);
  EXPECT_LT(minor, 100u);
  char description[8];
  uint16_t length = sizeof description;
  EXPECT_EQ(NdsGetVersion(&major, &minor, &letter, description, &length),
            NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_GT(length, sizeof description);
  EXPECT_EQ(description[sizeof description - 1], '\0');

  uint16_t type = 0;
  EXPECT_EQ(NdsGetHandleType(0, &type), NDS_E_INVALID_HANDLE);
  EXPECT_EQ(NdsGetHandleType(123456789, &type), NDS_E_INVALID_HANDLE);
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  NDSHANDLE statement = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  ASSERT_EQ(NdsGetHandleType(statement, &type), NDS_SUCCESS);
  EXPECT_EQ(type, NDS_HANDLE_STATEMENT);
  // A statement handle is not a connection, and the reverse.
  EXPECT_EQ(NdsBeginTransaction(statement), NDS_E_INVALID_HANDLE);
  EXPECT_EQ(NdsCloseSQLStatement(connection), NDS_E_UNKNOWN_STATEMENT);
  NdsDisconnect(connection);
}

}  // namespace
}  // namespace nce_test
