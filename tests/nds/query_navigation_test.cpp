// Walking a query's records: both ends, records removed while the cursor is
// open, bookmarks, record numbers and counts of live and static cursors,
// OnFilterRecord, and the refusals that keep the dataset usable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/strings.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;

constexpr const char kClosed[] = "Cannot perform this operation on a closed dataset";

using nds_test::SetText;

class QueryNavigation : public ::testing::Test {
 protected:
  static constexpr int kRows = 1500;

  void SetUp() override {
    db_.Exec("create table t (id integer, name char(10))");
    db_.Exec("with recursive c(x) as (select 1 union all select x + 1 from c where x < " +
             std::to_string(kRows) + ") insert into t select x, 'n' || x from c");
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
    SetText(query_, "select * from t");
  }

  int Id() { return query_.FieldByName("id")->AsInteger(); }

  // The ids of a walk from the first record to the end.
  std::vector<int> WalkForward() {
    std::vector<int> ids;
    for (query_.First(); !query_.Eof(); query_.Next()) ids.push_back(Id());
    return ids;
  }

  QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
};

TEST_F(QueryNavigation, WalksBothWaysOverEveryRecordOfLiveAndStaticCursors) {
  for (bool live : {false, true}) {
    query_.SetRequestLive(live);
    query_.Open();
    const std::vector<int> forward = WalkForward();
    ASSERT_EQ(static_cast<int>(forward.size()), kRows) << "live " << live;
    for (int i = 0; i < kRows; ++i) ASSERT_EQ(forward[i], i + 1) << "live " << live;
    // Beyond the end nothing moves.
    query_.Next();
    EXPECT_TRUE(query_.Eof());
    EXPECT_EQ(Id(), kRows);

    int expected = kRows;
    for (query_.Last(); !query_.Bof(); query_.Prior()) ASSERT_EQ(Id(), expected--);
    EXPECT_EQ(expected, 0);
    EXPECT_EQ(query_.MoveBy(-5), 0);
    EXPECT_EQ(query_.MoveBy(kRows + 10), kRows - 1);
    EXPECT_EQ(Id(), kRows);
    query_.Close();
  }
}

TEST_F(QueryNavigation, AnEmptyResultIsAtBothEndsWithNoRecords) {
  SetText(query_, "select * from t where id < 0");
  query_.Open();
  EXPECT_TRUE(query_.Bof());
  EXPECT_TRUE(query_.Eof());
  EXPECT_TRUE(query_.IsEmpty());
  EXPECT_EQ(query_.RecNo(), 0);
  EXPECT_EQ(query_.RecordCount(), 0);
  EXPECT_TRUE(query_.FieldByName("id")->IsNull());
}

TEST_F(QueryNavigation, ALiveCursorSkipsRecordsDeletedWhileItIsOpen) {
  query_.SetRequestLive(true);
  query_.Open();
  db_.Exec("delete from t where id between 2 and 4 or id = " + std::to_string(kRows));
  query_.Refresh();
  const std::vector<int> ids = WalkForward();
  ASSERT_EQ(static_cast<int>(ids.size()), kRows - 4);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 5);
  EXPECT_EQ(ids.back(), kRows - 1);
  query_.Last();
  EXPECT_EQ(Id(), kRows - 1);
}

TEST_F(QueryNavigation, BookmarksReturnToTheirRecordAndKnowWhenItIsGone) {
  query_.SetRequestLive(true);
  query_.Open();
  query_.MoveBy(4);
  const dataset::TBookmark fifth = query_.GetBookmark();
  query_.MoveBy(5);
  const dataset::TBookmark tenth = query_.GetBookmark();
  query_.Last();
  query_.GotoBookmark(fifth);
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(query_.BookmarkValid(fifth));
  EXPECT_LT(query_.CompareBookmarks(fifth, tenth), 0);
  EXPECT_GT(query_.CompareBookmarks(tenth, fifth), 0);
  EXPECT_EQ(query_.CompareBookmarks(fifth, fifth), 0);
  // Testing a bookmark does not move what the dataset shows.
  EXPECT_TRUE(query_.BookmarkValid(tenth));
  EXPECT_EQ(Id(), 5);
  query_.Next();
  EXPECT_EQ(Id(), 6);

  db_.Exec("delete from t where id = 10");
  EXPECT_FALSE(query_.BookmarkValid(tenth));
  EXPECT_EQ(MessageOf([&] { query_.GotoBookmark(tenth); }), "Record not found");
  // Still usable.
  query_.GotoBookmark(fifth);
  EXPECT_EQ(Id(), 5);
  query_.Next();
  EXPECT_EQ(Id(), 6);
}

TEST_F(QueryNavigation, RecordNumbersArePhysicalOnLiveCursorsAndPositionsOnStaticOnes) {
  db_.Exec("delete from t where id <= 10");
  query_.SetRequestLive(true);
  query_.Open();
  EXPECT_EQ(query_.RecNo(), 11);  // the table's record number
  query_.SetRecNo(20);
  EXPECT_EQ(Id(), 20);
  EXPECT_EQ(query_.RecNo(), 20);
  EXPECT_EQ(query_.RecordCount(), kRows - 10);
  query_.Close();

  query_.SetRequestLive(false);
  query_.Open();
  EXPECT_FALSE(query_.IsSequenced());
  EXPECT_EQ(query_.RecNo(), 1);  // a position in the result
  query_.SetRecNo(10);
  EXPECT_EQ(Id(), 20);
  EXPECT_EQ(query_.RecNo(), 10);
  EXPECT_EQ(query_.RecordCount(), kRows - 10);
}

TEST_F(QueryNavigation, SequencedRecordNumbersUnderAnIndexOrderLeadBackToTheirRecord) {
  db_.Exec("create index by_name on t (name)");  // n1, n10, n100, n1000, n1001 ...
  query_.SetRequestLive(true);
  query_.Open();
  query_.SetIndexName("by_name");
  query_.SetRecNo(20);  // unsequenced: the physical record number
  EXPECT_EQ(Id(), 20);
  EXPECT_EQ(query_.RecNo(), 20);
  query_.SetSequenced(true);
  for (nds::TNdsSequencedLevel level : {nds::slStandard, nds::slExact}) {
    query_.SetSequencedLevel(level);
    for (int step : {0, 1, 2, 700, kRows - 2, kRows - 1}) {
      query_.First();
      query_.MoveBy(step);
      const int id = Id(), number = query_.RecNo();
      query_.SetRecNo(number);
      EXPECT_EQ(Id(), id) << "level " << level << ", key " << step << ", number " << number;
    }
  }
  query_.First();
  query_.Next();
  EXPECT_EQ(query_.RecNo(), 2);  // exact: the key's position
  EXPECT_EQ(Id(), 10);
  query_.SetRecNo(kRows + 5);  // past the end: the last key
  EXPECT_EQ(Id(), 999);
  EXPECT_EQ(query_.RecNo(), kRows);
}

TEST_F(QueryNavigation, CountsFollowTheCountingOptions) {
  db_.Exec("create index by_name on t (name)");
  query_.SetRequestLive(true);
  query_.Open();
  query_.SetFilter("id <= 100");
  query_.SetFiltered(true);
  EXPECT_EQ(query_.RecordCount(), kRows);
  query_.NdsTableOptions()->SetNdsFilterOptions(nds::RESPECT_WHEN_COUNTING);
  EXPECT_EQ(query_.RecordCount(), 100);
  query_.SetIndexName("by_name");
  EXPECT_EQ(query_.RecordCount(), 100);
  // A scope narrows the order: n1, n10 .. n19 and n100 among the filtered.
  query_.SetScopeBegin("n1");
  query_.SetScopeEnd("n1z");
  query_.SetScoped(true);
  EXPECT_EQ(query_.RecordCount(), 12);
  query_.NdsTableOptions()->SetNdsFilterOptions(nds::IGNORE_WHEN_COUNTING);
  query_.NdsTableOptions()->SetNdsScopeOptions(nds::RESPECT_SCOPES_WHEN_COUNTING);
  EXPECT_EQ(query_.RecordCount(), 1 + 10 + 100 + 501);
  query_.NdsTableOptions()->SetNdsScopeOptions(nds::IGNORE_SCOPES_WHEN_COUNTING);
  EXPECT_EQ(query_.RecordCount(), kRows);
}

TEST_F(QueryNavigation, ARecordNumberPastEitherEndIsRefusedAndTheDataSetStaysWhereItWas) {
  query_.Open();
  query_.SetRecNo(7);
  for (int bad : {kRows + 1, 0, -3}) {
    const std::string message = MessageOf([&] { query_.SetRecNo(bad); });
    EXPECT_NE(message, "(nothing raised)") << bad;
    EXPECT_EQ(Id(), 7) << bad;
    query_.Next();
    EXPECT_EQ(Id(), 8) << bad;
    query_.Prior();
  }
}

TEST_F(QueryNavigation, OnFilterRecordHidesRecordsWhileFiltered) {
  query_.SetOnFilterRecord([&](dataset::TDataSet& ds, bool& accept) {
    accept = ds.FieldByName("id")->AsInteger() % 100 == 0;
  });
  query_.SetFiltered(true);
  query_.Open();
  std::vector<int> ids = WalkForward();
  ASSERT_EQ(static_cast<int>(ids.size()), kRows / 100);
  EXPECT_EQ(ids.front(), 100);
  query_.Last();
  EXPECT_EQ(Id(), kRows);
  query_.Prior();
  EXPECT_EQ(Id(), kRows - 100);
  query_.SetFiltered(false);
  EXPECT_EQ(static_cast<int>(WalkForward().size()), kRows);
}

TEST_F(QueryNavigation, OrdersAndNarrowingTheCursorCannotHonourAreRefusedNotIgnored) {
  // An order the table does not have refuses the open with the engine's word.
  query_.SetIndexName("byId");
  EXPECT_NE(MessageOf([&] { query_.Open(); }).find("byId"), std::string::npos);
  EXPECT_FALSE(query_.Active());
  query_.SetIndexName("");

  // A filter the engine refuses refuses the open; a good one narrows.
  query_.SetFilter("id >");
  query_.SetFiltered(true);
  EXPECT_NE(MessageOf([&] { query_.Open(); }).find("position"), std::string::npos);
  EXPECT_FALSE(query_.Active());
  query_.SetFilter("id > 3");
  query_.Open();
  EXPECT_EQ(static_cast<int>(WalkForward().size()), kRows - 3);
  // A scope needs an index order.
  EXPECT_NE(MessageOf([&] { query_.SetScoped(true); }).find("no active index"), std::string::npos);
  query_.SetFiltered(false);
  EXPECT_EQ(static_cast<int>(WalkForward().size()), kRows);
}

TEST_F(QueryNavigation, AClosedDataSetRefusesWithTheFrameworksError) {
  EXPECT_EQ(MessageOf([&] { query_.RecNo(); }), kClosed);
  EXPECT_EQ(MessageOf([&] { query_.RecordCount(); }), kClosed);
  EXPECT_EQ(MessageOf([&] { query_.First(); }), kClosed);
  query_.Open();
  EXPECT_EQ(MessageOf([&] { query_.FieldByName("nope"); }), "Field 'nope' not found");
  EXPECT_EQ(Id(), 1);
}

TEST_F(QueryNavigation, KeyEditingEndsWithCancelOrPost) {
  query_.Open();
  query_.SetKey();
  EXPECT_EQ(query_.State(), dataset::dsSetKey);
  EXPECT_TRUE(query_.FieldByName("id")->IsNull());
  query_.Cancel();
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
  query_.SetKey();
  query_.Post();
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
  EXPECT_EQ(Id(), 1);
}

TEST_F(QueryNavigation, AStaticCursorMakesTheQueryReadOnlyEvenWhenLiveWasAsked) {
  query_.SetRequestLive(true);
  SetText(query_, "select t.id, u.id as other from t join t u on u.id = t.id + 1");
  query_.Open();
  EXPECT_TRUE(query_.ReadOnlyFlag());
  EXPECT_FALSE(query_.CursorWritable());
  EXPECT_EQ(MessageOf([&] { query_.Edit(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
  query_.Close();

  SetText(query_, "select * from t");
  query_.Open();
  EXPECT_FALSE(query_.ReadOnlyFlag());
  // A live cursor takes edits.
  query_.Insert();
  EXPECT_EQ(query_.State(), dataset::dsInsert);
  query_.Cancel();
}

}  // namespace
}  // namespace nds_test
