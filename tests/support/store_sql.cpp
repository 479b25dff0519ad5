#include "tests/support/store_sql.h"

#include <stdexcept>

namespace test_support {

namespace {

const char* StorageClass(int type) {
  switch (type) {
    case SQLITE_INTEGER:
      return "integer";
    case SQLITE_FLOAT:
      return "real";
    case SQLITE_TEXT:
      return "text";
    case SQLITE_BLOB:
      return "blob";
    default:
      return "null";
  }
}

// A column's bytes as text, whatever its storage class.
std::string ColumnText(sqlite3_stmt* stmt, int col) {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, col));
  return std::string(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(stmt, col)));
}

}  // namespace

StoreSql::StoreSql(const std::filesystem::path& store_file, Access access) {
  const int flags = access == Access::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (sqlite3_open_v2(store_file.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("cannot open " + store_file.string() + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
}

StoreSql::~StoreSql() {
  sqlite3_close(db_);
}

std::string StoreSql::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return "";
  std::string message = error ? error : "unknown error";
  sqlite3_free(error);
  return message;
}

std::vector<std::string> StoreSql::Column(const std::string& select, bool with_type) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, select.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    return {"<error>" + std::string(sqlite3_errmsg(db_))};
  std::vector<std::string> values;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const int type = sqlite3_column_type(stmt, 0);
    std::string value = with_type ? std::string(StorageClass(type)) + ":" : "";
    value += type == SQLITE_NULL ? "NULL" : ColumnText(stmt, 0);
    values.push_back(std::move(value));
  }
  sqlite3_finalize(stmt);
  return values;
}

std::string StoreSql::Text(const std::string& select) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, select.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    return "<error>" + std::string(sqlite3_errmsg(db_));
  std::string result = "<no row>";
  if (sqlite3_step(stmt) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    result = text ? reinterpret_cast<const char*>(text) : "<null>";
  }
  sqlite3_finalize(stmt);
  return result;
}

bool StoreSql::Rows(const std::string& select, std::vector<std::vector<std::string>>* rows) {
  return ReadRows(db_, select, rows);
}

bool ReadRows(sqlite3* db, const std::string& select, std::vector<std::vector<std::string>>* rows) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, select.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return false;
  std::vector<std::vector<std::string>> read;
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

std::string ExecDirect(const std::filesystem::path& store_file, const std::string& sql) {
  return StoreSql(store_file).Exec(sql);
}

std::string QueryDirect(const std::filesystem::path& store_file, const std::string& sql) {
  try {
    return StoreSql(store_file, StoreSql::Access::kReadOnly).Text(sql);
  } catch (const std::runtime_error& error) {
    return std::string("<error>") + error.what();
  }
}

long long QueryNumber(const std::filesystem::path& store_file, const std::string& sql) {
  StoreSql store(store_file);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(store.db(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    throw std::runtime_error("cannot run " + sql + ": " + sqlite3_errmsg(store.db()));
  long long value = -1;
  if (sqlite3_step(stmt) == SQLITE_ROW) value = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return value;
}

}  // namespace test_support
