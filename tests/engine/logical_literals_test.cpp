// One SQL on both stores for logical fields: TRUE and FALSE are written,
// compared and tested as on SQLite, where they are 1 and 0, and a value
// that is no logical value is refused with the same error on both.
#include <string>

#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"

namespace nce_test {
namespace {

class LogicalLiterals : public ::testing::TestWithParam<StoreKind> {
 protected:
  TestStore store_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Stores, LogicalLiterals, BothStores(), StoreKindName);

TEST_P(LogicalLiterals, TrueAndFalseMeanOneAndZeroOnBothStores) {
  NDSHANDLE connection = store_.Connect();
  RunSqlOrFail(connection,
               "CREATE TABLE t (n INTEGER, flag LOGICAL);"
               "INSERT INTO t VALUES (1, true); INSERT INTO t VALUES (2, FALSE);"
               "INSERT INTO t VALUES (3, 1); INSERT INTO t (n, flag) SELECT 4, True;"
               "UPDATE t SET flag = false WHERE n = 3 AND true AND NOT false");
  EXPECT_EQ(RowsText(connection, "SELECT n FROM t WHERE flag = true ORDER BY n"), "1\n4\n");
  EXPECT_EQ(RowsText(connection, "SELECT n FROM t WHERE flag <> TRUE ORDER BY n"), "2\n3\n");
  EXPECT_EQ(RowsText(connection, "SELECT n FROM t WHERE (flag = 1) IS TRUE AND n > 1"), "4\n");
  EXPECT_EQ(RowsText(connection, "SELECT n FROM t WHERE (n = 2) IS NOT FALSE"), "2\n");
  EXPECT_EQ(RowsText(connection, "SELECT 'true', \"n\" FROM t WHERE n = 1"), "true|1\n");

  // Neither store takes a logical value it cannot hold, and both say so alike.
  for (const char* bad : {"INSERT INTO t VALUES (5, 2)", "UPDATE t SET flag = -1 WHERE n = 1"}) {
    EXPECT_EQ(RunSql(connection, bad), NDS_E_VALUE_INVALID) << bad;
    EXPECT_NE(LastErrorText().find("not a logical value (1 for true, 0 for false)"),
              std::string::npos)
        << LastErrorText();
  }
  EXPECT_EQ(RowsText(connection, "SELECT count(*) FROM t WHERE flag = true"), "2\n");
  NdsDisconnect(connection);
}

}  // namespace
}  // namespace nce_test
