// Provider support: statements and transactions through the connection,
// updates applied by OnUpdateRecord, results opened on a statement's
// cursor, and the query's text, parameters, table and order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/params.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nds_test::MessageOf;
using nds_test::SetText;
using Names = std::vector<std::string>;

class ProviderSupport : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table t (id integer, name char(8))");
    db_.Exec("insert into t values (1, 'one'), (2, 'two')");
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
  }
  Names Stored() { return db_.Column("select name from t order by id"); }

  nds_test::QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
};

TEST_F(ProviderSupport, WithoutAConnectionTransactionsDoNothingAndStatementsAreRefused) {
  nds::TNdsQuery lone(nullptr);
  lone.ProviderStartTransaction();
  lone.ProviderEndTransaction(true);
  EXPECT_FALSE(lone.ProviderInTransaction());
  EXPECT_EQ(MessageOf([&] { lone.ProviderExecuteStatement("delete from t", nullptr, nullptr); }),
            "A TNdsConnection component is required for TClientDataSet/IProvider support. Use "
            "either the NdsConnection  property or the Database property to specify a "
            "TNdsConnection instance.");
  EXPECT_FALSE(query_.ProviderInTransaction());  // connection closed: asks nothing
  EXPECT_EQ(Stored(), (Names{"one", "two"}));
}

TEST_F(ProviderSupport,
       UpdatesThroughOnUpdateRecordAndStatementsAreUndoneOrKeptWithTheTransaction) {
  db_.Exec("create table delta (id integer, name char(8))");
  db_.Exec("insert into delta values (2, 'zwei')");
  nds::TNdsQuery delta(nullptr);
  delta.SetNdsConnection(&db_.Connection());
  SetText(delta, "select * from delta");
  delta.Open();
  EXPECT_FALSE(query_.ProviderUpdateRecord(dataset::ukModify, delta));  // no handler
  query_.OnUpdateRecord = [](dataset::TDataSet&, dataset::TUpdateKind, dataset::TUpdateAction&) {};
  EXPECT_FALSE(query_.ProviderUpdateRecord(dataset::ukModify, delta));
  query_.OnUpdateRecord = [&](dataset::TDataSet& d, dataset::TUpdateKind kind,
                              dataset::TUpdateAction& action) {
    EXPECT_EQ(action, dataset::uaFail);
    const char* sql[] = {"update t set name = ? where id = ?", "insert into t values (? + 10, ?)",
                         "delete from t where id = ?"};
    const std::vector<Names> fields = {{"name", "id"}, {"id", "name"}, {"id"}};
    dataset::TParams params(nullptr);  // bound by position
    for (const std::string& name : fields[kind])
      params.CreateParam(dataset::ftString, name, dataset::ptInput)
          ->SetAsString(d.FieldByName(name)->AsString());
    if (query_.ProviderExecuteStatement(sql[kind], &params, nullptr) == 1)
      action = dataset::uaApplied;
  };
  db_.Connection().Connect();
  for (bool commit : {false, true}) {
    query_.ProviderStartTransaction();
    EXPECT_TRUE(query_.ProviderInTransaction());
    EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukModify, delta));
    EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukInsert, delta));
    EXPECT_EQ(query_.ProviderExecuteStatement("delete from t where id = 1", nullptr, nullptr), 1);
    EXPECT_EQ(db_.Connection().CachedStatementCount(), 3);
    query_.ProviderEndTransaction(commit);
    EXPECT_FALSE(query_.ProviderInTransaction());
    EXPECT_EQ(db_.Connection().CachedStatementCount(), 0);
    EXPECT_EQ(Stored(), (commit ? Names{"zwei", "zwei"} : Names{"one", "two"}));
  }
  EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukDelete, delta));
  EXPECT_FALSE(query_.ProviderUpdateRecord(dataset::ukDelete, delta));  // nothing left to delete
}

TEST_F(ProviderSupport, TheSameStatementTwiceIsPreparedOnceAndEachResultOpensOnItsCursor) {
  std::unique_ptr<dataset::TDataSet> first, second, none;
  EXPECT_EQ(query_.ProviderExecuteStatement("select name from t where id > 1", nullptr, &first), 0);
  EXPECT_EQ(query_.ProviderExecuteStatement("select name from t where id > 1", nullptr, &second),
            0);
  EXPECT_EQ(db_.Connection().CachedStatementCount(), 1);
  for (dataset::TDataSet* result : {first.get(), second.get()}) {
    ASSERT_TRUE(dynamic_cast<nds::TNdsQuery*>(result) && result->Active());
    EXPECT_EQ(result->RecordCount(), 1);
    EXPECT_EQ(result->FieldByName("name")->AsString(), "two");
  }
  query_.ProviderExecuteStatement("delete from t where id = 1", nullptr, &none);
  EXPECT_FALSE(none->Active());  // no rows, no cursor
  EXPECT_EQ(Stored(), (Names{"two"}));
}

TEST_F(ProviderSupport, TheQuerysTextParametersTableAndOrderAsAProviderSeesThem) {
  SetText(query_, "select id, name from t where id > :low order by name desc, 1");
  query_.ParamByName("low")->SetAsInteger(0);
  query_.ProviderSetCommandText("");
  EXPECT_EQ(query_.ProviderParams()->Items(0)->AsInteger(), 0);
  EXPECT_EQ(query_.ProviderTableName(), "t");
  query_.Open();
  std::unique_ptr<dataset::TIndexDef> order = query_.ProviderDefaultOrder();
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->Fields() + " desc " + order->DescFields(), "name;id desc name");
  query_.Last();
  query_.ProviderReset();  // the cursor goes back to the first record
  std::uint32_t record = 0;
  ASSERT_EQ(NdsGetRecordNum(query_.TableHandle(), NDS_IGNOREFILTERS, &record), 0u);
  EXPECT_EQ(record, 1u);

  dataset::TParams none(nullptr), given(nullptr);
  query_.ProviderSetParams(none);
  EXPECT_FALSE(query_.Active());
  EXPECT_EQ(query_.ParamByName("low")->AsInteger(), 0);
  given.CreateParam(dataset::ftInteger, "limit", dataset::ptInput)->SetAsInteger(7);
  query_.ProviderSetParams(given);
  ASSERT_EQ(query_.ParamCount(), 1);
  EXPECT_EQ(query_.ParamByName("limit")->AsInteger(), 7);

  query_.ProviderSetCommandText("select * from archive.acftlog join t on 1 = 1");
  EXPECT_EQ(query_.ProviderTableName(), "archive.acftlog");
  EXPECT_EQ(query_.ProviderDefaultOrder(), nullptr);
  query_.ProviderSetCommandText("insert into t values (5, 'five')");
  query_.ProviderExecute();
  EXPECT_EQ(Stored().back(), "five");
}

}  // namespace
