// Provider support of the cursor dataset and the query: transactions and
// statements through the connection, updates applied by OnUpdateRecord, a
// result opened on a statement's cursor, and the query's text, parameters,
// table name and default order as a provider reads and sets them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/params.h"
#include "dataset/strings.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;
using nds_test::SetText;

class ProviderSupport : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table t (id integer, name char(8))");
    db_.Exec("insert into t values (1, 'one'), (2, 'two')");
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
  }

  std::vector<std::string> Names() { return db_.Column("select name from t order by id"); }

  QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
};

TEST_F(ProviderSupport, WithoutAConnectionTransactionsDoNothingAndStatementsAreRefused) {
  nds::TNdsQuery lone(nullptr);
  lone.SetName("Lone");
  lone.ProviderStartTransaction();
  lone.ProviderEndTransaction(true);
  lone.ProviderEndTransaction(false);
  EXPECT_FALSE(lone.ProviderInTransaction());
  EXPECT_EQ(MessageOf([&] { lone.ProviderExecuteStatement("delete from t", nullptr, nullptr); }),
            "Lone: A TNdsConnection component is required for TClientDataSet/IProvider support. "
            "Use either the NdsConnection  property or the Database property to specify a "
            "TNdsConnection instance.");
  EXPECT_EQ(lone.ProviderQuoteChar(), "\"");
  EXPECT_TRUE(lone.ProviderIsSQLBased() && lone.ProviderIsSQLSupported());
  EXPECT_EQ(Names(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(ProviderSupport, StatementsInsideTheProvidersTransactionAreUndoneOrKept) {
  EXPECT_FALSE(query_.ProviderInTransaction());  // connection closed: no question asked
  db_.Connection().Connect();
  dataset::TParams params(nullptr);
  params.CreateParam(dataset::ftString, "n", dataset::ptInput)->SetAsString("three");
  for (bool commit : {false, true}) {
    query_.ProviderStartTransaction();
    EXPECT_TRUE(query_.ProviderInTransaction());
    EXPECT_EQ(query_.ProviderExecuteStatement("insert into t values (3, :n)", &params, nullptr), 1);
    EXPECT_EQ(query_.ProviderExecuteStatement("update t set name = 'uno' where id = 1", nullptr,
                                              nullptr),
              1);
    EXPECT_EQ(query_.ProviderExecuteStatement("delete from t where id = 2", nullptr, nullptr), 1);
    EXPECT_EQ(db_.Connection().CachedStatementCount(), 3);
    query_.ProviderEndTransaction(commit);
    EXPECT_FALSE(query_.ProviderInTransaction());
    EXPECT_EQ(db_.Connection().CachedStatementCount(), 0);  // flushed by the end
    EXPECT_EQ(Names(), commit ? (std::vector<std::string>{"uno", "three"})
                              : (std::vector<std::string>{"one", "two"}));
  }
}

TEST_F(ProviderSupport, TheSameStatementTwiceIsPreparedOnceAndAResultOpensOnItsCursor) {
  std::unique_ptr<dataset::TDataSet> first, second;
  const std::string select = "select name from t where id > 1";
  EXPECT_EQ(query_.ProviderExecuteStatement(select, nullptr, &first), 0);
  EXPECT_EQ(query_.ProviderExecuteStatement(select, nullptr, &second), 0);
  ASSERT_EQ(db_.Connection().CachedStatementCount(), 1);
  for (auto* result : {first.get(), second.get()}) {
    ASSERT_NE(dynamic_cast<nds::TNdsQuery*>(result), nullptr);
    ASSERT_TRUE(result->Active());
    EXPECT_EQ(result->RecordCount(), 1);
    EXPECT_EQ(result->FieldByName("name")->AsString(), "two");
  }
  // A statement without rows leaves its result closed.
  std::unique_ptr<dataset::TDataSet> none;
  EXPECT_EQ(query_.ProviderExecuteStatement("delete from t where id = 1", nullptr, &none), 0);
  ASSERT_NE(none, nullptr);
  EXPECT_FALSE(none->Active());
  EXPECT_EQ(Names(), (std::vector<std::string>{"two"}));
}

TEST_F(ProviderSupport, OnUpdateRecordAppliesUpdatesThroughStatementsAndDecidesTheAnswer) {
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
    // Parameters bind by position: each statement gets its own list.
    const char* sql[] = {"update t set name = :name where id = :id",
                         "insert into t values (:id + 10, :name)", "delete from t where id = :id"};
    const std::vector<std::vector<std::string>> fields = {{"name", "id"}, {"id", "name"}, {"id"}};
    dataset::TParams params(nullptr);
    for (const std::string& name : fields[kind])
      params.CreateParam(dataset::ftString, name, dataset::ptInput)
          ->SetAsString(d.FieldByName(name)->AsString());
    if (query_.ProviderExecuteStatement(sql[kind], &params, nullptr) == 1)
      action = dataset::uaApplied;
  };
  db_.Connection().Connect();
  query_.ProviderStartTransaction();
  EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukModify, delta));
  EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukInsert, delta));
  EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukDelete, delta));
  query_.ProviderEndTransaction(false);
  EXPECT_EQ(Names(), (std::vector<std::string>{"one", "two"}));

  query_.ProviderStartTransaction();
  EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukModify, delta));
  EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukInsert, delta));
  query_.ProviderEndTransaction(true);
  EXPECT_EQ(Names(), (std::vector<std::string>{"one", "zwei", "zwei"}));
  EXPECT_TRUE(query_.ProviderUpdateRecord(dataset::ukDelete, delta));
  // The record is gone: the handler's statement changes nothing.
  EXPECT_FALSE(query_.ProviderUpdateRecord(dataset::ukDelete, delta));
  EXPECT_EQ(Names(), (std::vector<std::string>{"one", "zwei"}));
}

TEST_F(ProviderSupport, TheQuerysTextParametersTableAndOrderAsAProviderSeesThem) {
  SetText(query_, "select id, name from t where id > :low\n order by name desc, 1");
  query_.ParamByName("low")->SetAsInteger(0);
  query_.ProviderSetCommandText("");
  EXPECT_EQ(query_.SQLText(), "select id, name from t where id > :low\r\n order by name desc, 1\r\n");
  EXPECT_EQ(query_.ProviderParams(), query_.Params());
  EXPECT_EQ(query_.ProviderTableName(), "t");

  query_.Open();
  std::unique_ptr<dataset::TIndexDef> order = query_.ProviderDefaultOrder();
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->Fields(), "name;id");
  EXPECT_EQ(order->DescFields(), "name");

  // The cursor goes back to the first record it walks.
  query_.Last();
  query_.ProviderReset();
  std::uint32_t record = 0;
  ASSERT_EQ(NdsGetRecordNum(query_.TableHandle(), NDS_IGNOREFILTERS, &record), 0u);
  EXPECT_EQ(record, 1u);

  dataset::TParams none(nullptr);
  query_.ProviderSetParams(none);
  EXPECT_FALSE(query_.Active());
  EXPECT_EQ(query_.ParamByName("low")->AsInteger(), 0);
  dataset::TParams given(nullptr);
  given.CreateParam(dataset::ftInteger, "limit", dataset::ptInput)->SetAsInteger(7);
  query_.Open();
  query_.ProviderSetParams(given);
  EXPECT_FALSE(query_.Active());
  ASSERT_EQ(query_.ParamCount(), 1);
  EXPECT_EQ(query_.ParamByName("limit")->AsInteger(), 7);

  query_.ProviderSetCommandText("select * from archive.acftlog join t on 1 = 1");
  EXPECT_EQ(query_.ProviderTableName(), "archive.acftlog");
  EXPECT_EQ(query_.ProviderDefaultOrder(), nullptr);
  query_.ProviderSetCommandText("insert into t values (5, 'five')");
  query_.ProviderExecute();
  EXPECT_EQ(Names().back(), "five");
}

}  // namespace
