// Fuzzes the CSV reader: the input (after a first byte choosing UTF-8 or
// CP1252) is written to a file, whose columns are typed by inference and
// whose rows are then read with that shape and with a fixed shape of mixed
// types. Anything is refused with an engine error or read; rows that are
// read are written out again and must read back the same, so that no value
// is altered on the way through a file.
#include "engine/interchange/csv/csv_reader.h"

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/base/errors.h"
#include "engine/interchange/csv/csv_writer.h"
#include "nce/nce.h"

namespace {

nce::TableShape MixedShape() {
  const std::pair<const char*, nce::FieldSpec> columns[] = {
      {"a", {NDS_STRING, 10, 0}}, {"b", {NDS_INTEGER, 4, 0}},  {"c", {NDS_NUMERIC, 8, 2}},
      {"d", {NDS_DOUBLE, 8, 0}},  {"e", {NDS_DATE, 4, 0}},     {"f", {NDS_TIMESTAMP, 8, 0}},
      {"g", {NDS_LOGICAL, 1, 0}}, {"h", {NDS_BINARY, 9, 0}},   {"i", {NDS_MONEY, 8, 4}},
      {"j", {NDS_TIME, 4, 0}},    {"k", {NDS_MEMO, 9, 0}},     {"l", {NDS_SHORTINT, 2, 0}},
      {"m", {NDS_RAW, 4, 0}},     {"n", {NDS_NUMERIC, 20, 0}}, {"o", {NDS_CISTRING, 5, 0}}};
  nce::TableShape shape;
  for (const auto& [name, spec] : columns) shape.columns.push_back({name, spec, true});
  return shape;
}

bool Same(const nce::Value& a, const nce::Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case nce::Value::Kind::kInteger:
      return a.integer == b.integer;
    case nce::Value::Kind::kReal:
      return a.real == b.real && std::signbit(a.real) == std::signbit(b.real);
    default:
      return a.bytes == b.bytes;
  }
}

// Reads every row of `path` as `shape`; the rows read are written to
// `copy` and read back, which must give them again.
void ReadAndRoundTrip(const std::string& path, const std::string& copy,
                      const nce::TableShape& shape, const std::string& encoding) {
  std::vector<nce::TableRow> rows;
  try {
    auto reader = nce::OpenCsvReader(path, shape, {encoding});
    for (nce::TableRow row; reader->Next(&row);) {
      if (rows.size() < 200) rows.push_back(row);
    }
    if (reader->BytesRead() != reader->BytesTotal()) std::abort();
  } catch (const nce::EngineError&) {
    return;
  }
  // The reader's rows are a table's whole shape: the header may have named
  // the columns in another order, which the copy writes in shape order.
  auto writer = nce::OpenCsvWriter(copy, shape, {encoding});
  for (const nce::TableRow& row : rows) writer->Write(row, false);
  writer->Finish();
  auto reader = nce::OpenCsvReader(copy, shape, {encoding});
  nce::TableRow again;
  for (const nce::TableRow& row : rows) {
    if (!reader->Next(&again)) std::abort();
    for (size_t i = 0; i < row.size(); ++i)
      if (!Same(row[i], again[i])) std::abort();
  }
  if (reader->Next(&again)) std::abort();
}

std::string TempPath(const char* suffix) {
  // Memory-backed where there is such a place: the writer syncs its file.
  const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/fuzz_csv_reader_" + std::to_string(::getpid()) + suffix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string encoding = (data[0] & 1) ? "CP1252" : "";
  static const std::string path = TempPath(".csv"), copy = TempPath("_copy.csv");
  static const bool removed_at_exit = std::atexit([] { ::unlink(path.c_str()); }) == 0;
  (void)removed_at_exit;
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  } else {
    std::abort();
  }
  try {
    nce::TableShape inferred = nce::InferCsvShape(path, {encoding});
    // Every value of the file suits the shape inferred from it.
    try {
      auto reader = nce::OpenCsvReader(path, inferred, {encoding});
      for (nce::TableRow row; reader->Next(&row);) {
      }
    } catch (const nce::EngineError&) {
      std::abort();
    }
    ReadAndRoundTrip(path, copy, inferred, encoding);
  } catch (const nce::EngineError&) {
  }
  ReadAndRoundTrip(path, copy, MixedShape(), encoding);
  ::unlink(copy.c_str());
  return 0;
}
