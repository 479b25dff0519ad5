// Exports a table, or the result of a SELECT, to a file: an xBase table
// (.dbf, with a memo file where the columns need one) or a CSV file (.csv),
// chosen by the file's extension. The file appears whole or not at all.
//
// Locks: the caller holds the connection's lock.
#ifndef ENGINE_INTERCHANGE_TABLE_EXPORT_H
#define ENGINE_INTERCHANGE_TABLE_EXPORT_H

#include <cstdint>
#include <memory>
#include <string>

#include "engine/interchange/table_import.h"
#include "engine/storage/connection.h"

namespace nce {

struct ExportRequest {
  std::string source;         // a table's name, or a SELECT (or WITH) statement
  std::string file;           // the file to write, '\\' or '/' separators
  std::string encoding;       // the file's text encoding; empty: CP1252 (xBase), UTF-8 (CSV)
  uint32_t options = 0;       // NDS_TRANSFER_KEEP_DELETED: deleted records too, marked
  uint32_t dbf_version = 0;   // NDS_DBF_*; 0: the oldest version that holds the columns
  TransferProgress progress;  // may be empty
};

// Exports and returns the number of rows written. Throws EngineError:
// NDS_E_INVALID_TABLE for an unknown table, the statement's errors for a
// SELECT, the writers' refusals naming the row and the column,
// NDS_E_CANCELLED when the progress function stopped the work.
uint64_t ExportTable(const std::shared_ptr<Connection>& connection, const ExportRequest& request);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_TABLE_EXPORT_H
