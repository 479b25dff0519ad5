// Writing rows to a CSV file (RFC 4180): a header line of the column names,
// then one record per row, each ended by CRLF. Values take the forms of
// csv_values.h. A field is quoted when it holds a comma, a quote (doubled
// inside), a CR or an LF, or starts or ends with a blank; NULL is an empty
// unquoted field and the empty text "" (quoted), so the two read back apart.
#ifndef ENGINE_INTERCHANGE_CSV_CSV_WRITER_H
#define ENGINE_INTERCHANGE_CSV_CSV_WRITER_H

#include <memory>
#include <string>

#include "engine/interchange/table_rows.h"

namespace nce {

struct CsvWriteOptions {
  std::string encoding;  // iconv name; empty: UTF-8 (written without a byte order mark)
};

// Opens a writer of `shape`'s rows to `path`. The rows go to a temporary
// file beside `path`, which Finish renames to `path` (replacing a file of
// that name); a writer destroyed before Finish removes it, so nothing stays
// behind unless Finish succeeds. Throws EngineError NDS_E_INVALID_OPTION for
// an encoding iconv does not know or that does not write ASCII as ASCII,
// NDS_E_INVALID_PATH when the file cannot be made or written,
// NDS_E_VALUE_INVALID (naming the line and the column) for a name or a text
// the encoding cannot write or a value not of its column's type, and
// NDS_E_NOT_SUPPORTED for a row marked deleted.
std::unique_ptr<RowSink> OpenCsvWriter(const std::string& path, const TableShape& shape,
                                       const CsvWriteOptions& options);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_CSV_CSV_WRITER_H
