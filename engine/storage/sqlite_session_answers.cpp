// What a SQLite session answers to the SQL front end (store_session.h).
#include "engine/expr/expr_sql.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_session.h"
#include "engine/storage/sqlite_type_guards.h"

namespace nce {

void SqliteSession::BeginWrite() {
  if (InTransaction()) throw EngineError(NDS_E_TRANSACTION_OPEN, "A transaction is already open.");
  Execute("BEGIN IMMEDIATE");
}

bool SqliteSession::CheckFailureStands(const EngineError& error, bool schema_changed) const {
  if (!schema_changed) return true;
  // A failure that no earlier statement of the script could cure.
  const std::string& message = error.text();
  return message.find("syntax error") != std::string::npos ||
         message.find("unrecognized token") != std::string::npos ||
         message.find("incomplete input") != std::string::npos;
}

void SqliteSession::BeforeAlterTable(const std::string& table) {
  // SQLite refuses to drop or change a column that a trigger or a table
  // constraint names: the type guards go (the altered table's guard
  // constraints too), and SyncCatalog gives them back as triggers.
  DropAllTypeGuards(db_);
  if (!table.empty()) DropCheckGuards(db_, table);
}

void SqliteSession::SyncCatalog(const std::string&, uint16_t new_table_type) {
  nce::SyncCatalog(db_, new_table_type);
}

}  // namespace nce
