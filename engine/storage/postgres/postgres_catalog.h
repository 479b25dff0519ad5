// The engine's catalog on a PostgreSQL server: _nce_tables and _nce_fields
// with the columns and meaning they have in a SQLite store
// (catalog_schema.h), the data dictionary's users, groups, rights, table
// properties and rights counter (read and written by
// dictionary/dictionary_mirror.h), the engine's SQL functions
// (postgres_functions.h), and the engine tables its DDL makes there.
//
// The server folds unquoted names to lower case; the engine compares names
// without regard to letter case. An engine table is therefore made with its
// table and column names in lower case, so that statements naming them
// unquoted, in any case, find them; the catalog keeps each field's name as
// declared, under the table's lower-case name.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_CATALOG_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_CATALOG_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/schema/catalog.h"
#include "engine/storage/declared_table.h"
#include "engine/storage/store_session.h"

namespace nce {

// Makes the catalog tables and (re)installs the functions when the database
// lacks them or holds those of another engine version: in one transaction,
// under a lock, so that two first connects at the same moment wait for each
// other. Tables the database already holds are left as they are. Call it
// outside a transaction.
void EnsureServerCatalog(StoreSession& session);

// Makes the engine table `table` with the `rules` of its fields, its
// catalog rows and the numbering of its AUTOINC fields, inside the caller's
// transaction.
void CreateServerTable(StoreSession& session, const TableDesc& table,
                       const std::vector<ColumnRule>& rules = {});

// The numbering of AUTOINC field `field` of `table` (both as the server
// holds them, lower case): its counter, from 0, and the trigger that numbers
// inserted rows; their removal; their move to the field's new name, the
// counter keeping its value.
void InstallAutoincNumbering(StoreSession& session, const std::string& table,
                             const std::string& field);
void RemoveAutoincNumbering(StoreSession& session, const std::string& table,
                            const std::string& field);
void RenameAutoincNumbering(StoreSession& session, const std::string& table,
                            const std::string& from, const std::string& to);

// Whether the server holds a table or view `name` (found as an unquoted
// name would find it).
bool ServerTableExists(StoreSession& session, std::string_view name);

// Table `name` as the catalog describes it; nullopt for a table the engine
// did not make (its result columns are typed by the server's types).
std::optional<TableDesc> DescribeServerTable(StoreSession& session, std::string_view name);

// Drops the catalog rows of tables the server no longer holds, and of
// `changed` (a table whose columns an ALTER TABLE changed; empty: none);
// the AUTOINC counters of a renamed table move to its new name.
void SyncServerCatalog(StoreSession& session, std::string_view changed);

// Moves the catalog rows of table `from` to the name `to` (both as the
// server holds them, lower case): its description, counters, row versions,
// rights, properties and deletion marks. Orders move with
// RenameOrdersOfTable.
void MoveServerCatalogRows(StoreSession& session, const std::string& from, const std::string& to);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_CATALOG_H
