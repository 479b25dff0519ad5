// Filters and optimized filters on a table cursor, alike on a SQLite store
// and on a server: the records each expression shows, counts that respect
// or ignore them, key numbers and visibility, keyset filters that keep the
// records matching when set, the exact setting, and expressions evaluated
// on the current record.
#include "cursor_test_support.h"
#include "index_test_support.h"

namespace nce_test {
namespace {

using Codes = std::vector<std::string>;

class Filters : public StoreCursorTest {
 protected:
  Filters() {
    Exec(
        "CREATE TABLE stock (code CHAR(8), name CHAR(20), qty INTEGER, due DATE, ok LOGICAL, "
        "price DOUBLE, stamp TIMESTAMP)");
    Exec(
        "INSERT INTO stock VALUES"
        " ('B200', 'Bolt', 40, '2024-03-01', 1, 1.5, '2024-03-01 08:30:00.000'),"
        " ('A100', 'Anchor', 10, '2024-01-15', 0, 12.25, '2024-01-15 17:00:00.500'),"
        " ('C300', 'Cable', 0, NULL, NULL, NULL, NULL),"
        " ('A150', 'Axle', 25, '2024-02-29', 1, 7, '2023-12-31 23:59:59.999'),"
        " ('D400', 'Drill', 5, '2024-03-01', 0, 0.5, '2024-03-01 00:00:00.000'),"
        " ('B250', 'Bracket', 15, '2023-12-31', 1, 100, '2024-02-29 12:00:00.000')");
    stock_ = OpenTable("stock");
  }

  // The codes the cursor shows, walking from the top.
  Codes Shown() {
    Codes codes;
    EXPECT_NDS(NdsGotoTop(stock_), NDS_SUCCESS);
    while (!Eof(stock_)) {
      codes.push_back(Text(stock_, "code"));
      EXPECT_NDS(NdsSkip(stock_, 1), NDS_SUCCESS);
      if (codes.size() > 10) break;
    }
    return codes;
  }

  Codes Filtered(const std::string& filter) {
    EXPECT_NDS(NdsSetFilter(stock_, filter.c_str()), NDS_SUCCESS) << filter;
    return Shown();
  }

  uint32_t Count(uint16_t option) {
    uint32_t count = 0;
    EXPECT_NDS(NdsGetRecordCount(stock_, option, &count), NDS_SUCCESS);
    return count;
  }

  NDSHANDLE stock_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Stores, Filters, BothStores(), StoreKindName);

// Each function and operator of the expression language in a filter: a
// server must show the records SQLite shows, NULLs and empty values
// included, and fail none of them (a division by zero, a text VAL cannot
// read).
TEST_P(Filters, EveryExpressionShowsTheSameRecords) {
  const std::pair<const char*, Codes> cases[] = {
      {"qty > 10 .AND. .NOT. EMPTY(due)", {"B200", "A150", "B250"}},
      {"ok", {"B200", "A150", "B250"}},
      {".NOT. ok .AND. qty < 10 .OR. price = 100", {"C300", "D400", "B250"}},
      {"EMPTY(ok) .AND. .NOT. EMPTY(price)", {"A100", "D400"}},
      {"ok = .T. .AND. qty < 30", {"A150", "B250"}},
      {"'x' $ LOWER(name)", {"A150"}},
      {"UPPER(name) = 'BR'", {"B250"}},
      {"code > 'B'", {"B200", "C300", "D400", "B250"}},
      {"SUBSTR(code, 3, 2) = '00'", {"B200", "A100", "C300", "D400"}},
      {"RIGHT(TRIM(code), 2) = '50' .AND. LEFT(name, 1) = 'A'", {"A150"}},
      {"LEN(TRIM(name)) = 4", {"B200", "A150"}},
      {"AT('a', name) = 2", {"C300"}},
      {"PADL(TRIM(code), 6) = '  A100'", {"A100"}},
      {"ASC(name) = 66", {"B200", "B250"}},
      {"name = 'B' + CHR(111)", {"B200"}},
      {"name <> CHR(200) .AND. qty > 30", {"B200"}},
      {"CONTAINS(name, 'bolt OR drill')", {"B200", "D400"}},
      {"DTOS(due) < '20240201'", {"A100", "C300", "B250"}},
      {"DTOC(due) = '03/01/2024'", {"B200", "D400"}},
      {"YEAR(due) = 2024 .AND. MONTH(due) = 3 .AND. DAY(due) = 1", {"B200", "D400"}},
      {"DOW(due) = 1", {"B250"}},
      {"due + 30 > CTOD('03/01/2024')", {"B200", "A150", "D400"}},
      {"due - CTOD('01/01/2024') > 59", {"B200", "D400"}},
      {"CTOD(DTOC(due)) = due", {"B200", "A100", "C300", "A150", "D400", "B250"}},
      {"stamp >= '2024-02-29 12:00:00'", {"B200", "D400", "B250"}},
      {"stamp < CTOTS(DTOC(due)) .AND. .NOT. EMPTY(stamp)", {"A150"}},
      {"STR(price, 6, 2) = '  1.50'", {"B200"}},
      {"VAL(SUBSTR(code, 2)) >= 250", {"C300", "D400", "B250"}},
      {"VAL('12abc') = 12 .AND. VAL(name) = 0 .AND. qty = 5", {"D400"}},
      {"INT(qty / 7) = 2", {"B250"}},
      {"qty / (qty - qty) > 1", {}},
      {"MOD(qty, 10) = 5 .OR. ROUND(price, 0) = 12", {"A100", "A150", "D400", "B250"}},
      {"MAX(qty, 20) = 20 .AND. MIN(qty, 1) = 1", {"A100", "D400", "B250"}},
      {"IIF(ok, qty, 0) > 20", {"B200", "A150"}},
      {"RECNO() > 4 .OR. ISNULL(due)", {"C300", "D400", "B250"}},
  };
  for (const auto& [filter, codes] : cases) EXPECT_EQ(Filtered(filter), codes) << filter;
  EXPECT_NDS(NdsSetFilter(stock_, "name"), NDS_E_BAD_EXPRESSION);  // not logical
  EXPECT_NDS(NdsSetFilter(stock_, "qty >"), NDS_E_BAD_EXPRESSION);
}

// A selection of a million values is a legitimate filter, on either store.
TEST_P(Filters, AMillionTermSelectionFilters) {
  std::string filter = "qty = 10";
  for (int i = 1; i < 1000000; ++i) filter += " .OR. qty = " + std::to_string(100 + i);
  EXPECT_EQ(Filtered(filter + " .OR. qty = 25"), (Codes{"A100", "A150"}));
}

TEST_P(Filters, CountsKeyNumbersAndVisibilityFollowFilterAndOptimizedFilter) {
  ASSERT_NDS_OK(NdsSetFilter(stock_, "qty > 10 .AND. .NOT. EMPTY(due)"));
  EXPECT_EQ(Count(NDS_RESPECTFILTERS), 3u);
  EXPECT_EQ(Count(NDS_IGNOREFILTERS), 6u);
  ASSERT_NDS_OK(NdsGotoRecord(stock_, 4));
  uint32_t key = 0;
  ASSERT_NDS_OK(NdsGetKeyNum(stock_, NDS_RESPECTFILTERS, &key));
  EXPECT_EQ(key, 2u);
  ASSERT_NDS_OK(NdsGotoRecord(stock_, 2));
  uint16_t visible = 9;
  ASSERT_NDS_OK(NdsIsRecordVisible(stock_, &visible));
  EXPECT_EQ(visible, 0);
  ASSERT_NDS_OK(NdsSkip(stock_, 1));  // past the hidden record 3
  EXPECT_EQ(RecNo(stock_), 4u);
  ASSERT_NDS_OK(NdsSetAOF(stock_, "due >= CTOD('03/01/2024')", NDS_RESOLVE_DYNAMIC));
  EXPECT_EQ(Shown(), (Codes{"B200"}));
  EXPECT_EQ(Count(NDS_RESPECTFILTERS), 1u);
  ASSERT_NDS_OK(NdsClearFilter(stock_));
  EXPECT_NDS(NdsClearFilter(stock_), NDS_E_NO_FILTER);
  EXPECT_EQ(Shown(), (Codes{"B200", "D400"}));
  ASSERT_NDS_OK(NdsClearAOF(stock_));
  EXPECT_NDS(NdsClearAOF(stock_), NDS_E_NO_FILTER);
  EXPECT_EQ(Count(NDS_RESPECTFILTERS), 6u);
  EXPECT_NDS(NdsSetAOF(stock_, "qty > 1", 3), NDS_E_INVALID_OPTION);
}

TEST_P(Filters, KeysetFiltersKeepTheRecordsThatMatchedWhenSet) {
  ASSERT_NDS_OK(NdsSetAOF(stock_, "qty < 20", NDS_RESOLVE_IMMEDIATE | NDS_AOF_KEYSET));
  EXPECT_EQ(Count(NDS_RESPECTFILTERS), 4u);
  Exec("UPDATE stock SET qty = 99 WHERE code = 'A100'");
  Exec("UPDATE stock SET qty = 1 WHERE code = 'B200'");
  EXPECT_EQ(Shown(), (Codes{"A100", "C300", "D400", "B250"}));
  // A new keyset filter takes the place of the old one and its records.
  ASSERT_NDS_OK(NdsSetAOF(stock_, "qty > 20", NDS_RESOLVE_IMMEDIATE | NDS_AOF_FIXED));
  EXPECT_EQ(Shown(), (Codes{"A100", "A150"}));
  ASSERT_NDS_OK(NdsSetAOF(stock_, "qty < 20", NDS_RESOLVE_DYNAMIC));
  EXPECT_EQ(Shown(), (Codes{"B200", "C300", "D400", "B250"}));
  // The kept records outlive neither their filter nor their cursor.
  const std::string kept =
      OnServer() ? "SELECT count(*) FROM pg_class WHERE relnamespace = pg_my_temp_schema() AND "
                   "relkind = 'r' AND relname LIKE '%aof%'"
                 : "SELECT count(*) FROM temp.sqlite_master WHERE name LIKE '%aof%'";
  EXPECT_EQ(RowsText(conn_, kept), "0\n");
  for (int i = 0; i < 3; ++i) {
    ASSERT_NDS_OK(NdsSetAOF(stock_, "qty < 20", NDS_AOF_KEYSET));
    ASSERT_NDS_OK(NdsClearAOF(stock_));
  }
  EXPECT_EQ(Count(NDS_RESPECTFILTERS), 6u);
  EXPECT_EQ(RowsText(conn_, kept), "0\n");
  ASSERT_NDS_OK(NdsSetAOF(stock_, "qty < 20", NDS_AOF_KEYSET));
  EXPECT_EQ(RowsText(conn_, kept), "1\n");
  Close(stock_);
  EXPECT_EQ(RowsText(conn_, kept), "0\n");
}

TEST_P(Filters, ExactSettingDecidesPrefixMatching) {
  uint16_t exact = 9;
  ASSERT_NDS_OK(NdsGetExact22(stock_, &exact));
  EXPECT_EQ(exact, 0);
  EXPECT_EQ(Filtered("name = 'B'"), (Codes{"B200", "B250"}));
  ASSERT_NDS_OK(NdsSetExact22(stock_, 1));
  EXPECT_TRUE(Filtered("name = 'B'").empty());
  EXPECT_EQ(Filtered("name = 'Bolt   '"), (Codes{"B200"}));  // trailing blanks do not count
  ASSERT_NDS_OK(NdsSetExact22(stock_, 0));
  EXPECT_TRUE(Filtered("name == 'Bo'").empty());  // '==' is exact whatever the setting
}

TEST_P(Filters, EvaluatesExpressionsOnTheCurrentRecord) {
  uint16_t result = 9;
  EXPECT_NDS(NdsEvalLogicalExpr(stock_, "qty > 1", &result), NDS_E_NO_CURRENT_RECORD);
  ASSERT_NDS_OK(NdsGotoRecord(stock_, 4));  // A150, Axle, 25
  ASSERT_NDS_OK(NdsEvalLogicalExpr(stock_, "qty = 25 .AND. 'x' $ LOWER(name) .AND. ok", &result));
  EXPECT_EQ(result, 1);
  ASSERT_NDS_OK(NdsEvalLogicalExpr(stock_, "YEAR(due) = 2023", &result));
  EXPECT_EQ(result, 0);
  ASSERT_NDS_OK(NdsGotoRecord(stock_, 3));  // nothing but a code, a name and 0
  ASSERT_NDS_OK(NdsEvalLogicalExpr(stock_, "EMPTY(due) .AND. .NOT. ok", &result));
  EXPECT_EQ(result, 1);
  EXPECT_NDS(NdsEvalLogicalExpr(stock_, "qty = ", &result), NDS_E_BAD_EXPRESSION);
}

}  // namespace
}  // namespace nce_test
