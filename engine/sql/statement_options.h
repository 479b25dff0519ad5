// The options a statement was given through the NdsStmtSet* functions,
// recorded with the statement; tests read them back through the test hooks.
#ifndef ENGINE_SQL_STATEMENT_OPTIONS_H
#define ENGINE_SQL_STATEMENT_OPTIONS_H

#include <cstdint>

namespace nce {

// Each option is 0 where its setter was never called.
struct StatementOptions {
  uint16_t table_type = 0;
  uint16_t char_type = 0;
  uint16_t lock_type = 0;
  uint16_t rights = 0;
  uint16_t read_only = 0;   // the last value given
  int read_only_calls = 0;  // how often NdsStmtSetTableReadOnly was called
  uint16_t constrain_updates = 0;
  uint16_t read_all_columns = 0;
};

}  // namespace nce

#endif  // ENGINE_SQL_STATEMENT_OPTIONS_H
