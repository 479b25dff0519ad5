// The engine's SQL front end for statement texts: splitting a script into
// its statements (SplitScript, declared in nce/script.h for the engine's
// tools too), and finding parameter markers. Both honour quotes ('...',
// "...", `...`, [...]) and comments (-- to line end, /* ... */), and never
// fail: text they cannot make sense of goes to SQLite unchanged, which then
// reports the error.
#ifndef ENGINE_SQL_SQL_SCRIPT_H
#define ENGINE_SQL_SQL_SCRIPT_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "nce/script.h"

namespace nce {

// A statement with its parameter markers rewritten for SQLite.
struct MarkedStatement {
  std::string sql;                   // markers replaced by ?N (N = global ordinal)
  std::vector<std::string> markers;  // each marker as written (":name" or "?")
};

// Every ":name" and every "?" outside quotes and comments is its own
// parameter; they are numbered from `first_ordinal` in order of appearance.
// Nothing but the markers changes.
MarkedStatement MarkParameters(std::string_view statement, size_t first_ordinal);

// The leading keyword of a statement, upper-cased ("SELECT", "DELETE", ...),
// skipping comments and opening parentheses.
std::string LeadingKeyword(std::string_view statement);

}  // namespace nce

#endif  // ENGINE_SQL_SQL_SCRIPT_H
