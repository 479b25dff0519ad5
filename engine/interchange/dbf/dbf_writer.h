// Writes rows of the interchange forms as an xBase table (.dbf, with a
// .dbt or .fpt memo file when memo fields need one) of dBase III, dBase
// IV, FoxPro 2 or Visual FoxPro. The files are written beside their
// targets under temporary names and take their names only in Finish, so a
// refused value or an abandoned export leaves nothing behind.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_WRITER_H
#define ENGINE_INTERCHANGE_DBF_DBF_WRITER_H

#include <cstdint>
#include <memory>
#include <string>

#include "engine/interchange/table_rows.h"

namespace nce {

struct DbfWriteOptions {
  uint32_t version =
      0;  // NDS_DBF_DBASE3 .. NDS_DBF_VFP; 0: the oldest version that holds every column
  std::string encoding;  // iconv name; empty: CP1252
};

// Chooses the version (when 0) and the xBase field for each column from the
// shape (dbf_field_map.h, PlanField); TableColumn::nullable means here "this
// column holds NULLs" (the exporter finds out before writing). A column
// that the asked version cannot hold is refused before anything is written
// (EngineError NDS_E_VALUE_INVALID naming the column); so is a column name
// the encoding cannot write. Names longer than 10 bytes are cut to 10, and
// made unique with a "_2"-like ending where cutting makes two alike.
// The sink's Write refuses a value its field cannot hold exactly (a text
// too long or outside the code page, a number wider than its field, a
// NULL the version cannot keep) with NDS_E_VALUE_INVALID or
// NDS_E_VALUE_TOO_LONG naming the column and the record; after a refusal
// only destroying the sink is left, which removes every file it made.
std::unique_ptr<RowSink> OpenDbfWriter(const std::string& path, const TableShape& shape,
                                       const DbfWriteOptions& options);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_WRITER_H
