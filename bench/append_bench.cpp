// Appending records through a cursor (append, set two fields, write), in one
// transaction, against a prepared SQLite INSERT of the same rows: the cost
// of the engine's record-number reservation, defaults and write path.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "nce/nce.h"

namespace {

constexpr int kBatch = 10000;  // records per iteration

const char* kTable =
    "CREATE TABLE grow (id INTEGER, name CHAR(20), made TIMESTAMP DEFAULT CURRENT_TIMESTAMP)";

void EngineAppend(benchmark::State& state) {
  bench::TempDirectory dir("nce_append_bench");
  NDSHANDLE connection = 0, statement = 0, cursor = 0;
  if (NdsConnect(dir.path.c_str(), &connection) != 0 ||
      NdsCreateSQLStatement(connection, &statement) != 0 ||
      NdsExecuteSQLDirect(statement, kTable, &cursor) != 0)
    std::abort();
  NdsCloseSQLStatement(statement);
  if (NdsOpenTable(connection, "grow", 0, 0, 0, &cursor) != 0) std::abort();
  for (auto _ : state) {
    NdsBeginTransaction(connection);
    for (int i = 0; i < kBatch; ++i) {
      std::string id = std::to_string(i);
      if (NdsAppendRecord(cursor) != 0 ||
          NdsSetField(cursor, "id", id.c_str(), static_cast<uint32_t>(id.size())) != 0 ||
          NdsSetField(cursor, "name", "someone", 7) != 0 || NdsWriteRecord(cursor) != 0) {
        state.SkipWithError("append failed");
        break;
      }
    }
    NdsCommitTransaction(connection);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  NdsCloseTable(cursor);
  NdsDisconnect(connection);
}
BENCHMARK(EngineAppend)->Unit(benchmark::kMillisecond);

void SqliteInsert(benchmark::State& state) {
  bench::TempDirectory dir("nce_append_bench");
  sqlite3* db = nullptr;
  if (sqlite3_open((dir.path / "plain.db").c_str(), &db) != SQLITE_OK) std::abort();
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  sqlite3_exec(db, kTable, nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO grow (id, name) VALUES (?1, ?2)", -1, &insert, nullptr);
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < kBatch; ++i) {
      sqlite3_bind_int(insert, 1, i);
      sqlite3_bind_text(insert, 2, "someone", 7, SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError("insert failed");
      sqlite3_reset(insert);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  sqlite3_finalize(insert);
  sqlite3_close(db);
}
BENCHMARK(SqliteInsert)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
