// Walking 1 000 000 records of a table on a PostgreSQL server through the
// engine (a live table cursor, NdsOpenTable, and a SELECT's static cursor:
// skip, read the record image) against a
// plain libpq loop reading the same rows in pages (a server-side cursor,
// FETCH 1000) and against Qt SQL's PostgreSQL driver (forward-only
// QSqlQuery::next()). Needs a server: NCE_BENCH_POSTGRES_URI names a
// database the bench may fill (postgresql://user@host:port/database).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "nce/nce.h"

namespace {

constexpr int kRecords = 1000000;
constexpr int kFields = 5;

const char* ServerUri() {
  return std::getenv("NCE_BENCH_POSTGRES_URI");
}

[[noreturn]] void Fail(const char* what) {
  char text[600];
  uint32_t number = 0;
  uint16_t length = sizeof text;
  NdsGetLastError(&number, text, &length);
  std::fprintf(stderr, "%s: %s\n", what, text);
  std::abort();
}

// The table, made once per run through the engine: an engine table with
// typed columns, filled by the server.
struct Table {
  NDSHANDLE connection = 0;

  Table() {
    if (NdsConnect60(ServerUri(), NDS_REMOTE_SERVER, "", "", 0, &connection) != 0) Fail("connect");
    Run("DROP TABLE IF EXISTS walk");
    Run("CREATE TABLE walk (id INTEGER, name CHAR(20), amount NUMERIC(10,2), day DATE, flag "
        "LOGICAL)");
    Run("INSERT INTO walk (id, name, amount, day, flag) SELECT x, 'name ' || x, x / 100.0, "
        "date '2000-01-01' + x % 9000, x % 2 FROM generate_series(1, " +
        std::to_string(kRecords) + ") x");
    Run("VACUUM ANALYZE walk");
  }
  ~Table() { NdsDisconnect(connection); }
  void Run(const std::string& sql) {
    NDSHANDLE statement = 0, cursor = 0;
    if (NdsCreateSQLStatement(connection, &statement) != 0 ||
        NdsExecuteSQLDirect(statement, sql.c_str(), &cursor) != 0)
      Fail(sql.c_str());
    NdsCloseSQLStatement(statement);
  }
};

Table& Db() {
  static Table table;
  return table;
}

void EngineWalk(benchmark::State& state) {
  if (!ServerUri()) return state.SkipWithError("NCE_BENCH_POSTGRES_URI names no server");
  NDSHANDLE connection = Db().connection, statement = 0;
  if (NdsCreateSQLStatement(connection, &statement) != 0) Fail("statement");
  std::vector<char> record(256);
  int64_t rows = 0;
  for (auto _ : state) {
    NDSHANDLE cursor = 0;
    if (NdsExecuteSQLDirect(statement, "SELECT id, name, amount, day, flag FROM walk", &cursor))
      Fail("select");
    NdsGotoTop(cursor);
    uint16_t eof = 0;
    for (;;) {
      NdsAtEOF(cursor, &eof);
      if (eof) break;
      uint32_t length = static_cast<uint32_t>(record.size());
      if (NdsGetRecord(cursor, record.data(), &length) != 0) Fail("record");
      benchmark::DoNotOptimize(record.data());
      ++rows;
      NdsSkip(cursor, 1);
    }
    NdsCloseTable(cursor);
  }
  NdsCloseSQLStatement(statement);
  state.SetItemsProcessed(rows);
}
BENCHMARK(EngineWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

// A live table cursor reads the server's table itself, in keyset windows.
void TableCursorWalk(benchmark::State& state) {
  if (!ServerUri()) return state.SkipWithError("NCE_BENCH_POSTGRES_URI names no server");
  NDSHANDLE connection = Db().connection;
  std::vector<char> record(256);
  int64_t rows = 0;
  for (auto _ : state) {
    NDSHANDLE cursor = 0;
    if (NdsOpenTable(connection, "walk", 0, 0, 0, &cursor) != 0) Fail("open");
    if (NdsGotoTop(cursor) != 0) Fail("top");
    uint16_t eof = 0;
    for (;;) {
      NdsAtEOF(cursor, &eof);
      if (eof) break;
      uint32_t length = static_cast<uint32_t>(record.size());
      if (NdsGetRecord(cursor, record.data(), &length) != 0) Fail("record");
      benchmark::DoNotOptimize(record.data());
      ++rows;
      if (NdsSkip(cursor, 1) != 0) Fail("skip");
    }
    NdsCloseTable(cursor);
  }
  state.SetItemsProcessed(rows);
}
BENCHMARK(TableCursorWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

void LibpqFetch(benchmark::State& state) {
  if (!ServerUri()) return state.SkipWithError("NCE_BENCH_POSTGRES_URI names no server");
  Db();
  PGconn* conn = PQconnectdb(ServerUri());
  if (PQstatus(conn) != CONNECTION_OK) std::abort();
  auto exec = [&](const char* sql) {
    PGresult* result = PQexec(conn, sql);
    if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK)
      std::abort();
    return result;
  };
  int64_t rows = 0;
  for (auto _ : state) {
    PQclear(exec("BEGIN"));
    PQclear(
        exec("DECLARE walker NO SCROLL CURSOR FOR SELECT id, name, amount, day, flag FROM "
             "walk ORDER BY rowid"));
    for (;;) {
      PGresult* page = exec("FETCH 1000 FROM walker");
      int n = PQntuples(page);
      for (int r = 0; r < n; ++r)
        for (int f = 0; f < kFields; ++f) benchmark::DoNotOptimize(PQgetvalue(page, r, f));
      rows += n;
      PQclear(page);
      if (n == 0) break;
    }
    PQclear(exec("COMMIT"));
  }
  PQfinish(conn);
  state.SetItemsProcessed(rows);
}
BENCHMARK(LibpqFetch)->Unit(benchmark::kMillisecond)->UseRealTime();

void QtPsqlWalk(benchmark::State& state) {
  if (!ServerUri()) return state.SkipWithError("NCE_BENCH_POSTGRES_URI names no server");
  Db();
  QUrl url(QString::fromUtf8(ServerUri()));
  QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "walk");
  db.setHostName(url.host());
  db.setPort(url.port(5432));
  db.setUserName(url.userName());
  db.setDatabaseName(url.path().mid(1));
  if (!db.open()) return state.SkipWithError("Qt's PostgreSQL driver did not open the database");
  int64_t rows = 0;
  for (auto _ : state) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec("SELECT id, name, amount, day, flag FROM walk")) std::abort();
    while (query.next()) {
      for (int f = 0; f < kFields; ++f) benchmark::DoNotOptimize(query.value(f));
      ++rows;
    }
  }
  state.SetItemsProcessed(rows);
}
BENCHMARK(QtPsqlWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QSqlDatabase::removeDatabase("walk");
  return 0;
}
