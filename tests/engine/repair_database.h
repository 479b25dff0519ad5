// A database of the archive repair script's 18 live/archive table pairs
// with chosen damage, for the tests that run the script through the engine
// and compare with SQLite running it directly.
#ifndef TESTS_ENGINE_REPAIR_DATABASE_H
#define TESTS_ENGINE_REPAIR_DATABASE_H

#include <cstdint>
#include <string>
#include <vector>

#include "nce/nce.h"
#include "tests/support/repair_script.h"
#include "tools/demo_database.h"

namespace nce_test {

// The 18 pairs in table order, as the demo database has them; the archive
// table is "a_" + live.
using demo::TablePair;
inline const std::vector<TablePair>& RepairPairs() {
  return demo::TablePairs();
}

using test_support::RepairScriptLines;
using test_support::RepairScriptText;

// Kinds of archive damage a generated database shows.
enum class Damage {
  kNone,              // archive keys absent from the live tables, no duplicates
  kOverlapAndCopies,  // live keys in the archive, keys with three archive copies
  kNullKeys,          // NULL keys in both tables
  kEmptyArchives,     // every other archive table empty
  kRandom,            // a seeded mixture of all of the above
};

// Creates the 18 pairs through the engine connection and fills them.
void BuildRepairDatabase(NDSHANDLE connection, Damage damage, uint32_t seed = 1);

// Every user table of the SQLite file with all its rows in rowid order, as
// one text; the engine's own catalog tables are left out.
std::string DumpUserTables(const std::string& store_file);

}  // namespace nce_test

#endif  // TESTS_ENGINE_REPAIR_DATABASE_H
