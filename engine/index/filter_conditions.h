// Filters and optimized filters (AOF) of a cursor: expression texts turned
// into conditions of the cursor's walk. An optimized filter adds, for each
// comparison of an open order's leading key with a constant, a range on that
// order's key, so that SQLite reads only the matching part of the index.
// On a server the conditions are written in the server's SQL, and keyset
// filters keep their records in a temporary table of the server session.
#ifndef ENGINE_INDEX_FILTER_CONDITIONS_H
#define ENGINE_INDEX_FILTER_CONDITIONS_H

#include <string>

#include "engine/cursor/cursor.h"

namespace nce {

// Sets (text non-empty) the cursor's filter; throws NDS_E_BAD_EXPRESSION.
void SetFilter(Cursor& cursor, const std::string& text);
// Sets the optimized filter with NDS_RESOLVE_* and NDS_AOF_* options. A
// keyset or fixed AOF keeps the set of records that match now.
void SetOptimizedFilter(Cursor& cursor, const std::string& text, uint16_t options);
// Clear them; false when none was set.
bool ClearFilter(Cursor& cursor);
bool ClearOptimizedFilter(Cursor& cursor);

// Drops the temporary table of a keyset or fixed optimized filter, if any
// (the filter goes, or its cursor closes). Never throws.
void DropOptimizedFilterSnapshot(Cursor& cursor);

// The condition of `text` over the cursor's fields, with the exact setting,
// in the SQL of the store that holds the cursor's rows.
std::string FilterSql(Cursor& cursor, const std::string& text);

// Whether the current record satisfies `text`; throws NDS_E_NO_CURRENT_RECORD
// off a record.
bool EvaluateOnCurrent(Cursor& cursor, const std::string& text);

}  // namespace nce

#endif  // ENGINE_INDEX_FILTER_CONDITIONS_H
