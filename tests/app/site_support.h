// Temporary sites for the repair utility's tests, needing no desktop: a
// demo database with the nds.ini naming it, and direct SQLite access to a
// database's store for checking results.
#ifndef TESTS_APP_SITE_SUPPORT_H
#define TESTS_APP_SITE_SUPPORT_H

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/store_sql.h"
#include "tests/support/temp_dir.h"

struct sqlite3;

namespace app_test {

using test_support::ExecDirect;
using test_support::QueryNumber;
using test_support::TempDir;

// Makes `dir` the current directory while it lives, so that nds.ini there
// is the one the connection finds.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::filesystem::path& dir);
  ~CurrentDirectory();
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// A temporary site: a demo database in <site>/db, and <site>/nds.ini whose
// alias VOLANTRAX names it; the site is the current directory while the
// object lives.
class DemoSite {
 public:
  DemoSite();
  const std::filesystem::path& Root() const { return dir_.path(); }
  std::filesystem::path Database() const { return dir_.path() / "db"; }
  std::filesystem::path StoreFile() const { return Database() / "nce.db"; }
  // Replaces nds.ini with `text`.
  void WriteIni(const std::string& text) const;

 private:
  TempDir dir_;
  CurrentDirectory cwd_;
};

// Rows of one table in rowid order, each value as text ("NULL" for null),
// rowid first.
using TableRows = std::vector<std::vector<std::string>>;

// Reads `table` of an open SQLite database into `rows`; false, with `rows`
// untouched, when the table cannot be read (it is missing, say).
bool ReadTableRows(sqlite3* db, const std::string& table, TableRows* rows);

// Every table of the 18 pairs, live and archive, read straight from a store
// file with SQLite.
std::map<std::string, TableRows> ReadAllPairs(const std::filesystem::path& store_file);

// Runs the console twin's repair run in this process (RunConsoleRepair), its
// printed text caught: the exit status and that text.
std::pair<int, std::string> RunConsoleRepairCaught();

}  // namespace app_test

#endif  // TESTS_APP_SITE_SUPPORT_H
