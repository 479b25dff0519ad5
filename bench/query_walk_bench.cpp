// Walking 1 000 000 records through a TNdsQuery (First, then Next until Eof,
// reading four fields as integer, text, float and date) against the engine's
// own walk, a plain sqlite3_step loop and Qt SQL's forward-only
// QSqlQuery::next() over the same file. Also: opening a live query and
// reading its first record on 1 000 and 1 000 000 records, and (printed
// after the benchmarks) the peak memory of walking 100 000 and 1 000 000
// records, each walk in a fresh process of this program (--walk-rss).
// And the Qt table model over the query, as the table browser uses it: its
// first screen and its jump to the last record on 1 000 and 1 000 000
// records, and the records a page scroll reads from the engine.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "nds/nce.h"
#include "qtmodel/dataset_model.h"
#include "query_support.h"

namespace {

using bench::OpenQuery;
using bench::RunSql;

constexpr int kRecords = 1000000;
constexpr int kSmallRecords = 1000;
const char* kColumns = "rowid, id, name, amount, day, flag";

std::string FillSql(const char* table, int records) {
  return std::string("INSERT INTO ") + table +
         " SELECT x, 'name ' || x, x / 100.0, date('2000-01-01', '+' || (x % 9000) || ' days'), "
         "x % 2 FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
         std::to_string(records) + ") SELECT x FROM c)";
}

// The benchmark database, built once per run in a temporary directory: the
// 5-column table `walk` of 1 000 000 records and `small` of 1 000.
struct Database {
  std::filesystem::path dir;
  std::string store;

  Database() {
    char pattern[] = "/tmp/nds_query_bench_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    dir = pattern;
    store = (dir / "nce.db").string();
    NDSHANDLE connection = 0;
    if (NdsConnect(dir.c_str(), &connection) != 0) std::abort();
    for (const char* table : {"walk", "small"})
      RunSql(connection, std::string("CREATE TABLE ") + table +
                             " (id INTEGER, name CHAR(20), amount NUMERIC(10,2), day DATE, "
                             "flag LOGICAL)");
    RunSql(connection, FillSql("walk", kRecords));
    RunSql(connection, FillSql("small", kSmallRecords));
    NdsDisconnect(connection);
  }
  ~Database() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Database& Db() {
  static Database db;
  return db;
}

// First, then Next until Eof, reading four fields; answers the records read.
int64_t WalkQuery(nds::TNdsQuery& query, int64_t limit) {
  dataset::TField* id = query.FieldByName("id");
  dataset::TField* name = query.FieldByName("name");
  dataset::TField* amount = query.FieldByName("amount");
  dataset::TField* day = query.FieldByName("day");
  int64_t rows = 0;
  for (query.First(); !query.Eof() && rows < limit; query.Next()) {
    benchmark::DoNotOptimize(id->AsInteger());
    benchmark::DoNotOptimize(name->AsString());
    benchmark::DoNotOptimize(amount->AsFloat());
    benchmark::DoNotOptimize(day->AsDateTime());
    ++rows;
  }
  return rows;
}

void QueryWalk(benchmark::State& state) {
  OpenQuery q(Db().dir.string(), "select * from walk");
  q.query.Open();
  int64_t rows = 0;
  for (auto _ : state) rows += WalkQuery(q.query, kRecords);
  if (rows != kRecords * static_cast<int64_t>(state.iterations()))
    state.SkipWithError("rows missing");
  state.SetItemsProcessed(rows);
}
BENCHMARK(QueryWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

// The engine's walk at its default read-ahead window, as the query uses it.
void EngineWalk(benchmark::State& state) {
  NDSHANDLE connection = 0, cursor = 0;
  if (NdsConnect(Db().dir.c_str(), &connection) != 0 ||
      NdsOpenTable(connection, "walk", 0, 0, 0, &cursor) != 0)
    std::abort();
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
  state.SetItemsProcessed(rows);
  NdsCloseTable(cursor);
  NdsDisconnect(connection);
}
BENCHMARK(EngineWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

void SqliteStepLoop(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, (std::string("SELECT ") + kColumns + " FROM walk").c_str(), -1, &stmt,
                     nullptr);
  int64_t rows = 0;
  for (auto _ : state) {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 2));
      benchmark::DoNotOptimize(sqlite3_column_double(stmt, 3));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 4));
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
    if (!db.open()) {
      state.SkipWithError("Qt SQL's SQLite driver is missing (libqt6sql6-sqlite)");
      return;
    }
    for (auto _ : state) {
      QSqlQuery query(db);
      query.setForwardOnly(true);
      query.exec(QString("SELECT ") + kColumns + " FROM walk");
      while (query.next()) {
        benchmark::DoNotOptimize(query.value(1).toInt());
        benchmark::DoNotOptimize(query.value(2).toString());
        benchmark::DoNotOptimize(query.value(3).toDouble());
        benchmark::DoNotOptimize(query.value(4).toDate());
        ++rows;
      }
    }
    db.close();
  }
  QSqlDatabase::removeDatabase("bench");
  state.SetItemsProcessed(rows);
}
BENCHMARK(QtSqlNext)->Unit(benchmark::kMillisecond)->Iterations(3);

// Opening a live query and reading its first record: the cost must not grow
// with the table (arg: the table's records).
void QueryOpenFirst(benchmark::State& state) {
  const bool large = state.range(0) == kRecords;
  OpenQuery q(Db().dir.string(), large ? "select * from walk" : "select * from small");
  for (auto _ : state) {
    q.query.Open();
    benchmark::DoNotOptimize(q.query.FieldByName("id")->AsInteger());
    q.query.Close();
  }
}
BENCHMARK(QueryOpenFirst)->Arg(kSmallRecords)->Arg(kRecords)->Unit(benchmark::kMicrosecond);

// Peak memory (KB) of a fresh process walking `records` records.
long WalkPeakKb(int records) {
  const std::string command = "/proc/" + std::to_string(getpid()) +
                              "/exe --walk-rss=" + Db().dir.string() + "," +
                              std::to_string(records);
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  long kb = -1;
  if (!pipe || std::fscanf(pipe.get(), "%ld", &kb) != 1) return -1;
  return kb;
}

// Prints the peak memory of walking 100 000 and 1 000 000 records, each in a
// fresh process; scripts/bench reads the line.
void ReportWalkPeakMemory() {
  const long small = WalkPeakKb(100000);
  const long large = WalkPeakKb(kRecords);
  std::printf("QueryWalkPeakRss 100000=%ld KB 1000000=%ld KB ratio=%.3f\n", small, large,
              small > 0 ? static_cast<double>(large) / small : 0.0);
}

// --walk-rss=<dir>,<records>: walk that many records, print the peak RSS.
int WalkForPeakMemory(const char* argument) {
  const std::string text = argument;
  const size_t comma = text.rfind(',');
  OpenQuery q(text.substr(0, comma), "select * from walk");
  q.query.Open();
  const int64_t rows = WalkQuery(q.query, std::stoll(text.substr(comma + 1)));
  q.query.Close();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%ld %lld\n", usage.ru_maxrss, static_cast<long long>(rows));
  return 0;
}

// A live query that counts the records it reads from the engine.
class CountingQuery : public nds::TNdsQuery {
 public:
  CountingQuery() : nds::TNdsQuery(nullptr) {}
  long fetched = 0;

 protected:
  dataset::TGetResult FetchRecord(dataset::TRecordBuffer buffer, dataset::TGetMode mode) override {
    ++fetched;
    return nds::TNdsQuery::FetchRecord(buffer, mode);
  }
};

constexpr int kScreenRows = 30;

// Opens the table of `records` through a model as the browser does and
// reads one screen of rows, at the top or (`last`) at the end.
void ModelScreen(benchmark::State& state, bool last) {
  const bool large = state.range(0) == kRecords;
  OpenQuery q(Db().dir.string(), large ? "select * from walk" : "select * from small");
  for (auto _ : state) {
    q.query.Open();
    ndsqt::DataSetModel model;
    model.SetDataSet(&q.query);
    if (last) model.ShowLast();
    const int first = last ? model.rowCount() - kScreenRows : 0;
    for (int row = first; row < first + kScreenRows; ++row)
      for (int column = 0; column < model.columnCount(); ++column)
        benchmark::DoNotOptimize(model.data(model.index(row, column)));
    model.SetDataSet(nullptr);
    q.query.Close();
  }
}
void ModelFirstScreen(benchmark::State& state) {
  ModelScreen(state, false);
}
void ModelLastScreen(benchmark::State& state) {
  ModelScreen(state, true);
}
BENCHMARK(ModelFirstScreen)->Arg(kSmallRecords)->Arg(kRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(ModelLastScreen)->Arg(kSmallRecords)->Arg(kRecords)->Unit(benchmark::kMillisecond);

// Scrolling one page further down: the records read from the engine per row
// the page brings (1 would be exactly one page).
void ModelPageScroll(benchmark::State& state) {
  CountingQuery query;
  OpenQuery q(Db().dir.string(), "select * from walk");
  query.SetNdsConnection(&q.connection);
  query.SetRequestLive(true);
  query.SetSQL(q.query.SQL());
  query.Open();
  ndsqt::DataSetModel model;
  model.SetDataSet(&query);
  long rows = 0;
  long fetched = 0;
  for (auto _ : state) {
    const int before = model.rowCount();
    const long counted = query.fetched;
    model.fetchMore(QModelIndex());
    rows += model.rowCount() - before;
    fetched += query.fetched - counted;
  }
  state.counters["engine_reads_per_row"] = rows ? static_cast<double>(fetched) / rows : 0.0;
  model.SetDataSet(nullptr);
}
BENCHMARK(ModelPageScroll)->Iterations(100)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--walk-rss=", 11) == 0) return WalkForPeakMemory(argv[i] + 11);
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  Db();  // build the tables before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ReportWalkPeakMemory();
  return 0;
}
