#include "tests/engine/engine_test_support.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>

namespace nce_test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("nce_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

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

std::string QueryDirect(const std::string& store, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  std::string result = "<error>";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      result = text ? reinterpret_cast<const char*>(text) : "<null>";
    } else {
      result = "<no row>";
    }
  } else {
    result += sqlite3_errmsg(db);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return result;
}

std::string StoreFile(const TempDir& dir) {
  return (dir.path() / "nce.db").string();
}

}  // namespace nce_test
