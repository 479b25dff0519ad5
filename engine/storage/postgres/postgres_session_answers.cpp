// What a server session answers to the SQL front end (store_session.h).
#include <optional>
#include <vector>

#include "engine/base/sql_text.h"
#include "engine/expr/expr_sql.h"
#include "engine/schema/ddl.h"
#include "engine/storage/declared_table.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_column_changes.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/postgres/postgres_tables.h"
#include "nce/nce.h"

namespace nce {

namespace {

// CREATE TABLE [IF NOT EXISTS] ...: whether it says IF NOT EXISTS.
bool SaysIfNotExists(std::string_view create) {
  std::string upper = UpperAscii(create.substr(0, create.find('(')));
  return upper.find("IF NOT EXISTS") != std::string::npos;
}

}  // namespace

bool PostgresSession::CanCheck(std::string_view keyword) const {
  // The server prepares statements that read or write rows; others it
  // can only run.
  return keyword == "SELECT" || keyword == "INSERT" || keyword == "UPDATE" || keyword == "DELETE" ||
         keyword == "WITH" || keyword == "VALUES";
}

bool PostgresSession::CheckFailureStands(const EngineError& error, bool schema_changed) const {
  // The server infers the types of parameters when it checks, and may fail
  // where the run, with typed values, would not; such failures wait for the
  // run.
  const std::string& text = error.text();
  if (text.find("SQLSTATE 42601") != std::string::npos) return true;  // syntax
  if (schema_changed) return false;  // an earlier statement may make what is missing
  return text.find("SQLSTATE 42P01") != std::string::npos ||  // no such table
         text.find("SQLSTATE 42703") != std::string::npos;    // no such column
}

std::string PostgresSession::InsertColumns(std::string_view table) {
  return ServerInsertColumns(*this, table);
}

std::optional<EngineError> PostgresSession::GuardRefusal(std::string_view table,
                                                         const EngineError& error) {
  if (table.empty()) return std::nullopt;
  std::optional<TableDesc> desc = DescribeServerTable(*this, table);
  return desc ? PostgresGuardRefusal(*desc, error) : std::nullopt;
}

bool PostgresSession::MakeDeclaredTable(std::string_view create, uint16_t table_type,
                                        uint16_t char_type) {
  std::vector<ColumnRule> rules;
  std::optional<TableDesc> table = DescribeDeclaredTable(create, table_type, &rules);
  if (!table) return false;
  if (!SaysIfNotExists(create) || !ServerTableExists(*this, table->name)) {
    table->char_type = char_type;
    CreateServerTable(*this, *table, rules);
  }
  return true;
}

bool PostgresSession::ChangeColumns(std::string_view table, const ColumnChange& change) {
  // A column added, dropped or renamed: the catalog's description follows.
  // Any other change of a table's columns makes the server forget it
  // (SyncServerCatalog): a DBF-kind table would lose its type and its
  // deletion marks, and its deleted records would come back.
  std::optional<TableDesc> desc = DescribeServerTable(*this, table);
  if (desc && ChangeServerColumns(*this, *desc, change)) return true;
  if (desc && desc->table_type != NDS_NDT)
    throw EngineError(NDS_E_NOT_SUPPORTED, "The columns of the DBF-kind table " + desc->name +
                                               " cannot be changed on a PostgreSQL server yet.");
  return false;
}

bool PostgresSession::MoveCatalogRows(const std::string& from, const std::string& to) {
  // A renamed table keeps what the catalog says of it (its type, fields,
  // orders, rights, deletion marks) under its new name.
  MoveServerCatalogRows(*this, LowerAscii(from), LowerAscii(to));
  return true;
}

void PostgresSession::SyncCatalog(const std::string& altered, uint16_t) {
  SyncServerCatalog(*this, altered);
}

}  // namespace nce
