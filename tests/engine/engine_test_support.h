// Shared helpers of the engine tests: small wrappers that run SQL through the
// engine and read the last error. Temporary directories and SQL run with
// SQLite itself come from tests/support.
#ifndef TESTS_ENGINE_ENGINE_TEST_SUPPORT_H
#define TESTS_ENGINE_ENGINE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "nce/nce.h"
#include "tests/support/store_sql.h"
#include "tests/support/temp_dir.h"

namespace nce_test {

using test_support::ExecDirect;
using test_support::QueryDirect;
using test_support::TempDir;

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

// The store file of a free-table directory.
std::string StoreFile(const TempDir& dir);

}  // namespace nce_test

#endif  // TESTS_ENGINE_ENGINE_TEST_SUPPORT_H
