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

// The field a result column comes from, when it is a plain table column.
std::optional<FieldSpec> OriginSpec(sqlite3* db, sqlite3_stmt* stmt, int column,
                                    std::map<std::string, std::optional<TableDesc>>& tables) {
  const char* table = sqlite3_column_table_name(stmt, column);
  const char* origin = sqlite3_column_origin_name(stmt, column);
  const char* schema = sqlite3_column_database_name(stmt, column);
  if (!table || !origin || !schema || std::string_view(schema) != "main") return std::nullopt;
  auto it = tables.find(table);
  if (it == tables.end()) it = tables.emplace(table, DescribeTable(db, table)).first;
  if (!it->second) return std::nullopt;
  for (const FieldDesc& field : it->second->fields)
    if (EqualsNoCase(field.name, origin)) return field.shape;
  return std::nullopt;
}

void NoteSeen(ColumnSeen& seen, Value::Kind kind, size_t length, int64_t integer) {
  if (seen.first == Value::Kind::kNull) seen.first = kind;
  if (kind == Value::Kind::kText || kind == Value::Kind::kBlob)
    seen.max_length = std::max(seen.max_length, length);
  if (kind == Value::Kind::kInteger)
    seen.wide_integer = seen.wide_integer || integer > INT32_MAX || integer <= INT32_MIN;
}

Value::Kind KindOf(int sqlite_type) {
  switch (sqlite_type) {
    case SQLITE_INTEGER:
      return Value::Kind::kInteger;
    case SQLITE_FLOAT:
      return Value::Kind::kReal;
    case SQLITE_TEXT:
      return Value::Kind::kText;
    case SQLITE_BLOB:
      return Value::Kind::kBlob;
    default:
      return Value::Kind::kNull;
  }
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

std::vector<ResultColumnShape> DescribeResultColumns(Connection& connection, sqlite3_stmt* stmt,
                                                     uint16_t table_type) {
  sqlite3* db = connection.db();
  int count = sqlite3_column_count(stmt);
  std::map<std::string, std::optional<TableDesc>> tables;
  std::vector<ResultColumnShape> columns(count);
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(stmt, i);
    columns[i].name = name ? name : "";
    columns[i].shape = OriginSpec(db, stmt, i, tables);
    if (!columns[i].shape) {
      if (const char* declared = sqlite3_column_decltype(stmt, i))
        columns[i].shape = FieldSpecFromDeclaredType(declared, table_type);
    }
  }
  return columns;
}

void CreateResultTable(Connection& connection, const std::string& table,
                       const std::vector<std::string>& columns) {
  std::string list;
  for (const std::string& column : columns)
    list += (list.empty() ? "" : ", ") + QuoteIdentifier(column);
  ExecSql(connection.scratch_db(),
          ("CREATE TABLE " + QuoteIdentifier(table) + "(" + list + ")").c_str());
}

uint64_t FillResultTable(Connection& connection, const std::string& table, sqlite3_stmt* stmt,
                         std::vector<ColumnSeen>* seen) {
  sqlite3* db = connection.db();
  sqlite3* scratch = connection.scratch_db();
  int count = sqlite3_column_count(stmt);
  auto next_row = [&] {
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw SqlError(db, rc);
    return rc == SQLITE_ROW;
  };
  auto bind_row = [&](sqlite3_stmt* insert) {
    for (int i = 0; i < count; ++i) {
      sqlite3_value* value = sqlite3_column_value(stmt, i);
      int type = sqlite3_value_type(value);
      NoteSeen((*seen)[i], KindOf(type), static_cast<size_t>(sqlite3_value_bytes(value)),
               type == SQLITE_INTEGER ? sqlite3_value_int64(value) : 0);
      int rc = sqlite3_bind_value(insert, i + 1, value);
      if (rc != SQLITE_OK) throw SqlError(scratch, rc);
    }
  };
  return FillRows(connection, table, static_cast<size_t>(count), next_row, bind_row);
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
