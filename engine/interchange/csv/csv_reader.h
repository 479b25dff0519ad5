// Reading CSV files (RFC 4180, a header line naming the columns) as rows of
// a table: InferCsvShape types the columns of a file for a new table,
// OpenCsvReader hands its records out as rows of a given shape. Values are
// read as csv_values.h describes; an unquoted empty field is NULL, a quoted
// empty field ("") in a text column the empty text.
#ifndef ENGINE_INTERCHANGE_CSV_CSV_READER_H
#define ENGINE_INTERCHANGE_CSV_CSV_READER_H

#include <memory>
#include <string>

#include "engine/interchange/table_rows.h"

namespace nce {

struct CsvReadOptions {
  std::string
      encoding;  // iconv name; empty: UTF-8 (a UTF-8 byte order mark at the start is skipped)
};

// Reads the whole file once, streaming, and types its columns for a new
// table (csv_inference.h gives the rules). Empty fields are NULL and decide
// no type. Column names come from the header line; an empty name or a name
// twice (letter case aside) is refused naming line 1 and the column. Throws
// the refusals of CsvFile (csv_file.h).
TableShape InferCsvShape(const std::string& path, const CsvReadOptions& options);

// Reads the rows of `path` as rows of `target` (the shape InferCsvShape
// gave, or an existing table's). The header's names are matched to
// target's columns without regard to letter case, in any order; a name
// target lacks is refused (NDS_E_INVALID_FIELD); target columns the header
// lacks come out NULL. A value that does not convert to its column's type
// is refused with NDS_E_VALUE_INVALID or NDS_E_VALUE_TOO_LONG, a NULL in a
// column that holds none with NDS_E_VALUE_REQUIRED, each naming the file,
// the line where the record starts and the column.
std::unique_ptr<RowSource> OpenCsvReader(const std::string& path, const TableShape& target,
                                         const CsvReadOptions& options);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_CSV_CSV_READER_H
