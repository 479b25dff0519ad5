// The engine on a database on the test PostgreSQL server, through its C
// interface as programs use it: connecting by URI, engine tables and what
// they read back, and the archive repair, each checked against the same
// work on a SQLite store.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/storage/postgres/postgres_session.h"
#include "nce/nce.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/repair_database.h"
#include "tests/engine/test_store.h"
#include "tests/store/test_server.h"
#include "tests/support/link_relay.h"

namespace {

using nce_test::Damage;
using nce_test::LastErrorText;
using nce_test::RepairPairs;
using nce_test::RepairScriptText;
using nce_test::RunSql;
using nce_test::RunSqlOrFail;
using nce_test::TempDir;
using test_support::FreshDatabase;
using test_support::ServerUri;

constexpr uint16_t kBothKinds = NDS_LOCAL_SERVER | NDS_REMOTE_SERVER;

NDSHANDLE Connect(const std::string& path) {
  NDSHANDLE connection = 0;
  EXPECT_EQ(NdsConnect60(path.c_str(), kBothKinds, "", "", 0, &connection), NDS_SUCCESS)
      << LastErrorText();
  return connection;
}

// Every row `select` yields, a line each, fields as text separated by '|'.
std::string Rows(NDSHANDLE connection, const std::string& select) {
  return nce_test::RowsText(connection, select);
}

// Every table of the repair database (but `missing`), rows in record
// number order.
std::string DumpRepairTables(NDSHANDLE connection, const std::string& missing = "") {
  std::string dump;
  for (const auto& pair : RepairPairs())
    for (std::string table : {std::string(pair.live), "a_" + std::string(pair.live)})
      if (table != missing)
        dump +=
            table + "\n" + Rows(connection, "SELECT rowid, * FROM " + table + " ORDER BY rowid");
  return dump;
}

// Runs the repair as the repair window does: begin, the script, commit.
// The rows it reports as affected.
uint32_t Repair(NDSHANDLE connection) {
  NDSHANDLE statement = 0;
  EXPECT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  EXPECT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(NdsPrepareSQL(statement, RepairScriptText().c_str()), NDS_SUCCESS) << LastErrorText();
  NDSHANDLE cursor = 0;
  EXPECT_EQ(NdsExecuteSQL(statement, &cursor), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(NdsCommitTransaction(connection), NDS_SUCCESS) << LastErrorText();
  uint32_t affected = 0;
  EXPECT_EQ(NdsGetRecordCount(statement, NDS_IGNOREFILTERS, &affected), NDS_SUCCESS);
  NdsCloseSQLStatement(statement);
  return affected;
}

TEST(ServerConnection, PathAndServerTypesChooseTheStore) {
  std::string uri = ServerUri(FreshDatabase());
  NDSHANDLE connection = 0;
  EXPECT_EQ(NdsConnect60(uri.c_str(), NDS_LOCAL_SERVER, "", "", 0, &connection),
            NDS_E_REMOTE_SERVER);
  EXPECT_NE(LastErrorText().find("allows only a local database"), std::string::npos);
  EXPECT_EQ(NdsConnect(uri.c_str(), &connection), NDS_E_REMOTE_SERVER);
  TempDir dir;
  EXPECT_EQ(NdsConnect60(dir.str().c_str(), NDS_REMOTE_SERVER, "", "", 0, &connection),
            NDS_E_REMOTE_SERVER);
  std::string missing = ServerUri("no_such_database");
  EXPECT_EQ(NdsConnect60(missing.c_str(), kBothKinds, "", "", 0, &connection), NDS_E_INVALID_PATH);
  EXPECT_NE(LastErrorText().find("no_such_database"), std::string::npos) << LastErrorText();

  // The first connect makes the catalog; a second finds it and shares it.
  NDSHANDLE first = Connect(uri), second = Connect(uri);
  uint16_t type = 0;
  EXPECT_EQ(NdsGetConnectionType(first, &type), NDS_SUCCESS);
  EXPECT_EQ(type, NDS_CONNECTION_REMOTE);
  RunSqlOrFail(first, "CREATE TABLE Crew(Name CHAR(10), Hired DATE)");
  RunSqlOrFail(second, "INSERT INTO crew VALUES('Ada', '2024-02-29')");
  EXPECT_EQ(Rows(first, "SELECT name, HIRED FROM CREW"), "Ada|20240229\n");
  // A table cursor on one connection sees what the other wrote.
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(first, "crew", 0, 0, 0, &cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsGotoTop(cursor), NDS_SUCCESS);
  char name[16];
  uint32_t length = sizeof name;
  ASSERT_EQ(NdsGetField(cursor, "Name", name, &length, NDS_TRIM_RIGHT), NDS_SUCCESS);
  EXPECT_EQ(std::string(name, length), "Ada");
  EXPECT_EQ(NdsCloseTable(cursor), NDS_SUCCESS);
  EXPECT_EQ(NdsDisconnect(first), NDS_SUCCESS);
  EXPECT_EQ(NdsDisconnect(second), NDS_SUCCESS);
}

// The same engine table and values on both stores read back the same, and
// the values neither store can hold are refused alike.
TEST(ServerStatements, EngineTablesReadBackAsOnSqlite) {
  TempDir dir;
  NDSHANDLE local = Connect(dir.str()), server = Connect(ServerUri(FreshDatabase()));
  const std::string table =
      "CREATE TABLE kinds(s CHAR(6), ci CICHAR(4), m MEMO, n NUMERIC(7,2), d DOUBLE, "
      "i INTEGER, si SHORTINT, l LOGICAL, dt DATE, t TIME, ts TIMESTAMP, mo MONEY, b BLOB)";
  const std::vector<std::string> inserts = {
      "INSERT INTO kinds VALUES('abcdef', 'AbC', 'long text', 1234.56, 0.1, 2147483647, -32767, "
      "1, '0001-01-01', '23:59:59.999', '9999-12-31 23:59:59.999', 922337203685477.5807, "
      "x'00fF7f')",
      "INSERT INTO kinds VALUES('', NULL, '', -0.5, 1e300, -2147483647, 0, 0, '2024-02-29', "
      "'00:00:00.000', '2024-02-29 12:00:00.000', -922337203685477.5807, x'')",
      "INSERT INTO kinds(s) VALUES('x')",
  };
  for (NDSHANDLE c : {local, server}) {
    RunSqlOrFail(c, table);
    for (const std::string& insert : inserts) RunSqlOrFail(c, insert);
  }
  const std::string select = "SELECT * FROM kinds ORDER BY rowid";
  EXPECT_EQ(Rows(server, select), Rows(local, select));
  EXPECT_EQ(Rows(server, "SELECT count(*), sum(i) FROM kinds WHERE ci = 'AbC'"),
            Rows(local, "SELECT count(*), sum(i) FROM kinds WHERE ci = 'AbC'"));

  const std::vector<std::string> refused = {
      "INSERT INTO kinds(s) VALUES('abcdefg')",      // longer than the field
      "INSERT INTO kinds(si) VALUES(32768)",         // beyond a short integer
      "INSERT INTO kinds(dt) VALUES('2023-02-29')",  // no such day
      "INSERT INTO kinds(mo) VALUES(0.00001)",       // finer than money holds
      "INSERT INTO kinds(i) VALUES(1.5)",            // not a whole number
  };
  for (const std::string& insert : refused) {
    NDSRESULT on_sqlite = RunSql(local, insert);
    NDSRESULT on_server = RunSql(server, insert);
    EXPECT_NE(on_sqlite, NDS_SUCCESS) << insert;
    EXPECT_EQ(on_server, on_sqlite) << insert << ": " << LastErrorText();
  }
  EXPECT_EQ(Rows(server, select), Rows(local, select));
  NdsDisconnect(local);
  NdsDisconnect(server);
}

// What a CREATE TABLE declares besides the types holds on the server as on
// SQLite; what the server's tables cannot keep yet is refused, not dropped.
TEST(ServerStatements, DeclaredColumnRulesHoldOrAreRefused) {
  TempDir dir;
  NDSHANDLE local = Connect(dir.str()), server = Connect(ServerUri(FreshDatabase()));
  for (NDSHANDLE c : {local, server}) {
    RunSqlOrFail(
        c,
        "CREATE TABLE rules(code CHAR(4) NOT NULL DEFAULT 'x', tag CHAR(3) UNIQUE, "
        "n INTEGER DEFAULT 7, k CHAR(2) PRIMARY KEY, made TIMESTAMP DEFAULT CURRENT_TIMESTAMP)");
    RunSqlOrFail(c, "INSERT INTO rules(tag, k) VALUES('a', 'k1')");
    RunSqlOrFail(c, "INSERT INTO rules(tag) VALUES('b')");  // SQLite's key may be NULL
    for (const char* broken :
         {"INSERT INTO rules(code, k) VALUES(NULL, 'k2')",
          "INSERT INTO rules(tag, k) VALUES('a', 'k3')", "INSERT INTO rules(tag) VALUES('b')",
          "INSERT INTO rules(tag, k) VALUES('c', 'k1')"})
      EXPECT_NE(RunSql(c, broken), NDS_SUCCESS) << broken;
  }
  const std::string select = "SELECT code, tag, n, k FROM rules";
  EXPECT_EQ(Rows(server, select), "x|a|7|k1\nx|b|7|\n");
  for (NDSHANDLE c : {local, server}) EXPECT_EQ(Rows(c, "SELECT count(made) FROM rules"), "2\n");
  EXPECT_EQ(Rows(local, select), Rows(server, select));
  for (const char* refused :
       {"CREATE TABLE c1(n INTEGER CHECK (n > 0))", "CREATE TABLE c2(n INTEGER PRIMARY KEY)",
        "CREATE TABLE c3(a CHAR(2), b CHAR(2), UNIQUE(a, b))",
        "CREATE TABLE c4(a CHAR(2) COLLATE NOCASE)",
        "CREATE TABLE c5(a INTEGER REFERENCES rules)"}) {
    EXPECT_EQ(RunSql(server, refused), NDS_E_NOT_SUPPORTED) << refused;
    EXPECT_NE(LastErrorText().find("not keep"), std::string::npos) << LastErrorText();
  }
  NdsDisconnect(local);
  NdsDisconnect(server);
}

// Parameters reach the server as they reach SQLite, and AUTOINC fields are
// numbered alike: never again a number once handed out.
TEST(ServerStatements, ParametersAndAutoincNumbersAsOnSqlite) {
  TempDir dir;
  NDSHANDLE local = Connect(dir.str()), server = Connect(ServerUri(FreshDatabase()));
  std::vector<std::string> results;
  for (NDSHANDLE c : {local, server}) {
    RunSqlOrFail(c,
                 "CREATE TABLE log(id AUTOINC, who CHAR(10), hours DOUBLE, day DATE, "
                 "scan BLOB)");
    NDSHANDLE statement = 0, cursor = 0;
    ASSERT_EQ(NdsCreateSQLStatement(c, &statement), NDS_SUCCESS);
    ASSERT_EQ(NdsPrepareSQL(statement,
                            "INSERT INTO log(who, hours, day, scan) "
                            "VALUES(:who, :hours, :day, :scan)"),
              NDS_SUCCESS)
        << LastErrorText();
    std::string numbers;
    const char scan[] = {'\0', '\xff', 'x'};
    for (int row = 1; row <= 3; ++row) {
      std::string who = "crew " + std::to_string(row);
      ASSERT_EQ(NdsSetString(statement, ":who", who.c_str(), who.size()), NDS_SUCCESS);
      ASSERT_EQ(NdsSetDouble(statement, ":hours", 0.1 * row), NDS_SUCCESS);
      ASSERT_EQ(NdsSetJulian(statement, ":day", 2460370 + row), NDS_SUCCESS);
      ASSERT_EQ(NdsSetBinary(statement, ":scan", NDS_BINARY, sizeof scan, 0, scan, sizeof scan),
                NDS_SUCCESS);
      ASSERT_EQ(NdsExecuteSQL(statement, &cursor), NDS_SUCCESS) << LastErrorText();
      if (row == 2) RunSqlOrFail(c, "DELETE FROM log WHERE id = 2");
      uint32_t id = 0;
      ASSERT_EQ(NdsGetLastAutoinc(statement, &id), NDS_SUCCESS);
      numbers += std::to_string(id) + " ";
    }
    RunSqlOrFail(c, "INSERT INTO log(id, who) VALUES(10, 'given')");
    RunSqlOrFail(c, "INSERT INTO log(who) VALUES('after')");
    // A row one value short is refused, not written with its last field empty.
    EXPECT_EQ(RunSql(c, "INSERT INTO log VALUES(20, 'short', 1.5, '2024-01-01')"), NDS_E_SQL);
    // Parameters whose types only their values tell: the server cannot
    // check this text before it has them, which must not refuse it.
    ASSERT_EQ(NdsPrepareSQL(statement, "SELECT :a + :b AS total"), NDS_SUCCESS) << LastErrorText();
    ASSERT_EQ(NdsSetDouble(statement, ":a", 1.5), NDS_SUCCESS);
    ASSERT_EQ(NdsSetDouble(statement, ":b", 2), NDS_SUCCESS);
    ASSERT_EQ(NdsExecuteSQL(statement, &cursor), NDS_SUCCESS) << LastErrorText();
    char total[32];
    uint32_t length = sizeof total;
    ASSERT_EQ(NdsGotoTop(cursor), NDS_SUCCESS);
    ASSERT_EQ(NdsGetField(cursor, "total", total, &length, NDS_TRIM_RIGHT), NDS_SUCCESS);
    numbers += std::string(total, length) + " ";
    NdsCloseTable(cursor);
    NdsCloseSQLStatement(statement);
    results.push_back(numbers + "\n" + Rows(c, "SELECT * FROM log ORDER BY id"));
  }
  EXPECT_EQ(results[1], results[0]);
  EXPECT_NE(results[0].find("1 2 3 3.5 \n"), std::string::npos) << results[0];
  // The server's * includes the record numbers: a copy by * would take
  // them, and is refused there.
  for (NDSHANDLE c : {local, server})
    RunSqlOrFail(c,
                 "CREATE TABLE copy(id INTEGER, who CHAR(10), hours DOUBLE, day DATE, scan BLOB)");
  EXPECT_EQ(RunSql(local, "INSERT INTO copy SELECT * FROM log"), NDS_SUCCESS);
  EXPECT_EQ(RunSql(server, "INSERT INTO copy SELECT * FROM log"), NDS_E_SQL);
  EXPECT_EQ(Rows(server, "SELECT count(*) FROM copy"), "0\n");
  EXPECT_NE(results[0].find("11|after"), std::string::npos) << results[0];
  NdsDisconnect(local);
  NdsDisconnect(server);
}

// An AUTOINC field whose counter is gone refuses the row instead of leaving
// the field empty.
TEST(ServerStatements, AutoincWithoutItsCounterRefusesTheRow) {
  std::string uri = ServerUri(FreshDatabase());
  NDSHANDLE connection = Connect(uri);
  RunSqlOrFail(connection, "CREATE TABLE a(id AUTOINC, v CHAR(2))");
  nce::PostgresSession::Connect(uri)->Execute("DELETE FROM _nce_autoinc");
  EXPECT_NE(RunSql(connection, "INSERT INTO a(v) VALUES('x')"), NDS_SUCCESS);
  EXPECT_NE(LastErrorText().find("has no counter"), std::string::npos) << LastErrorText();
  EXPECT_EQ(Rows(connection, "SELECT count(*) FROM a"), "0\n");
  NdsDisconnect(connection);
}

// A database an engine without deletion marks prepared gets the marks table
// and the DBF-kind tables' triggers at its next connect: a pack by SQL then
// takes the marks along with their rows.
TEST(ServerStatements, AnOlderDatabaseGetsTheDeletionMarksAtItsNextConnect) {
  std::string uri = ServerUri(FreshDatabase());
  NDSHANDLE connection = Connect(uri);
  NDSHANDLE statement = 0, none = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  ASSERT_EQ(NdsStmtSetTableType(statement, NDS_CDX), NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQLDirect(statement, "CREATE TABLE dbf(id INTEGER)", &none), NDS_SUCCESS)
      << LastErrorText();
  NdsCloseSQLStatement(statement);
  RunSqlOrFail(connection, "INSERT INTO dbf VALUES (1), (2), (3)");
  NdsDisconnect(connection);
  nce::PostgresSession::Connect(uri)->Execute(
      "DROP TABLE _nce_deleted; DROP TRIGGER nce_marks_delete ON dbf; "
      "DROP TRIGGER nce_marks_truncate ON dbf; UPDATE _nce_server SET version = 'older'");

  connection = Connect(uri);
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(connection, "dbf", 0, 0, 0, &cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsGotoRecord(cursor, 2), NDS_SUCCESS);
  ASSERT_EQ(NdsDeleteRecord(cursor), NDS_SUCCESS) << LastErrorText();
  RunSqlOrFail(connection,
               "DELETE FROM dbf WHERE rowid IN (SELECT record FROM _nce_deleted "
               "WHERE table_name = 'dbf')");
  RunSqlOrFail(connection, "INSERT INTO dbf (rowid, id) VALUES (2, 20)");
  EXPECT_EQ(Rows(connection, "SELECT count(*) FROM _nce_deleted"), "0\n");
  uint32_t count = 0;
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_RESPECTFILTERS, &count), NDS_SUCCESS);
  EXPECT_EQ(count, 3u);
  NdsCloseTable(cursor);
  NdsDisconnect(connection);
}

class ServerRepair : public ::testing::TestWithParam<Damage> {};

// The repair through the engine leaves on the server what it leaves on a
// SQLite store, and reports the same rows affected.
TEST_P(ServerRepair, LeavesWhatItLeavesOnSqlite) {
  TempDir dir;
  NDSHANDLE local = Connect(dir.str()), server = Connect(ServerUri(FreshDatabase()));
  nce_test::BuildRepairDatabase(local, GetParam(), 7);
  nce_test::BuildRepairDatabase(server, GetParam(), 7);
  std::string before = DumpRepairTables(server);
  ASSERT_EQ(before, DumpRepairTables(local));
  EXPECT_EQ(Repair(server), Repair(local));
  std::string after = DumpRepairTables(server);
  EXPECT_EQ(after, DumpRepairTables(local));
  if (GetParam() != Damage::kNone) {
    EXPECT_NE(after, before);
  }
  NdsDisconnect(local);
  NdsDisconnect(server);
}

INSTANTIATE_TEST_SUITE_P(DamagePatterns, ServerRepair,
                         ::testing::Values(Damage::kNone, Damage::kOverlapAndCopies,
                                           Damage::kNullKeys, Damage::kRandom));

// The round trips of the repair run over a link: the prepare's checks of
// the 36 statements take as many as the check of one, and so does their
// run; the whole run, connect to commit, stays within 22.
TEST(ServerRepairTrips, ChecksAndRunOfTheScriptTakeOneRequestEach) {
  const std::string uri = ServerUri(FreshDatabase());
  NDSHANDLE setup = Connect(uri);
  nce_test::BuildRepairDatabase(setup, Damage::kOverlapAndCopies);
  NdsDisconnect(setup);
  test_support::LinkRelay relay("127.0.0.1", std::stoi(test_support::ServerPort()));
  const uint64_t start = relay.RoundTrips();
  NDSHANDLE connection = Connect(test_support::ThroughRelay(uri, relay));
  ASSERT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS) << LastErrorText();
  // Trips of the prepare and of the execution of `script`.
  auto trips = [&](const std::string& script) {
    NDSHANDLE statement = 0, cursor = 0;
    EXPECT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
    uint64_t before = relay.RoundTrips();
    EXPECT_EQ(NdsPrepareSQL(statement, script.c_str()), NDS_SUCCESS) << LastErrorText();
    const uint64_t prepare = relay.RoundTrips() - before;
    before = relay.RoundTrips();
    EXPECT_EQ(NdsExecuteSQL(statement, &cursor), NDS_SUCCESS) << LastErrorText();
    const uint64_t execute = relay.RoundTrips() - before;
    NdsCloseSQLStatement(statement);
    return std::make_pair(prepare, execute);
  };
  const auto whole = trips(RepairScriptText());
  ASSERT_EQ(NdsCommitTransaction(connection), NDS_SUCCESS) << LastErrorText();
  const uint64_t run = relay.RoundTrips() - start;
  ASSERT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(whole, trips("delete from acftcomp where Rec_No in (select Rec_No from a_acftcomp)"));
  EXPECT_LE(run, 22u);
  RecordProperty("round_trips", static_cast<int>(run));
  NdsRollbackTransaction(connection);
  NdsDisconnect(connection);
}

// A statement that fails as it runs, behind others sent in the same request,
// fails the execution with its own error (a type guard's refusal as the
// engine words it), and the execution leaves nothing changed.
TEST(ServerRepairTrips, AStatementFailingMidRunStopsItAndChangesNothing) {
  NDSHANDLE connection = Connect(ServerUri(FreshDatabase()));
  RunSqlOrFail(connection,
               "CREATE TABLE parts (code CHAR(4), qty INTEGER); "
               "INSERT INTO parts VALUES ('a', 1); INSERT INTO parts VALUES ('b', 2)");
  const std::string before = Rows(connection, "SELECT rowid, * FROM parts ORDER BY rowid");
  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  ASSERT_EQ(NdsPrepareSQL(statement,
                          "update parts set qty = qty + 10; delete from parts where code = 'a'; "
                          "update parts set code = code || 'toolong'; delete from parts"),
            NDS_SUCCESS)
      << LastErrorText();
  EXPECT_EQ(NdsExecuteSQL(statement, &cursor), NDS_E_VALUE_TOO_LONG);
  const std::string text = LastErrorText();
  EXPECT_NE(text.find("code"), std::string::npos) << text;
  EXPECT_EQ(Rows(connection, "SELECT rowid, * FROM parts ORDER BY rowid"), before);
  NdsCloseSQLStatement(statement);
  NdsDisconnect(connection);
}

// A repair that fails half-way, or whose connection dies, changes nothing;
// the engine says why, and the connection connects again by itself.
TEST(ServerRepairDrills, FailureOrLostConnectionLeavesDatabaseUnchanged) {
  std::string uri = ServerUri(FreshDatabase());
  NDSHANDLE connection = Connect(uri);
  nce_test::BuildRepairDatabase(connection, Damage::kOverlapAndCopies);
  RunSqlOrFail(connection, "DROP TABLE a_squawk");
  std::string before = DumpRepairTables(connection, "a_squawk");

  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  ASSERT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS);
  // The missing table is found before anything runs ...
  EXPECT_EQ(NdsPrepareSQL(statement, RepairScriptText().c_str()), NDS_E_SQL);
  EXPECT_NE(LastErrorText().find("a_squawk"), std::string::npos) << LastErrorText();
  EXPECT_EQ(NdsExecuteSQL(statement, &cursor), NDS_E_NOT_PREPARED);
  // ... and, when it vanishes between prepare and execute, the execution
  // fails there and is undone as a whole; the transaction goes on.
  RunSqlOrFail(connection, "CREATE TABLE a_squawk(Rec_No CHAR(12))");
  ASSERT_EQ(NdsPrepareSQL(statement, RepairScriptText().c_str()), NDS_SUCCESS) << LastErrorText();
  RunSqlOrFail(connection, "DROP TABLE a_squawk");
  EXPECT_EQ(NdsExecuteSQL(statement, &cursor), NDS_E_SQL);
  std::string text = LastErrorText();
  EXPECT_NE(text.find("a_squawk"), std::string::npos) << text;
  EXPECT_NE(text.find("statement 22 of 36"), std::string::npos) << text;
  EXPECT_EQ(Rows(connection, "SELECT count(*) FROM acftcomp"), "6\n");
  ASSERT_EQ(NdsRollbackTransaction(connection), NDS_SUCCESS);
  EXPECT_EQ(DumpRepairTables(connection, "a_squawk"), before);

  // The server ends the session mid-transaction (a crash, a cut cable).
  RunSqlOrFail(connection, "CREATE TABLE a_squawk(Rec_No CHAR(12))");
  before = DumpRepairTables(connection);
  auto admin = nce::PostgresSession::Connect(uri);
  auto pid = admin->Prepare(
      "SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
      "AND pid <> pg_backend_pid() AND backend_type = 'client backend'");
  ASSERT_TRUE(pid->Step());
  ASSERT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS);
  ASSERT_EQ(RunSql(connection, "DELETE FROM acftcomp"), NDS_SUCCESS);
  auto kill = admin->Prepare("SELECT pg_terminate_backend(?1::integer)");
  kill->Bind(1, pid->Column(0));
  ASSERT_TRUE(kill->Step());
  EXPECT_EQ(NdsCommitTransaction(connection), NDS_E_NO_CONNECTION) << LastErrorText();
  NdsCloseSQLStatement(statement);
  // The same connection goes on: no transaction was left to lose.
  EXPECT_EQ(DumpRepairTables(connection), before);
  Repair(connection);
  EXPECT_EQ(Rows(connection, "SELECT count(*) FROM acftcomp"), "4\n");
  NdsDisconnect(connection);
}

}  // namespace
