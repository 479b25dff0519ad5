#include "tests/engine/test_store.h"

#include "tests/engine/engine_test_support.h"
#include "tests/store/test_server.h"

namespace nce_test {

std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info) {
  return info.param == StoreKind::kServer ? "Server" : "Sqlite";
}

TestStore::TestStore(StoreKind kind)
    : kind_(kind),
      path_(OnServer() ? test_support::ServerUri(test_support::FreshDatabase()) : dir_.str()) {}

std::string TestStore::StoreFile() const {
  return nce_test::StoreFile(dir_);
}

NDSHANDLE TestStore::Connect() const {
  if (!OnServer()) return ConnectOrFail(path_);
  NDSHANDLE connection = 0;
  EXPECT_EQ(NdsConnect60(path_.c_str(), NDS_REMOTE_SERVER, "", "", 0, &connection), NDS_SUCCESS)
      << LastErrorText();
  return connection;
}

std::string TestStore::Read(const std::string& select) const {
  NDSHANDLE connection = Connect();
  std::string rows = RowsText(connection, select);
  NdsDisconnect(connection);
  return rows;
}

std::string RowsText(NDSHANDLE connection, const std::string& select) {
  NDSHANDLE statement = 0, cursor = 0;
  EXPECT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  EXPECT_EQ(NdsExecuteSQLDirect(statement, select.c_str(), &cursor), NDS_SUCCESS)
      << select << ": " << LastErrorText();
  std::string out;
  uint16_t fields = 0, eof = 0;
  NdsGetNumFields(cursor, &fields);
  NdsGotoTop(cursor);
  for (; NdsAtEOF(cursor, &eof) == NDS_SUCCESS && !eof; NdsSkip(cursor, 1)) {
    for (uint16_t f = 1; f <= fields; ++f) {
      char text[512];
      uint32_t length = sizeof text;
      EXPECT_EQ(NdsGetField(cursor, NDS_FIELD_ORDINAL(f), text, &length, NDS_TRIM_RIGHT),
                NDS_SUCCESS)
          << LastErrorText();
      out += (f > 1 ? "|" : "") + std::string(text, length);
    }
    out += "\n";
  }
  NdsCloseTable(cursor);
  NdsCloseSQLStatement(statement);
  return out;
}

}  // namespace nce_test
