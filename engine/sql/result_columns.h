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
#include <vector>

#include "engine/cursor/cursor.h"
#include "engine/schema/catalog.h"
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

}  // namespace nce

#endif  // ENGINE_SQL_RESULT_COLUMNS_H
