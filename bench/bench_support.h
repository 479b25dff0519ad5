// Pieces the benchmarks share: a temporary database directory and
// statements run straight through the engine.
#ifndef BENCH_BENCH_SUPPORT_H_
#define BENCH_BENCH_SUPPORT_H_

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "nce/nce.h"

namespace bench {

// A fresh directory under /tmp, removed with its contents at the end.
struct TempDirectory {
  std::filesystem::path path;
  explicit TempDirectory(const char* prefix = "nce_bench") {
    std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
  }
  ~TempDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
};

// The text of the engine's last error on this thread.
inline std::string LastEngineError() {
  char text[NDS_MAX_ERROR_LEN];
  uint32_t number = 0;
  uint16_t length = sizeof text;
  NdsGetLastError(&number, text, &length);
  return text;
}

// Runs `sql` on `connection`; a failure prints the engine's text and stops
// the benchmark program.
inline void RunSql(NDSHANDLE connection, const std::string& sql) {
  NDSHANDLE statement = 0, cursor = 0;
  if (NdsCreateSQLStatement(connection, &statement) != 0 ||
      NdsExecuteSQLDirect(statement, sql.c_str(), &cursor) != 0) {
    std::fprintf(stderr, "%s\n", LastEngineError().c_str());
    std::abort();
  }
  NdsCloseSQLStatement(statement);
}

}  // namespace bench

#endif  // BENCH_BENCH_SUPPORT_H_
