#include "cursor_test_support.h"

#include <unistd.h>

#include <algorithm>

namespace nce_test {

CursorTest::CursorTest() {
  conn_ = ConnectOrFail(dir_.str());
}

StoreCursorTest::StoreCursorTest() : store_(GetParam()) {
  NdsDisconnect(conn_);
  conn_ = store_.Connect();
}

CursorTest::~CursorTest() {
  for (NDSHANDLE h : open_) NdsCloseTable(h);
  if (conn_) NdsDisconnect(conn_);
}

void CursorTest::Exec(const std::string& sql, uint16_t table_type) {
  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(conn_, &statement), 0u) << LastErrorText();
  ASSERT_EQ(NdsStmtSetTableType(statement, table_type), 0u) << LastErrorText();
  NDSRESULT rc = NdsExecuteSQLDirect(statement, sql.c_str(), &cursor);
  std::string error = rc ? LastErrorText() : "";
  if (cursor) NdsCloseTable(cursor);
  NdsCloseSQLStatement(statement);
  ASSERT_EQ(rc, 0u) << sql << ": " << error;
}

void CursorTest::FillNumbered(const std::string& table, int n) {
  std::string sql = "INSERT INTO " + table + " (id, name) VALUES ";
  for (int i = 1; i <= n; ++i)
    sql += (i > 1 ? ", (" : "(") + std::to_string(i) + ", 'name" + std::to_string(i) + "')";
  Exec(sql);
}

NDSHANDLE CursorTest::OpenTable(const std::string& table, uint32_t options) {
  NDSHANDLE cursor = 0;
  EXPECT_EQ(NdsOpenTable(conn_, table.c_str(), 0, 0, options, &cursor), 0u) << LastErrorText();
  if (cursor) open_.push_back(cursor);
  return cursor;
}

NDSHANDLE CursorTest::OpenQuery(const std::string& sql, bool live) {
  NDSHANDLE statement = 0, cursor = 0;
  EXPECT_EQ(NdsCreateSQLStatement(conn_, &statement), 0u);
  EXPECT_EQ(NdsStmtSetTableReadOnly(statement, live ? NDS_CURSOR_READWRITE : NDS_CURSOR_READONLY),
            0u);
  EXPECT_EQ(NdsExecuteSQLDirect(statement, sql.c_str(), &cursor), 0u) << LastErrorText();
  if (cursor) open_.push_back(cursor);
  return cursor;
}

void CursorTest::Close(NDSHANDLE cursor) {
  EXPECT_EQ(NdsCloseTable(cursor), 0u) << LastErrorText();
  open_.erase(std::remove(open_.begin(), open_.end(), cursor), open_.end());
}

std::string CursorTest::Text(NDSHANDLE cursor, const char* field) {
  char buffer[256];
  uint32_t length = sizeof buffer;
  NDSRESULT rc = NdsGetField(cursor, field, buffer, &length, NDS_TRIM_RIGHT);
  EXPECT_EQ(rc, 0u) << field << ": " << LastErrorText();
  return rc ? std::string() : std::string(buffer, length);
}

uint32_t CursorTest::RecNo(NDSHANDLE cursor) {
  uint32_t n = 0;
  EXPECT_EQ(NdsGetRecordNum(cursor, NDS_IGNOREFILTERS, &n), 0u) << LastErrorText();
  return n;
}

bool CursorTest::Eof(NDSHANDLE cursor) {
  uint16_t flag = 0;
  EXPECT_EQ(NdsAtEOF(cursor, &flag), 0u);
  return flag != 0;
}

bool CursorTest::Bof(NDSHANDLE cursor) {
  uint16_t flag = 0;
  EXPECT_EQ(NdsAtBOF(cursor, &flag), 0u);
  return flag != 0;
}

std::vector<uint32_t> CursorTest::WalkForward(NDSHANDLE cursor) {
  std::vector<uint32_t> seen;
  EXPECT_EQ(NdsGotoTop(cursor), 0u) << LastErrorText();
  while (!Eof(cursor) && seen.size() < 100000) {
    seen.push_back(RecNo(cursor));
    EXPECT_EQ(NdsSkip(cursor, 1), 0u) << LastErrorText();
  }
  return seen;
}

std::vector<uint32_t> CursorTest::WalkBackward(NDSHANDLE cursor) {
  std::vector<uint32_t> seen;
  EXPECT_EQ(NdsGotoBottom(cursor), 0u) << LastErrorText();
  while (!Bof(cursor) && seen.size() < 100000) {
    seen.push_back(RecNo(cursor));
    EXPECT_EQ(NdsSkip(cursor, -1), 0u) << LastErrorText();
  }
  return seen;
}

pid_t StartChild(const std::function<void(int commands, int answers)>& body, int* commands,
                 int* answers) {
  int toChild[2], fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(toChild[1]);
    close(fromChild[0]);
    body(toChild[0], fromChild[1]);
    _exit(0);
  }
  close(toChild[0]);
  close(fromChild[1]);
  *commands = toChild[1];
  *answers = fromChild[0];
  return pid;
}

void ExpectError(NDSRESULT rc, uint32_t expected, const std::string& part) {
  EXPECT_EQ(rc, expected) << LastErrorText();
  if (rc == expected && !part.empty()) {
    EXPECT_NE(LastErrorText().find(part), std::string::npos) << LastErrorText();
  }
}

}  // namespace nce_test
