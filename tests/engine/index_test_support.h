// A database directory with one engine connection, for the tests of index
// orders, keys, scopes, filters and the data dictionary; and helpers that
// walk a cursor and read its fields as text.
#ifndef TESTS_ENGINE_INDEX_TEST_SUPPORT_H
#define TESTS_ENGINE_INDEX_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "nce/nce.h"
#include "test_store.h"

namespace nce_test {

class IndexTest : public ::testing::Test {
 protected:
  IndexTest();
  ~IndexTest() override;

  void Exec(const std::string& sql) { RunSqlOrFail(connection_, sql); }
  NDSHANDLE OpenTable(const std::string& name);
  // The order named `name` of the cursor.
  NDSHANDLE Order(NDSHANDLE cursor, const std::string& name);
  // A field of the current record as text without trailing blanks.
  std::string Field(NDSHANDLE cursor, const std::string& field);
  // `field` of every record from the top to the end, navigating through
  // `navigation` (the cursor or one of its orders).
  std::vector<std::string> Walk(NDSHANDLE navigation, NDSHANDLE cursor, const std::string& field);
  std::vector<std::string> WalkBack(NDSHANDLE navigation, NDSHANDLE cursor,
                                    const std::string& field);
  uint32_t Count(NDSHANDLE handle, uint16_t option);
  bool Eof(NDSHANDLE cursor);

  TempDir dir_;
  NDSHANDLE connection_ = 0;
};

// The same on the store a test parameter names: a SQLite store, or a fresh
// database of the test server (the suite needs the fixture pg_server).
class StoreIndexTest : public IndexTest, public ::testing::WithParamInterface<StoreKind> {
 protected:
  StoreIndexTest();

  bool OnServer() const { return store_.OnServer(); }

  TestStore store_;
};

// Fails the test unless `rc` is `expected`; shows the last error otherwise.
#define EXPECT_NDS(rc, expected) EXPECT_EQ((rc), (expected)) << LastErrorText()
#define ASSERT_NDS_OK(rc) ASSERT_EQ((rc), NDS_SUCCESS) << LastErrorText()

}  // namespace nce_test

#endif  // TESTS_ENGINE_INDEX_TEST_SUPPORT_H
