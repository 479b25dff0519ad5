#include "tests/app/site_support.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "app/console_repair.h"
#include "tools/demo_database.h"

namespace apptest {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    path_ = base /
            ("volantra-app-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

CurrentDirectory::CurrentDirectory(const fs::path& dir) : previous_(fs::current_path()) {
  fs::current_path(dir);
}

CurrentDirectory::~CurrentDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
}

DemoSite::DemoSite() : cwd_(dir_.Path()) {
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

// A read-write SQLite connection on a store file, closed on every path.
class Sqlite {
 public:
  explicit Sqlite(const fs::path& file) {
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(db_, 5000);
  }
  ~Sqlite() { sqlite3_close(db_); }
  Sqlite(const Sqlite&) = delete;
  Sqlite& operator=(const Sqlite&) = delete;
  sqlite3* db() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

TableRows ReadTable(sqlite3* db, const std::string& table) {
  TableRows rows;
  if (!ReadTableRows(db, table, &rows))
    throw std::runtime_error("cannot read " + table + ": " + sqlite3_errmsg(db));
  return rows;
}

}  // namespace

bool ReadTableRows(sqlite3* db, const std::string& table, TableRows* rows) {
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = "SELECT rowid, * FROM " + table + " ORDER BY rowid";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return false;
  TableRows read;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const unsigned char* text = sqlite3_column_text(stmt, i);
      row.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
    }
    read.push_back(std::move(row));
  }
  sqlite3_finalize(stmt);
  *rows = std::move(read);
  return true;
}

std::map<std::string, TableRows> ReadAllPairs(const fs::path& store_file) {
  Sqlite sqlite(store_file);
  std::map<std::string, TableRows> tables;
  for (const demo::TablePair& pair : demo::TablePairs()) {
    const std::string archive = std::string("a_") + pair.live;
    tables[pair.live] = ReadTable(sqlite.db(), pair.live);
    tables[archive] = ReadTable(sqlite.db(), archive);
  }
  return tables;
}

std::string RunWithSqlite(const fs::path& store_file, const std::string& sql) {
  Sqlite sqlite(store_file);
  char* error = nullptr;
  if (sqlite3_exec(sqlite.db(), sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return "";
  std::string message = error ? error : "unknown error";
  sqlite3_free(error);
  return message;
}

long long QueryNumber(const fs::path& store_file, const std::string& sql) {
  Sqlite sqlite(store_file);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(sqlite.db(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    throw std::runtime_error("cannot run " + sql + ": " + sqlite3_errmsg(sqlite.db()));
  long long value = -1;
  if (sqlite3_step(stmt) == SQLITE_ROW) value = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return value;
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

}  // namespace apptest
