// Table searches by mask over a database's tables, and the server's clock.
#include "index_test_support.h"

namespace nce_test {
namespace {

class TableSearch : public IndexTest {
 protected:
  std::vector<std::string> Search(const std::string& mask,
                                  std::vector<std::string>* files = nullptr) {
    std::vector<std::string> names;
    char name[260], file[260];
    uint16_t length = sizeof name, file_length = sizeof file;
    NDSHANDLE find = 0;
    NDSRESULT rc =
        NdsFindFirstTable62(connection_, mask.c_str(), name, &length, file, &file_length, &find);
    while (rc == 0) {
      names.push_back(name);
      if (files) files->push_back(file);
      length = sizeof name, file_length = sizeof file;
      rc = NdsFindNextTable62(connection_, find, name, &length, file, &file_length);
    }
    EXPECT_EQ(rc, NDS_E_NO_MORE_TABLES) << LastErrorText();
    if (find) {
      EXPECT_EQ(NdsFindClose(connection_, find), 0u);
    }
    return names;
  }
};

TEST_F(TableSearch, MasksSelectTablesByType) {
  Exec("CREATE TABLE orders (id INTEGER)");
  Exec("CREATE TABLE customers (id INTEGER)");
  NDSHANDLE statement = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection_, &statement), 0u);
  ASSERT_EQ(NdsStmtSetTableType(statement, NDS_CDX), 0u);
  ASSERT_EQ(NdsExecuteSQLDirect(statement, "CREATE TABLE legacy (id INTEGER)", nullptr), 0u)
      << LastErrorText();
  NdsCloseSQLStatement(statement);
  std::vector<std::string> files;
  EXPECT_EQ(Search(dir_.str() + "\\*.ndt", &files),
            (std::vector<std::string>{"customers", "orders"}));
  EXPECT_EQ(files, (std::vector<std::string>{"customers.ndt", "orders.ndt"}));
  EXPECT_EQ(Search(dir_.str() + "/*.DBF"), (std::vector<std::string>{"legacy"}));
  EXPECT_EQ(Search(""), (std::vector<std::string>{"customers", "legacy", "orders"}));
  EXPECT_EQ(Search("c*.*"), (std::vector<std::string>{"customers"}));
  // An empty search ends at once.
  char name[260];
  uint16_t length = sizeof name;
  NDSHANDLE find = 0;
  EXPECT_EQ(NdsFindFirstTable(connection_, "*.xyz", name, &length, &find), NDS_E_NO_MORE_TABLES);
  EXPECT_EQ(find, 0u);
  ASSERT_EQ(NdsFindFirstTable(connection_, "*.ndt", name, &length, &find), 0u);
  EXPECT_STREQ(name, "customers");
  EXPECT_EQ(NdsFindClose(connection_, find), 0u);
  EXPECT_EQ(NdsFindNextTable(connection_, find, name, &length), NDS_E_INVALID_HANDLE);
}

TEST_F(TableSearch, ServerNameAndTime) {
  char name[255];
  uint16_t length = sizeof name;
  ASSERT_EQ(NdsGetServerName(connection_, name, &length), 0u);
  EXPECT_GT(length, 0);
  char date[69], time[69];
  uint16_t date_length = sizeof date, time_length = sizeof time;
  int32_t ms = -1;
  ASSERT_EQ(NdsGetServerTime(connection_, date, &date_length, &ms, time, &time_length), 0u)
      << LastErrorText();
  EXPECT_EQ(date_length, 8);
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 86400000);
  EXPECT_EQ(time_length, 8);
  double julian = 0;
  ASSERT_EQ(NdsConvertDateToJulian(connection_, date, date_length, &julian), 0u) << LastErrorText();
  EXPECT_GT(julian, 2460000.0);
  EXPECT_EQ(NdsGetServerTime(0, date, &date_length, &ms, time, &time_length), NDS_E_INVALID_HANDLE);
}

}  // namespace
}  // namespace nce_test
