// The tables of a connection's private in-memory database where static
// cursors keep the rows of a result, so that commits and rollbacks of the
// store leave them as they were: filling one from a statement's result in
// one transaction there, and what the result's columns are.
#ifndef ENGINE_STORAGE_RESULT_TABLE_H
#define ENGINE_STORAGE_RESULT_TABLE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/values.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"
#include "engine/storage/store_session.h"

struct sqlite3_stmt;

namespace nce {

// What the values of a result column looked like, to type a computed
// column afterwards.
struct ColumnSeen {
  Value::Kind first = Value::Kind::kNull;  // kind of the first non-null value
  size_t max_length = 0;                   // longest text or blob
  bool wide_integer = false;               // an integer beyond 32 bits
};

// A column of a result: its name, and its field's shape when known.
struct ResultColumnShape {
  std::string name;
  std::optional<FieldSpec> shape;
};

// The columns of `stmt`, a SELECT prepared on the connection's store: the
// shape of a plain column of a table of the store's main database, else of
// the column's declared type; unknown for a computed column.
std::vector<ResultColumnShape> DescribeResultColumns(Connection& connection, sqlite3_stmt* stmt,
                                                     uint16_t table_type);

// Creates table `table` with `columns` (names, unquoted) in the private
// database.
void CreateResultTable(Connection& connection, const std::string& table,
                       const std::vector<std::string>& columns);

// Runs `stmt` (as DescribeResultColumns) to its end and adds each row to
// `table`, noting its values in `seen` (one per column); returns the rows
// added. All rows go in one transaction of the private database, or none.
uint64_t FillResultTable(Connection& connection, const std::string& table, sqlite3_stmt* stmt,
                         std::vector<ColumnSeen>* seen);
// The same from a store session's statement that has stepped once (`has_row`:
// to a row), keeping columns `columns` of its result.
uint64_t FillResultTable(Connection& connection, const std::string& table, StoreStatement& stmt,
                         bool has_row, const std::vector<int>& columns,
                         std::vector<ColumnSeen>* seen);

}  // namespace nce

#endif  // ENGINE_STORAGE_RESULT_TABLE_H
