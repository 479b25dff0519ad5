#include "engine/storage/result_table.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <map>
#include <string_view>
#include <utility>

#include "engine/base/sql_text.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_stmt.h"
#include "engine/storage/sqlite_values.h"

namespace nce {
namespace {

void NoteSeen(ColumnSeen& seen, Value::Kind kind, size_t length, int64_t integer) {
  if (seen.first == Value::Kind::kNull) seen.first = kind;
  if (kind == Value::Kind::kText || kind == Value::Kind::kBlob)
    seen.max_length = std::max(seen.max_length, length);
  if (kind == Value::Kind::kInteger)
    seen.wide_integer = seen.wide_integer || integer > INT32_MAX || integer <= INT32_MIN;
}

// Holds the rows a result adds to the private cursor database in one
// transaction there, rather than one per row; rolled back unless kept.
class ResultRows {
 public:
  explicit ResultRows(sqlite3* scratch) : scratch_(scratch) {
    if (sqlite3_get_autocommit(scratch_)) {
      ExecSql(scratch_, "BEGIN");
      open_ = true;
    }
  }
  ~ResultRows() {
    if (open_) sqlite3_exec(scratch_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  ResultRows(const ResultRows&) = delete;
  ResultRows& operator=(const ResultRows&) = delete;
  void Keep() {
    if (open_) ExecSql(scratch_, "COMMIT");
    open_ = false;
  }

 private:
  sqlite3* scratch_;
  bool open_ = false;
};

// Adds a row to `table` while `next_row` finds one, its values bound by
// `bind_row(insert)`, in one transaction; returns the rows added.
template <class NextRow, class BindRow>
uint64_t FillRows(Connection& connection, const std::string& table, size_t columns,
                  NextRow next_row, BindRow bind_row) {
  sqlite3* scratch = connection.scratch_db();
  std::string placeholders;
  for (size_t i = 0; i < columns; ++i) placeholders += i ? ",?" : "?";
  SqliteStmt insert(scratch,
                    "INSERT INTO " + QuoteIdentifier(table) + " VALUES(" + placeholders + ")");
  ResultRows rows(scratch);
  uint64_t count = 0;
  while (next_row()) {
    insert.Reset();
    bind_row(insert.get());
    insert.Run();
    ++count;
  }
  insert.Reset();
  rows.Keep();
  return count;
}

}  // namespace

void CreateResultTable(Connection& connection, const std::string& table,
                       const std::vector<std::string>& columns) {
  std::string list;
  for (const std::string& column : columns)
    list += (list.empty() ? "" : ", ") + QuoteIdentifier(column);
  ExecSql(connection.scratch_db(),
          ("CREATE TABLE " + QuoteIdentifier(table) + "(" + list + ")").c_str());
}

uint64_t FillResultTable(Connection& connection, const std::string& table, StoreStatement& stmt,
                         bool has_row, const std::vector<int>& columns,
                         std::vector<ColumnSeen>* seen) {
  sqlite3* scratch = connection.scratch_db();
  size_t count = columns.size();
  bool first = true;
  auto next_row = [&] {
    if (std::exchange(first, false)) return has_row;
    return stmt.Step();
  };
  // One value per column, bound in place and refilled row after row.
  std::vector<Value> values(count);
  auto bind_row = [&](sqlite3_stmt* insert) {
    for (size_t i = 0; i < count; ++i) {
      Value& value = values[i];
      stmt.ColumnInto(columns[i], &value);
      Value::Kind kind = value.kind == Value::Kind::kUnset ? Value::Kind::kNull : value.kind;
      NoteSeen((*seen)[i], kind, value.bytes.size(), value.integer);
      int rc = BindValueInPlace(insert, static_cast<int>(i + 1), value);
      if (rc != SQLITE_OK) throw SqlError(scratch, rc);
    }
  };
  return FillRows(connection, table, count, next_row, bind_row);
}

}  // namespace nce
