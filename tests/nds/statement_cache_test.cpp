// SQL executed by the connection itself and its cache of kept statements.
#include <gtest/gtest.h>

#include <string>

#include "dataset/params.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;
using nce::testing::GetStatementOptions;
using nce::testing::StatementOptions;
using nds_test::QueryDatabase;

TEST(SQLTextHash, ShortTextsUseEveryCharacterLongOnesASample) {
  EXPECT_EQ(nds::SQLTextHash(""), 0);
  EXPECT_EQ(nds::SQLTextHash("a"), 97);
  EXPECT_EQ(nds::SQLTextHash("abc"), 136518);
  // Letter case counts.
  EXPECT_EQ(nds::SQLTextHash("select 1"), -106988879);
  EXPECT_EQ(nds::SQLTextHash("SELECT 1"), 130277489);
  // 16 characters: every second one, from the first.
  EXPECT_EQ(nds::SQLTextHash("0123456789abcdef"), -1022892329);
  EXPECT_EQ(nds::SQLTextHash("0x2x4x6x8xaxcxex"), nds::SQLTextHash("0123456789abcdef"));
  EXPECT_EQ(
      nds::SQLTextHash("delete from acftcomp where Rec_No in (select Rec_No from a_acftcomp);"),
      947478036);
}

class StatementCache : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table t (id integer, name char(10))");
    db_.Exec("insert into t values (1, 'one')");
    db_.Exec("insert into t values (2, 'two')");
  }

  nds::TNdsConnection& Conn() { return db_.Connection(); }

  QueryDatabase db_;
  FailpointGuard failpoints_;
};

TEST_F(StatementCache, ExecutingConnectsAndCountsAffectedRows) {
  Conn().Disconnect();
  EXPECT_EQ(Conn().ExecuteStatement("update t set name = 'x'", nullptr, false, nullptr), 2u);
  EXPECT_TRUE(Conn().IsConnected());
  EXPECT_EQ(Conn().CachedStatementCount(), 0);
}

TEST_F(StatementCache, KeptTextIsPreparedOnceAndReused) {
  const std::string sql = "update t set name = 'y' where id = 1";
  EXPECT_EQ(Conn().ExecuteStatement(sql, nullptr, true, nullptr), 1u);
  ASSERT_EQ(Conn().CachedStatementCount(), 1);
  const NDSHANDLE kept = Conn().CachedStatement(0).statement;
  EXPECT_EQ(Conn().CachedStatement(0).text, sql);
  EXPECT_EQ(Conn().CachedStatement(0).hash, nds::SQLTextHash(sql));

  // A second run neither creates nor prepares a statement.
  ArmFailpoint("NdsCreateSQLStatement", 5000, "no new statement expected");
  ArmFailpoint("NdsPrepareSQL", 5000, "no preparation expected");
  EXPECT_EQ(Conn().ExecuteStatement(sql, nullptr, true, nullptr), 1u);
  EXPECT_EQ(Conn().CachedStatementCount(), 1);
  EXPECT_EQ(Conn().CachedStatement(0).statement, kept);
}

TEST_F(StatementCache, TextsDifferingInCaseGetTwoEntries) {
  Conn().ExecuteStatement("delete from t where id=9", nullptr, true, nullptr);
  Conn().ExecuteStatement("DELETE FROM T WHERE ID=9", nullptr, true, nullptr);
  EXPECT_EQ(Conn().CachedStatementCount(), 2);
}

TEST_F(StatementCache, UnkeptStatementLivesForOneCall) {
  const size_t handles = nce::testing::LiveHandleCount();
  Conn().ExecuteStatement("delete from t where id = 9", nullptr, false, nullptr);
  EXPECT_EQ(nce::testing::LiveHandleCount(), handles);
  // Also when the execution fails: the statement is closed, the error stays.
  try {
    Conn().ExecuteStatement("delete from missing", nullptr, false, nullptr);
    FAIL();
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_SQL);
    EXPECT_EQ(error.DataSetName(), "");
  }
  EXPECT_EQ(nce::testing::LiveHandleCount(), handles);
}

TEST_F(StatementCache, CommitAndRollbackFlushTheCache) {
  Conn().ExecuteStatement("delete from t where id = 7", nullptr, true, nullptr);
  Conn().StartTransaction();
  Conn().ExecuteStatement("delete from t where id = 8", nullptr, true, nullptr);
  EXPECT_EQ(Conn().CachedStatementCount(), 2);
  const size_t handles = nce::testing::LiveHandleCount();
  Conn().CommitTransaction();
  EXPECT_EQ(Conn().CachedStatementCount(), 0);
  EXPECT_EQ(nce::testing::LiveHandleCount(), handles - 2);

  Conn().StartTransaction();
  Conn().ExecuteStatement("delete from t where id = 1", nullptr, true, nullptr);
  Conn().RollbackTransaction();
  EXPECT_EQ(Conn().CachedStatementCount(), 0);
  EXPECT_EQ(db_.Count("t"), 2);

  Conn().CloseCachedStatements();  // an empty cache: nothing to do
}

TEST_F(StatementCache, FailedPreparationLeavesTheCacheAsItWas) {
  Conn().ExecuteStatement("delete from t where id = 7", nullptr, true, nullptr);
  const size_t handles = nce::testing::LiveHandleCount();
  ArmFailpoint("NdsPrepareSQL", 5000, "prepare refused");
  EXPECT_THROW(Conn().ExecuteStatement("delete from t where id = 8", nullptr, true, nullptr),
               nds::ENDSDatabaseError);
  EXPECT_EQ(Conn().CachedStatementCount(), 1);
  EXPECT_EQ(nce::testing::LiveHandleCount(), handles);
}

TEST_F(StatementCache, FailingCloseKeepsTheRemainingEntries) {
  Conn().ExecuteStatement("delete from t where id = 7", nullptr, true, nullptr);
  Conn().ExecuteStatement("delete from t where id = 8", nullptr, true, nullptr);
  ArmFailpoint("NdsCloseSQLStatement", 5000, "close refused");
  EXPECT_THROW(Conn().CloseCachedStatements(), nds::ENDSDatabaseError);
  EXPECT_EQ(Conn().CachedStatementCount(), 1);
  Conn().CloseCachedStatements();
  EXPECT_EQ(Conn().CachedStatementCount(), 0);
}

TEST_F(StatementCache, OptionsAreSetOnNewStatementsOnly) {
  const nds::TStmtOptions options{0, 2, 2, 2};  // lock, char, rights, table type
  Conn().ExecuteStatementWithOptions(options, "delete from t where id = 5", nullptr, true, nullptr);
  StatementOptions o;
  ASSERT_TRUE(GetStatementOptions(Conn().CachedStatement(0).statement, &o));
  EXPECT_EQ(o.lock_type, 0);
  EXPECT_EQ(o.char_type, 2);
  EXPECT_EQ(o.rights, 2);
  EXPECT_EQ(o.table_type, 2);
  EXPECT_EQ(o.read_only_calls, 0);

  // A text kept without options is reused by the options call as it is.
  Conn().ExecuteStatement("delete from t where id = 6", nullptr, true, nullptr);
  Conn().ExecuteStatementWithOptions(options, "delete from t where id = 6", nullptr, true, nullptr);
  ASSERT_EQ(Conn().CachedStatementCount(), 2);
  ASSERT_TRUE(GetStatementOptions(Conn().CachedStatement(1).statement, &o));
  EXPECT_EQ(o.table_type, 0);
  EXPECT_EQ(o.lock_type, 0);
}

TEST_F(StatementCache, CursorPlaceGetsAReadOnlyStatementAndNoCount) {
  const nds::TStmtOptions options{1, 1, 1, 3};
  NDSHANDLE cursor = 0;
  ArmFailpoint("NdsGetRecordCount", 5000, "no count expected");
  EXPECT_EQ(Conn().ExecuteStatementWithOptions(options, "select * from t", nullptr, true, &cursor),
            0u);
  ASSERT_NE(cursor, 0u);
  StatementOptions o;
  ASSERT_TRUE(GetStatementOptions(Conn().CachedStatement(0).statement, &o));
  EXPECT_EQ(o.read_only, 1);
  EXPECT_EQ(o.read_only_calls, 1);
  EXPECT_EQ(NdsCloseTable(cursor), 0u);  // the cursor belongs to the caller
}

TEST_F(StatementCache, MissingCountIsZeroWithoutOptionsAndAnErrorWithThem) {
  ArmFailpoint("NdsGetRecordCount", NDS_E_NO_COUNT, "no count", 1);
  EXPECT_EQ(Conn().ExecuteStatement("delete from t where id = 9", nullptr, false, nullptr), 0u);
  ArmFailpoint("NdsGetRecordCount", NDS_E_NO_COUNT, "no count", 1);
  const nds::TStmtOptions options{1, 1, 1, 3};
  EXPECT_THROW(Conn().ExecuteStatementWithOptions(options, "delete from t where id = 9", nullptr,
                                                  false, nullptr),
               nds::ENDSDatabaseError);
}

TEST_F(StatementCache, ParametersAreBoundThenTheStatementExecuted) {
  dataset::TParams params(nullptr);
  params.CreateParam(dataset::ftInteger, "id", dataset::ptInput)->SetAsInteger(3);
  params.CreateParam(dataset::ftString, "name", dataset::ptInput)->SetAsString("three");
  EXPECT_EQ(Conn().ExecuteStatement("insert into t values (:id, :name)", &params, true, nullptr),
            1u);
  params.Items(0)->SetAsInteger(4);
  params.Items(1)->SetAsString("four");
  EXPECT_EQ(Conn().ExecuteStatement("insert into t values (:id, :name)", &params, true, nullptr),
            1u);
  EXPECT_EQ(db_.Column("select name from t where id > 2 order by id"),
            (std::vector<std::string>{"three", "four"}));
}

}  // namespace
}  // namespace nds_test
