#include "engine/storage/sqlite_table_rename.h"

#include <sqlite3.h>

#include <vector>

#include "engine/base/sql_text.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/sqlite_session.h"
#include "engine/storage/sqlite_stmt.h"

namespace nce {

void MoveSqliteTable(StoreSession& session, const std::string& from, const std::string& to) {
  sqlite3* db = RequireSqliteDb(session);
  std::vector<std::string> triggers;
  {
    SqliteStmt find(
        db,
        "SELECT name FROM sqlite_master WHERE type = 'trigger' AND tbl_name = ?1 COLLATE NOCASE "
        "AND name LIKE '\\_nce\\_%' ESCAPE '\\'");
    find.Bind(1, from);
    while (find.Step()) triggers.push_back(find.Text(0));
  }
  for (const std::string& t : triggers) ExecSql(db, ("DROP TRIGGER " + QuoteIdentifier(t)).c_str());
  ExecSql(db,
          ("ALTER TABLE " + QuoteIdentifier(from) + " RENAME TO " + QuoteIdentifier(to)).c_str());
  for (const char* sql :
       {"UPDATE _nce_tables SET name = ?2 WHERE name = ?1",
        "UPDATE _nce_fields SET table_name = ?2 WHERE table_name = ?1",
        "UPDATE _nce_autoinc SET table_name = ?2 WHERE table_name = ?1",
        "UPDATE _nce_rights SET table_name = ?2 WHERE table_name = ?1",
        "UPDATE _nce_table_properties SET table_name = ?2 WHERE table_name = ?1"}) {
    SqliteStmt stmt(db, sql);
    stmt.Bind(1, from).Bind(2, to).Run();
  }
  // Tables the cursors make on first use follow when they exist; the
  // deletion marks with their trigger.
  MoveDeletedMarks(db, from, to);
  for (const char* table_name : {"_nce_row_versions"}) {
    SqliteStmt exists(db, "SELECT 1 FROM sqlite_master WHERE name = ?1");
    exists.Bind(1, table_name);
    if (!exists.Step()) continue;
    std::string sql = std::string("UPDATE ") + table_name +
                      " SET table_name = CASE WHEN table_name = upper(?1) "
                      "THEN upper(?2) ELSE ?2 END WHERE table_name = ?1 COLLATE NOCASE";
    SqliteStmt stmt(db, sql);
    stmt.Bind(1, from).Bind(2, to).Run();
  }
}

}  // namespace nce
