// Data in and out: imports of xBase tables and CSV files into a connection's
// database, exports of tables and query results to such files, and the
// xBase tables of a database's directory that are not imported yet.
#include <algorithm>
#include <filesystem>

#include "engine/api/api_support.h"
#include "engine/base/sql_text.h"
#include "engine/interchange/table_export.h"
#include "engine/interchange/table_import.h"
#include "engine/storage/store_catalog.h"

using namespace nce;

namespace {

// The caller's transfer settings; null gives the defaults. A structure
// smaller than the one this engine knows is refused: its last fields would
// be read from beyond it.
NDSTRANSFER ReadTransfer(const NDSTRANSFER* transfer) {
  NDSTRANSFER settings{};
  settings.size = sizeof settings;
  if (!transfer) return settings;
  if (transfer->size < sizeof settings)
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      "The transfer settings are smaller (" + std::to_string(transfer->size) +
                          " bytes) than this engine's (" + std::to_string(sizeof settings) + ").");
  settings = *transfer;
  const uint32_t known = NDS_TRANSFER_REPLACE | NDS_TRANSFER_APPEND | NDS_TRANSFER_KEEP_DELETED;
  if (settings.options & ~known)
    throw EngineError(NDS_E_INVALID_OPTION,
                      "Unknown transfer options " + std::to_string(settings.options) + ".");
  if (settings.dbfVersion > NDS_DBF_VFP)
    throw EngineError(NDS_E_INVALID_OPTION,
                      "Unknown xBase version " + std::to_string(settings.dbfVersion) + ".");
  return settings;
}

TransferProgress ProgressOf(const NDSTRANSFER& settings) {
  if (!settings.progress) return nullptr;
  auto* progress = settings.progress;
  void* context = settings.context;
  return [progress, context](uint64_t done, uint64_t total) {
    return progress(context, done, total) == 0;
  };
}

std::string Text(const char* text) {
  return text ? std::string(text) : std::string();
}

}  // namespace

extern "C" {

NDSRESULT NdsImportTable(NDSHANDLE connection, const char* file, const char* table,
                         NDSTRANSFER* transfer) {
  return Guarded("NdsImportTable", [&] {
    RequireArgument(file, "file name");
    NDSTRANSFER settings = ReadTransfer(transfer);
    std::shared_ptr<Connection> c = RequireConnection(connection);
    RecursiveLockGuard lock(c->mutex());
    ImportRequest request;
    request.file = NormalisePath(file);
    request.table = Text(table);
    request.encoding = Text(settings.encoding);
    request.options = settings.options;
    request.progress = ProgressOf(settings);
    if (transfer) transfer->rows = 0;
    uint64_t rows = ImportTable(c, request);
    if (transfer) transfer->rows = rows;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsExportTable(NDSHANDLE connection, const char* source, const char* file,
                         NDSTRANSFER* transfer) {
  return Guarded("NdsExportTable", [&] {
    RequireArgument(source, "table or statement");
    RequireArgument(file, "file name");
    NDSTRANSFER settings = ReadTransfer(transfer);
    if (settings.options & (NDS_TRANSFER_REPLACE | NDS_TRANSFER_APPEND))
      throw EngineError(NDS_E_INVALID_OPTION, "An export neither replaces nor appends.");
    std::shared_ptr<Connection> c = RequireConnection(connection);
    RecursiveLockGuard lock(c->mutex());
    ExportRequest request;
    request.source = source;
    request.file = NormalisePath(file);
    request.encoding = Text(settings.encoding);
    request.options = settings.options;
    request.dbf_version = settings.dbfVersion;
    request.progress = ProgressOf(settings);
    if (transfer) transfer->rows = 0;
    uint64_t rows = ExportTable(c, request);
    if (transfer) transfer->rows = rows;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetUnimportedTables(NDSHANDLE connection, char* names, uint32_t* length) {
  return Guarded("NdsGetUnimportedTables", [&] {
    RequireArgument(length, "length");
    std::shared_ptr<Connection> c = RequireConnection(connection);
    RecursiveLockGuard lock(c->mutex());
    std::string list;
    // A database in a directory: the tables beside it (a server has none).
    if (!c->location().store_file.empty()) {
      namespace fs = std::filesystem;
      fs::path directory(c->location().database_path);
      if (c->location().dictionary) directory = directory.parent_path();
      std::vector<std::string> found;
      std::error_code error;
      for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(error) || name.size() < 5) continue;
        if (UpperAscii(name.substr(name.size() - 4)) != ".DBF") continue;
        if (!StoreTableExists(*c, TableNameOfFile(name))) found.push_back(entry.path().string());
      }
      std::sort(found.begin(), found.end());
      for (const std::string& name : found) list += name + "\n";
    }
    return CopyOut(list, names, length);
  });
}

}  // extern "C"
