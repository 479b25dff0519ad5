// Table options on an open cursor: the settings a cursor is opened with (and
// its binding to a database) are refused while it is open, the record cache and the index page size
// follow the open cursor, and the key and filter options change which records a range or a filter
// shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nce::testing::ArmFailpoint;
using nce::testing::DisarmAllFailpoints;
using nce::testing::FailpointHits;
using nce::testing::LiveHandleCount;
using nds_test::MessageOf;
using Ids = std::vector<int>;

class TableOptionsOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table legs (id integer, code char(6), crew integer)");
    db_.Exec(
        "insert into legs values (1, 'B20', 7), (2, 'A10', 7), (3, 'C30', 8), (4, 'A15', 9), "
        "(5, 'B25', 8), (6, 'D40', 9)");
    db_.Exec("create index by_crew_code on legs (crew, code)");
    Live(legs_, "select * from legs");
  }

  void Live(nds::TNdsQuery& query, const std::string& sql) {
    query.SetName("Q");
    query.SetNdsConnection(&db_.Connection());
    nds_test::SetText(query, sql);
    query.SetRequestLive(true);
  }

  Ids Shown(nds::TNdsQuery& query) {
    Ids ids;
    for (query.First(); !query.Eof(); query.Next())
      ids.push_back(query.FieldByName("id")->AsInteger());
    return ids;
  }

  // The records of a range over the index's first segment, crew = 8.
  Ids CrewRange() {
    legs_.SetRangeStart();
    legs_.FieldByName("crew")->SetAsInteger(8);
    legs_.SetRangeEnd();
    legs_.FieldByName("crew")->SetAsInteger(8);
    legs_.Post();
    legs_.ApplyRange();
    Ids ids = Shown(legs_);
    legs_.ClearRange();
    return ids;
  }

  nds_test::QueryDatabase db_;
  nds::TNdsQuery legs_{nullptr};
  nds::TNdsTableOptions& options_ = *legs_.NdsTableOptions();
  nce::testing::FailpointGuard failpoints_;
};

TEST_F(TableOptionsOpen, CursorSettingsAreRefusedWhileOpenAndTheRecordCacheActsAtOnce) {
  // Opening with the standard cache asks the engine for nothing.
  ArmFailpoint("NdsCacheRecords", NDS_E_GENERAL, "no cache");
  legs_.Open();
  EXPECT_EQ(FailpointHits("NdsCacheRecords"), 0);

  const std::string refused = "Q: Table must not be Active.";
  EXPECT_EQ(MessageOf([&] { options_.SetNdsLockType(nds::Compatible); }), refused);
  EXPECT_EQ(MessageOf([&] { options_.SetNdsCharType(nds::OEM); }), refused);
  EXPECT_EQ(MessageOf([&] { options_.SetNdsRightsCheck(false); }), refused);
  try {
    options_.SetNdsLockType(nds::Compatible);
    ADD_FAILURE() << "an open dataset took a lock type";
  } catch (const nds::ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), 5121u);
  }
  EXPECT_EQ(options_.NdsLockType(), nds::Proprietary);
  EXPECT_EQ(options_.NdsCharType(), nds::ANSI);
  EXPECT_TRUE(options_.NdsRightsCheck());
  // So is the binding of the open cursor to its database.
  // (a query's DatabaseName first unbinds its connection, and is refused
  // as that is).
  nds::TNdsConnection other(nullptr);
  EXPECT_EQ(MessageOf([&] { legs_.SetNdsConnection(&other); }), refused);
  EXPECT_EQ(MessageOf([&] { legs_.SetDatabaseName(db_.Dir()); }), refused);
  EXPECT_EQ(MessageOf([&] { legs_.SetSourceTableType(nds::ttNdsCDX); }),
            "Q: Cannot perform this operation on an open dataset");
  EXPECT_EQ(legs_.NdsConnection(), &db_.Connection());
  EXPECT_EQ(legs_.DatabaseName(), "");
  EXPECT_EQ(legs_.SourceTableType(), nds::ttNdsNDT);

  // The cache of the open cursor changes at once; a refusal keeps the old.
  EXPECT_EQ(MessageOf([&] { options_.SetNdsRecordCache(nds::rcAggressive); }), "Q: no cache");
  EXPECT_EQ(FailpointHits("NdsCacheRecords"), 1);
  EXPECT_EQ(options_.NdsRecordCache(), nds::rcStandard);
  DisarmAllFailpoints();
  options_.SetNdsRecordCache(nds::rcNone);
  EXPECT_EQ(options_.NdsRecordCache(), nds::rcNone);

  // Closed, everything is taken; an open whose cache is refused leaves the
  // dataset closed and no engine handle behind.
  legs_.Close();
  options_.SetNdsLockType(nds::Compatible);
  EXPECT_EQ(options_.NdsLockType(), nds::Compatible);
  const std::size_t handles = LiveHandleCount();
  ArmFailpoint("NdsCacheRecords", NDS_E_GENERAL, "no cache");
  EXPECT_EQ(MessageOf([&] { legs_.Open(); }), "Q: no cache");
  EXPECT_FALSE(legs_.Active());
  EXPECT_EQ(LiveHandleCount(), handles);
  legs_.Open();
  EXPECT_EQ(Shown(legs_).size(), 6u);
}

TEST_F(TableOptionsOpen, TheIndexPageSizeIsReadAtEveryOpen) {
  options_.SetNdsIndexPageSize(123);
  legs_.Open();
  const auto pageSize = options_.NdsIndexPageSize();
  EXPECT_GT(pageSize, 0);
  EXPECT_NE(pageSize, 123);
  // An engine that cannot say gives 0 and does not stop the open.
  legs_.Close();
  ArmFailpoint("NdsGetIndexPageSize", NDS_E_GENERAL, "no page size");
  legs_.Open();
  EXPECT_EQ(options_.NdsIndexPageSize(), 0);
  DisarmAllFailpoints();
  // A cursor without an index has none.
  db_.Exec("create table plain (id integer)");
  nds::TNdsQuery plain(nullptr);
  Live(plain, "select * from plain");
  plain.NdsTableOptions()->SetNdsIndexPageSize(pageSize);
  plain.Open();
  EXPECT_EQ(plain.NdsTableOptions()->NdsIndexPageSize(), 0);
}

TEST_F(TableOptionsOpen, KeyAndFilterOptionsDecideWhichRecordsShow) {
  legs_.Open();
  legs_.SetIndexName("by_crew_code");
  // A range given on the first of two key fields: the second is taken as
  // empty, unless the key is built from the fields given.
  EXPECT_EQ(CrewRange(), Ids{});
  options_.SetNdsAutoKeyFieldCount(true);
  EXPECT_EQ(CrewRange(), (Ids{5, 3}));
  legs_.SetIndexName("");

  // A dynamic optimized filter shows a record added after it was set; a
  // keyset filter keeps the records that matched then.
  legs_.SetFilter("crew = 8");
  legs_.SetFiltered(true);
  db_.Exec("insert into legs values (7, 'E50', 8)");
  EXPECT_EQ(Shown(legs_), (Ids{3, 5, 7}));
  legs_.SetFiltered(false);
  options_.SetNdsAOFType(nds::atKeySet);
  options_.SetNdsAOFResolveImmediate(true);
  legs_.SetFiltered(true);
  db_.Exec("insert into legs values (8, 'E60', 8)");
  legs_.Refresh();
  EXPECT_EQ(Shown(legs_), (Ids{3, 5, 7}));

  // An OnFilterRecord handler sees calculated fields only when they are
  // computed before it.
  nds::TNdsQuery doubled(nullptr);
  Live(doubled, "select id from legs");
  for (const char* name : {"id", "twice"}) {
    auto* field = new dataset::TIntegerField(&doubled);
    field->SetFieldName(name);
    if (name == std::string("twice")) field->SetFieldKind(dataset::fkCalculated);
    field->SetDataSet(&doubled);
  }
  doubled.OnCalcFields = [](dataset::TDataSet& ds) {
    ds.FieldByName("twice")->SetAsInteger(ds.FieldByName("id")->AsInteger() * 2);
  };
  doubled.SetOnFilterRecord([](dataset::TDataSet& ds, bool& accept) {
    accept = ds.FieldByName("twice")->AsInteger() > 10;
  });
  doubled.SetFiltered(true);
  doubled.Open();
  EXPECT_EQ(Shown(doubled), Ids{});
  doubled.NdsTableOptions()->SetNdsCalcFieldsBeforeFilter(true);
  EXPECT_EQ(Shown(doubled), (Ids{6, 7, 8}));
  EXPECT_TRUE(doubled.FindFirst());
  EXPECT_EQ(doubled.FieldByName("id")->AsInteger(), 6);
}

}  // namespace
