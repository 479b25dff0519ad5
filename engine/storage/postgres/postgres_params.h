// The engine's parameter markers in PostgreSQL's form: ?N becomes $N
// wherever it is a marker, that is outside string literals ('...', E'...',
// $tag$...$tag$), quoted identifiers and comments (-- ... and nested
// /* ... */). A '?' not followed by a digit (an operator such as ?|) stays.
// SQLite's blob literals X'hex', which the server would read as bit strings,
// become '\xhex'::bytea. Nothing else changes.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_PARAMS_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_PARAMS_H

#include <string>
#include <string_view>
#include <vector>

namespace nce {

struct PostgresText {
  std::string sql;         // the text with $N markers
  long max_parameter = 0;  // the highest N found (at most kMaxPostgresParameter + 1)
  // Whether marker N appears (index N - 1), up to max_parameter: the server
  // must be told a type for a number the text skips.
  std::vector<bool> used;
  bool zero_marker = false;  // a marker ?0 appears, which names no parameter
};

// The most parameters a PostgreSQL statement takes.
inline constexpr long kMaxPostgresParameter = 65535;

PostgresText TranslateParameters(std::string_view sql);

// Throws EngineError NDS_E_SQL, as SQLite refuses such a text, when a marker
// of `text` names no parameter a statement may take (?0, or beyond
// kMaxPostgresParameter).
void RequireParameterNumbers(const PostgresText& text);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_PARAMS_H
