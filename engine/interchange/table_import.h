// Imports a file into a table of a connection's database: an xBase table
// (.dbf with its memo file) or a CSV file (.csv), chosen by the file's
// extension. The whole table comes in or nothing: a new table and its rows
// are made in one transaction (a savepoint inside the caller's), and any
// refusal, a cancel or a failure of the store undoes all of it.
//
// Locks: the caller holds the connection's lock.
#ifndef ENGINE_INTERCHANGE_TABLE_IMPORT_H
#define ENGINE_INTERCHANGE_TABLE_IMPORT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/storage/connection.h"

namespace nce {

// Called now and then with the work done and the whole; false stops the
// work (NDS_E_CANCELLED).
using TransferProgress = std::function<bool(uint64_t done, uint64_t total)>;

struct ImportRequest {
  std::string file;           // the file, '\\' or '/' separators
  std::string table;          // the table; empty: the file's name without extension
  std::string encoding;       // the file's text encoding; empty: its own or UTF-8
  uint32_t options = 0;       // NDS_TRANSFER_* bits
  TransferProgress progress;  // may be empty
};

// Imports and returns the number of rows written. Throws EngineError:
// NDS_E_TABLE_EXISTS for an existing table without replace or append, the
// readers' errors (table_rows.h) naming file, row and column, the store's
// refusals naming the row, NDS_E_CANCELLED when the progress function
// stopped the work. Under the connection's lock.
uint64_t ImportTable(const std::shared_ptr<Connection>& connection, const ImportRequest& request)
    REQUIRES(connection->mutex());

// The table a file imports into by default: its name without directory
// and extension.
std::string TableNameOfFile(const std::string& file);
// Whether `file` names an xBase table or a CSV file by its extension (any
// letter case); throws NDS_E_BAD_FILE for any other.
bool IsXbaseFile(const std::string& file);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_TABLE_IMPORT_H
