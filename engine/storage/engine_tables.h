// The engine's own tables that cursors make on first need (deletion marks,
// row version counters), through the session on the database holding a
// cursor's rows. A SQLite database makes them as sqlite_catalog_schema.h
// says; a server's catalog holds them from its first connect, so there is
// nothing to make there.
#ifndef ENGINE_STORAGE_ENGINE_TABLES_H
#define ENGINE_STORAGE_ENGINE_TABLES_H

#include <string>

#include "engine/storage/store_session.h"

namespace nce {

// Creates the table of deleted marks when missing.
void EnsureDeletedMarks(StoreSession& rows);
// ... and the trigger that takes the marks of `table` along with its rows.
void EnsureDeletedMarksTrigger(StoreSession& rows, const std::string& table);
// The name under which the table of deleted marks keeps the marks of
// `table`: upper case in a SQLite store; on a server the table's name as
// the server holds it (lower case), as its triggers name it.
std::string DeletedMarksKeyOf(StoreSession& rows, const std::string& table);
// Creates the table of ROWVERSION counters when missing.
void EnsureRowVersions(StoreSession& rows);

}  // namespace nce

#endif  // ENGINE_STORAGE_ENGINE_TABLES_H
