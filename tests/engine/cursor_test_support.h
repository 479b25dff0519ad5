// Helpers of the cursor tests: a database with one connection, tables made
// through the engine's SQL, and short ways to open cursors and read records.
#ifndef TESTS_ENGINE_CURSOR_TEST_SUPPORT_H
#define TESTS_ENGINE_CURSOR_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "nce/nce.h"
#include "test_store.h"

namespace nce_test {

class CursorTest : public ::testing::Test {
 protected:
  CursorTest();
  ~CursorTest() override;

  // Runs `sql` with the statement's table type set (NDS_NDT, NDS_CDX, NDS_NTX).
  void Exec(const std::string& sql, uint16_t table_type = NDS_NDT);
  // Fills `table` (made before) with rows (id, name) for id = 1 ... n.
  void FillNumbered(const std::string& table, int n);
  NDSHANDLE OpenTable(const std::string& table, uint32_t options = 0);
  // A cursor for `sql` asked for as read-write (live) or read-only.
  NDSHANDLE OpenQuery(const std::string& sql, bool live);
  void Close(NDSHANDLE cursor);

  // The field's text form with trailing blanks cut; fails on engine errors.
  std::string Text(NDSHANDLE cursor, const char* field);
  uint32_t RecNo(NDSHANDLE cursor);
  bool Eof(NDSHANDLE cursor);
  bool Bof(NDSHANDLE cursor);
  // Record numbers met walking from the top forward (or from the bottom back).
  std::vector<uint32_t> WalkForward(NDSHANDLE cursor);
  std::vector<uint32_t> WalkBackward(NDSHANDLE cursor);

  TempDir dir_;
  NDSHANDLE conn_ = 0;
  std::vector<NDSHANDLE> open_;  // cursors closed at the end
};

// The same on the store a test parameter names: a SQLite store, or a fresh
// database of the test server (the suite needs the fixture pg_server).
class StoreCursorTest : public CursorTest, public ::testing::WithParamInterface<StoreKind> {
 protected:
  StoreCursorTest();

  bool OnServer() const { return store_.OnServer(); }

  TestStore store_;
};

// Forks a second process that runs `body` with the read end of a command
// pipe and the write end of an answer pipe, then exits. The parent keeps
// the other ends in *commands and *answers. -1 when the pipes or the fork fail.
pid_t StartChild(const std::function<void(int commands, int answers)>& body, int* commands,
                 int* answers);

// Expects `rc` to be `expected` and the last error text to contain `part`.
void ExpectError(NDSRESULT rc, uint32_t expected, const std::string& part = "");

}  // namespace nce_test

#endif  // TESTS_ENGINE_CURSOR_TEST_SUPPORT_H
