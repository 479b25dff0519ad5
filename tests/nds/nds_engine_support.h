// Engine helpers for the component layer's tests: statements run straight
// through the engine, beside the component under test.
#ifndef TESTS_NDS_NDS_ENGINE_SUPPORT_H_
#define TESTS_NDS_NDS_ENGINE_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "nds/nce.h"

namespace nds_test {

// Runs `sql` on the engine connection `connection`; fails the test when the
// engine refuses.
inline void ExecSql(NDSHANDLE connection, const std::string& sql) {
  NDSHANDLE statement = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), 0u);
  NDSHANDLE cursor = 0;
  const NDSRESULT rc = NdsExecuteSQLDirect(statement, sql.c_str(), &cursor);
  if (cursor != 0) NdsCloseTable(cursor);
  NdsCloseSQLStatement(statement);
  ASSERT_EQ(rc, 0u) << sql;
}

// The number of rows `select` yields on `connection`; -1 when the engine
// refuses.
inline long CountRows(NDSHANDLE connection, const std::string& select) {
  NDSHANDLE statement = 0;
  if (NdsCreateSQLStatement(connection, &statement) != 0) return -1;
  NDSHANDLE cursor = 0;
  long result = -1;
  if (NdsExecuteSQLDirect(statement, select.c_str(), &cursor) == 0 && cursor != 0) {
    std::uint32_t count = 0;
    if (NdsGetRecordCount(cursor, NDS_IGNOREFILTERS, &count) == 0) result = count;
  }
  if (cursor != 0) NdsCloseTable(cursor);
  NdsCloseSQLStatement(statement);
  return result;
}

// The engine's last error number and text on this thread.
inline std::string LastErrorText() {
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  std::uint32_t number = 0;
  std::uint16_t length = NDS_MAX_ERROR_LEN;
  NdsGetLastError(&number, text, &length);
  return text;
}

}  // namespace nds_test

#endif  // TESTS_NDS_NDS_ENGINE_SUPPORT_H_
