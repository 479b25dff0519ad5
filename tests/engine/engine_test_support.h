// Shared helpers of the engine tests: a temporary database directory, and
// small wrappers that run SQL through the engine and read the last error.
#ifndef TESTS_ENGINE_ENGINE_TEST_SUPPORT_H
#define TESTS_ENGINE_ENGINE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "nce/nce.h"

namespace nce_test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// The calling thread's last engine error number and text.
uint32_t LastErrorNumber();
std::string LastErrorText();

// Connects to `path` as a local server; fails the test on refusal.
NDSHANDLE ConnectOrFail(const std::string& path);

// Runs `sql` on a fresh statement of `connection`; returns the engine's code.
// The statement is closed again; a cursor, if any, is closed too.
NDSRESULT RunSql(NDSHANDLE connection, const std::string& sql);

// Like RunSql, but fails the test when the engine refuses, showing its text.
void RunSqlOrFail(NDSHANDLE connection, const std::string& sql);

// The first column of the first row `sql` yields, read with SQLite directly
// from the store file `store`.
std::string QueryDirect(const std::string& store, const std::string& sql);

// The store file of a free-table directory.
std::string StoreFile(const TempDir& dir);

}  // namespace nce_test

#endif  // TESTS_ENGINE_ENGINE_TEST_SUPPORT_H
