// Fuzzes the xBase table reader: a table and a memo file taken from the
// input must either read or be refused with EngineError, never crash or
// read outside the files; a table that reads and that the writer accepts
// must read back after writing.
//
// Input: byte 0 chooses the memo file's extension (bit 0: .fpt, else
// .dbt) and whether deleted records are kept (bit 1); bytes 1..2 give the
// table's length (least significant first); the table follows, then the
// memo file.
#include "engine/interchange/dbf/dbf_reader.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/base/errors.h"
#include "engine/interchange/dbf/dbf_writer.h"

namespace {

// The directory's name lives in a plain array, which outlives the static
// strings the exit handler would otherwise find destroyed.
char dir_name[64];

const std::string& Dir() {
  static const std::string dir = [] {
    // tmpfs where there is one: the writer syncs its files.
    std::strcpy(dir_name, "/dev/shm/fuzz_dbf_XXXXXX");
    if (::access("/dev/shm", W_OK) != 0) std::strcpy(dir_name, "/tmp/fuzz_dbf_XXXXXX");
    if (!::mkdtemp(dir_name)) std::abort();
    std::atexit([] { std::filesystem::remove_all(dir_name); });
    return std::string(dir_name);
  }();
  return dir;
}

void Put(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Reads every row; false when the reader refuses the table.
bool ReadAll(const std::string& path, const nce::DbfReadOptions& options, nce::TableShape* shape,
             std::vector<std::pair<nce::TableRow, bool>>* rows) {
  try {
    auto source = nce::OpenDbfReader(path, options);
    *shape = source->shape();
    nce::TableRow row;
    while (source->Next(&row)) {
      if (rows->size() < 1000) rows->emplace_back(row, source->RowDeleted());
    }
    return true;
  } catch (const nce::EngineError&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  size_t table_size = std::min<size_t>(data[1] | data[2] << 8, size - 3);
  const std::string table = Dir() + "/T.DBF";
  ::unlink((Dir() + "/T.FPT").c_str());
  ::unlink((Dir() + "/T.DBT").c_str());
  Put(table, data + 3, table_size);
  Put(Dir() + (data[0] & 1 ? "/T.FPT" : "/T.DBT"), data + 3 + table_size, size - 3 - table_size);
  nce::DbfReadOptions options;
  options.keep_deleted = data[0] & 2;
  nce::TableShape shape;
  std::vector<std::pair<nce::TableRow, bool>> rows;
  if (!ReadAll(table, options, &shape, &rows)) return 0;

  // Whatever the writer accepts, the reader reads back.
  const std::string copy = Dir() + "/copy.dbf";
  try {
    for (auto& c : shape.columns) c.nullable = true;
    auto sink = nce::OpenDbfWriter(copy, shape, {});
    for (const auto& [row, deleted] : rows) sink->Write(row, deleted);
    sink->Finish();
  } catch (const nce::EngineError&) {
    return 0;
  }
  nce::TableShape shape_back;
  std::vector<std::pair<nce::TableRow, bool>> back;
  options.keep_deleted = true;
  if (!ReadAll(copy, options, &shape_back, &back) || back.size() != rows.size()) std::abort();
  return 0;
}
