// Table searches by mask over a database's tables, and the server's clock,
// on a SQLite store and on a server.
#include <cstdio>

#include "cursor_test_support.h"

namespace nce_test {
namespace {

class TableSearch : public StoreCursorTest {
 protected:
  std::vector<std::string> Search(const std::string& mask,
                                  std::vector<std::string>* files = nullptr) {
    std::vector<std::string> names;
    char name[260], file[260];
    uint16_t length = sizeof name, file_length = sizeof file;
    NDSHANDLE find = 0;
    NDSRESULT rc =
        NdsFindFirstTable62(conn_, mask.c_str(), name, &length, file, &file_length, &find);
    while (rc == 0) {
      names.push_back(name);
      if (files) files->push_back(file);
      length = sizeof name, file_length = sizeof file;
      rc = NdsFindNextTable62(conn_, find, name, &length, file, &file_length);
    }
    EXPECT_EQ(rc, NDS_E_NO_MORE_TABLES) << LastErrorText();
    if (find) {
      EXPECT_EQ(NdsFindClose(conn_, find), 0u);
    }
    return names;
  }
};

INSTANTIATE_TEST_SUITE_P(Stores, TableSearch, BothStores(), StoreKindName);

TEST_P(TableSearch, MasksSelectTablesByType) {
  Exec("CREATE TABLE orders (id INTEGER)");
  Exec("CREATE TABLE customers (id INTEGER)");
  Exec("CREATE TABLE legacy (id INTEGER)", NDS_CDX);
  std::vector<std::string> files;
  EXPECT_EQ(Search(store_.path() + "\\*.ndt", &files),
            (std::vector<std::string>{"customers", "orders"}));
  EXPECT_EQ(files, (std::vector<std::string>{"customers.ndt", "orders.ndt"}));
  EXPECT_EQ(Search(store_.path() + "/*.DBF"), (std::vector<std::string>{"legacy"}));
  EXPECT_EQ(Search(""), (std::vector<std::string>{"customers", "legacy", "orders"}));
  EXPECT_EQ(Search("o*.*"), (std::vector<std::string>{"orders"}));
  // An empty search ends at once.
  char name[260];
  uint16_t length = sizeof name;
  NDSHANDLE find = 0;
  EXPECT_EQ(NdsFindFirstTable(conn_, "*.xyz", name, &length, &find), NDS_E_NO_MORE_TABLES);
  EXPECT_EQ(find, 0u);
  ASSERT_EQ(NdsFindFirstTable(conn_, "*.ndt", name, &length, &find), 0u);
  EXPECT_STREQ(name, "customers");
  EXPECT_EQ(NdsFindClose(conn_, find), 0u);
  EXPECT_EQ(NdsFindNextTable(conn_, find, name, &length), NDS_E_INVALID_HANDLE);
}

TEST_P(TableSearch, ServerNameAndTime) {
  char name[255];
  uint16_t length = sizeof name;
  ASSERT_EQ(NdsGetServerName(conn_, name, &length), 0u);
  EXPECT_GT(length, 0);
  char date[69], time[69];
  uint16_t date_length = sizeof date, time_length = sizeof time;
  int32_t ms = -1;
  ASSERT_EQ(NdsGetServerTime(conn_, date, &date_length, &ms, time, &time_length), 0u)
      << LastErrorText();
  EXPECT_EQ(date_length, 8);
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 86400000);
  EXPECT_EQ(time_length, 8);
  // The milliseconds and the time text tell the same moment.
  int h = 0, m = 0, sec = 0;
  ASSERT_EQ(std::sscanf(time, "%d:%d:%d", &h, &m, &sec), 3) << time;
  EXPECT_EQ(ms / 1000, (h * 60 + m) * 60 + sec) << time;
  double julian = 0;
  ASSERT_EQ(NdsConvertDateToJulian(conn_, date, date_length, &julian), 0u) << LastErrorText();
  EXPECT_GT(julian, 2460000.0);
  EXPECT_EQ(NdsGetServerTime(0, date, &date_length, &ms, time, &time_length), NDS_E_INVALID_HANDLE);
}

}  // namespace
}  // namespace nce_test
