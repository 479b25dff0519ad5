// Money amounts are exact over the whole 64-bit range with four decimals:
// through SQL literals and parameters, cursors' texts and record images.
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "cursor_test_support.h"
#include "engine_test_support.h"

namespace nce_test {
namespace {

constexpr int64_t kLargest = INT64_MAX;  // 922337203685477.5807
constexpr int64_t kSmallest = -INT64_MAX;

class Money : public CursorTest {
 protected:
  Money() { Exec("CREATE TABLE m (id INTEGER, m MONEY)"); }

  // The amount of row `id` as SQL shows it.
  std::string Sql(int id) {
    return QueryDirect(StoreFile(dir_), "SELECT m FROM m WHERE id = " + std::to_string(id));
  }
  // The amount of row `id` as a cursor's text and as its record image.
  std::pair<std::string, int64_t> Cursor(int id) {
    NDSHANDLE cursor = OpenQuery("SELECT * FROM m WHERE id = " + std::to_string(id), true);
    EXPECT_EQ(NdsGotoTop(cursor), 0u) << LastErrorText();
    uint32_t offset = 0, length = 0;
    EXPECT_EQ(NdsGetFieldOffset(cursor, "m", &offset), 0u) << LastErrorText();
    EXPECT_EQ(NdsGetRecordLength(cursor, &length), 0u);
    std::string image(length, '\0');
    EXPECT_EQ(NdsGetRecord(cursor, image.data(), &length), 0u) << LastErrorText();
    int64_t scaled = 0;
    std::memcpy(&scaled, image.data() + offset, sizeof scaled);
    return {Text(cursor, "m"), scaled};
  }
  void InsertWithParameter(int id, const char* amount) {
    NDSHANDLE statement = 0;
    ASSERT_EQ(NdsCreateSQLStatement(conn_, &statement), 0u);
    ASSERT_EQ(
        NdsPrepareSQL(statement, ("INSERT INTO m VALUES (" + std::to_string(id) + ", ?)").c_str()),
        0u);
    ASSERT_EQ(NdsSetString(statement, NDS_FIELD_ORDINAL(1), amount, std::strlen(amount)), 0u);
    EXPECT_EQ(NdsExecuteSQL(statement, nullptr), 0u) << LastErrorText();
    NdsCloseSQLStatement(statement);
  }
  // Appends row `id` through a cursor, setting the amount as text or image.
  NDSRESULT Append(int id, const std::string& amount, const int64_t* image = nullptr) {
    NDSHANDLE cursor = OpenTable("m");
    EXPECT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    std::string number = std::to_string(id);
    EXPECT_EQ(NdsSetField(cursor, "id", number.data(), number.size()), 0u) << LastErrorText();
    NDSRESULT rc = image ? NdsSetFieldRaw(cursor, "m", image, sizeof *image)
                         : NdsSetField(cursor, "m", amount.data(), amount.size());
    if (rc == 0) rc = NdsWriteRecord(cursor);
    if (rc != 0) NdsCancelUpdate(cursor);  // closing would write the record
    NDSRESULT failure = rc;
    std::string text = LastErrorText();
    Close(cursor);
    if (failure) NdsSetLastError(failure, text.c_str());
    return rc;
  }
};

TEST_F(Money, ExtremesComeBackExactlyThroughEveryPath) {
  Exec(
      "INSERT INTO m VALUES (1, 922337203685477.5807), (2, -922337203685477.5807), "
      "(3, 0.0001), (4, 922337203685477), (5, '123456789012.3456'), (6, 99999999999.9999)");
  InsertWithParameter(7, "922337203685477.5807");
  InsertWithParameter(8, "12.5");
  ASSERT_EQ(Append(9, "-922337203685477.5807"), 0u) << LastErrorText();
  ASSERT_EQ(Append(10, "", &kLargest), 0u) << LastErrorText();
  ASSERT_EQ(Append(11, "", &kSmallest), 0u) << LastErrorText();

  EXPECT_EQ(Sql(1), "922337203685477.5807");
  EXPECT_EQ(Sql(2), "-922337203685477.5807");
  EXPECT_EQ(Sql(5), "123456789012.3456");
  EXPECT_EQ(Sql(7), "922337203685477.5807");
  EXPECT_EQ(Sql(10), "922337203685477.5807");
  // Amounts a number holds exactly are numbers, for SQL to sum and compare.
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT typeof(m) || ' ' || (m > 12) FROM m WHERE id = 8"),
            "real 1");
  EXPECT_EQ(Cursor(1), std::make_pair(std::string("922337203685477.5807"), kLargest));
  EXPECT_EQ(Cursor(2), std::make_pair(std::string("-922337203685477.5807"), kSmallest));
  EXPECT_EQ(Cursor(3), std::make_pair(std::string("0.0001"), int64_t{1}));
  EXPECT_EQ(Cursor(4), std::make_pair(std::string("922337203685477.0000"), kLargest - 5807));
  EXPECT_EQ(Cursor(5).second, int64_t{1234567890123456});
  EXPECT_EQ(Cursor(6).second, int64_t{999999999999999});
  EXPECT_EQ(Cursor(7).second, kLargest);
  EXPECT_EQ(Cursor(9).second, kSmallest);
  EXPECT_EQ(Cursor(11).first, "-922337203685477.5807");
}

TEST_F(Money, AmountsBeyondTheTypeAreRefusedNotRounded) {
  for (const char* amount : {"'1.23456'", "1.23456", "0.00001", "'922337203685477.5808'",
                             "922337203685478", "'1234567890123456.5'", "123456789012.3"}) {
    SCOPED_TRACE(amount);
    ExpectError(RunSql(conn_, std::string("INSERT INTO m VALUES (1, ") + amount + ")"),
                NDS_E_VALUE_TOO_LONG, "column \"m\"");
  }
  ExpectError(RunSql(conn_, "INSERT INTO m VALUES (1, '12,50')"), NDS_E_VALUE_INVALID,
              "column \"m\"");
  ExpectError(Append(1, "1.23456"), NDS_E_VALUE_TOO_LONG, "four decimals");
  ExpectError(Append(1, "922337203685477.5808"), NDS_E_VALUE_TOO_LONG, "money");
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT count(*) FROM m"), "0");
}

TEST_F(Money, ColumnsStoredAsNumbersKeepWorkingAndRefuseWhatTheyWouldRound) {
  // A money column made before amounts could be text: SQLite turns every
  // amount into a number there.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(StoreFile(dir_).c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE old (m MONEY); INSERT INTO old VALUES (12.5)", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  NDSHANDLE connection = ConnectOrFail(dir_.str());
  EXPECT_EQ(RunSql(connection, "INSERT INTO old VALUES (922337203685477)"), 0u) << LastErrorText();
  ExpectError(RunSql(connection, "INSERT INTO old VALUES (922337203685477.5807)"),
              NDS_E_VALUE_TOO_LONG, "column \"m\"");
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT group_concat(m, ' ') FROM old"),
            "12.5 922337203685477");
  NdsDisconnect(connection);
}

}  // namespace
}  // namespace nce_test
