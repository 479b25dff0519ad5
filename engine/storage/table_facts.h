// What the record work of a cursor reads of its table's definition in a
// SQLite store: the DEFAULT clauses a new record takes, the columns as they
// store a bound value, and the sequence of a table that never gives a record
// number twice. A server's record work reads its own (cursor_server_records).
#ifndef ENGINE_STORAGE_TABLE_FACTS_H
#define ENGINE_STORAGE_TABLE_FACTS_H

#include <optional>
#include <string>
#include <vector>

#include "engine/storage/store_session.h"

namespace nce {

// How a column of a SQLite table converts a value stored in it (SQLite's
// column affinity), decided by its declared type.
enum class ColumnAffinity : char {
  kInteger = 'I',
  kText = 'T',
  kBlob = 'B',
  kReal = 'R',
  kNumeric = 'N',
};
ColumnAffinity AffinityOfType(const std::string& declared);
// What storing `v` in a column of affinity `a` makes of it, as SQLite does
// on insert: a record built before its row is written shows what the row
// will hold.
Value StoredAs(Value v, ColumnAffinity a);

// A column's DEFAULT clause: the expression as the store keeps it (a SELECT
// on the same session evaluates it) and the column's affinity (a server's
// values come typed: kBlob, which leaves them as they are).
struct DefaultClause {
  std::string column;
  ColumnAffinity affinity = ColumnAffinity::kBlob;
  std::string expression;
};
std::vector<DefaultClause> DefaultClauses(StoreSession& rows, const std::string& table);

// A column of an ordinary table: its affinity, and whether it is generated
// (computed from others, so a bound value is not what it holds).
struct StoredColumn {
  std::string name;
  ColumnAffinity affinity = ColumnAffinity::kBlob;
  bool generated = false;
};
// The columns of `table` when it is one ordinary table of the store; none
// for a view or a virtual table, whose columns hold whatever its query,
// triggers or module make of a row, and for a name that a temporary table
// shares.
std::optional<std::vector<StoredColumn>> OrdinaryTableColumns(StoreSession& rows,
                                                              const std::string& table);

// For a table that never gives a record number twice, even when the row
// that had it is gone (declared AUTOINCREMENT): a query of the highest number
// it gave out, with the table's name as ?1. Empty for other tables, whose
// highest number is that of their highest row.
std::string NumberSequenceQuery(StoreSession& rows, const std::string& table);

}  // namespace nce

#endif  // ENGINE_STORAGE_TABLE_FACTS_H
