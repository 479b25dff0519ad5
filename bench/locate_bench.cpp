// Searching and narrowing a TNdsQuery over 1 000 000 records with an index
// order on the integer key `num` (scrambled against the record order):
//  - Locate on `num` (a seek), in record order and with by_num as the
//    query's order, against an SQLite lookup on a plain index of
//    the same column in the same file (target: at most 3 times);
//  - Locate on `name`, which no index answers, for the last record against
//    SQLite's SELECT ... WHERE name = ? over the table (target: at most 1.3
//    times, one pass);
//  - walking a filter on `num` that matches 1% or 10% of the records, in
//    the record order and in the index order, against a full walk and
//    against a filter matching the same 10 000 records on a table of
//    100 000: a filter the index answers costs what its matches cost, not
//    what the table's size costs;
//  - walking a range of 1% and 10% of the keys against the full walk in
//    the index order.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "query_support.h"

namespace {

using bench::OpenQuery;
using bench::RunSql;

constexpr int kRecords = 1000000;
constexpr int kSmallRecords = 100000;

// `big` of 1 000 000 records and `small` of 100 000: num is a permutation
// of 0 .. records-1, name is 'name <id>'. The engine's index by_num orders
// both; plain_num is SQLite's own index on the same column of `big`.
struct Database {
  bench::TempDirectory dir{"nds_locate_bench"};
  std::string store = (dir.path / "nce.db").string();

  Database() {
    NDSHANDLE connection = 0;
    if (NdsConnect(dir.path.c_str(), &connection) != 0) std::abort();
    Fill(connection, "big", kRecords);
    Fill(connection, "small", kSmallRecords);
    NdsDisconnect(connection);
    sqlite3* db = nullptr;
    if (sqlite3_open(store.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, "CREATE INDEX plain_num ON big(num)", nullptr, nullptr, nullptr) !=
            SQLITE_OK)
      std::abort();
    sqlite3_close(db);
  }

  static void Fill(NDSHANDLE connection, const std::string& table, int records) {
    const std::string count = std::to_string(records);
    RunSql(connection,
           "CREATE TABLE " + table + " (id INTEGER, num INTEGER, name CHAR(20), qty INTEGER)");
    // 7919 is prime and divides neither size, so x * 7919 % records is a
    // permutation.
    RunSql(connection, "INSERT INTO " + table + " SELECT x, (x * 7919) % " + count +
                           ", 'name ' || x, x % 100 FROM (WITH RECURSIVE c(x) AS (SELECT 0 "
                           "UNION ALL SELECT x + 1 FROM c WHERE x < " +
                           std::to_string(records - 1) + ") SELECT x FROM c)");
    RunSql(connection, "CREATE INDEX by_num ON " + table + " (num)");
  }
};

Database& Db() {
  static Database db;
  return db;
}

std::vector<int> RandomKeys() {
  std::mt19937 random(42);
  std::vector<int> keys(4096);
  for (int& key : keys) key = static_cast<int>(random() % kRecords);
  return keys;
}

// Every benchmark reports the same counter, as the CSV output requires.
void Report(benchmark::State& state, int64_t records) {
  state.counters["records"] = static_cast<double>(records);
}

// Argument 0: the query walks in record order, the seek borrows by_num;
// 1: by_num is the query's own order (IndexName).
void QueryLocateIndexed(benchmark::State& state) {
  OpenQuery q(Db().dir.path.string(), "select * from big");
  q.query.Open();
  if (state.range(0)) q.query.SetIndexName("by_num");
  dataset::TField* num = q.query.FieldByName("num");
  dataset::TField* name = q.query.FieldByName("name");
  const std::vector<int> keys = RandomKeys();
  size_t i = 0;
  for (auto _ : state) {
    const int key = keys[i++ % keys.size()];
    if (!q.query.Locate("num", dataset::Variant(key), {}) || num->AsInteger() != key) std::abort();
    benchmark::DoNotOptimize(name->AsString());
  }
  Report(state, state.iterations());
}
BENCHMARK(QueryLocateIndexed)->ArgName("active")->Arg(0)->Arg(1);

void SqliteIndexLookup(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT rowid, id, num, name, qty FROM big INDEXED BY plain_num "
                         "WHERE num = ?1",
                         -1, &stmt, nullptr) != SQLITE_OK)
    std::abort();
  const std::vector<int> keys = RandomKeys();
  size_t i = 0;
  for (auto _ : state) {
    sqlite3_bind_int(stmt, 1, keys[i++ % keys.size()]);
    if (sqlite3_step(stmt) != SQLITE_ROW) std::abort();
    benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 2));
    benchmark::DoNotOptimize(sqlite3_column_text(stmt, 3));
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  Report(state, state.iterations());
}
BENCHMARK(SqliteIndexLookup);

// The last record's name: the search has to pass every record once.
const char* kLastName = "name 999999";

void QueryLocateUnindexed(benchmark::State& state) {
  OpenQuery q(Db().dir.path.string(), "select * from big");
  q.query.Open();
  for (auto _ : state) {
    q.query.First();
    if (!q.query.Locate("name", dataset::Variant(kLastName), {}) ||
        q.query.FieldByName("id")->AsInteger() != kRecords - 1)
      std::abort();
  }
  Report(state, kRecords);
}
BENCHMARK(QueryLocateUnindexed)->Unit(benchmark::kMillisecond)->Iterations(5);

void SqliteScanWhere(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT rowid, id, num, name, qty FROM big WHERE name = ?1", -1, &stmt,
                         nullptr) != SQLITE_OK)
    std::abort();
  sqlite3_bind_text(stmt, 1, kLastName, -1, SQLITE_STATIC);
  for (auto _ : state) {
    int rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 1));
      ++rows;
    }
    if (rows != 1) std::abort();
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  Report(state, kRecords);
}
BENCHMARK(SqliteScanWhere)->Unit(benchmark::kMillisecond)->Iterations(5);

// First, then Next until Eof, reading `num`; answers the records read.
int64_t Walk(nds::TNdsQuery& query) {
  dataset::TField* num = query.FieldByName("num");
  int64_t rows = 0;
  for (query.First(); !query.Eof(); query.Next()) {
    benchmark::DoNotOptimize(num->AsInteger());
    ++rows;
  }
  return rows;
}

// Arguments: the table's records, the percent the filter matches, and
// whether the walk follows by_num (1) or the record order (0); percent 100
// walks without a filter.
void FilterWalk(benchmark::State& state) {
  const int64_t records = state.range(0);
  const int64_t matching = records * state.range(1) / 100;
  OpenQuery q(Db().dir.path.string(),
              std::string("select * from ") + (records == kRecords ? "big" : "small"));
  q.query.Open();
  if (state.range(2)) q.query.SetIndexName("by_num");
  if (matching < records) {
    q.query.SetFilter("num < " + std::to_string(matching));
    q.query.SetFiltered(true);
  }
  int64_t rows = 0;
  for (auto _ : state) rows = Walk(q.query);
  if (rows != matching) state.SkipWithError("wrong record count");
  Report(state, rows);
}
BENCHMARK(FilterWalk)
    ->ArgNames({"records", "percent", "indexed"})
    ->Args({kRecords, 1, 0})
    ->Args({kRecords, 10, 0})
    ->Args({kRecords, 100, 0})
    ->Args({kSmallRecords, 10, 0})
    ->Args({kRecords, 1, 1})
    ->Args({kRecords, 10, 1})
    ->Args({kSmallRecords, 10, 1})
    ->Unit(benchmark::kMillisecond);

// A range of `percent` of the keys from 0 on, over by_num; 100 walks the
// whole order without a range.
void RangeWalk(benchmark::State& state) {
  const int64_t matching = kRecords * state.range(0) / 100;
  OpenQuery q(Db().dir.path.string(), "select * from big");
  q.query.Open();
  q.query.SetIndexName("by_num");
  if (matching < kRecords) {
    q.query.SetRangeStart();
    q.query.FieldByName("num")->SetAsInteger(0);
    q.query.Post();
    q.query.SetRangeEnd();
    q.query.FieldByName("num")->SetAsInteger(static_cast<int>(matching - 1));
    q.query.Post();
    if (!q.query.ApplyRange()) std::abort();
  }
  int64_t rows = 0;
  for (auto _ : state) rows = Walk(q.query);
  if (rows != matching) state.SkipWithError("wrong record count");
  Report(state, rows);
}
BENCHMARK(RangeWalk)->ArgName("percent")->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
