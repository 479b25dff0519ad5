#include "engine/storage/engine_tables.h"

#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/sqlite_session.h"

namespace nce {

void EnsureDeletedMarks(StoreSession& rows) {
  if (sqlite3* db = SqliteDbOf(rows)) EnsureDeletedMarks(db);
}

void EnsureDeletedMarksTrigger(StoreSession& rows, const std::string& table) {
  if (sqlite3* db = SqliteDbOf(rows)) EnsureDeletedMarksTrigger(db, table);
}

std::string DeletedMarksKeyOf(StoreSession& rows, const std::string& table) {
  return SqliteDbOf(rows) ? UpperAscii(table) : LowerAscii(table);
}

void EnsureRowVersions(StoreSession& rows) {
  if (sqlite3* db = SqliteDbOf(rows)) EnsureRowVersions(db);
}

}  // namespace nce
