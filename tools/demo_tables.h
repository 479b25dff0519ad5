// Columns and rows of the demo database's tables. Every value is produced as
// an SQL literal from a seeded generator, so two builds are identical.
#ifndef TOOLS_DEMO_TABLES_H
#define TOOLS_DEMO_TABLES_H

#include <random>
#include <string>
#include <vector>

namespace demo {

using Rng = std::mt19937;

// One column: its name, its engine field type in SQL DDL, and how its value
// is made for the record with key `key`.
struct Column {
  const char* name;
  const char* type;
  std::string (*value)(Rng& rng, int key);
};

// Columns of live table `live` (the archive table has the same columns).
// The key column comes first.
const std::vector<Column>& ColumnsOf(const std::string& live);

// How a pair's archive is damaged. Archived keys are 1..archived; live keys
// run up to live_count.
struct DamageProfile {
  int live_count;    // highest key of the live table
  int archived;      // keys 1..archived are in the archive
  int stale_every;   // every n-th archived key still has its live row; 0: none
  int dup_every;     // every n-th archived key is archived twice; 0: none
  int triple_every;  // every n-th archived key is archived three times; 0: none
};

// The damage of pair number `index` (0-based, in script order).
DamageProfile DamageOf(int index);

// The SQL literals of one row of `columns` for `key`.
std::vector<std::string> RowValues(const std::vector<Column>& columns, Rng& rng, int key);

}  // namespace demo

#endif  // TOOLS_DEMO_TABLES_H
