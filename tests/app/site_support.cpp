#include "tests/app/site_support.h"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "app/console_repair.h"
#include "tests/support/store_sql.h"
#include "tools/demo_database.h"

namespace app_test {

namespace fs = std::filesystem;

CurrentDirectory::CurrentDirectory(const fs::path& dir) : previous_(fs::current_path()) {
  fs::current_path(dir);
}

CurrentDirectory::~CurrentDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
}

DemoSite::DemoSite() : cwd_(dir_.path()) {
  demo::BuildDemoDatabase(Database().string());
  // The site's own nds.ini, in the current directory, names the database.
  demo::WriteAliasFile(Root().string(), Database().string());
}

void DemoSite::WriteIni(const std::string& text) const {
  std::ofstream out(Root() / "nds.ini", std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write nds.ini");
}

namespace {

TableRows ReadTable(sqlite3* db, const std::string& table) {
  TableRows rows;
  if (!ReadTableRows(db, table, &rows))
    throw std::runtime_error("cannot read " + table + ": " + sqlite3_errmsg(db));
  return rows;
}

}  // namespace

bool ReadTableRows(sqlite3* db, const std::string& table, TableRows* rows) {
  return test_support::ReadRows(db, "SELECT rowid, * FROM " + table + " ORDER BY rowid", rows);
}

std::map<std::string, TableRows> ReadAllPairs(const fs::path& store_file) {
  test_support::StoreSql sqlite(store_file);
  std::map<std::string, TableRows> tables;
  for (const demo::TablePair& pair : demo::TablePairs()) {
    const std::string archive = std::string("a_") + pair.live;
    tables[pair.live] = ReadTable(sqlite.db(), pair.live);
    tables[archive] = ReadTable(sqlite.db(), archive);
  }
  return tables;
}

std::pair<int, std::string> RunConsoleRepairCaught() {
  std::FILE* out = std::tmpfile();
  if (out == nullptr) throw std::runtime_error("no temporary file for the console output");
  const int status = app::RunConsoleRepair(out, stderr);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  return {status, text};
}

}  // namespace app_test
