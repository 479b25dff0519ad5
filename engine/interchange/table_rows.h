// The rows that cross between a file and the engine: a table's shape and a
// stream of rows in the interchange forms below. Format readers (xBase,
// CSV) hand rows out as a RowSource, format writers take them as a
// RowSink; neither knows a store. The loader (table_import.h) and the
// exporter (table_export.h) convert between these forms and what a store
// keeps, so that every value crosses exactly: never through a double that
// could round it, never through locale-dependent text.
//
// Interchange forms of a value, by the column's engine type:
//   any type, no value           Value::Null()
//   STRING CISTRING VARCHAR MEMO Text, UTF-8, trailing blanks of a fixed
//                                width field removed
//   NUMERIC                      Text, the exact decimal as written in the
//                                file ("-12.50", "7"), never a double
//   MONEY                        Text, exact decimal with at most 4 decimals
//   DOUBLE CURDOUBLE             Real
//   INTEGER SHORTINT AUTOINC     Integer
//   ROWVERSION                   Integer
//   LOGICAL                      Integer 0 or 1
//   DATE                         Text "YYYY-MM-DD"
//   TIME                         Text "HH:MM:SS.mmm"
//   TIMESTAMP MODTIME            Text "YYYY-MM-DD HH:MM:SS.mmm"
//   BINARY IMAGE RAW             Blob
#ifndef ENGINE_INTERCHANGE_TABLE_ROWS_H
#define ENGINE_INTERCHANGE_TABLE_ROWS_H

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/values.h"
#include "engine/schema/catalog.h"

namespace nce {

// One column of a table that crosses a file boundary.
struct TableColumn {
  std::string name;      // as the file names it (or as the table names it)
  FieldSpec shape;       // engine type, record image length, decimals
  bool nullable = true;  // false where the file's format says the column holds no NULL
};

struct TableShape {
  std::vector<TableColumn> columns;  // in the file's (or the table's) order
};

// One row: one value per column of the shape, in column order.
using TableRow = std::vector<Value>;

// Where a refusal points, for its message: the file, the record or line
// (0 when none: a header fault), and the column (empty when none).
struct FilePlace {
  std::string file;
  uint64_t row = 0;    // 1-based record number (xBase) or line number (CSV)
  std::string column;  // the column's name
};

// The text of a refusal that names its place: "FILE: record 12, field
// PRICE: WHAT" (CSV files say "line" and "column").
std::string PlacedMessage(const FilePlace& place, const char* row_word, const char* column_word,
                          const std::string& what);

// A reader of rows from a file, one at a time: memory stays bounded
// whatever the file's size. Every failure throws EngineError naming the
// file, the row and the column (PlacedMessage): NDS_E_INVALID_PATH for a file
// that cannot be opened, NDS_E_BAD_FILE for one that is not of its format
// or is damaged, NDS_E_VALUE_INVALID for a value that is not of its
// column's type.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // The columns, known once the reader is made.
  virtual const TableShape& shape() const = 0;
  // Reads the next row into `row` (resized to the column count); false at
  // the end of the file.
  virtual bool Next(TableRow* row) = 0;
  // Whether the row Next read last is marked deleted (xBase tables read
  // with their deleted records kept); false for a format without marks.
  virtual bool RowDeleted() const { return false; }
  // Where the row Next read last lies, and its column `column` (npos: the
  // row as a whole), for the message of a refusal that a later step makes:
  // "FILE: record 12, field PRICE" (PlacedMessage's place, without a text).
  virtual std::string Where(size_t column) const = 0;
  // How far the reading has come, for progress reports: bytes of the file
  // read so far and the file's size.
  virtual uint64_t BytesRead() const = 0;
  virtual uint64_t BytesTotal() const = 0;

 protected:
  RowSource() = default;
  RowSource(const RowSource&) = delete;
  RowSource& operator=(const RowSource&) = delete;
};

// A writer of rows to a file. Nothing stays behind unless Finish succeeds:
// a sink destroyed before Finish (a refusal, a cancel) removes the files it
// made. A value its format cannot hold is refused with EngineError
// NDS_E_VALUE_INVALID or NDS_E_VALUE_TOO_LONG naming the column and the row.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Writes one row; `deleted` marks it deleted where the format has marks
  // (xBase), and is refused (NDS_E_NOT_SUPPORTED) where it has none.
  virtual void Write(const TableRow& row, bool deleted) = 0;
  // Completes the file (counts in its header, buffers flushed, closed).
  virtual void Finish() = 0;

 protected:
  RowSink() = default;
  RowSink(const RowSink&) = delete;
  RowSink& operator=(const RowSink&) = delete;
};

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_TABLE_ROWS_H
