// TNdsQuery as a component: its SQL text and the parameters rebuilt from
// it, its own table-type rule and the master link refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/params.h"
#include "dataset/strings.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;

void SetText(nds::TNdsQuery& query, const std::vector<std::string>& lines) {
  dataset::TStringList list;
  for (const auto& line : lines) list.Add(line);
  query.SetSQL(&list);
}

std::vector<std::string> ParamNames(const nds::TNdsQuery& query) {
  std::vector<std::string> names;
  for (int i = 0; i < query.ParamCount(); ++i) names.push_back(query.Params()->Items(i)->Name());
  return names;
}

using nds_test::MessageOf;

TEST(QueryComponent, ParametersFollowTheTextOnePerOccurrence) {
  nds::TNdsQuery query(nullptr);
  SetText(query, {"select * from t where a = :a and b = :b", "  or a = :a", "and c in (:x,:y)"});
  EXPECT_EQ(ParamNames(query), (std::vector<std::string>{"a", "b", "a", "x", "y"}));
  // Colons inside quotes and doubled colons are not parameters.
  SetText(query,
          {"select ':no', \"::no\" from t where d = 'x::y' and e = ::z and f = :\"two words\""});
  EXPECT_EQ(ParamNames(query), (std::vector<std::string>{"two words"}));
}

TEST(QueryComponent, NewTextKeepsTheValuesOfParametersOfTheSameName) {
  nds::TNdsQuery query(nullptr);
  SetText(query, {"select * from t where a = :a and b = :b"});
  query.ParamByName("a")->SetAsInteger(7);
  query.ParamByName("b")->SetAsString("bee");
  SetText(query, {"select * from t where b = :b and c = :c"});
  EXPECT_EQ(ParamNames(query), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(query.ParamByName("b")->AsString(), "bee");
  EXPECT_TRUE(query.ParamByName("c")->IsNull());
}

TEST(QueryComponent, EqualTextChangesNothing) {
  nds::TNdsQuery query(nullptr);
  SetText(query, {"select * from t where a = :a"});
  query.ParamByName("a")->SetAsInteger(1);
  dataset::TParam* before = query.Params()->Items(0);
  SetText(query, {"select * from t where a = :a"});
  EXPECT_EQ(query.Params()->Items(0), before);  // not rebuilt
  EXPECT_EQ(query.ParamByName("a")->AsInteger(), 1);
}

TEST(QueryComponent, ParamCheckOffKeepsTheOldParameters) {
  nds::TNdsQuery query(nullptr);
  SetText(query, {"select * from t where a = :a"});
  query.SetParamCheck(false);
  SetText(query, {"select * from t where b = :b and c = :c"});
  EXPECT_EQ(ParamNames(query), std::vector<std::string>{"a"});
}

TEST(QueryComponent, EditingTheListDirectlyRebuildsTheParameters) {
  nds::TNdsQuery query(nullptr);
  query.SQL()->Add("select * from t");
  query.SQL()->Add("where k = :k");
  EXPECT_EQ(ParamNames(query), std::vector<std::string>{"k"});
}

TEST(QueryComponent, TextTheEngineRefusesRaisesForTheQuery) {
  FailpointGuard guard;
  nds::TNdsQuery query(nullptr);
  query.SetName("Q");
  ArmFailpoint("NdsGetSQLStmtParams", 5000, "text refused");
  EXPECT_EQ(MessageOf([&] { SetText(query, {"select 1"}); }), "Q: text refused");
  // The list was updated and is not left locked.
  EXPECT_EQ(query.SQL()->Count(), 1);
  EXPECT_EQ(query.SQL()->UpdateCount(), 0);
}

TEST(QueryComponent, ParamsSetterCopiesValuesOnly) {
  nds::TNdsQuery query(nullptr);
  SetText(query, {"select * from t where a = :a"});
  dataset::TParams values(nullptr);
  values.CreateParam(dataset::ftInteger, "a", dataset::ptInput)->SetAsInteger(5);
  values.CreateParam(dataset::ftInteger, "z", dataset::ptInput)->SetAsInteger(6);
  query.SetParams(&values);
  EXPECT_EQ(ParamNames(query), std::vector<std::string>{"a"});
  EXPECT_EQ(query.ParamByName("a")->AsInteger(), 5);
}

TEST(QueryComponent, NtxNeedsADataDictionaryConnection) {
  nds::TNdsQuery query(nullptr);
  EXPECT_EQ(MessageOf([&] { query.SetSourceTableType(nds::ttNdsNTX); }),
            "The TNdsQuery component does not support the NTX table type");
  EXPECT_EQ(query.SourceTableType(), nds::ttNdsNDT);

  nds::TNdsConnection dictionary(nullptr);
  dictionary.SetConnectPath("/srv/app.NDD");
  query.SetNdsConnection(&dictionary);
  query.SetSourceTableType(nds::ttNdsNTX);
  EXPECT_EQ(query.SourceTableType(), nds::ttNdsNTX);
  EXPECT_EQ(query.TableTypeCode(), 1);
  query.SetNdsConnection(nullptr);
}

TEST(QueryComponent, DataSourceOfTheQueryItselfIsACircularLink) {
  nds::TNdsQuery query(nullptr);
  query.SetName("Q");
  dataset::TDataSource own(nullptr);
  own.SetDataSet(&query);
  EXPECT_EQ(MessageOf([&] { query.SetDataSource(&own); }), "Q: Circular Data Link");
  EXPECT_EQ(query.QueryDataSource(), nullptr);

  nds::TNdsQuery master(nullptr);
  dataset::TDataSource source(nullptr);
  source.SetDataSet(&master);
  query.SetDataSource(&source);
  EXPECT_EQ(query.QueryDataSource(), &source);
  // The master now depends on nothing, but making it depend on the query
  // would close a circle.
  dataset::TDataSource detailSource(nullptr);
  detailSource.SetDataSet(&query);
  EXPECT_EQ(MessageOf([&] { master.SetDataSource(&detailSource); }), "Circular Data Link");
  query.SetDataSource(nullptr);
}

TEST(QueryComponent, MasterSourceRefusesACircleAndNoneClearsTheFields) {
  nds::TNdsQuery detail(nullptr);
  detail.SetName("Detail");
  dataset::TDataSource own(nullptr);
  own.SetDataSet(&detail);
  EXPECT_EQ(MessageOf([&] { detail.SetMasterSource(&own); }), "Detail: Circular Data Link");

  nds::TNdsQuery master(nullptr);
  dataset::TDataSource source(nullptr);
  source.SetDataSet(&master);
  detail.SetMasterSource(&source);
  detail.SetMasterFields("id;name");
  EXPECT_EQ(detail.MasterSource(), &source);
  EXPECT_EQ(detail.MasterFields(), "id;name");
  detail.SetMasterSource(nullptr);
  EXPECT_EQ(detail.MasterFields(), "");
}

}  // namespace
}  // namespace nds_test
