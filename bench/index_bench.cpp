// Index orders over 1 000 000 keys:
//  - a seek through the engine against an SQLite lookup on a plain index of
//    the same column (anchor: at most 2 times);
//  - walking a scope over 1% of the keys against walking the same number of
//    records from the top of the order without a scope (time proportional to
//    the scope, not the table);
//  - walking an optimized filter on the indexed field that matches 1% of
//    the records against the same scope walk, and a filter SQLite cannot
//    answer from the index over the whole table for contrast.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "nce/nce.h"

namespace {

constexpr int kRecords = 1000000;

void Check(NDSRESULT rc, const char* what) {
  if (rc == 0) return;
  char text[600];
  uint32_t number;
  uint16_t length = sizeof text;
  NdsGetLastError(&number, text, &length);
  std::fprintf(stderr, "%s: %s\n", what, text);
  std::abort();
}

// Codes K0000000 .. K0999999 in scrambled record order.
struct Database {
  std::filesystem::path dir;
  std::string store;
  NDSHANDLE connection = 0;
  NDSHANDLE cursor = 0;
  NDSHANDLE order = 0;

  Database() {
    char pattern[] = "/tmp/nce_index_bench_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    dir = pattern;
    store = (dir / "nce.db").string();
    Check(NdsConnect(dir.c_str(), &connection), "connect");
    Run("CREATE TABLE stock (id INTEGER, code CHAR(12), qty INTEGER)");
    Run("INSERT INTO stock SELECT x, printf('K%07d', (x * 7919) % 1000000), x % 100 FROM (WITH "
        "RECURSIVE "
        "c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(kRecords - 1) + ") SELECT x FROM c)");
    Run("CREATE INDEX by_code ON stock (code)");
    // The anchor: SQLite's own index on the same column.
    sqlite3* db = nullptr;
    sqlite3_open(store.c_str(), &db);
    sqlite3_exec(db, "CREATE INDEX plain_code ON stock(code)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    Check(NdsOpenTable(connection, "stock", 0, 0, 0, &cursor), "open");
    Check(NdsGetIndexHandle(cursor, "by_code", &order), "order");
  }
  ~Database() {
    NdsDisconnect(connection);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void Run(const std::string& sql) {
    NDSHANDLE statement = 0, result = 0;
    Check(NdsCreateSQLStatement(connection, &statement), "statement");
    Check(NdsExecuteSQLDirect(statement, sql.c_str(), &result), sql.c_str());
    NdsCloseSQLStatement(statement);
  }
};

Database& Db() {
  static Database db;
  return db;
}

std::vector<std::string> RandomKeys() {
  std::mt19937 random(42);
  std::vector<std::string> keys(4096);
  char text[16];
  for (std::string& key : keys) {
    std::snprintf(text, sizeof text, "K%07d", static_cast<int>(random() % kRecords));
    key = text;
  }
  return keys;
}

void EngineSeek(benchmark::State& state) {
  Database& db = Db();
  std::vector<std::string> keys = RandomKeys();
  std::vector<char> record(64);
  size_t i = 0;
  for (auto _ : state) {
    const std::string& key = keys[i++ % keys.size()];
    uint16_t found = 0;
    Check(NdsSeek(db.order, key.data(), static_cast<uint16_t>(key.size()), NDS_STRINGKEY,
                  NDS_HARDSEEK, &found),
          "seek");
    uint32_t length = static_cast<uint32_t>(record.size());
    Check(NdsGetRecord(db.cursor, record.data(), &length), "record");
    if (!found) std::abort();
  }
  // Every benchmark of this program reports the same counters, as the CSV
  // output requires: one record per seek.
  state.counters["records"] = static_cast<double>(state.iterations());
}
BENCHMARK(EngineSeek);

void SqliteLookup(benchmark::State& state) {
  Database& db = Db();
  sqlite3* sqlite = nullptr;
  sqlite3_open_v2(db.store.c_str(), &sqlite, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(sqlite,
                     "SELECT rowid, id, code, qty FROM stock INDEXED BY plain_code WHERE code = ?1",
                     -1, &stmt, nullptr);
  std::vector<std::string> keys = RandomKeys();
  size_t i = 0;
  for (auto _ : state) {
    const std::string& key = keys[i++ % keys.size()];
    sqlite3_bind_text(stmt, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (sqlite3_step(stmt) != SQLITE_ROW) std::abort();
    benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 1));
    benchmark::DoNotOptimize(sqlite3_column_text(stmt, 2));
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(sqlite);
  state.counters["records"] = static_cast<double>(state.iterations());
}
BENCHMARK(SqliteLookup);

// Walks `navigation` from the top to the end or `limit` records.
int64_t WalkRecords(NDSHANDLE navigation, int64_t limit) {
  Database& db = Db();
  std::vector<char> record(64);
  Check(NdsGotoTop(navigation), "top");
  int64_t rows = 0;
  for (;;) {
    uint16_t eof = 0;
    NdsAtEOF(db.cursor, &eof);
    if (eof || rows == limit) break;
    uint32_t length = static_cast<uint32_t>(record.size());
    Check(NdsGetRecord(db.cursor, record.data(), &length), "record");
    ++rows;
    Check(NdsSkip(navigation, 1), "skip");
  }
  return rows;
}

// 1% of the keys: K0000000 .. K0009999.
void ScopeWalk(benchmark::State& state) {
  Database& db = Db();
  NdsCacheRecords(db.cursor, 100);
  Check(NdsSetScope(db.order, NDS_TOP, "K000", 4, NDS_STRINGKEY), "scope");
  Check(NdsSetScope(db.order, NDS_BOTTOM, "K000", 4, NDS_STRINGKEY), "scope");
  int64_t rows = 0;
  for (auto _ : state) rows = WalkRecords(db.order, -1);
  if (rows != kRecords / 100) std::abort();
  state.counters["records"] = static_cast<double>(rows);
  NdsClearAllScopes(db.cursor);
}
BENCHMARK(ScopeWalk)->Unit(benchmark::kMillisecond);

void SameCountFromTop(benchmark::State& state) {
  Database& db = Db();
  NdsCacheRecords(db.cursor, 100);
  int64_t rows = 0;
  for (auto _ : state) rows = WalkRecords(db.order, kRecords / 100);
  state.counters["records"] = static_cast<double>(rows);
}
BENCHMARK(SameCountFromTop)->Unit(benchmark::kMillisecond);

// An optimized filter on the indexed field, matching 1% of the records.
void OptimizedFilterWalk(benchmark::State& state) {
  Database& db = Db();
  NdsCacheRecords(db.cursor, 100);
  Check(NdsSetExact22(db.cursor, 0), "exact");
  Check(NdsSetAOF(db.cursor, "code = 'K000'", NDS_RESOLVE_DYNAMIC), "aof");
  int64_t rows = 0;
  for (auto _ : state) rows = WalkRecords(db.order, -1);
  if (rows != kRecords / 100) std::abort();
  state.counters["records"] = static_cast<double>(rows);
  NdsClearAOF(db.cursor);
}
BENCHMARK(OptimizedFilterWalk)->Unit(benchmark::kMillisecond);

// The same records through a condition no index answers: every record is examined.
void UnindexedFilterWalk(benchmark::State& state) {
  Database& db = Db();
  NdsCacheRecords(db.cursor, 100);
  Check(NdsSetAOF(db.cursor, "SUBSTR(code, 2, 3) = '000'", NDS_RESOLVE_DYNAMIC), "aof");
  int64_t rows = 0;
  for (auto _ : state) rows = WalkRecords(db.cursor, -1);
  if (rows != kRecords / 100) std::abort();
  state.counters["records"] = static_cast<double>(rows);
  NdsClearAOF(db.cursor);
}
BENCHMARK(UnindexedFilterWalk)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
