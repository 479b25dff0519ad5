// Where an INSERT that names no columns would name them: on a server, an
// engine table is given its fields' columns, as its rowid column is one of
// the table's (and no longer the last once a column is added).
#ifndef ENGINE_SQL_INSERT_COLUMNS_H
#define ENGINE_SQL_INSERT_COLUMNS_H

#include <cstddef>
#include <string>
#include <string_view>

namespace nce {

// For an INSERT (also after WITH ...; `keyword` is the statement's leading
// keyword, upper-cased) that names no columns and inserts VALUES or the
// rows of a SELECT: the position just after its table (and alias), where a
// column list would go. npos for any other statement, for an INSERT that
// names its columns, and for DEFAULT VALUES.
size_t MissingColumnListAt(std::string_view sql, const std::string& keyword);

}  // namespace nce

#endif  // ENGINE_SQL_INSERT_COLUMNS_H
