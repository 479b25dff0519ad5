// Scanning SQLite's SQL text for the few checks the engine makes on it
// without parsing it. Each function returns the position just past the unit
// that starts at `i`.
#ifndef ENGINE_BASE_SQL_SCAN_H
#define ENGINE_BASE_SQL_SCAN_H

#include <cstddef>
#include <string_view>

namespace nce {

// Whether `c` opens a quoted text.
inline bool IsQuoteMark(char c) {
  return c == '\'' || c == '"' || c == '`' || c == '[';
}
// A quoted text ('...', "...", `...` or [...]); npos when it is never
// closed. A doubled closing mark reads as two quoted texts in a row, which
// is all the same to a scanner that skips them.
size_t QuotedEnd(std::string_view sql, size_t i);
// A comment (-- to the line's end, /* to */); `i` itself when none starts
// there.
size_t CommentEnd(std::string_view sql, size_t i);
// A word (letters, digits and '_'); `i` itself when none starts there.
size_t WordEnd(std::string_view sql, size_t i);

}  // namespace nce

#endif  // ENGINE_BASE_SQL_SCAN_H
