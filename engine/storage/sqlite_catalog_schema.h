// The catalog tables of engine/schema/catalog_schema.h in an SQLite store:
// the one piece of code that creates them, and the few reads and writes of
// them that are not a table's description (engine/storage/sqlite_catalog.h).
#ifndef ENGINE_STORAGE_SQLITE_CATALOG_SCHEMA_H
#define ENGINE_STORAGE_SQLITE_CATALOG_SCHEMA_H

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace nce {

// Creates the catalog tables when the store lacks them, in one transaction
// so that a second process creating them at the same moment waits and then
// finds all of them. Throws the SQL error when the store cannot be written.
void EnsureCatalog(sqlite3* db);

// Creates the data dictionary's tables when missing.
void EnsureDictionaryTables(sqlite3* db);

// The dictionary's rights counter: it moves on whenever users, groups or
// rights change, by whatever path. -1 when the counter is missing.
int64_t RightsVersion(sqlite3* db);

// Creates the table of deleted marks (DeletedMarksTable) when missing.
void EnsureDeletedMarks(sqlite3* db);
// Makes the marks table and the trigger that takes the marks of `table` along
// with the rows an SQL statement deletes (a pack, a zap), so that no later
// row of the same number (SQLite gives the highest one out again) starts out
// marked. Made with a table's first mark; its body names the table, so a
// rename makes it again (MoveDeletedMarks).
void EnsureDeletedMarksTrigger(sqlite3* db, const std::string& table);
// The marks of a dropped table go; those of a renamed one follow it, with
// their trigger. Nothing to do while the store has no marks table.
void ForgetDeletedMarks(sqlite3* db, const std::string& table);
void MoveDeletedMarks(sqlite3* db, const std::string& from, const std::string& to);

// Creates the table of ROWVERSION counters (RowVersionsTable) when missing.
void EnsureRowVersions(sqlite3* db);

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_CATALOG_SCHEMA_H
