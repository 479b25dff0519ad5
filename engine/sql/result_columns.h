// The columns a static cursor keeps of a statement's result, and the field
// shapes they take: a column that reads an engine table's field unchanged
// takes the field's shape, any other the shape its declared type gives, or
// none (the values then decide, MaterialiseResult).
#ifndef ENGINE_SQL_RESULT_COLUMNS_H
#define ENGINE_SQL_RESULT_COLUMNS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cursor/cursor.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"
#include "engine/storage/store_session.h"

namespace nce {

// `describe(table)`: the table as the store's catalog describes it (asked
// once per table); `keep(origin)`: whether a column read unchanged from
// `origin` stays in the result (null: every column stays).
using DescribeResultTable = std::function<std::optional<TableDesc>(const std::string& table)>;
using KeepResultColumn = std::function<bool(const StoreStatement::Origin& origin)>;
std::vector<ResultColumn> ResultColumns(StoreStatement& stmt, uint16_t table_type,
                                        const DescribeResultTable& describe,
                                        const KeepResultColumn& keep = nullptr);

// The columns a static cursor keeps of the result of `sql` (one statement),
// which `stmt` yields on `session`, described by `connection`'s catalog.
// Where the store's SELECT * reads a table's rowid column (which SQLite's
// leaves out), that column stays only when the statement names rowid, and
// then once per table.
std::vector<ResultColumn> StatementResultColumns(Connection& connection, StoreSession& session,
                                                 StoreStatement& stmt, std::string_view sql,
                                                 uint16_t table_type);

}  // namespace nce

#endif  // ENGINE_SQL_RESULT_COLUMNS_H
