// Prepared SQL statements run through the engine one execution at a time:
// what the statement loop costs around the store's own work. On a SQLite
// store in a temporary directory, and on a server when
// NCE_BENCH_POSTGRES_URI names a database there (its table `bench_stmt` is
// made afresh). Each iteration is one NdsExecuteSQL of a statement prepared
// once: an INSERT with two parameters, an UPDATE of one row by key, a
// SELECT of one row (its cursor closed again), a script of two statements.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "nce/nce.h"

namespace {

const char* kTable = "CREATE TABLE bench_stmt (id INTEGER, name CHAR(20), amount NUMERIC(10,2))";

enum Kind { kInsert, kUpdate, kSelect, kScript };

const char* TextOf(int kind) {
  switch (kind) {
    case kInsert:
      return "INSERT INTO bench_stmt (id, name) VALUES (?, ?)";
    case kUpdate:
      return "UPDATE bench_stmt SET amount = amount + 1 WHERE id = ?";
    case kSelect:
      return "SELECT id, name, amount FROM bench_stmt WHERE id = ?";
    default:
      return "UPDATE bench_stmt SET amount = amount + 1 WHERE id = ?; "
             "DELETE FROM bench_stmt WHERE id = -1";
  }
}

void Fail(benchmark::State& state) {
  char text[NDS_MAX_ERROR_LEN];
  uint32_t number = 0;
  uint16_t length = sizeof text;
  NdsGetLastError(&number, text, &length);
  state.SkipWithError(text);
}

void RunStatements(benchmark::State& state, const std::string& path) {
  NDSHANDLE connection = 0, statement = 0, cursor = 0;
  uint16_t types = path.rfind("postgres", 0) == 0 ? NDS_REMOTE_SERVER : NDS_LOCAL_SERVER;
  if (NdsConnect60(path.c_str(), types, nullptr, nullptr, 0, &connection) != 0) return Fail(state);
  if (types == NDS_REMOTE_SERVER) {
    NDSHANDLE drop = 0;
    NdsCreateSQLStatement(connection, &drop);
    NdsExecuteSQLDirect(drop, "DROP TABLE IF EXISTS bench_stmt", &cursor);
    NdsCloseSQLStatement(drop);
  }
  bench::RunSql(connection, kTable);
  bench::RunSql(connection, "INSERT INTO bench_stmt (id, name, amount) VALUES (1, 'one', 0)");
  if (NdsCreateSQLStatement(connection, &statement) != 0 ||
      NdsPrepareSQL(statement, TextOf(static_cast<int>(state.range(0)))) != 0) {
    NdsDisconnect(connection);
    return Fail(state);
  }
  int id = 1;
  for (auto _ : state) {
    std::string key = std::to_string(state.range(0) == kInsert ? ++id : 1);
    cursor = 0;
    if (NdsSetString(statement, NDS_FIELD_ORDINAL(1), key.c_str(),
                     static_cast<uint32_t>(key.size())) != 0 ||
        (state.range(0) == kInsert &&
         NdsSetString(statement, NDS_FIELD_ORDINAL(2), "someone", 7) != 0) ||
        NdsExecuteSQL(statement, &cursor) != 0) {
      Fail(state);
      break;
    }
    if (cursor) NdsCloseTable(cursor);
  }
  NdsCloseSQLStatement(statement);
  NdsDisconnect(connection);
}

void SqliteStatement(benchmark::State& state) {
  bench::TempDirectory dir("nce_statement_bench");
  RunStatements(state, dir.path.string());
}
BENCHMARK(SqliteStatement)
    ->ArgName("kind")
    ->Arg(kInsert)
    ->Arg(kUpdate)
    ->Arg(kSelect)
    ->Arg(kScript)
    ->Unit(benchmark::kMicrosecond);

void ServerStatement(benchmark::State& state) {
  const char* uri = std::getenv("NCE_BENCH_POSTGRES_URI");
  if (!uri || !*uri) return state.SkipWithError("NCE_BENCH_POSTGRES_URI is not set");
  RunStatements(state, uri);
}
BENCHMARK(ServerStatement)
    ->ArgName("kind")
    ->Arg(kInsert)
    ->Arg(kUpdate)
    ->Arg(kSelect)
    ->Arg(kScript)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
