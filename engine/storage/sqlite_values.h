// The engine's values and SQLite's: binding values to statements, and
// reading result columns and function arguments as stored values. The one
// place a value meets SQLite's binding and value functions.
#ifndef ENGINE_STORAGE_SQLITE_VALUES_H
#define ENGINE_STORAGE_SQLITE_VALUES_H

#include <sqlite3.h>

#include <cstddef>

#include "engine/base/stored_view.h"
#include "engine/base/values.h"
#include "engine/record/record_image.h"
#include "engine/schema/catalog.h"

namespace nce {

// Binds `value` to parameter `index` of `stmt` (an unset value binds NULL).
int BindValue(sqlite3_stmt* stmt, int index, const Value& value);
// The same without copying text and blob bytes: `value` must stay as it is
// until the statement's bindings are cleared (as StatementUse does at the
// end of a use).
int BindValueInPlace(sqlite3_stmt* stmt, int index, const Value& value);

// A view of an SQLite value, valid until the value changes (the statement
// steps or resets, the function returns). Inline: the walk reads every
// column of every row through it.
inline StoredView StoredOf(sqlite3_value* value) {
  StoredView stored;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      stored.kind = StoredView::Kind::kInteger;
      stored.integer = sqlite3_value_int64(value);
      break;
    case SQLITE_FLOAT:
      stored.kind = StoredView::Kind::kReal;
      stored.real = sqlite3_value_double(value);
      break;
    case SQLITE_TEXT:
      // The pointer first, then the size: asking for the text may convert it.
      stored.kind = StoredView::Kind::kText;
      stored.bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
      stored.size = stored.bytes ? static_cast<size_t>(sqlite3_value_bytes(value)) : 0;
      break;
    case SQLITE_BLOB:
      stored.kind = StoredView::Kind::kBlob;
      // An empty blob has no pointer.
      stored.bytes = static_cast<const char*>(sqlite3_value_blob(value));
      stored.size = stored.bytes ? static_cast<size_t>(sqlite3_value_bytes(value)) : 0;
      break;
    default:
      break;
  }
  return stored;
}

// Column `col` of a stepped statement. One call into the statement per
// column: the sqlite3_value accessors do not take the connection's mutex
// again (the engine serialises the use of each connection itself).
inline StoredView StoredColumn(sqlite3_stmt* stmt, int col) {
  return StoredOf(sqlite3_column_value(stmt, col));
}

// Reads column `col` of a stepped statement as a value.
inline Value ValueFromColumn(sqlite3_stmt* stmt, int col) {
  return ValueFromStored(StoredColumn(stmt, col));
}

// EncodeValue for column `col` of a stepped statement, through the codecs'
// fast path for stored values.
inline void EncodeColumn(const FieldDesc& f, bool ndt, sqlite3_stmt* stmt, int col,
                         uint8_t* image) {
  EncodeStored(f, ndt, StoredColumn(stmt, col), image);
}

}  // namespace nce

#endif  // ENGINE_STORAGE_SQLITE_VALUES_H
