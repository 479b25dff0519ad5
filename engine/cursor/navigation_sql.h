// The SQL a cursor walks its rows with, kept in one place so that index
// orders, filters and a second SQL dialect change only this unit.
//
// A cursor walks rows of one SQLite table in an order given by a key
// expression (empty: natural order, the record number `rowid`), with ties
// broken by rowid, restricted by a condition. Steps from a known row use the
// seekable form
//   WHERE key >= ?1 AND (key > ?1 OR rowid > ?2) ORDER BY key, rowid
// which lets SQLite seek in an index on the key instead of scanning it.
#ifndef ENGINE_CURSOR_NAVIGATION_SQL_H
#define ENGINE_CURSOR_NAVIGATION_SQL_H

#include <string>

namespace nce {

struct WalkSpec {
  std::string from;         // quoted table, e.g. "main"."orders" or "temp"."_nce_cursor_7"
  std::string columns;      // select list of the fields, after rowid and key
  std::string key;          // order key expression; empty for record-number order
  bool descending = false;  // key (and rowid) descending
  std::string condition;    // rows the cursor may see; empty for all

  bool operator==(const WalkSpec&) const = default;
};

// Statement texts for one WalkSpec. Result columns of the row queries:
// 0 rowid, then the key when the shape has one, then the fields.
class NavigationSql {
 public:
  explicit NavigationSql(WalkSpec shape);

  const WalkSpec& shape() const { return spec_; }
  int first_field_column() const { return spec_.key.empty() ? 1 : 2; }

  // Parameters: ?101 key, ?102 rowid, ?103 row limit, ?104 offset. The
  // condition keeps ?1 ... ?100 for values of its own.
  std::string First() const;    // ?103
  std::string Last() const;     // ?103, rows in backward order
  std::string After() const;    // ?101, ?102, ?103
  std::string Before() const;   // ?101, ?102, ?103, backward order
  std::string ByRowid() const;  // ?102; the row whether visible or not
  // The row queries' columns, and " RETURNING" with them, for a write of
  // one row.
  std::string RowColumns() const;
  std::string Returning() const;
  std::string Visible() const;      // ?102; one row when it is visible
  std::string VisibleRow() const;   // ?102; the row itself when it is visible
  std::string Count() const;        // visible rows
  std::string CountBefore() const;  // ?101, ?102: visible rows ahead of that row
  std::string AtOffset() const;     // ?104: the visible row at that place
  // Rows matching `condition` alone ("" for every row of the table).
  std::string CountWhere(const std::string& condition) const;

 private:
  std::string Select() const;
  std::string Where(const std::string& step) const;
  std::string Order(bool backward) const;

  WalkSpec spec_;  // what the cursor walks
};

}  // namespace nce

#endif  // ENGINE_CURSOR_NAVIGATION_SQL_H
