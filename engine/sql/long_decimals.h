// Long decimal literals in statements for SQLite. SQLite reads a literal
// such as 922337203685477.5807 as a double, which keeps about fifteen
// significant digits, so a column of an exact type (a money column keeps
// such amounts as decimal text, engine/base/money.h) would receive it
// rounded. A PostgreSQL server reads such a literal exactly and needs no
// rewrite.
#ifndef ENGINE_SQL_LONG_DECIMALS_H
#define ENGINE_SQL_LONG_DECIMALS_H

#include <string>
#include <string_view>

namespace nce {

// Significant digits a double keeps exactly.
inline constexpr size_t kDoubleDigits = 15;

// `sql` (one statement, parameter markers already rewritten) with every
// decimal literal of more than kDoubleDigits significant digits that a
// column receives whole written as a text literal: an item of a VALUES row
// of an INSERT or REPLACE, the value of an UPDATE's SET assignment, and the
// right side of an equality (=, ==, <>, !=) whose left side is a bare
// column. SQLite gives or compares such a text as the number for a column
// of a numeric type (rounded as the literal would be), and as the exact
// amount for a money column, which keeps amounts a double would round as
// decimal text (or refuses them with the column's own message). Everywhere
// else (arithmetic, ordering, function arguments, result columns) the
// literal stays the number SQLite reads. Nothing else of `sql` changes:
// taking the added quotes out gives `sql` back.
std::string ColumnLongDecimalsAsText(std::string_view sql);

}  // namespace nce

#endif  // ENGINE_SQL_LONG_DECIMALS_H
