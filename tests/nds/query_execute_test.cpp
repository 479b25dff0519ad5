// TNdsQuery's road to the engine: the statement it keeps, the options it
// sets, preparation, execution, cursors, counts and refusals.
#include <gtest/gtest.h>

#include <string>

#include "dataset/strings.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;
using nce::testing::GetStatementOptions;
using nce::testing::GetStatementText;
using nce::testing::StatementOptions;
using nds_test::QueryDatabase;

using nds_test::SetText;

using nds_test::MessageOf;

class QueryExecute : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table t (id integer, name char(20))");
    db_.Exec("insert into t values (1, 'one')");
    db_.Exec("insert into t values (2, 'two')");
    db_.Exec("insert into t values (3, 'three')");
    query_.SetName("Q1");
    query_.SetNdsConnection(&db_.Connection());
  }

  QueryDatabase db_;
  FailpointGuard failpoints_;
  nds::TNdsQuery query_{nullptr};
};

TEST_F(QueryExecute, KeepsOneStatementAndPreparesTheCurrentTextEachTime) {
  SetText(query_, "delete from t where id = 1");
  EXPECT_EQ(query_.StatementHandle(), nds::kNoHandle);
  query_.ExecSQL();
  const NDSHANDLE first = query_.StatementHandle();
  ASSERT_NE(first, nds::kNoHandle);
  EXPECT_TRUE(query_.Prepared());
  EXPECT_EQ(query_.AffectedRows(), 1);

  SetText(query_, "delete from t where id > 1");
  EXPECT_FALSE(query_.Prepared());
  query_.ExecSQL();
  EXPECT_EQ(query_.StatementHandle(), first);
  std::string text;
  ASSERT_TRUE(GetStatementText(first, &text));
  EXPECT_EQ(text, "delete from t where id > 1\r\n");
  EXPECT_EQ(query_.AffectedRows(), 2);
  EXPECT_EQ(db_.Count("t"), 0);
}

TEST_F(QueryExecute, ConnectsTheConnectionOnDemand) {
  SetText(query_, "update t set name = 'x' where id = 2");
  db_.Connection().Disconnect();
  query_.ExecSQL();
  EXPECT_TRUE(db_.Connection().IsConnected());
  EXPECT_EQ(query_.AffectedRows(), 1);
}

TEST_F(QueryExecute, StaleStatementIsReplacedOnTheConnection) {
  SetText(query_, "delete from t where id = 1");
  query_.ExecSQL();
  const NDSHANDLE first = query_.StatementHandle();
  ASSERT_EQ(NdsCloseSQLStatement(first), 0u);  // the engine forgets it

  SetText(query_, "delete from t where id = 2");
  query_.ExecSQL();
  const NDSHANDLE second = query_.StatementHandle();
  std::uint16_t type = 0;
  ASSERT_EQ(NdsGetHandleType(second, &type), 0u);
  EXPECT_EQ(type, NDS_HANDLE_STATEMENT);
  EXPECT_EQ(db_.Count("t"), 1);
}

TEST_F(QueryExecute, DefaultOptionsReachTheEngine) {
  SetText(query_, "delete from t where id = 9");
  query_.ExecSQL();
  StatementOptions o;
  ASSERT_TRUE(GetStatementOptions(query_.StatementHandle(), &o));
  EXPECT_EQ(o.lock_type, 1);
  EXPECT_EQ(o.char_type, 1);
  EXPECT_EQ(o.rights, 1);
  EXPECT_EQ(o.read_only, 1);
  EXPECT_EQ(o.read_only_calls, 1);
  EXPECT_EQ(o.table_type, 3);
  EXPECT_EQ(o.constrain_updates, 2);
  EXPECT_EQ(o.read_all_columns, 2);
}

TEST_F(QueryExecute, ChangedOptionsReachTheEngine) {
  query_.NdsTableOptions()->SetNdsLockType(nds::Compatible);
  query_.NdsTableOptions()->SetNdsCharType(nds::OEM);
  query_.NdsTableOptions()->SetNdsRightsCheck(false);
  query_.SetRequestLive(true);
  query_.SetConstrained(true);
  query_.SetReadAllColumns(true);
  query_.SetSourceTableType(nds::ttNdsCDX);
  SetText(query_, "delete from t where id = 9");
  query_.ExecSQL();
  StatementOptions o;
  ASSERT_TRUE(GetStatementOptions(query_.StatementHandle(), &o));
  EXPECT_EQ(o.lock_type, 0);
  EXPECT_EQ(o.char_type, 2);
  EXPECT_EQ(o.rights, 2);
  EXPECT_EQ(o.read_only, 2);
  EXPECT_EQ(o.table_type, 2);
  EXPECT_EQ(o.constrain_updates, 1);
  EXPECT_EQ(o.read_all_columns, 1);

  // Default gives the NTX code 1, like NTX itself.
  query_.SetSourceTableType(nds::ttNdsDefault);
  query_.ExecSQL();
  ASSERT_TRUE(GetStatementOptions(query_.StatementHandle(), &o));
  EXPECT_EQ(o.table_type, 1);
}

TEST_F(QueryExecute, ReadOnlyConnectionSetsTheStatementReadOnlyAfterRequestLive) {
  db_.Connection().SetReadOnly(true);
  query_.SetRequestLive(true);
  SetText(query_, "delete from t where id = 9");
  query_.ExecSQL();
  StatementOptions o;
  ASSERT_TRUE(GetStatementOptions(query_.StatementHandle(), &o));
  EXPECT_EQ(o.read_only_calls, 2);
  EXPECT_EQ(o.read_only, 1);
}

TEST_F(QueryExecute, SelectThroughExecSQLClosesItsCursor) {
  SetText(query_, "select * from t");
  const size_t handles = nce::testing::LiveHandleCount();
  query_.ExecSQL();
  // Only the statement stays (and the connection, opened on demand).
  EXPECT_LE(nce::testing::LiveHandleCount(), handles + 2);
  EXPECT_FALSE(query_.Active());
}

TEST_F(QueryExecute, LastLineOfBlanksIsSentWithItsLineBreak) {
  dataset::TStringList lines;
  lines.Add("delete from t where id = 3");
  lines.Add("   ");
  query_.SetSQL(&lines);
  query_.ExecSQL();
  std::string text;
  ASSERT_TRUE(GetStatementText(query_.StatementHandle(), &text));
  EXPECT_EQ(text, "delete from t where id = 3\r\n   \r\n");
}

TEST_F(QueryExecute, EngineErrorCarriesTheQueryNameAndKeepsTheStatement) {
  SetText(query_, "delete from nosuchtable");
  try {
    query_.ExecSQL();
    FAIL();
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_SQL);
    EXPECT_EQ(error.Message().rfind("Q1: ", 0), 0u) << error.Message();
  }
  EXPECT_NE(query_.StatementHandle(), nds::kNoHandle);
}

TEST_F(QueryExecute, Error7209ReleasesTheStatement) {
  SetText(query_, "delete from t where id = 1");
  query_.ExecSQL();
  const NDSHANDLE first = query_.StatementHandle();
  ArmFailpoint("NdsExecuteSQL", NDS_E_SQL_REPREPARE, "Error 7209: prepare the statement again");
  EXPECT_NE(MessageOf([&] { query_.ExecSQL(); }).find("7209"), std::string::npos);
  EXPECT_EQ(query_.StatementHandle(), nds::kNoHandle);
  std::uint16_t type = 0;
  EXPECT_NE(NdsGetHandleType(first, &type), 0u);  // closed in the engine

  query_.ExecSQL();  // a new statement
  EXPECT_NE(query_.StatementHandle(), nds::kNoHandle);
}

TEST_F(QueryExecute, MissingCountLeavesAffectedRowsUnknown) {
  SetText(query_, "delete from t where id = 1");
  ArmFailpoint("NdsGetRecordCount", NDS_E_NO_COUNT, "no count");
  query_.ExecSQL();
  EXPECT_EQ(query_.AffectedRows(), -1);
}

TEST_F(QueryExecute, FailingOptionStopsBeforePreparing) {
  SetText(query_, "delete from t");
  ArmFailpoint("NdsStmtSetTableRights", 5000, "rights option refused");
  EXPECT_EQ(MessageOf([&] { query_.ExecSQL(); }), "Q1: rights option refused");
  EXPECT_EQ(db_.Count("t"), 3);
}

TEST_F(QueryExecute, RefusalsWithoutADatabase) {
  nds::TNdsQuery lone(nullptr);
  SetText(lone, "delete from t");
  EXPECT_EQ(MessageOf([&] { lone.ExecSQL(); }),
            "The DatabaseName property has not been assigned a value.");
  EXPECT_EQ(lone.StatementHandle(), nds::kNoHandle);
}

TEST_F(QueryExecute, OpeningAStatementWithoutCursorRunsItThenRefuses) {
  SetText(query_, "delete from t where id = 2");
  EXPECT_EQ(MessageOf([&] { query_.Open(); }),
            "Q1: The SQL statement did not generate a cursor handle.  Use TNdsQuery.ExecSQL to "
            "execute SQL statements that are not SELECT statements");
  EXPECT_FALSE(query_.Active());
  EXPECT_EQ(db_.Count("t"), 2);
}

TEST_F(QueryExecute, FailedOpenClosesTheCursorItGot) {
  SetText(query_, "select * from t");
  query_.ExecSQL();  // the statement exists from now on
  const size_t handles = nce::testing::LiveHandleCount();
  ArmFailpoint("NdsGetRecordLength", 5000, "no record length");
  EXPECT_EQ(MessageOf([&] { query_.Open(); }), "Q1: no record length");
  EXPECT_FALSE(query_.Active());
  EXPECT_EQ(query_.TableHandle(), nds::kNoHandle);
  EXPECT_EQ(nce::testing::LiveHandleCount(), handles);

  // An index file that cannot be opened: the query closes the cursor itself.
  query_.IndexFiles()->Add("missing.idx");
  EXPECT_THROW(query_.Open(), nds::ENDSDatabaseError);
  EXPECT_EQ(nce::testing::LiveHandleCount(), handles);
  EXPECT_FALSE(query_.Prepared());
}

TEST_F(QueryExecute, StatementLifeCycleRefusesNothingWhileClosed) {
  SetText(query_, "delete from t where id = 1");
  query_.ExecSQL();
  query_.MarkUnprepared();
  EXPECT_FALSE(query_.Prepared());
  query_.MarkPrepared();
  EXPECT_TRUE(query_.Prepared());
  EXPECT_EQ(query_.AffectedRows(), -1);
  const NDSHANDLE held = query_.StatementHandle();
  query_.ReleaseStatement();
  EXPECT_EQ(query_.StatementHandle(), nds::kNoHandle);
  std::uint16_t type = 0;
  EXPECT_NE(NdsGetHandleType(held, &type), 0u);
  query_.ReleaseStatement();  // nothing held: nothing to do
}

TEST_F(QueryExecute, DisconnectDetachesWithoutEngineCalls) {
  SetText(query_, "delete from t where id = 1");
  query_.ExecSQL();
  db_.Connection().Disconnect();
  EXPECT_EQ(query_.StatementHandle(), nds::kNoHandle);
  EXPECT_FALSE(query_.Prepared());
  query_.ExecSQL();  // reconnects and creates a new statement
  EXPECT_EQ(query_.AffectedRows(), 0);
}

TEST_F(QueryExecute, LastAutoIncValueOfTheStatement) {
  db_.Exec("create table auto (id autoinc, name char(5))");
  SetText(query_, "insert into auto (name) values ('a'); insert into auto (name) values ('b')");
  query_.ExecSQL();
  EXPECT_EQ(query_.LastAutoIncValue(), 2);
}

// Queries that name their database by path share one path connection.
TEST(QueryPathConnection, QueriesOfOnePathShareAConnection) {
  QueryDatabase db;
  db.Exec("create table t (id integer)");
  db.Connection().Disconnect();
  nds::TNdsQuery a(nullptr), b(nullptr);
  a.SetDatabaseName(db.Dir() + "/");
  b.SetDatabaseName(db.Dir());
  SetText(a, "insert into t values (1)");
  SetText(b, "insert into t values (2)");
  a.ExecSQL();
  b.ExecSQL();
  EXPECT_NE(a.PathConnectionHandle(), nds::kNoHandle);
  // The trailing separator is cut from the database path.
  EXPECT_EQ(a.PathConnectionHandle(), b.PathConnectionHandle());
  EXPECT_EQ(db.Count("t"), 2);

  // A new name releases the statement of the old path's connection.
  const NDSHANDLE held = a.StatementHandle();
  a.SetDatabaseName(db.Dir() + "/.");
  EXPECT_EQ(a.StatementHandle(), nds::kNoHandle);
  EXPECT_EQ(a.PathConnectionHandle(), nds::kNoHandle);
  std::uint16_t type = 0;
  EXPECT_NE(NdsGetHandleType(held, &type), 0u);
}

TEST(QueryPathConnection, RefusedPathRaisesTheEngineErrorAndIsTriedAgainNextTime) {
  nds_test::TempDir temp;
  nds::TNdsQuery q(nullptr);
  q.SetDatabaseName(temp / "later");
  SetText(q, "create table t (id integer)");
  try {
    q.ExecSQL();
    FAIL();
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_INVALID_PATH);
  }
  EXPECT_EQ(q.StatementHandle(), nds::kNoHandle);
  EXPECT_EQ(q.PathConnectionHandle(), nds::kNoHandle);

  // Once the directory exists the same query connects and runs.
  temp.MakeDir("later");
  q.ExecSQL();
  EXPECT_NE(q.PathConnectionHandle(), nds::kNoHandle);
  SetText(q, "insert into t values (7)");
  q.ExecSQL();
  EXPECT_EQ(q.AffectedRows(), 1);
}

TEST(QueryDestruction, StatementOfAClosedConnectionIsNotClosedAgain) {
  QueryDatabase db;
  db.Exec("create table t (id integer)");
  const size_t before = nce::testing::LiveHandleCount();
  {
    nds::TNdsQuery q(nullptr);
    q.SetNdsConnection(&db.Connection());
    SetText(q, "delete from t");
    q.ExecSQL();
    EXPECT_EQ(nce::testing::LiveHandleCount(), before + 1);
  }
  // Destroying a query of an open connection closes its statement.
  EXPECT_EQ(nce::testing::LiveHandleCount(), before);
}

}  // namespace
}  // namespace nds_test
