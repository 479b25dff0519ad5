// A database of the test server a network away (tests/support/link_relay.h):
// what a request costs in round trips, and what the engine does when the
// link breaks under an open cursor and its record locks, when the server
// goes silent, and when a statement outruns the URI's statement_timeout.
// No call may hang: each fails within its timeout with a clear error, and a
// new connect works once the link is back. And a server restarted between
// two statements.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "engine/storage/postgres/postgres_session.h"
#include "gtest/gtest.h"
#include "nce/nce.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"
#include "tests/store/test_server.h"
#include "tests/support/link_relay.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_paths.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using nce_test::LastErrorNumber;
using nce_test::LastErrorText;
using nce_test::RunSql;
using nce_test::RunSqlOrFail;
using test_support::LinkRelay;
using test_support::ThroughRelay;

class LinkFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    direct_ = test_support::ServerUri(test_support::FreshDatabase());
    relay_ = std::make_unique<LinkRelay>("127.0.0.1", std::stoi(test_support::ServerPort()));
  }
  void TearDown() override {
    for (NDSHANDLE connection : connections_) NdsDisconnect(connection);
  }

  // Connects to `uri` as a remote server; 0 with the engine's error kept
  // when refused. The connection ends with the test.
  NDSHANDLE Connect(const std::string& uri) {
    NDSHANDLE connection = 0;
    if (NdsConnect60(uri.c_str(), NDS_REMOTE_SERVER, "", "", 0, &connection) != NDS_SUCCESS)
      return 0;
    connections_.push_back(connection);
    return connection;
  }
  std::string Relayed(const std::string& options = "") const {
    return ThroughRelay(direct_, *relay_) + options;
  }

  std::string direct_;  // the test's database, reached directly
  std::unique_ptr<LinkRelay> relay_;
  std::vector<NDSHANDLE> connections_;
};

// What the relay counts for requests whose cost is known: a statement
// outside a transaction is one round trip, a prepared statement run inside
// one (its guard, parse, run and release in one pipeline) is one too.
TEST_F(LinkFaults, RelayCountsOneRoundTripPerRequest) {
  auto session = nce::PostgresSession::Connect(Relayed());
  uint64_t before = relay_->RoundTrips();
  session->Execute("SELECT 1");
  EXPECT_EQ(relay_->RoundTrips() - before, 1u);

  session->Execute("CREATE TABLE t (a int)");
  session->Begin();
  auto insert = session->Prepare("INSERT INTO t VALUES (?1)");
  insert->Bind(1, nce::Value::Integer(7));
  before = relay_->RoundTrips();
  insert->Step();
  EXPECT_EQ(relay_->RoundTrips() - before, 1u);
  insert.reset();
  session->Commit();
}

// The link breaks while a table cursor is open and holds a record lock:
// the next call that asks the server fails at once with a lost connection,
// the server frees the lock for another workstation, and a new connect
// works.
TEST_F(LinkFaults, CutUnderAnOpenCursorFailsAtOnceAndFreesItsLocks) {
  NDSHANDLE relayed = Connect(Relayed());
  ASSERT_NE(relayed, 0u) << LastErrorText();
  RunSqlOrFail(relayed,
               "CREATE TABLE items (name CHAR(10)); INSERT INTO items VALUES ('a');"
               "INSERT INTO items VALUES ('b')");
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(relayed, "items", 0, 0, 0, &cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsLockRecord(cursor, 1), NDS_SUCCESS) << LastErrorText();

  relay_->Cut();
  const auto start = Clock::now();
  EXPECT_NE(NdsLockRecord(cursor, 2), NDS_SUCCESS);
  EXPECT_EQ(LastErrorNumber(), NDS_E_NO_CONNECTION) << LastErrorText();
  EXPECT_NE(LastErrorText().find("connection to the PostgreSQL server was lost"), std::string::npos)
      << LastErrorText();
  EXPECT_LT(Clock::now() - start, 2s);
  NdsCloseTable(cursor);

  NDSHANDLE other = Connect(direct_);
  ASSERT_NE(other, 0u) << LastErrorText();
  NDSHANDLE theirs = 0;
  ASSERT_EQ(NdsOpenTable(other, "items", 0, 0, 0, &theirs), NDS_SUCCESS) << LastErrorText();
  NDSRESULT locked = NDS_E_LOCK_FAILED;
  for (auto until = Clock::now() + 5s; locked != NDS_SUCCESS && Clock::now() < until;) {
    locked = NdsLockRecord(theirs, 1);
    if (locked != NDS_SUCCESS) std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(locked, NDS_SUCCESS) << "the cut session's record lock stayed: " << LastErrorText();
  NdsCloseTable(theirs);

  NDSHANDLE again = Connect(Relayed());
  ASSERT_NE(again, 0u) << LastErrorText();
  EXPECT_EQ(RunSql(again, "UPDATE items SET name = 'c' WHERE name = 'b'"), NDS_SUCCESS)
      << LastErrorText();
}

// A server that stops answering: a statement gives up one second after the
// URI's statement_timeout, and a connect after its connect_timeout, each
// saying so; after the link is back, connecting again works.
TEST_F(LinkFaults, SilentServerEndsEveryWaitWithinItsTimeout) {
  NDSHANDLE connection = Connect(Relayed("?statement_timeout=300"));
  ASSERT_NE(connection, 0u) << LastErrorText();
  RunSqlOrFail(connection, "CREATE TABLE t (a INTEGER)");
  RunSqlOrFail(connection, "INSERT INTO t VALUES (1)");

  relay_->Stall();
  auto start = Clock::now();
  EXPECT_EQ(RunSql(connection, "SELECT a FROM t"), NDS_E_NO_CONNECTION) << LastErrorText();
  EXPECT_NE(LastErrorText().find("did not answer within the statement timeout of 300 ms"),
            std::string::npos)
      << LastErrorText();
  EXPECT_LT(Clock::now() - start, 3s);

  start = Clock::now();
  EXPECT_EQ(Connect(Relayed("?connect_timeout=2")), 0u);
  EXPECT_EQ(LastErrorNumber(), NDS_E_INVALID_PATH);
  EXPECT_NE(LastErrorText().find("timeout expired"), std::string::npos) << LastErrorText();
  EXPECT_LT(Clock::now() - start, 5s);

  relay_->Resume();
  NDSHANDLE again = Connect(Relayed());
  ASSERT_NE(again, 0u) << LastErrorText();
  EXPECT_EQ(RunSql(again, "SELECT a FROM t"), NDS_SUCCESS) << LastErrorText();
}

// A statement that runs past the statement timeout on a server that
// answers is cancelled by the server: an SQL error naming the timeout, and
// the connection goes on. A timeout the engine cannot read is refused.
TEST_F(LinkFaults, StatementTimeoutCancelsALongStatementAndTheSessionGoesOn) {
  NDSHANDLE connection = Connect(direct_ + "?statement_timeout=200");
  ASSERT_NE(connection, 0u) << LastErrorText();
  const auto start = Clock::now();
  EXPECT_EQ(RunSql(connection, "SELECT pg_sleep(5)"), NDS_E_SQL);
  EXPECT_NE(LastErrorText().find("statement timeout"), std::string::npos) << LastErrorText();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_EQ(RunSql(connection, "SELECT 1"), NDS_SUCCESS) << LastErrorText();

  for (const char* bad : {"?statement_timeout=soon", "?statement_timeout=-1",
                          "?statement_timeout=1&statement_timeout=2"}) {
    EXPECT_EQ(Connect(direct_ + bad), 0u) << bad;
    EXPECT_EQ(LastErrorNumber(), NDS_E_INVALID_PATH) << bad;
    EXPECT_NE(LastErrorText().find("statement_timeout"), std::string::npos) << LastErrorText();
  }
}

}  // namespace

namespace {

// A cluster of the test's own, which it may restart (scripts/pg-test-server).
class PrivateServer {
 public:
  PrivateServer() { Script("start"); }
  ~PrivateServer() { Script("stop"); }
  void Restart() { Script("restart"); }
  std::string Uri(const std::string& database) const {
    std::ifstream in(dir_ / "server/port");
    std::string port;
    in >> port;
    return "postgresql://postgres@127.0.0.1:" + port + "/" + database;
  }

 private:
  void Script(const std::string& action) {
    const std::string command = test_support::TestSourceDir() + "/scripts/pg-test-server " +
                                action + " " + (dir_ / "server") + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  test_support::TempDir dir_;
};

// The server restarts between two statements of a transaction: the next
// statement fails with a lost connection, nothing of the transaction stays,
// and the statement after the transaction connects again by itself.
TEST(ServerRestart, BetweenTwoStatementsLosesTheTransactionAndConnectsAgain) {
  PrivateServer server;
  NDSHANDLE connection = 0;
  ASSERT_EQ(NdsConnect60(server.Uri("postgres").c_str(), NDS_REMOTE_SERVER, "", "", 0, &connection),
            NDS_SUCCESS)
      << LastErrorText();
  RunSqlOrFail(connection, "CREATE TABLE t (a INTEGER)");
  ASSERT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS);
  RunSqlOrFail(connection, "INSERT INTO t VALUES (1)");

  server.Restart();
  const auto start = Clock::now();
  EXPECT_EQ(RunSql(connection, "INSERT INTO t VALUES (2)"), NDS_E_NO_CONNECTION) << LastErrorText();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_NE(NdsCommitTransaction(connection), NDS_SUCCESS);
  NdsRollbackTransaction(connection);
  EXPECT_EQ(RunSql(connection, "INSERT INTO t VALUES (3)"), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(nce_test::RowsText(connection, "SELECT a FROM t"), "3\n");
  NdsDisconnect(connection);
}

}  // namespace
