// The engine's SQL functions on a PostgreSQL server, written in PL/pgSQL so
// that a server needs nothing installed besides them. They answer as the
// engine's own functions on SQLite (engine/expr/expr_functions.h):
//
// nce_key(shape, VARIADIC values text[]) gives, for the text forms of a
// record's values, the same bytes as the engine's nce_key, so that an index
// order walks and seeks the same on either store (the server compares bytea
// byte by byte, as SQLite compares blobs). The values reach it as text,
// each column cast to it (the server's ISO forms: 'YYYY-MM-DD',
// 'HH:MM:SS.fff', 'true'), and are read as the SQLite function reads a
// text: numbers as strtod reads them (but for C's hexadecimal forms, which
// read as their leading 0), dates, times and timestamps in the forms the
// engine accepts, logical values by their first letter; a binary segment
// takes the server's hex form of a bytea ('\x...'). Where SQLite hands the
// function a number instead, the two agree for every number a typed column
// holds, except in a string segment: SQLite writes a number there with 15
// significant digits, the server with as many as the value needs.
//
// nce_ctod, nce_ctot and nce_ctots read a text as a date, time or timestamp
// and give the server's date, time and timestamp; nce_mod and nce_pow give
// the doubles the engine's give, to the last bit; nce_contains matches a
// pattern of words, phrases, AND, OR, NOT and parentheses as the engine's
// does and answers with a boolean.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_FUNCTIONS_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_FUNCTIONS_H

#include <string_view>

namespace nce {

// The statements that create (or replace) the functions in the current
// schema: one text, run as it is.
std::string_view PostgresFunctionsSql();

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_FUNCTIONS_H
