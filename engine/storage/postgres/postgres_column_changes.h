// Changes of an engine table's columns on a PostgreSQL server, followed in
// the catalog's description of the table, so that the table keeps its type,
// its fields' engine types, its deletion marks and its orders through them,
// as on SQLite.
//
// The server adds a column after the table's rowid column, which then no
// longer comes last; an INSERT that names no columns would fill rowid with
// a field's value. ServerInsertColumns gives the columns such an INSERT
// must name instead.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_COLUMN_CHANGES_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_COLUMN_CHANGES_H

#include <string>
#include <string_view>

#include "engine/schema/catalog.h"
#include "engine/schema/ddl.h"
#include "engine/storage/store_session.h"

namespace nce {

// Makes `change` (read from an ALTER TABLE statement) on engine table
// `table`, as DescribeServerTable gives it, inside the caller's transaction,
// and describes the result in the catalog:
//  - an added column gets its field's engine type and guards as CREATE
//    TABLE gives them (and AUTOINC its numbering);
//  - a dropped column's field goes, with its numbering; the fields after it
//    keep their guards under their new numbers. Dropping a column an order
//    reads is refused with NDS_E_NOT_SUPPORTED, as SQLite refuses it;
//  - a renamed column's field takes the new name, with its numbering (the
//    orders' texts are the index layer's to follow: RenameFieldInOrders).
// False, with nothing
// done, for a change this does not follow (kNone, a column the table does
// not have, a definition that declares no one field): the statement then
// goes to the server as written.
bool ChangeServerColumns(StoreSession& session, const TableDesc& table, const ColumnChange& change);

// The columns, quoted and separated by ", ", that an INSERT into `table`
// naming no columns must name: the table's columns but rowid; empty for a
// table without one. Named, a row one value short is refused, as SQLite
// refuses it, instead of leaving the last field empty; and the rows of
// `SELECT *` from another engine table, which on a server include its
// record numbers, are refused instead of taking them.
std::string ServerInsertColumns(StoreSession& session, std::string_view table);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_COLUMN_CHANGES_H
