// The store a test runs on, for cases that must behave alike on a SQLite
// store in a temporary directory and on a database of the test PostgreSQL
// server (tests/store/test_server.h; the suite needs the fixture pg_server).
#ifndef TESTS_ENGINE_TEST_STORE_H
#define TESTS_ENGINE_TEST_STORE_H

#include <gtest/gtest.h>

#include <string>

#include "nce/nce.h"
#include "tests/support/temp_dir.h"

namespace nce_test {

enum class StoreKind { kSqlite, kServer };

// Both kinds, for INSTANTIATE_TEST_SUITE_P, and the names they run under.
inline auto BothStores() {
  return ::testing::Values(StoreKind::kSqlite, StoreKind::kServer);
}
std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info);

// One test's store: a temporary directory, or a fresh database of the test
// server named after the running test. Must be made while a test runs.
class TestStore {
 public:
  explicit TestStore(StoreKind kind);
  TestStore(const TestStore&) = delete;
  TestStore& operator=(const TestStore&) = delete;

  bool OnServer() const { return kind_ == StoreKind::kServer; }
  // The directory or server URI connections take.
  const std::string& path() const { return path_; }
  // The store file of a SQLite store, for what only SQLite itself can read.
  std::string StoreFile() const;
  // A new connection: as a local server on SQLite, as a remote one on the
  // server. Fails the test on refusal.
  NDSHANDLE Connect() const;
  // Every row of `select`, read through the engine on a connection of its
  // own, so that only committed work shows: a line per row, fields as text
  // separated by '|'.
  std::string Read(const std::string& select) const;

 private:
  StoreKind kind_;
  test_support::TempDir dir_;  // Made but unused on the server
  std::string path_;           // dir_, or the URI of the fresh database
};

// The rows `select` yields on `connection`, in TestStore::Read's form.
std::string RowsText(NDSHANDLE connection, const std::string& select);

}  // namespace nce_test

#endif  // TESTS_ENGINE_TEST_STORE_H
