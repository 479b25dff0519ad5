// Index orders: what an order is (its key expression, condition, flags and
// the file it belongs to), how it is compiled into SQL, and how it is kept.
//
// An order is an SQLite expression index over nce_key(shape, segment...), the
// engine's key function, whose byte strings sort in key order. A condition
// makes it a partial index; a unique order of an NDT table is a UNIQUE
// index; a unique order of a DBF-kind table shows the first record of each
// key only. Orders are recorded in the catalog table _nce_index_orders,
// grouped into named index files; the structural file (named after the
// table) opens with the table.
#ifndef ENGINE_INDEX_INDEX_ORDER_H
#define ENGINE_INDEX_INDEX_ORDER_H

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/expr/expr_functions.h"
#include "engine/expr/expr_sql.h"
#include "engine/expr/expr_tree.h"
#include "engine/schema/catalog.h"
#include "engine/storage/store_session.h"

namespace nce {

struct OrderSegment {
  ExprPtr node;                  // the segment's expression
  std::string sql;               // its SQL over the table's columns
  KeySegmentSpec shape;          // its key form
  std::string name;              // field name of a bare field, else the expression text
  std::set<std::string> fields;  // upper-cased names of the fields it reads
  bool bare_field = false;       // the segment is one field (possibly UPPER/LOWER of it)
};

struct OrderDef {
  std::string table;        // table name as stored
  uint16_t table_type = 3;  // NDS_NDT, NDS_CDX or NDS_NTX
  std::string file;         // index file name with extension, no directory
  std::string name;         // order name
  std::string expression;   // key expression as given
  std::string condition;    // condition as given, "" for none
  uint32_t flags = 0;       // NDS_INDEX_* bits
  std::vector<OrderSegment> segments;
  std::string key_sql;        // nce_key(...) over the table's columns
  std::string outer_key_sql;  // the same with columns named through the table
  std::string condition_sql;  // the condition in SQL, "" for none
  std::string sqlite_index;   // name of the store's index (SQLite's or the server's)
  std::string quoted_table;   // the table's name quoted as the store holds it
  bool server = false;        // compiled for a table on a server (names in lower case)

  bool descending() const;
  bool unique() const;
  uint32_t key_length() const;
  // Rows the order shows: its condition, and for a unique order of a
  // DBF-kind table the first record of each key; "" for every row.
  std::string VisibleRowsSql() const;
};

using OrderPtr = std::shared_ptr<const OrderDef>;

// Compiles an order of `table`; throws NDS_E_BAD_EXPRESSION for a bad key or
// condition and NDS_E_INVALID_OPTION for flags the engine does not offer.
// With `server` the key and the condition are in the server's SQL
// (SqlDialect::kPostgres), naming the table and its columns as a server
// holds them, each key segment cast to text as the server's nce_key takes
// its values; a key the server would compute otherwise than SQLite for some
// value (MAX, MIN, CHR beyond ASCII codes, PADL or PADR of a number, STR
// of more than 14 digits, ROUND to decimals, the clock) is refused with
// NDS_E_NOT_SUPPORTED.
OrderPtr CompileOrder(const TableDesc& table, const std::string& file, const std::string& name,
                      const std::string& expression, const std::string& condition, uint32_t flags,
                      SqlDialect dialect = SqlDialect::kSqlite);

// The structural index file of a table ("" for NTX tables, whose orders
// each live in a file of their own), and the file an order goes to when its
// creator names none.
std::string StructuralIndexFile(const TableDesc& table);
std::string DefaultIndexFile(const TableDesc& table, const std::string& order_name);
// Extension of index files of a table type: "ndi", "cdx" or "ntx".
std::string IndexFileExtension(uint16_t table_type);

// The catalog of orders, read and written through a store session: the
// store's own (Connection::session()) or a server's session.
//
// Creates the store's index and the catalog row. Throws EngineError when an
// order of that name exists on the table or the store refuses (a unique
// order over duplicate keys).
void CreateOrder(StoreSession& session, const OrderDef& order);

// Orders of `table` in file `file` (without regard to letter case; "" for
// every file), in creation order, compiled for the dialect of `session`'s store.
std::vector<OrderPtr> LoadOrders(StoreSession& session, const TableDesc& table,
                                 const std::string& file);
bool IndexFileExists(StoreSession& session, const TableDesc& table, const std::string& file);

// Whether an order `name` (order name or store index name) exists on any table.
bool OrderExists(StoreSession& session, const std::string& name);
// Drops the order named `name` (order name or store index name) on any
// table; false when there is none.
bool DropOrder(StoreSession& session, const std::string& name);

// Renames the catalog rows and indexes of table `from` to `to` through the
// store's session (the table itself must be renamed already; on a store that
// names tables in lower case, the names as it holds them).
void RenameOrdersOfTable(StoreSession& session, const std::string& from, const std::string& to);

}  // namespace nce

#endif  // ENGINE_INDEX_INDEX_ORDER_H
