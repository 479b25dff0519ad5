// Narrowing a cursor dataset: filter texts on the engine (optimized and
// classic), the find-record hook, scopes and ranges with their refusals, and
// a detail dataset following its master through a range.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;

std::vector<int> Ids(nds::TNdsDataSet& set) {
  std::vector<int> ids;
  for (set.First(); !set.Eof(); set.Next()) ids.push_back(set.FieldByName("id")->AsInteger());
  return ids;
}

int Id(nds::TNdsDataSet& set) {
  return set.FieldByName("id")->AsInteger();
}

// What the engine holds on the cursor: "aof", "filter", both or none.
std::string EngineFilters(nds::TNdsDataSet& set) {
  std::uint16_t length = 0;
  std::string held;
  if (NdsGetAOF(set.TableHandle(), nullptr, &length) != NDS_E_NO_FILTER) held += "aof";
  if (NdsGetFilter(set.TableHandle(), nullptr, &length) != NDS_E_NO_FILTER) held += "filter";
  return held;
}

class Narrowing : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table legs (id integer, code char(6), city char(10), crew integer)");
    db_.Exec(
        "insert into legs values (1, 'B20', 'Oslo', 7), (2, 'A10', 'Bern', 7), (3, 'C30', 'Oslo', "
        "8),"
        " (4, 'A15', 'Rome', 9), (5, 'B25', 'Bern', 8), (6, 'D40', 'Oslo', 9)");
    db_.Exec("create index by_code on legs (code)");
    db_.Exec("create index by_crew_code on legs (crew, code)");
    legs_.SetName("Q");
    Live(legs_, "select * from legs");
  }

  void Live(nds::TNdsQuery& query, const std::string& sql) {
    query.SetNdsConnection(&db_.Connection());
    nds_test::SetText(query, sql);
    query.SetRequestLive(true);
  }

  QueryDatabase db_;
  nds::TNdsQuery legs_{nullptr};
};

TEST_F(Narrowing, FilterTextsReachTheEngineAndARefusedOneKeepsTheOldFilter) {
  legs_.SetFilter("city = 'Oslo'");
  legs_.SetFiltered(true);
  legs_.Open();
  EXPECT_EQ(Ids(legs_), (std::vector<int>{1, 3, 6}));
  EXPECT_EQ(EngineFilters(legs_), "aof");
  legs_.First();
  legs_.Next();
  // The engine names the position of the fault; nothing else changes.
  EXPECT_NE(MessageOf([&] { legs_.SetFilter("city = "); }).find("position"), std::string::npos);
  EXPECT_EQ(legs_.Filter(), "city = 'Oslo'");
  EXPECT_EQ(Id(legs_), 3);
  EXPECT_EQ(Ids(legs_), (std::vector<int>{1, 3, 6}));
  // A literal ending in "*" is a prefix; '*' alone is matched as it stands.
  legs_.SetFilter("code = 'A*'");
  EXPECT_EQ(Ids(legs_), (std::vector<int>{2, 4}));
  legs_.SetFilter("code = '*'");
  EXPECT_TRUE(Ids(legs_).empty());
  // Switching to classic filters hands the filter over in the new kind.
  legs_.SetFilter("crew = 8");
  legs_.NdsTableOptions()->SetNdsOptimizedFilters(false);
  EXPECT_EQ(EngineFilters(legs_), "filter");
  EXPECT_EQ(Ids(legs_), (std::vector<int>{3, 5}));
  legs_.SetFilter("");
  EXPECT_EQ(EngineFilters(legs_), "");
  EXPECT_EQ(Ids(legs_).size(), 6u);
  // A filter the engine cannot take in the new kind stays in the old one.
  {
    nce::testing::FailpointGuard guard;
    nce::testing::ArmFailpoint("NdsSetAOF", NDS_E_GENERAL, "no optimized filters");
    legs_.SetFilter("crew = 7");
    EXPECT_EQ(MessageOf([&] { legs_.NdsTableOptions()->SetNdsOptimizedFilters(true); }),
              "Q: no optimized filters");
  }
  EXPECT_FALSE(legs_.NdsTableOptions()->NdsOptimizedFilters());
  EXPECT_EQ(EngineFilters(legs_), "filter");
  EXPECT_EQ(Ids(legs_), (std::vector<int>{1, 2}));
  legs_.SetFilter("crew = 9");
  legs_.SetFiltered(false);
  EXPECT_EQ(EngineFilters(legs_), "");
  EXPECT_EQ(Ids(legs_).size(), 6u);
}

TEST_F(Narrowing, FindRecordSearchesWithTheFilterTextWhileFilteredIsOff) {
  legs_.Open();
  legs_.SetFilter("city = 'Bern'");
  EXPECT_EQ(EngineFilters(legs_), "");
  ASSERT_TRUE(legs_.FindFirst());
  EXPECT_EQ(Id(legs_), 2);
  ASSERT_TRUE(legs_.FindNext());
  EXPECT_EQ(Id(legs_), 5);
  EXPECT_FALSE(legs_.FindNext());
  EXPECT_EQ(Id(legs_), 5);
  ASSERT_TRUE(legs_.FindLast());
  EXPECT_EQ(Id(legs_), 5);
  // Nothing is left on the engine; every record still shows.
  EXPECT_EQ(EngineFilters(legs_), "");
  EXPECT_EQ(Ids(legs_).size(), 6u);
}

TEST_F(Narrowing, ScopesAndRangesCombineWithFiltersAndExcludeEachOther) {
  legs_.Open();
  EXPECT_EQ(MessageOf([&] { legs_.SetScoped(true); }),
            "Q: Cannot activate scope when there is no active index.");
  EXPECT_FALSE(legs_.Scoped());
  EXPECT_NE(MessageOf([&] {
              legs_.SetScopeBegin(std::string(4083, 'A'));
            }).find("Scope text length exceeded 4082"),
            std::string::npos);
  legs_.SetRangeStart();
  legs_.Post();
  EXPECT_EQ(MessageOf([&] { legs_.ApplyRange(); }),
            "Q: Cannot set range on table when there is no active index.");
  legs_.SetIndexName("by_code");
  legs_.SetScopeBegin("A15");
  legs_.SetScopeEnd("C");
  legs_.Last();
  legs_.Prior();  // C30 .. the record before it
  const int before = Id(legs_);
  legs_.SetScoped(true);
  EXPECT_EQ(Id(legs_), before);  // inside the scope: it stays current
  EXPECT_EQ(Ids(legs_), (std::vector<int>{4, 1, 5, 3}));
  legs_.SetFilter("city <> 'Oslo'");
  legs_.SetFiltered(true);
  EXPECT_EQ(Ids(legs_), (std::vector<int>{4, 5}));
  legs_.SetRangeStart();
  legs_.FieldByName("code")->SetAsString("B");
  legs_.Post();
  EXPECT_EQ(MessageOf([&] { legs_.ApplyRange(); }),
            "Q: Cannot set range on table when there is an active scope.");
  legs_.SetFiltered(false);
  legs_.Next();
  legs_.Next();
  legs_.SetScoped(false);
  EXPECT_EQ(Id(legs_), 5);  // the same record, now among all of them
  EXPECT_EQ(Ids(legs_).size(), 6u);

  // The range: from "B" on, with the filter; then the scope is refused.
  ASSERT_TRUE(legs_.ApplyRange());
  EXPECT_FALSE(legs_.ApplyRange());
  legs_.SetFiltered(true);
  EXPECT_EQ(Ids(legs_), (std::vector<int>{5}));
  EXPECT_EQ(MessageOf([&] { legs_.SetScoped(true); }),
            "Q: Cannot activate scope when there is an active range.");
  EXPECT_FALSE(legs_.Scoped());
  EXPECT_EQ(Ids(legs_), (std::vector<int>{5}));
  legs_.SetFiltered(false);
  legs_.SetRangeEnd();
  legs_.FieldByName("code")->SetAsString("C30");
  legs_.Post();
  ASSERT_TRUE(legs_.ApplyRange());
  EXPECT_EQ(Ids(legs_), (std::vector<int>{1, 5, 3}));
  ASSERT_TRUE(legs_.ClearRange());
  EXPECT_FALSE(legs_.ClearRange());
  EXPECT_EQ(Ids(legs_).size(), 6u);
}

TEST_F(Narrowing, DetailFollowsItsMasterByRange) {
  nds::TNdsQuery crews{nullptr};
  Live(crews, "select * from legs");
  crews.SetIndexName("by_code");
  dataset::TDataSource source{nullptr};
  source.SetDataSet(&crews);
  legs_.SetIndexName("by_crew_code");
  legs_.SetMasterSource(&source);
  legs_.SetMasterFields("crew");
  crews.Open();
  legs_.Open();
  // crews' first record in code order is A10, crew 7.
  EXPECT_EQ(Ids(legs_), (std::vector<int>{2, 1}));
  crews.Next();  // A15, crew 9
  EXPECT_EQ(Ids(legs_), (std::vector<int>{4, 6}));
  crews.Last();  // D40, crew 9 again: the same range stays
  EXPECT_EQ(Ids(legs_), (std::vector<int>{4, 6}));
  crews.Prior();  // C30, crew 8
  legs_.Last();
  EXPECT_EQ(Id(legs_), 3);
  // A closed master lifts the range.
  crews.Close();
  EXPECT_EQ(Ids(legs_).size(), 6u);
}

}  // namespace
