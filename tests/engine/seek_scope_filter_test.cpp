// Keys, seeks, scopes, filters and optimized filters on a table cursor:
// seeks at and between keys, soft and hard, with raw, string and partial
// keys; scopes and filters combined with the counts and key numbers that
// respect them; the exact setting's prefix matching.
#include <cstring>

#include "index_test_support.h"

namespace nce_test {
namespace {

class Seeks : public StoreIndexTest {
 protected:
  Seeks() {
    Exec("CREATE TABLE stock (code CHAR(8), name CHAR(20), qty INTEGER, due DATE)");
    Exec(
        "INSERT INTO stock VALUES ('B200', 'Bolt', 40, '2024-03-01'), ('A100', 'Anchor', 10, "
        "'2024-01-15'),"
        " ('C300', 'Cable', 0, NULL), ('A150', 'Axle', 25, '2024-02-29'), ('D400', 'Drill', 5, "
        "'2024-03-01'),"
        " ('B250', 'Bracket', 15, '2023-12-31')");
    Exec("CREATE INDEX by_code ON stock (code)");
    Exec("CREATE INDEX by_qty ON stock (qty)");
    Exec("CREATE INDEX by_due ON stock (due)");
    Exec("CREATE INDEX by_code_desc ON stock (code DESC)");
    Exec("CREATE INDEX by_due_name ON stock (due, name)");
    stock_ = OpenTable("stock");
  }

  bool SeekString(NDSHANDLE order, const std::string& key, uint16_t type = NDS_SOFTSEEK) {
    uint16_t found = 9;
    EXPECT_NDS(
        NdsSeek(order, key.data(), static_cast<uint16_t>(key.size()), NDS_STRINGKEY, type, &found),
        NDS_SUCCESS);
    return found != 0;
  }

  std::string Current() { return Eof(stock_) ? "<eof>" : Field(stock_, "code"); }

  NDSHANDLE stock_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Stores, Seeks, BothStores(), StoreKindName);

// Cases of SQLite alone (its own files, the marks table made by the first cursor).
class SeeksOnSqlite : public Seeks {};

INSTANTIATE_TEST_SUITE_P(Sqlite, SeeksOnSqlite, ::testing::Values(StoreKind::kSqlite),
                         StoreKindName);

TEST_P(Seeks, SoftAndHardSeeksAtAndBetweenKeys) {
  NDSHANDLE code = Order(stock_, "by_code");
  EXPECT_TRUE(SeekString(code, "B200"));
  EXPECT_EQ(Current(), "B200");
  // Between keys: a soft seek stops at the next key, a hard seek at the end.
  EXPECT_FALSE(SeekString(code, "B210"));
  EXPECT_EQ(Current(), "B250");
  EXPECT_FALSE(SeekString(code, "B210", NDS_HARDSEEK));
  EXPECT_EQ(Current(), "<eof>");
  EXPECT_FALSE(SeekString(code, "Z"));
  EXPECT_EQ(Current(), "<eof>");
  // A partial key finds the first key it begins, and walking goes on from there.
  EXPECT_TRUE(SeekString(code, "A", NDS_HARDSEEK));
  EXPECT_EQ(Current(), "A100");
  ASSERT_NDS_OK(NdsSkip(code, 1));
  EXPECT_EQ(Current(), "A150");
  // In a descending order the seek finds the greatest key at or below.
  NDSHANDLE down = Order(stock_, "by_code_desc");
  EXPECT_TRUE(SeekString(down, "B"));
  EXPECT_EQ(Current(), "B250");
  EXPECT_FALSE(SeekString(down, "B225"));
  EXPECT_EQ(Current(), "B200");
  ASSERT_NDS_OK(NdsSkip(down, 1));
  EXPECT_EQ(Current(), "A150");
}

TEST_P(Seeks, NumbersDatesAndDoubleKeys) {
  NDSHANDLE qty = Order(stock_, "by_qty");
  EXPECT_TRUE(SeekString(qty, "25"));
  EXPECT_EQ(Current(), "A150");
  EXPECT_FALSE(SeekString(qty, "11"));
  EXPECT_EQ(Current(), "B250");
  double value = -3;
  uint16_t found = 9;
  ASSERT_NDS_OK(NdsSeek(qty, &value, sizeof value, NDS_DOUBLEKEY, NDS_SOFTSEEK, &found));
  EXPECT_EQ(found, 0);
  EXPECT_EQ(Current(), "C300");
  NDSHANDLE due = Order(stock_, "by_due");
  EXPECT_TRUE(SeekString(due, "20240229"));
  EXPECT_EQ(Current(), "A150");
  EXPECT_TRUE(SeekString(due, "03/01/2024"));
  EXPECT_EQ(Current(), "B200");
  EXPECT_NDS(NdsSeek(due, "x", 1, NDS_STRINGKEY, NDS_SOFTSEEK, &found), NDS_E_INVALID_ARGUMENT);
  EXPECT_NDS(NdsSeek(due, "x", 1, 7, NDS_SOFTSEEK, &found), NDS_E_INVALID_OPTION);
}

TEST_P(Seeks, RawKeysBuiltFromFieldValues) {
  NDSHANDLE due_name = Order(stock_, "by_due_name");
  ASSERT_NDS_OK(NdsInitRawKey(due_name));
  ASSERT_NDS_OK(NdsSetField(due_name, "due", "20240301", 8));
  ASSERT_NDS_OK(NdsSetString(due_name, "name", "Drill", 5));
  char key[256];
  uint16_t length = sizeof key;
  ASSERT_NDS_OK(NdsBuildRawKey(due_name, key, &length));
  EXPECT_EQ(length, 4 + 5);  // the date, then the partial name
  uint16_t found = 0;
  ASSERT_NDS_OK(NdsSeek(due_name, key, length, NDS_RAWKEY, NDS_HARDSEEK, &found));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Current(), "D400");
  // The full field length makes a whole key; a small buffer is refused.
  std::string padded = "Bolt";
  padded.resize(20, ' ');
  ASSERT_NDS_OK(NdsSetField(due_name, "name", padded.data(), 20));
  length = sizeof key;
  ASSERT_NDS_OK(NdsBuildRawKey(due_name, key, &length));
  EXPECT_EQ(length, 24);
  uint16_t small = 3;
  EXPECT_NDS(NdsBuildRawKey(due_name, key, &small), NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(small, 24);
  ASSERT_NDS_OK(NdsSeek(due_name, key, length, NDS_RAWKEY, NDS_HARDSEEK, &found));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Current(), "B200");
  // Only the first segment set: the key stops after it.
  ASSERT_NDS_OK(NdsInitRawKey(due_name));
  ASSERT_NDS_OK(NdsSetEmpty(due_name, "due"));
  length = sizeof key;
  ASSERT_NDS_OK(NdsBuildRawKey(due_name, key, &length));
  EXPECT_EQ(length, 4);
  ASSERT_NDS_OK(NdsSeek(due_name, key, length, NDS_RAWKEY, NDS_HARDSEEK, &found));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Current(), "C300");  // the empty date keys first
  EXPECT_NDS(NdsSetField(due_name, "nosuch", "x", 1), NDS_E_INVALID_FIELD);
}

// Key building keeps its statement between calls; it must not keep the
// read snapshot with it, or rows written since would stay hidden.
TEST_P(Seeks, KeysBuiltAgainSeeRowsWrittenMeanwhile) {
  NDSHANDLE code = Order(stock_, "by_code");
  char key[64];
  uint16_t length = 0, found = 9;
  auto build = [&](const char* value) {
    length = sizeof key;
    EXPECT_NDS(NdsInitRawKey(code), NDS_SUCCESS);
    EXPECT_NDS(NdsSetString(code, "code", value, static_cast<uint16_t>(std::strlen(value))),
               NDS_SUCCESS);
    EXPECT_NDS(NdsBuildRawKey(code, key, &length), NDS_SUCCESS);
  };
  build("E500");
  ASSERT_NDS_OK(NdsSeek(code, key, length, NDS_RAWKEY, NDS_HARDSEEK, &found));
  EXPECT_EQ(found, 0);
  NDSHANDLE writer = store_.Connect();
  RunSqlOrFail(writer, "INSERT INTO stock VALUES ('E500', 'Easel', 1, NULL)");
  NdsDisconnect(writer);
  build("E500");
  ASSERT_NDS_OK(NdsSeek(code, key, length, NDS_RAWKEY, NDS_HARDSEEK, &found));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Current(), "E500");
  build("A1");  // a partial key after a whole one
  EXPECT_EQ(length, 2);
  ASSERT_NDS_OK(NdsSeek(code, key, length, NDS_RAWKEY, NDS_HARDSEEK, &found));
  EXPECT_EQ(Current(), "A100");
}

TEST_P(Seeks, ScopesBoundTheOrderAndItsCounts) {
  NDSHANDLE code = Order(stock_, "by_code");
  char key[64];
  uint16_t length = sizeof key;
  EXPECT_NDS(NdsGetScope(code, NDS_TOP, key, &length), NDS_E_NO_SCOPE);
  EXPECT_NDS(NdsClearScope(code, NDS_TOP), NDS_E_NO_SCOPE);
  ASSERT_NDS_OK(NdsSetScope(code, NDS_TOP, "A150", 4, NDS_STRINGKEY));
  ASSERT_NDS_OK(NdsSetScope(code, NDS_BOTTOM, "B", 1, NDS_STRINGKEY));
  EXPECT_EQ(Walk(code, stock_, "code"), (std::vector<std::string>{"A150", "B200", "B250"}));
  EXPECT_EQ(WalkBack(code, stock_, "code"), (std::vector<std::string>{"B250", "B200", "A150"}));
  EXPECT_EQ(Count(code, NDS_RESPECTSCOPES), 3u);
  EXPECT_EQ(Count(code, NDS_RESPECTFILTERS), 3u);
  EXPECT_EQ(Count(code, NDS_IGNOREFILTERS), 6u);
  // The cursor's own handle walks every record.
  EXPECT_EQ(Walk(stock_, stock_, "code").size(), 6u);
  length = sizeof key;
  ASSERT_NDS_OK(NdsGetScope(code, NDS_BOTTOM, key, &length));
  EXPECT_EQ(std::string(key, length), "B");
  // Key numbers count within the scope; a record outside is not visible.
  ASSERT_NDS_OK(NdsGotoTop(code));
  ASSERT_NDS_OK(NdsSkip(code, 1));
  uint32_t number = 0;
  ASSERT_NDS_OK(NdsGetKeyNum(code, NDS_RESPECTSCOPES, &number));
  EXPECT_EQ(number, 2u);
  ASSERT_NDS_OK(NdsGotoRecord(stock_, 5));  // D400
  uint16_t visible = 9;
  ASSERT_NDS_OK(NdsIsRecordVisible(code, &visible));
  EXPECT_EQ(visible, 0);
  ASSERT_NDS_OK(NdsClearAllScopes(stock_));
  EXPECT_EQ(Walk(code, stock_, "code").size(), 6u);
}

TEST_P(Seeks, ScopesAndFiltersCombine) {
  NDSHANDLE code = Order(stock_, "by_code");
  ASSERT_NDS_OK(NdsSetScope(code, NDS_TOP, "B", 1, NDS_STRINGKEY));
  ASSERT_NDS_OK(NdsSetFilter(stock_, "qty > 10 .AND. .NOT. EMPTY(due)"));
  EXPECT_EQ(Walk(code, stock_, "code"), (std::vector<std::string>{"B200", "B250"}));
  EXPECT_EQ(Count(code, NDS_RESPECTFILTERS), 2u);
  EXPECT_EQ(Count(code, NDS_RESPECTSCOPES), 4u);
  ASSERT_NDS_OK(NdsSetAOF(stock_, "due >= CTOD('03/01/2024')", NDS_RESOLVE_DYNAMIC));
  EXPECT_EQ(Walk(code, stock_, "code"), (std::vector<std::string>{"B200"}));
  EXPECT_EQ(Walk(stock_, stock_, "code"), (std::vector<std::string>{"B200"}));
  char text[64];
  uint16_t length = sizeof text;
  ASSERT_NDS_OK(NdsGetFilter(stock_, text, &length));
  EXPECT_STREQ(text, "qty > 10 .AND. .NOT. EMPTY(due)");
  ASSERT_NDS_OK(NdsClearFilter(stock_));
  EXPECT_NDS(NdsClearFilter(stock_), NDS_E_NO_FILTER);
  length = 0;
  EXPECT_NDS(NdsGetFilter(stock_, nullptr, &length), NDS_E_NO_FILTER);
  EXPECT_NDS(NdsGetAOF(stock_, nullptr, &length), NDS_E_INSUFFICIENT_BUFFER);  // one is set
  EXPECT_EQ(Walk(code, stock_, "code"), (std::vector<std::string>{"B200", "D400"}));
  ASSERT_NDS_OK(NdsClearAOF(stock_));
  EXPECT_NDS(NdsGetAOF(stock_, nullptr, &length), NDS_E_NO_FILTER);
  EXPECT_NDS(NdsClearAOF(stock_), NDS_E_NO_FILTER);
  EXPECT_NDS(NdsSetAOF(stock_, "qty >", NDS_RESOLVE_DYNAMIC), NDS_E_BAD_EXPRESSION);
  EXPECT_NDS(NdsSetAOF(stock_, "qty > 1", 3), NDS_E_INVALID_OPTION);
  EXPECT_NDS(NdsSetFilter(stock_, "name"), NDS_E_BAD_EXPRESSION);  // not logical
}

// The exact setting on both stores: filter_test.cpp. An optimized filter on
// an order's leading key reads that key's range.
TEST_P(Seeks, OptimizedFilterOnALeadingKeyMatchesItsPrefix) {
  ASSERT_NDS_OK(NdsSetAOF(stock_, "code = 'A1'", NDS_RESOLVE_DYNAMIC));
  EXPECT_EQ(Walk(Order(stock_, "by_code"), stock_, "code"),
            (std::vector<std::string>{"A100", "A150"}));
  ASSERT_NDS_OK(NdsSetExact22(stock_, 1));
  ASSERT_NDS_OK(NdsSetAOF(stock_, "code = 'A1'", NDS_RESOLVE_DYNAMIC));
  EXPECT_TRUE(Walk(Order(stock_, "by_code"), stock_, "code").empty());
}

// Expressions on the current record on both stores: filter_test.cpp.
TEST_P(Seeks, EvaluatesExpressionsThroughAnOrderAndKeepsTheirForms) {
  uint16_t result = 9;
  ASSERT_NDS_OK(NdsGotoRecord(stock_, 4));  // A150, Axle, 25
  ASSERT_NDS_OK(NdsEvalLogicalExpr(Order(stock_, "by_qty"), "YEAR(due) = 2023", &result));
  EXPECT_EQ(result, 0);
  char text[64];
  uint16_t length = sizeof text;
  ASSERT_NDS_OK(NdsExpressionLongToShort(stock_, "name = 'x*'", text, &length));
  EXPECT_STREQ(text, "name = 'x*'");
  length = 4;
  EXPECT_NDS(NdsExpressionShortToLong(stock_, "name = 'x*'", text, &length),
             NDS_E_INSUFFICIENT_BUFFER);
}

TEST_P(Seeks, OrdersWalkLiveSelectCursorsAndDieWithTheirCursor) {
  NDSHANDLE code = Order(stock_, "by_code");
  ASSERT_NDS_OK(NdsCloseTable(stock_));
  uint16_t type = 0;
  EXPECT_NDS(NdsGetHandleType(code, &type), NDS_E_INVALID_HANDLE);
  EXPECT_NDS(NdsGotoTop(code), NDS_E_INVALID_HANDLE);
  stock_ = OpenTable("stock");
}

// A cursor keeps the statements of the orders it switches between. A table
// another connection remakes under them (other column order, other rows)
// must be what every kept statement reads afterwards.
TEST_P(SeeksOnSqlite, OrderSwitchesReadATableRemadeByAnotherConnection) {
  NDSHANDLE code = Order(stock_, "by_code");
  ASSERT_EQ(Walk(code, stock_, "code").size(), 6u);
  ASSERT_EQ(Walk(stock_, stock_, "code").size(), 6u);
  EXPECT_TRUE(SeekString(code, "C300"));
  uint16_t visible = 0;
  ASSERT_NDS_OK(NdsIsRecordVisible(stock_, &visible));  // back in record order
  EXPECT_EQ(visible, 1);
  EXPECT_EQ(Current(), "C300");

  EXPECT_EQ(test_support::ExecDirect(
                store_.StoreFile(),
                "CREATE TABLE remade (qty INTEGER, name TEXT, code TEXT, due TEXT);"
                "INSERT INTO remade VALUES (7, 'Widget', 'W900', NULL), (25, 'Axle', 'A150', NULL);"
                "DROP TABLE stock; ALTER TABLE remade RENAME TO stock;"),
            "");
  EXPECT_TRUE(SeekString(code, "A150"));
  EXPECT_EQ(Field(stock_, "name"), "Axle");
  EXPECT_EQ(Field(stock_, "qty"), "25");
  EXPECT_EQ(Walk(stock_, stock_, "code"), (std::vector<std::string>{"W900", "A150"}));
  EXPECT_EQ(Walk(code, stock_, "code"), (std::vector<std::string>{"A150", "W900"}));
  EXPECT_FALSE(SeekString(code, "C300", NDS_HARDSEEK));
}

// On a DBF-kind table a marked record leaves the walks, seeks, counts and
// key numbers of its orders, and those under a filter.
TEST_P(Seeks, OrdersAndFiltersOfADbfTableSkipMarkedRecords) {
  NDSHANDLE statement = 0, none = 0;
  ASSERT_NDS_OK(NdsCreateSQLStatement(connection_, &statement));
  ASSERT_NDS_OK(NdsStmtSetTableType(statement, NDS_CDX));
  ASSERT_NDS_OK(
      NdsExecuteSQLDirect(statement, "CREATE TABLE parts (code CHAR(8), qty INTEGER)", &none));
  NdsCloseSQLStatement(statement);
  Exec("INSERT INTO parts VALUES ('P3', 3), ('P1', 1), ('P2', 2), ('P4', 4)");
  Exec("CREATE INDEX by_part ON parts (code)");
  NDSHANDLE parts = OpenTable("parts");
  NDSHANDLE order = Order(parts, "by_part");
  EXPECT_TRUE(SeekString(order, "P2"));
  ASSERT_NDS_OK(NdsDeleteRecord(parts));
  EXPECT_EQ(Walk(order, parts, "code"), (std::vector<std::string>{"P1", "P3", "P4"}));
  EXPECT_EQ(Count(order, NDS_RESPECTFILTERS), 3u);
  EXPECT_FALSE(SeekString(order, "P2", NDS_HARDSEEK));
  EXPECT_TRUE(SeekString(order, "P3"));
  uint32_t number = 0;
  ASSERT_NDS_OK(NdsGetKeyNum(order, NDS_RESPECTFILTERS, &number));
  EXPECT_EQ(number, 2u);
  ASSERT_NDS_OK(NdsSetFilter(parts, "qty > 1"));
  EXPECT_EQ(Walk(order, parts, "code"), (std::vector<std::string>{"P3", "P4"}));
  EXPECT_EQ(Count(order, NDS_RESPECTFILTERS), 2u);
}

// The deletion marks of DBF-kind tables live in a table the first cursor
// makes. Made inside a transaction, a rollback takes it away again: the
// statements kept for the orders must not go on reading it as if it stayed.
TEST_P(SeeksOnSqlite, KeptStatementsOutliveTheRollbackOfTheDeletionMarks) {
  NDSHANDLE statement = 0, none = 0;
  ASSERT_NDS_OK(NdsCreateSQLStatement(connection_, &statement));
  ASSERT_NDS_OK(NdsStmtSetTableType(statement, NDS_CDX));
  ASSERT_NDS_OK(NdsExecuteSQLDirect(statement, "CREATE TABLE parts (code CHAR(8))", &none));
  NdsCloseSQLStatement(statement);
  Exec("INSERT INTO parts VALUES ('P3'), ('P1'), ('P2')");
  Exec("CREATE INDEX by_part ON parts (code)");
  ASSERT_EQ(QueryDirect(store_.StoreFile(),
                        "SELECT count(*) FROM sqlite_master WHERE name = '_nce_deleted'"),
            "0");

  ASSERT_NDS_OK(NdsBeginTransaction(connection_));
  NDSHANDLE parts = OpenTable("parts");
  NDSHANDLE order = Order(parts, "by_part");
  const std::vector<std::string> in_order{"P1", "P2", "P3"}, in_records{"P3", "P1", "P2"};
  EXPECT_EQ(Walk(order, parts, "code"), in_order);
  EXPECT_EQ(Walk(parts, parts, "code"), in_records);
  ASSERT_NDS_OK(NdsRollbackTransaction(connection_));

  EXPECT_EQ(Walk(order, parts, "code"), in_order);
  EXPECT_EQ(Walk(parts, parts, "code"), in_records);
  ASSERT_NDS_OK(NdsCloseTable(parts));
}

}  // namespace
}  // namespace nce_test
