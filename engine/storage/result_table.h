// The tables of a connection's private in-memory database where static
// cursors keep the rows of a result, so that commits and rollbacks of the
// store leave them as they were: filling one from a statement's result in
// one transaction there.
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

namespace nce {

// What the values of a result column looked like, to type a computed
// column afterwards.
struct ColumnSeen {
  Value::Kind first = Value::Kind::kNull;  // kind of the first non-null value
  size_t max_length = 0;                   // longest text or blob
  bool wide_integer = false;               // an integer beyond 32 bits
};

// Creates table `table` with `columns` (names, unquoted) in the private
// database.
void CreateResultTable(Connection& connection, const std::string& table,
                       const std::vector<std::string>& columns);

// Adds the rows of a store session's statement that has stepped once
// (`has_row`: to a row) to `table`, keeping columns `columns` of its result
// and noting their values in `seen` (one per column); returns the rows
// added. All rows go in one transaction of the private database, or none.
uint64_t FillResultTable(Connection& connection, const std::string& table, StoreStatement& stmt,
                         bool has_row, const std::vector<int>& columns,
                         std::vector<ColumnSeen>* seen);

}  // namespace nce

#endif  // ENGINE_STORAGE_RESULT_TABLE_H
