// Reads the records of an xBase table (.dbf, with its .dbt or .fpt memo
// file) as rows of the interchange forms: dBase III, IV and 7, FoxPro 2
// and Visual FoxPro tables, every field type of dbf_field_map.h. Records
// are read through a window of about 64 KB and memo values one at a time,
// so memory stays bounded whatever the table's size.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_READER_H
#define ENGINE_INTERCHANGE_DBF_DBF_READER_H

#include <memory>
#include <string>

#include "engine/interchange/table_rows.h"

namespace nce {

struct DbfReadOptions {
  std::string encoding;  // iconv name; empty: the code page of the header's language driver byte,
                         // CP1252 when it names none
  bool keep_deleted =
      false;  // deleted records: skipped by default; kept (RowDeleted() true) on request
  // Text fields (C) take the length of their longest value in UTF-8 when
  // that is longer than the field: the engine counts a text field's length
  // in UTF-8 bytes, where the file counts bytes of its code page. Costs one
  // more pass over the records, when the table is opened.
  bool fit_texts = false;
};

// Opens the table at `path` and reads its header, field descriptors and
// memo file header. Throws EngineError: NDS_E_INVALID_PATH when the table
// cannot be opened; NDS_E_BAD_FILE when it is not an xBase table, is cut
// short, has lengths that disagree, names or field types it cannot have,
// or memo fields without their memo file; NDS_E_INVALID_OPTION for an
// encoding iconv does not know. Next then throws NDS_E_VALUE_INVALID for
// a value not of its field's type (a date of no calendar, a number of
// garbage, bytes not of the encoding) and NDS_E_BAD_FILE for a memo that
// lies outside its file; each text names the file, record and field.
std::unique_ptr<RowSource> OpenDbfReader(const std::string& path, const DbfReadOptions& options);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_READER_H
