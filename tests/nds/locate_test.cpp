// Locate and Lookup on a cursor dataset: seeks on a usable index, temporary
// filters that leave nothing behind, record-by-record scans under the user's
// own filters, partial and case-insensitive keys, and searches that find
// nothing or are refused without moving.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dataset/datetime.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using dataset::TLocateOptions;
using dataset::Variant;
using nds_test::MessageOf;
using nds_test::QueryDatabase;

int Id(nds::TNdsDataSet& set) {
  return set.FieldByName("id")->AsInteger();
}

bool EngineHolds(nds::TNdsDataSet& set, bool optimized) {
  std::uint16_t length = 0;
  const NDSRESULT rc = optimized ? NdsGetAOF(set.TableHandle(), nullptr, &length)
                                 : NdsGetFilter(set.TableHandle(), nullptr, &length);
  return rc != NDS_E_NO_FILTER;
}

class Locating : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "create table parts (id integer, code char(20), city char(10), fare numeric(8,2), "
        "due date, note char(20))");
    db_.Exec(
        "insert into parts values (1, 'BOLT-12', 'Oslo', 12.50, '2024-03-01', 'say \"hi\"'),"
        " (2, 'ANCHOR', 'Bern', 7.25, '2024-01-15', 'plain'),"
        " (3, 'BOLT-10', 'oslo', 3.00, '2023-12-31', 'it''s'),"
        " (4, 'CABLE', 'Rome', 12.50, NULL, 'plain')");
    db_.Exec("create index by_code on parts (code)");
    db_.Exec("create index by_city_fare on parts (city, fare)");
    parts_.SetName("P");
    parts_.SetNdsConnection(&db_.Connection());
    nds_test::SetText(parts_, "select * from parts");
    parts_.SetRequestLive(true);
    parts_.Open();
  }

  // Locates and answers the id of the current record afterwards, 0 when
  // nothing was found (the record then must not have moved).
  int Find(const std::string& fields, const Variant& values, TLocateOptions options = {}) {
    const int before = Id(parts_);
    if (parts_.Locate(fields, values, options)) return Id(parts_);
    EXPECT_EQ(Id(parts_), before);
    parts_.Next();  // the engine cursor stood where the dataset left it
    if (!parts_.Eof()) parts_.Prior();
    EXPECT_EQ(Id(parts_), before);
    return 0;
  }

  QueryDatabase db_;
  nds::TNdsQuery parts_{nullptr};
};

TEST_F(Locating, SeeksAndTemporaryFiltersFindRecordsAndLeaveNothingBehind) {
  EXPECT_EQ(Find("code", Variant("BOLT-10")), 3);  // a seek on by_code
  EXPECT_EQ(Find("code", Variant("BOLT")), 0);
  EXPECT_EQ(Find("code", Variant("BOLT"), TLocateOptions{dataset::loPartialKey}), 3);
  EXPECT_EQ(Find("fare;city", Variant(std::vector<Variant>{Variant(12.5), Variant("Rome")})), 4);
  // Fields no index leads: a temporary optimized filter, gone afterwards.
  EXPECT_EQ(Find("note", Variant("say \"hi\"")), 1);
  EXPECT_EQ(Find("note", Variant("it's")), 3);
  EXPECT_EQ(Find("fare", Variant(7.25)), 2);
  EXPECT_EQ(Find("due", Variant::Date(dataset::EncodeDate(2023, 12, 31))), 3);
  EXPECT_EQ(Find("due", Variant::Null()), 4);
  EXPECT_EQ(Find("note", Variant("nowhere")), 0);
  EXPECT_FALSE(EngineHolds(parts_, true));
  EXPECT_FALSE(EngineHolds(parts_, false));
  // Case-insensitive never seeks: both spellings of Oslo match, the first
  // in the walk's order wins.
  parts_.SetIndexName("by_code");
  EXPECT_EQ(Find("city", Variant("OSLO"), TLocateOptions{dataset::loCaseInsensitive}), 3);
  EXPECT_EQ(Find("city", Variant("OSLO")), 0);
}

TEST_F(Locating, UserFiltersStayInPlaceAndNarrowTheSearch) {
  parts_.SetFilter("fare > 5");
  parts_.SetFiltered(true);
  EXPECT_EQ(Find("note", Variant("it's")), 0);     // filtered away
  EXPECT_EQ(Find("code", Variant("BOLT-10")), 0);  // a seek too
  EXPECT_EQ(Find("code", Variant("BOLT-12")), 1);
  EXPECT_EQ(Find("note", Variant("plain")), 2);
  ASSERT_EQ(NdsSetFilter(parts_.TableHandle(), "city <> 'Bern'"), NDS_SUCCESS);
  // With both kinds set the search walks record by record.
  EXPECT_EQ(Find("note", Variant("plain")), 4);
  EXPECT_TRUE(EngineHolds(parts_, true));
  EXPECT_TRUE(EngineHolds(parts_, false));
}

TEST_F(Locating, LookupsAnswerWithoutMovingAndBadValuesAreRefused) {
  parts_.Next();
  ASSERT_EQ(Id(parts_), 2);
  EXPECT_EQ(parts_.Lookup("code", Variant("CABLE"), "city").AsString(), "Rome");
  const Variant both = parts_.Lookup("note", Variant("plain"), "id;city");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both[0].AsInteger(), 2);
  EXPECT_EQ(both[1].AsString(), "Bern");
  EXPECT_TRUE(parts_.Lookup("code", Variant("NONE"), "id").IsNull());
  EXPECT_TRUE(parts_.Lookup("code", Variant::Null(), "id").IsNull());
  EXPECT_EQ(Id(parts_), 2);
  parts_.Next();
  EXPECT_EQ(Id(parts_), 3);

  EXPECT_EQ(MessageOf([&] { parts_.Locate("city;fare", Variant("Oslo"), {}); }),
            "Expected one search value for each search field");
  EXPECT_NE(MessageOf([&] { parts_.Locate("id", Variant("abc"), {}); }), "(nothing raised)");
  EXPECT_NE(MessageOf([&] { parts_.Locate("nosuch", Variant(1), {}); }), "(nothing raised)");
  EXPECT_EQ(Id(parts_), 3);
  parts_.Next();
  EXPECT_EQ(Id(parts_), 4);
}

TEST_F(Locating, ALookupAnswersNothingForARecordTheDataSetHides) {
  parts_.SetIndexName("by_code");
  parts_.SetScopeBegin("B");
  parts_.SetScopeEnd("BZ");
  parts_.SetScoped(true);
  EXPECT_EQ(parts_.Lookup("code", Variant("BOLT-10"), "city").AsString(), "oslo");
  EXPECT_TRUE(parts_.Lookup("code", Variant("CABLE"), "city").IsNull());
  parts_.SetScoped(false);
  // A filter event that shows each record once: the search sees the record,
  // the reading of its values no longer does.
  std::set<int> shown;
  parts_.SetOnFilterRecord([&shown](dataset::TDataSet& set, bool& accept) {
    accept = shown.insert(set.FieldByName("id")->AsInteger()).second;
  });
  parts_.SetFiltered(true);
  EXPECT_TRUE(parts_.Lookup("code", Variant("CABLE"), "city").IsNull());
  EXPECT_TRUE(parts_.Lookup("code", Variant("ANCHOR"), "id;city").IsNull());
}

TEST_F(Locating, AFailingSearchRemovesItsFilterAndStaysOnTheRecord) {
  nce::testing::FailpointGuard guard;
  parts_.Next();
  // A seek never needs a temporary filter.
  nce::testing::ArmFailpoint("NdsSetAOF", NDS_E_GENERAL, "no filters today", 5);
  EXPECT_EQ(Find("code", Variant("CABLE")), 4);
  EXPECT_EQ(nce::testing::FailpointHits("NdsSetAOF"), 0);
  EXPECT_EQ(MessageOf([&] { parts_.Locate("note", Variant("plain"), {}); }), "P: no filters today");
  nce::testing::DisarmAllFailpoints();
  // The temporary filter was set, then the walk failed: it goes again.
  nce::testing::ArmFailpoint("NdsGotoTop", NDS_E_GENERAL, "lost the top");
  EXPECT_EQ(MessageOf([&] { parts_.Locate("note", Variant("nowhere"), {}); }), "P: lost the top");
  EXPECT_FALSE(EngineHolds(parts_, true));
  std::uint16_t exact = 9;
  ASSERT_EQ(NdsGetExact22(parts_.TableHandle(), &exact), NDS_SUCCESS);
  EXPECT_EQ(exact, 0);
  EXPECT_EQ(Id(parts_), 4);
  parts_.Prior();
  EXPECT_EQ(Id(parts_), 3);
}

}  // namespace
