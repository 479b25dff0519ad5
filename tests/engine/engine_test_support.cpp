#include "tests/engine/engine_test_support.h"

namespace nce_test {

uint32_t LastErrorNumber() {
  uint32_t number = 0;
  char text[601] = {};
  uint16_t length = 600;
  NdsGetLastError(&number, text, &length);
  return number;
}

std::string LastErrorText() {
  uint32_t number = 0;
  char text[601] = {};
  uint16_t length = 600;
  NdsGetLastError(&number, text, &length);
  return text;
}

NDSHANDLE ConnectOrFail(const std::string& path) {
  NDSHANDLE connection = 0;
  NDSRESULT rc = NdsConnect60(path.c_str(), NDS_LOCAL_SERVER, "", "", 0, &connection);
  EXPECT_EQ(rc, NDS_SUCCESS) << LastErrorText();
  return connection;
}

NDSRESULT RunSql(NDSHANDLE connection, const std::string& sql) {
  NDSHANDLE statement = 0;
  NDSRESULT rc = NdsCreateSQLStatement(connection, &statement);
  if (rc != NDS_SUCCESS) return rc;
  NDSHANDLE cursor = 0;
  rc = NdsExecuteSQLDirect(statement, sql.c_str(), &cursor);
  if (cursor) NdsCloseTable(cursor);
  NdsCloseSQLStatement(statement);
  return rc;
}

void RunSqlOrFail(NDSHANDLE connection, const std::string& sql) {
  NDSRESULT rc = RunSql(connection, sql);
  ASSERT_EQ(rc, NDS_SUCCESS) << LastErrorText() << "\n  in: " << sql;
}

std::string StoreFile(const TempDir& dir) {
  return (dir.path() / "nce.db").string();
}

}  // namespace nce_test
