// Navigation over table cursors and SQL cursors: both ends, empty tables,
// record numbers, bookmarks, counts, filtered-out and deleted records, and
// the read-ahead window.
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "cursor_test_support.h"
#include "engine/cursor/navigation_sql.h"

namespace nce_test {
namespace {

std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
  std::vector<uint32_t> v;
  if (from <= to)
    for (uint32_t i = from; i <= to; ++i) v.push_back(i);
  else
    for (uint32_t i = from; i >= to; --i) v.push_back(i);
  return v;
}

class Navigation : public StoreCursorTest {
 protected:
  Navigation() {
    Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
    FillNumbered("items", 25);
  }
};

INSTANTIATE_TEST_SUITE_P(Stores, Navigation, BothStores(), StoreKindName);

TEST_P(Navigation, WalksEveryRecordOnceInBothDirectionsWhateverTheWindow) {
  NDSHANDLE cursor = OpenTable("items");
  for (uint16_t window : {0, 1, 7, 10, 100}) {
    ASSERT_EQ(NdsCacheRecords(cursor, window), 0u);
    EXPECT_EQ(WalkForward(cursor), Range(1, 25)) << "window " << window;
    EXPECT_FALSE(Bof(cursor));
    EXPECT_EQ(WalkBackward(cursor), Range(25, 1)) << "window " << window;
    EXPECT_FALSE(Eof(cursor));
  }
}

// A long walk grows the read-ahead window well past its set size; turning
// round or jumping must start again from the set size without losing rows.
TEST_P(Navigation, GrownWindowsNeitherSkipNorRepeatRecords) {
  Exec("CREATE TABLE many (id INTEGER, name CHAR(12))");
  FillNumbered("many", 3000);
  NDSHANDLE cursor = OpenTable("many");
  EXPECT_EQ(WalkForward(cursor), Range(1, 3000));
  EXPECT_EQ(WalkBackward(cursor), Range(3000, 1));
  // Forward far enough to grow the window, back a little, forward again.
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  ASSERT_EQ(NdsSkip(cursor, 1500), 0u);
  EXPECT_EQ(RecNo(cursor), 1501u);
  ASSERT_EQ(NdsSkip(cursor, -3), 0u);
  EXPECT_EQ(RecNo(cursor), 1498u);
  ASSERT_EQ(NdsSkip(cursor, 1000), 0u);
  EXPECT_EQ(RecNo(cursor), 2498u);
  ASSERT_EQ(NdsGotoRecord(cursor, 10), 0u);
  ASSERT_EQ(NdsSkip(cursor, 2990), 0u);
  EXPECT_EQ(RecNo(cursor), 3000u);
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_TRUE(Eof(cursor));
}

TEST_P(Navigation, EndsBehaveAsTheDatasetExpects) {
  NDSHANDLE cursor = OpenTable("items");
  // Before the first record, a step forward finds it.
  ASSERT_EQ(NdsGotoBOF(cursor), 0u);
  EXPECT_TRUE(Bof(cursor));
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_EQ(RecNo(cursor), 1u);
  // A step back from the first record reaches the beginning and stays there.
  ASSERT_EQ(NdsSkip(cursor, -1), 0u);
  EXPECT_TRUE(Bof(cursor));
  ASSERT_EQ(NdsSkip(cursor, -1), 0u);
  EXPECT_TRUE(Bof(cursor));
  // Bottom, then one past it: the end; a step back gives the last record.
  ASSERT_EQ(NdsGotoBottom(cursor), 0u);
  EXPECT_EQ(RecNo(cursor), 25u);
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_TRUE(Eof(cursor));
  EXPECT_EQ(RecNo(cursor), 0u);
  char record[64];
  uint32_t length = sizeof record;
  ExpectError(NdsGetRecord(cursor, record, &length), NDS_E_NO_CURRENT_RECORD);
  ASSERT_EQ(NdsSkip(cursor, -1), 0u);
  EXPECT_EQ(RecNo(cursor), 25u);
  // Skips of several records stop at the ends.
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  ASSERT_EQ(NdsSkip(cursor, 10), 0u);
  EXPECT_EQ(RecNo(cursor), 11u);
  ASSERT_EQ(NdsSkip(cursor, -4), 0u);
  EXPECT_EQ(RecNo(cursor), 7u);
  ASSERT_EQ(NdsSkip(cursor, 100), 0u);
  EXPECT_TRUE(Eof(cursor));
}

TEST_P(Navigation, AnEmptyTableIsAtBothEnds) {
  Exec("CREATE TABLE vacant (id INTEGER, name CHAR(4))");
  NDSHANDLE cursor = OpenTable("vacant");
  for (auto move : {NdsGotoTop, NdsGotoBottom}) {
    ASSERT_EQ(move(cursor), 0u);
    EXPECT_TRUE(Eof(cursor));
    EXPECT_TRUE(Bof(cursor));
  }
  ASSERT_EQ(NdsGotoBOF(cursor), 0u);
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_TRUE(Eof(cursor));
  uint32_t count = 99;
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_RESPECTFILTERS, &count), 0u);
  EXPECT_EQ(count, 0u);
  uint16_t visible;
  ExpectError(NdsIsRecordVisible(cursor, &visible), NDS_E_NO_CURRENT_RECORD);
}

TEST_P(Navigation, RecordNumbersAndBookmarksFindTheirRecords) {
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsGotoRecord(cursor, 17), 0u);
  EXPECT_EQ(Text(cursor, "name"), "name17");
  ExpectError(NdsGotoRecord(cursor, 99), NDS_E_INVALID_RECORD, "99");

  uint32_t length = 0;
  ASSERT_EQ(NdsGetBookmarkLength(cursor, &length), 0u);
  ASSERT_EQ(length, 4u);
  uint8_t mark17[4], mark3[4];
  uint32_t size = 4;
  ASSERT_EQ(NdsGotoRecord(cursor, 17), 0u);
  ASSERT_EQ(NdsGetBookmark60(cursor, mark17, &size), 0u);
  ASSERT_EQ(NdsGotoRecord(cursor, 3), 0u);
  ASSERT_EQ(NdsGetBookmark60(cursor, mark3, &size), 0u);
  int32_t order = 0;
  ASSERT_EQ(NdsCompareBookmarks(mark3, mark17, &order), 0u);
  EXPECT_EQ(order, -1);
  ASSERT_EQ(NdsCompareBookmarks(mark17, mark3, &order), 0u);
  EXPECT_EQ(order, 1);
  ASSERT_EQ(NdsCompareBookmarks(mark3, mark3, &order), 0u);
  EXPECT_EQ(order, 0);
  uint32_t word;
  std::memcpy(&word, mark17, 4);
  ASSERT_EQ(NdsGotoBookmark(cursor, word), 0u);
  EXPECT_EQ(RecNo(cursor), 17u);
  // From a record reached by number, steps go on in order.
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_EQ(RecNo(cursor), 18u);
  uint32_t small = 2;
  ExpectError(NdsGetBookmark60(cursor, mark3, &small), NDS_E_INSUFFICIENT_BUFFER);
}

TEST_P(Navigation, RecordWithBookmarkAnswersWhatTheThreeSeparateCallsAnswer) {
  NDSHANDLE cursor = OpenTable("items");
  uint32_t recordLength = 0;
  ASSERT_EQ(NdsGetRecordLength(cursor, &recordLength), 0u);
  std::vector<uint8_t> record(recordLength + 8, 0xEE), alone(recordLength + 8, 0xEE);
  uint8_t mark[8] = {}, markAlone[4] = {};
  uint32_t length = static_cast<uint32_t>(record.size()), markLength = sizeof mark, number = 0;

  // Off a record nothing is written.
  ASSERT_EQ(NdsGotoBOF(cursor), 0u);
  ExpectError(NdsGetRecordWithBookmark(cursor, record.data(), &length, mark, &markLength, &number),
              NDS_E_NO_CURRENT_RECORD);
  EXPECT_EQ(number, 0u);
  EXPECT_EQ(record[0], 0xEE);

  ASSERT_EQ(NdsGotoRecord(cursor, 17), 0u);
  ASSERT_EQ(NdsGetRecordWithBookmark(cursor, record.data(), &length, mark, &markLength, &number),
            0u);
  uint32_t aloneLength = static_cast<uint32_t>(alone.size()), aloneMark = 4, aloneNumber = 0;
  ASSERT_EQ(NdsGetRecord(cursor, alone.data(), &aloneLength), 0u);
  ASSERT_EQ(NdsGetBookmark60(cursor, markAlone, &aloneMark), 0u);
  ASSERT_EQ(NdsGetRecordNum(cursor, NDS_IGNOREFILTERS, &aloneNumber), 0u);
  EXPECT_EQ(length, aloneLength);
  EXPECT_EQ(record, alone);
  EXPECT_EQ(markLength, 4u);
  EXPECT_EQ(std::memcmp(mark, markAlone, 4), 0);
  EXPECT_EQ(number, 17u);

  // Unwanted parts may be left out; a bookmark place without room fails.
  ASSERT_EQ(NdsGetRecordWithBookmark(cursor, record.data(), &length, nullptr, nullptr, nullptr),
            0u);
  uint32_t tiny = 2;
  ExpectError(NdsGetRecordWithBookmark(cursor, record.data(), &length, mark, &tiny, &number),
              NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(tiny, 4u);
}

// The fetch of a reader in one call reaches what NdsSkip reaches, hands out
// what NdsGetRecordWithBookmark hands out, and says where it ran off an end.
TEST_P(Navigation, SkipAndGetRecordWalksWhatSkipAndGetRecordWalk) {
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsSetFilter(cursor, "id < 4 .OR. id > 22"), 0u);
  uint32_t recordLength = 0;
  ASSERT_EQ(NdsGetRecordLength(cursor, &recordLength), 0u);
  auto walk = [&](int32_t step) {
    std::vector<uint32_t> numbers;
    std::vector<uint8_t> record(recordLength), alone(recordLength);
    uint16_t atEdge = 0;
    for (;;) {
      uint32_t length = recordLength, markLength = 4, number = 0, aloneLength = recordLength;
      uint8_t mark[4] = {};
      EXPECT_EQ(NdsSkipAndGetRecord(cursor, step, record.data(), &length, mark, &markLength,
                                    &number, &atEdge),
                0u);
      if (atEdge) break;
      EXPECT_EQ(NdsGetRecord(cursor, alone.data(), &aloneLength), 0u);
      EXPECT_EQ(record, alone);
      uint32_t marked = 0;
      std::memcpy(&marked, mark, 4);
      EXPECT_EQ(marked, number);
      numbers.push_back(number);
    }
    return numbers;
  };
  ASSERT_EQ(NdsGotoBOF(cursor), 0u);
  EXPECT_EQ(walk(1), (std::vector<uint32_t>{1, 2, 3, 23, 24, 25}));
  EXPECT_TRUE(Eof(cursor));
  EXPECT_EQ(walk(-1), (std::vector<uint32_t>{25, 24, 23, 3, 2, 1}));
  EXPECT_TRUE(Bof(cursor));

  // Standing still reads the current record, or reports the end it is at.
  std::vector<uint8_t> record(recordLength, 0xEE);
  uint32_t length = recordLength, number = 0;
  uint16_t atEdge = 0;
  ASSERT_EQ(
      NdsSkipAndGetRecord(cursor, 0, record.data(), &length, nullptr, nullptr, &number, &atEdge),
      0u);
  EXPECT_EQ(atEdge, 1u);
  EXPECT_EQ(record[0], 0xEE);
  ASSERT_EQ(NdsGotoRecord(cursor, 24), 0u);
  ASSERT_EQ(
      NdsSkipAndGetRecord(cursor, 0, record.data(), &length, nullptr, nullptr, &number, &atEdge),
      0u);
  EXPECT_EQ(atEdge, 0u);
  EXPECT_EQ(number, 24u);
  ExpectError(
      NdsSkipAndGetRecord(cursor, 1, record.data(), &length, nullptr, nullptr, nullptr, nullptr),
      NDS_E_INVALID_ARGUMENT);
}

// The current record in one call: the ends, a record the filter hides (a
// record number can put the cursor there) and a shown record as
// NdsGetRecordWithBookmark hands it out; off a shown record nothing is written.
TEST_P(Navigation, GetVisibleRecordTellsEndsAndHiddenRecords) {
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsSetFilter(cursor, "id < 4 .OR. id > 22"), 0u);
  uint32_t recordLength = 0;
  ASSERT_EQ(NdsGetRecordLength(cursor, &recordLength), 0u);
  auto place = [&](std::vector<uint8_t>& record, uint32_t& number) {
    uint32_t length = recordLength, markLength = 4;
    uint8_t mark[4] = {};
    uint16_t where = 99;
    EXPECT_EQ(
        NdsGetVisibleRecord(cursor, record.data(), &length, mark, &markLength, &number, &where),
        0u);
    return where;
  };
  std::vector<uint8_t> record(recordLength, 0xEE), alone(recordLength);
  uint32_t number = 0;
  ASSERT_EQ(NdsGotoBOF(cursor), 0u);
  EXPECT_EQ(place(record, number), NDS_PLACE_BOF);
  ASSERT_EQ(NdsGotoRecord(cursor, 10), 0u);
  EXPECT_EQ(place(record, number), NDS_PLACE_HIDDEN);
  EXPECT_EQ(record[0], 0xEE);
  ASSERT_EQ(NdsGotoRecord(cursor, 23), 0u);
  EXPECT_EQ(place(record, number), NDS_PLACE_RECORD);
  uint32_t aloneLength = recordLength;
  ASSERT_EQ(NdsGetRecord(cursor, alone.data(), &aloneLength), 0u);
  EXPECT_EQ(record, alone);
  EXPECT_EQ(number, 23u);
  ASSERT_EQ(NdsGotoBottom(cursor), 0u);
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  std::fill(record.begin(), record.end(), 0xEE);
  EXPECT_EQ(place(record, number), NDS_PLACE_EOF);
  EXPECT_EQ(record[0], 0xEE);
}

TEST_P(Navigation, LiveQueryKeepsItsConditionAsAHiddenFilter) {
  NDSHANDLE cursor = OpenQuery("SELECT * FROM items WHERE id % 5 = 0", true);
  uint8_t live = 9;
  ASSERT_EQ(NdsSqlPeekStatement(cursor, &live), 0u);
  EXPECT_EQ(live, 1);
  EXPECT_EQ(WalkForward(cursor), (std::vector<uint32_t>{5, 10, 15, 20, 25}));
  EXPECT_EQ(WalkBackward(cursor), (std::vector<uint32_t>{25, 20, 15, 10, 5}));
  uint32_t count = 0;
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_RESPECTFILTERS, &count), 0u);
  EXPECT_EQ(count, 5u);
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_RESPECTFILTERS + NDS_REFRESHCOUNT, &count), 0u);
  EXPECT_EQ(count, 5u);
  ExpectError(NdsGetRecordCount(cursor, 9, &count), NDS_E_INVALID_OPTION);
  // A record outside the condition can be reached by number but is not visible.
  ASSERT_EQ(NdsGotoRecord(cursor, 7), 0u);
  uint16_t visible = 1;
  ASSERT_EQ(NdsIsRecordVisible(cursor, &visible), 0u);
  EXPECT_EQ(visible, 0);
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_EQ(RecNo(cursor), 10u);
  ASSERT_EQ(NdsIsRecordVisible(cursor, &visible), 0u);
  EXPECT_EQ(visible, 1);
}

TEST_P(Navigation, ParametersOfALiveConditionStayBound) {
  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(conn_, &statement), 0u);
  ASSERT_EQ(NdsStmtSetTableReadOnly(statement, NDS_CURSOR_READWRITE), 0u);
  ASSERT_EQ(NdsPrepareSQL(statement, "SELECT id, name FROM items WHERE id > :low AND id <= ?"), 0u);
  ASSERT_EQ(NdsSetDouble(statement, NDS_FIELD_ORDINAL(1), 20), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetDouble(statement, NDS_FIELD_ORDINAL(2), 23), 0u) << LastErrorText();
  ASSERT_EQ(NdsExecuteSQL(statement, &cursor), 0u) << LastErrorText();
  open_.push_back(cursor);
  EXPECT_EQ(WalkForward(cursor), (std::vector<uint32_t>{21, 22, 23}));
  NdsCloseSQLStatement(statement);
}

TEST_P(Navigation, OtherQueriesGiveStaticCursors) {
  for (const char* sql : {"SELECT * FROM items ORDER BY id DESC", "SELECT count(*) FROM items",
                          "SELECT a.id FROM items a, items b WHERE a.id = b.id",
                          "SELECT DISTINCT name FROM items", "SELECT id + 1 FROM items"}) {
    NDSHANDLE cursor = OpenQuery(sql, true);
    uint8_t live = 9;
    ASSERT_EQ(NdsSqlPeekStatement(cursor, &live), 0u);
    EXPECT_EQ(live, 0) << sql;
    ASSERT_EQ(NdsGotoTop(cursor), 0u);
    ExpectError(NdsLockRecord(cursor, 0), NDS_E_STATIC_VIEW);
  }
  NDSHANDLE ordered = OpenQuery("SELECT * FROM items ORDER BY id DESC", false);
  ASSERT_EQ(NdsGotoTop(ordered), 0u);
  EXPECT_EQ(Text(ordered, "id"), "25");
  EXPECT_EQ(WalkForward(ordered).size(), 25u);
  // Asked for read-only, even a simple SELECT is a static copy.
  NDSHANDLE copy = OpenQuery("SELECT * FROM items", false);
  uint8_t live = 9;
  ASSERT_EQ(NdsSqlPeekStatement(copy, &live), 0u);
  EXPECT_EQ(live, 0);
}

TEST_P(Navigation, DeletedRecordsOfDbfTablesHideUnlessShown) {
  Exec("CREATE TABLE dbf (id INTEGER, name CHAR(12))", NDS_CDX);
  FillNumbered("dbf", 5);
  NDSHANDLE cursor = OpenTable("dbf");
  uint16_t type = 0;
  ASSERT_EQ(NdsGetTableType(cursor, &type), 0u);
  ASSERT_EQ(type, NDS_CDX);
  ASSERT_EQ(NdsGotoRecord(cursor, 3), 0u);
  ASSERT_EQ(NdsDeleteRecord(cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  uint16_t deleted = 0;
  ASSERT_EQ(NdsIsRecordDeleted(cursor, &deleted), 0u);
  EXPECT_EQ(deleted, 1);
  uint16_t shown = 9;
  ASSERT_EQ(NdsGetDeleted(&shown), 0u);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(WalkForward(cursor), (std::vector<uint32_t>{1, 2, 4, 5}));
  EXPECT_EQ(WalkBackward(cursor), (std::vector<uint32_t>{5, 4, 2, 1}));
  uint32_t count = 0;
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_RESPECTFILTERS, &count), 0u);
  EXPECT_EQ(count, 4u);
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 5u);
  ASSERT_EQ(NdsGotoRecord(cursor, 4), 0u);
  uint32_t key = 0;
  ASSERT_EQ(NdsGetKeyNum(cursor, NDS_RESPECTFILTERS, &key), 0u);
  EXPECT_EQ(key, 3u);

  // Another connection (another workstation, on a server) sees the mark.
  NDSHANDLE other = store_.Connect();
  NDSHANDLE seen = 0;
  ASSERT_EQ(NdsOpenTable(other, "dbf", 0, 0, 0, &seen), 0u) << LastErrorText();
  EXPECT_EQ(WalkForward(seen), (std::vector<uint32_t>{1, 2, 4, 5}));
  ASSERT_EQ(NdsGotoRecord(seen, 3), 0u);
  ASSERT_EQ(NdsIsRecordDeleted(seen, &deleted), 0u);
  EXPECT_EQ(deleted, 1);
  ASSERT_EQ(NdsCloseTable(seen), 0u);
  NdsDisconnect(other);

  ASSERT_EQ(NdsShowDeleted(1), 0u);
  EXPECT_EQ(WalkForward(cursor), Range(1, 5));
  ASSERT_EQ(NdsGotoRecord(cursor, 3), 0u);
  char record[64];
  uint32_t length = sizeof record;
  ASSERT_EQ(NdsGetRecord(cursor, record, &length), 0u);
  EXPECT_EQ(record[0], '*');
  ASSERT_EQ(NdsGotoRecord(cursor, 2), 0u);
  ASSERT_EQ(NdsGetRecord(cursor, record, &length), 0u);
  EXPECT_EQ(record[0], ' ');
  ASSERT_EQ(NdsShowDeleted(0), 0u);
}

// A mark belongs to its row: a row SQL deletes (as a pack or a zap does)
// takes its mark along, and so does a dropped table, so that no later row
// of that number starts out deleted.
TEST_P(Navigation, DeletionMarksGoWithTheirRowsAndTables) {
  Exec("CREATE TABLE dbf (id INTEGER, name CHAR(12))", NDS_CDX);
  FillNumbered("dbf", 5);
  NDSHANDLE cursor = OpenTable("dbf");
  for (uint32_t recno : {2u, 5u}) {
    ASSERT_EQ(NdsGotoRecord(cursor, recno), 0u);
    ASSERT_EQ(NdsDeleteRecord(cursor), 0u) << LastErrorText();
  }
  EXPECT_EQ(WalkForward(cursor), (std::vector<uint32_t>{1, 3, 4}));
  Exec("DELETE FROM dbf WHERE id IN (2, 5)");
  // Number 2 given again by SQL; a plain insert takes SQLite's next number
  // (5 again) or the server's sequence (6).
  Exec("INSERT INTO dbf (rowid, id, name) VALUES (2, 20, 'again')");
  Exec("INSERT INTO dbf (id, name) VALUES (50, 'new')");
  const uint32_t last = OnServer() ? 6 : 5;
  EXPECT_EQ(WalkForward(cursor), (std::vector<uint32_t>{1, 2, 3, 4, last}));
  ASSERT_EQ(NdsGotoRecord(cursor, last), 0u);
  uint16_t deleted = 1;
  ASSERT_EQ(NdsIsRecordDeleted(cursor, &deleted), 0u);
  EXPECT_EQ(deleted, 0);
  ASSERT_EQ(NdsDeleteRecord(cursor), 0u) << LastErrorText();
  Close(cursor);

  Exec("DROP TABLE dbf");
  Exec("CREATE TABLE dbf (id INTEGER, name CHAR(12))", NDS_CDX);
  FillNumbered("dbf", 6);
  EXPECT_EQ(WalkForward(OpenTable("dbf")), Range(1, 6));
}

TEST_P(Navigation, DeletingFromAnNdtTableRemovesTheRecord) {
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsGotoRecord(cursor, 2), 0u);
  ASSERT_EQ(NdsDeleteRecord(cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  // The cursor stays on the deleted place; the next step goes on from it.
  uint16_t visible = 1;
  ASSERT_EQ(NdsIsRecordVisible(cursor, &visible), 0u);
  EXPECT_EQ(visible, 0);
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_EQ(RecNo(cursor), 3u);
  ExpectError(NdsGotoRecord(cursor, 2), NDS_E_INVALID_RECORD);
  EXPECT_EQ(WalkForward(cursor).size(), 24u);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM items"), "24\n");
}

TEST_P(Navigation, ChangesOfOtherConnectionsShowAfterRefreshOrWithoutWindow) {
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  NDSHANDLE other = store_.Connect();
  RunSqlOrFail(other, "UPDATE items SET name = 'changed' WHERE id = 1");
  ASSERT_EQ(NdsRefreshRecord(cursor), 0u);
  EXPECT_EQ(Text(cursor, "name"), "changed");
  // Without a read-ahead window every step reads the table afresh.
  ASSERT_EQ(NdsCacheRecords(cursor, 0), 0u);
  RunSqlOrFail(other, "UPDATE items SET name = 'again' WHERE id = 2");
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_EQ(Text(cursor, "name"), "again");
  // A record deleted by another user: refresh keeps the place, marked deleted.
  RunSqlOrFail(other, "DELETE FROM items WHERE id = 2");
  ASSERT_EQ(NdsRefreshRecord(cursor), 0u);
  uint16_t deleted = 0;
  ASSERT_EQ(NdsIsRecordDeleted(cursor, &deleted), 0u);
  EXPECT_EQ(deleted, 1);
  NdsDisconnect(other);
}

TEST_P(Navigation, KeyPositionsAndRelativePositions) {
  NDSHANDLE cursor = OpenQuery("SELECT * FROM items WHERE id > 5", true);
  ASSERT_EQ(NdsGotoRecord(cursor, 10), 0u);
  uint32_t key = 0;
  ASSERT_EQ(NdsGetKeyNum(cursor, NDS_RESPECTFILTERS, &key), 0u);
  EXPECT_EQ(key, 5u);
  ASSERT_EQ(NdsSetRelKeyPos(cursor, 0.5), 0u);
  EXPECT_EQ(RecNo(cursor), 16u);
  ASSERT_EQ(NdsSetRelKeyPos(cursor, 1.0), 0u);
  EXPECT_EQ(RecNo(cursor), 25u);
  double position = -1;
  ASSERT_EQ(NdsGetRelKeyPos(cursor, &position), 0u);
  EXPECT_DOUBLE_EQ(position, 1.0);
  NDSHANDLE empty = OpenQuery("SELECT * FROM items WHERE id > 99", true);
  ExpectError(NdsGetRelKeyPos(empty, &position), NDS_E_NO_POSITION);
}

// The step query must let SQLite seek in an index on the key, not scan it.
TEST(NavigationSqlPlan, StepsFromAKeySeekInItsIndex) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE t(a, b); CREATE INDEX t_key ON t(upper(b));", nullptr, nullptr,
               nullptr);
  nce::NavigationSql sql(nce::WalkSpec{"\"t\"", "a, b", "upper(b)", false, ""});
  for (const std::string& text : {sql.After(), sql.Before()}) {
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + text).c_str(), -1, &stmt, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    std::string plan;
    while (sqlite3_step(stmt) == SQLITE_ROW)
      plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)) + std::string("\n");
    sqlite3_finalize(stmt);
    EXPECT_NE(plan.find("SEARCH t USING INDEX t_key"), std::string::npos) << text << "\n" << plan;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
  }
  sqlite3_close(db);
}

}  // namespace
}  // namespace nce_test
