// The engine's index key function on a PostgreSQL server: nce_key(shape,
// VARIADIC values text[]) gives, for the text forms of a record's values,
// the same bytes as the engine's nce_key on SQLite, so that an index order
// walks and seeks the same on either store. The server compares bytea
// byte by byte, as SQLite compares blobs.
//
// The values reach the function as text, each column cast to it (the
// server's ISO forms: 'YYYY-MM-DD', 'HH:MM:SS.fff', 'true'), and are read
// as the SQLite function reads a text: numbers as strtod reads them,
// dates, times and timestamps in the forms the engine accepts, logical
// values by their first letter. A binary segment takes the server's hex
// form of a bytea ('\x...'). Where SQLite hands the function a number
// instead, the two agree for every number a typed column holds, except in
// a string segment: SQLite writes a number there with 15 significant
// digits, the server with as many as the value needs.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_KEY_FUNCTIONS_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_KEY_FUNCTIONS_H

#include <string_view>

namespace nce {

// The statements that create (or replace) nce_key and the functions it
// uses in the current schema: one text, run as it is.
std::string_view PostgresKeyFunctionsSql();

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_KEY_FUNCTIONS_H
