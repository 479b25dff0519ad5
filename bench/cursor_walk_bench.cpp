// Walking a table of 1 000 000 records forward through the engine (skip,
// read the record image) against a plain sqlite3_step loop over the same
// SQLite table and against Qt SQL's QSqlQuery::next() over the same file;
// and reading one record by record number against an SQLite rowid lookup.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "nce/nce.h"

namespace {

constexpr int kRecords = 1000000;
const char* kColumns = "rowid, id, name, amount, day, flag";

// The benchmark database, built once per run in a temporary directory.
struct Database {
  std::filesystem::path dir;
  std::string store;
  NDSHANDLE connection = 0;

  Database() {
    char pattern[] = "/tmp/nce_bench_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    dir = pattern;
    store = (dir / "nce.db").string();
    if (NdsConnect(dir.c_str(), &connection) != 0) std::abort();
    Run("CREATE TABLE walk (id INTEGER, name CHAR(20), amount NUMERIC(10,2), day DATE, flag "
        "LOGICAL)");
    Run("INSERT INTO walk SELECT x, 'name ' || x, x / 100.0, date('2000-01-01', '+' || (x % 9000) "
        "|| ' days'), "
        "x % 2 FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(kRecords) + ") SELECT x FROM c)");
  }
  ~Database() {
    NdsDisconnect(connection);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void Run(const std::string& sql) {
    NDSHANDLE statement = 0, cursor = 0;
    if (NdsCreateSQLStatement(connection, &statement) != 0 ||
        NdsExecuteSQLDirect(statement, sql.c_str(), &cursor) != 0) {
      char text[600];
      uint32_t number;
      uint16_t length = sizeof text;
      NdsGetLastError(&number, text, &length);
      std::fprintf(stderr, "%s\n", text);
      std::abort();
    }
    NdsCloseSQLStatement(statement);
  }
};

Database& Db() {
  static Database db;
  return db;
}

void EngineWalk(benchmark::State& state) {
  NDSHANDLE cursor = 0;
  if (NdsOpenTable(Db().connection, "walk", 0, 0, 0, &cursor) != 0) std::abort();
  NdsCacheRecords(cursor, static_cast<uint16_t>(state.range(0)));
  std::vector<char> record(256);
  int64_t rows = 0;
  for (auto _ : state) {
    NdsGotoTop(cursor);
    uint16_t eof = 0;
    for (;;) {
      NdsAtEOF(cursor, &eof);
      if (eof) break;
      uint32_t length = static_cast<uint32_t>(record.size());
      NdsGetRecord(cursor, record.data(), &length);
      benchmark::DoNotOptimize(record.data());
      NdsSkip(cursor, 1);
      ++rows;
    }
  }
  if (rows != kRecords * static_cast<int64_t>(state.iterations()))
    state.SkipWithError("rows missing");
  state.SetItemsProcessed(rows);
  NdsCloseTable(cursor);
}
BENCHMARK(EngineWalk)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

void SqliteStepLoop(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, (std::string("SELECT ") + kColumns + " FROM walk").c_str(), -1, &stmt,
                     nullptr);
  int64_t rows = 0;
  for (auto _ : state) {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 0));
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 2));
      benchmark::DoNotOptimize(sqlite3_column_double(stmt, 3));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 4));
      benchmark::DoNotOptimize(sqlite3_column_int(stmt, 5));
      ++rows;
    }
    sqlite3_reset(stmt);
  }
  state.SetItemsProcessed(rows);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}
BENCHMARK(SqliteStepLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

void QtSqlNext(benchmark::State& state) {
  int64_t rows = 0;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench");
    db.setDatabaseName(QString::fromStdString(Db().store));
    if (!db.open()) std::abort();
    for (auto _ : state) {
      QSqlQuery query(db);
      query.setForwardOnly(true);
      query.exec(QString("SELECT ") + kColumns + " FROM walk");
      while (query.next()) {
        for (int i = 0; i < 6; ++i) benchmark::DoNotOptimize(query.value(i));
        ++rows;
      }
    }
    db.close();
  }
  QSqlDatabase::removeDatabase("bench");
  state.SetItemsProcessed(rows);
}
BENCHMARK(QtSqlNext)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- one record by number --------------------------------------------------

std::vector<uint32_t> RandomRecordNumbers() {
  std::mt19937 random(42);
  std::uniform_int_distribution<uint32_t> pick(1, kRecords);
  std::vector<uint32_t> numbers(100000);
  for (uint32_t& n : numbers) n = pick(random);
  return numbers;
}

void EngineRecordByNumber(benchmark::State& state) {
  NDSHANDLE cursor = 0;
  if (NdsOpenTable(Db().connection, "walk", 0, 0, 0, &cursor) != 0) std::abort();
  std::vector<uint32_t> numbers = RandomRecordNumbers();
  std::vector<char> record(256);
  size_t i = 0;
  for (auto _ : state) {
    NdsGotoRecord(cursor, numbers[i++ % numbers.size()]);
    uint32_t length = static_cast<uint32_t>(record.size());
    NdsGetRecord(cursor, record.data(), &length);
    benchmark::DoNotOptimize(record.data());
  }
  state.SetItemsProcessed(state.iterations());
  NdsCloseTable(cursor);
}
BENCHMARK(EngineRecordByNumber);

void SqliteRowidLookup(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db,
                     (std::string("SELECT ") + kColumns + " FROM walk WHERE rowid = ?1").c_str(),
                     -1, &stmt, nullptr);
  std::vector<uint32_t> numbers = RandomRecordNumbers();
  size_t i = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(stmt, 1, numbers[i++ % numbers.size()]);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 2));
      benchmark::DoNotOptimize(sqlite3_column_double(stmt, 3));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 4));
      benchmark::DoNotOptimize(sqlite3_column_int(stmt, 5));
    }
    sqlite3_reset(stmt);
  }
  state.SetItemsProcessed(state.iterations());
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}
BENCHMARK(SqliteRowidLookup);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  Db();  // build the table before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
