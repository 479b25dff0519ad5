// Runs SQL with SQLite itself on a store file, beside the engine: tests
// check what the engine wrote, or prepare damage the engine must meet,
// without going through the code under test.
#ifndef TESTS_SUPPORT_STORE_SQL_H
#define TESTS_SUPPORT_STORE_SQL_H

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// One SQLite connection on a store file, waiting up to five seconds for the
// engine's locks; closed when the object goes.
class StoreSql {
 public:
  enum class Access { kReadWrite, kReadOnly };
  // Raises std::runtime_error when the file cannot be opened.
  explicit StoreSql(const std::filesystem::path& store_file, Access access = Access::kReadWrite);
  ~StoreSql();
  StoreSql(const StoreSql&) = delete;
  StoreSql& operator=(const StoreSql&) = delete;

  // Runs `sql` (any number of statements); SQLite's error text, empty on
  // success.
  std::string Exec(const std::string& sql);

  // The first column of each row `select` yields, as text ("NULL" for null),
  // each prefixed with its storage class ("integer:", "real:", "text:",
  // "blob:", "null:") when `with_type`. A select that cannot run yields
  // "<error>" followed by SQLite's text.
  std::vector<std::string> Column(const std::string& select, bool with_type = false);

  // The first column of the first row: "<no row>" when there is none,
  // "<null>" for null.
  std::string Text(const std::string& select);

  // Every column of every row, as text ("NULL" for null); false, with `rows`
  // untouched, when the select cannot run.
  bool Rows(const std::string& select, std::vector<std::vector<std::string>>* rows);

  sqlite3* db() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// Every column of every row `select` yields on `db`, as text ("NULL" for
// null); false, with `rows` untouched, when the select cannot run.
bool ReadRows(sqlite3* db, const std::string& select, std::vector<std::vector<std::string>>* rows);

// One statement's worth of StoreSql on a store file, for a single check.
// ExecDirect gives SQLite's error text, empty on success; QueryDirect reads
// the first column of the first row as StoreSql::Text does, on a read-only
// connection, or gives "<error>" and the reason when the file cannot be
// opened; QueryNumber the first
// column of the first row as a number, -1 when there is no row, raising
// std::runtime_error when the select cannot run.
std::string ExecDirect(const std::filesystem::path& store_file, const std::string& sql);
std::string QueryDirect(const std::filesystem::path& store_file, const std::string& sql);
long long QueryNumber(const std::filesystem::path& store_file, const std::string& sql);

}  // namespace test_support

#endif  // TESTS_SUPPORT_STORE_SQL_H
