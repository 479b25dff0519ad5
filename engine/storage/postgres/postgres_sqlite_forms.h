// SQLite's own ways with texts and numbers, as IMMUTABLE functions of a
// PostgreSQL server, so that expressions translated for a server
// (engine/expr/expr_sql.h) give SQLite's answers where the server's
// built-ins read otherwise, and may serve in index keys and conditions:
//
// nce_padr(v, width) and nce_padl(v, width) pad a text with blanks to a
// width in bytes, as SQLite's printf('%-Ns') and printf('%Ns') do (the
// server's format() counts characters, and is not IMMUTABLE); a NULL pads
// as the empty text.
// nce_substr(v, start, count) takes characters as SQLite's substr does,
// a negative start counting from the end (the server's counts before the
// first character).
// nce_printf_f(x, decimals) writes a double as SQLite's printf('%.Nf'):
// half a unit of the last decimal added (and a nudge of 3e-16 of the value
// where few digits show), then its first 16 significant digits, cut, and
// zeros after them; a negative value keeps its sign where it shows as zero.
// nce_str(x, width, decimals) is the engine's STR on SQLite: that text
// padded on the left to the width, or asterisks where it is wider.
// nce_round(x, decimals) is SQLite's round().
// nce_iso_date(v) reads a text 'YYYY-MM-DD...' (the engine's stored form of
// a date or timestamp) as a date; the server's cast follows its DateStyle.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_SQLITE_FORMS_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_SQLITE_FORMS_H

#include <string_view>

namespace nce {

// The statements that create (or replace) the functions in the current
// schema, after those of PostgresFunctionsSql(): one text, run as it is.
std::string_view PostgresSqliteFormsSql();

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_SQLITE_FORMS_H
