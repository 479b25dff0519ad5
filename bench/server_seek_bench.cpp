// Seeks in an index order of 1 000 000 keys on a PostgreSQL server: through
// the engine (NdsSeek with a string key, then the record image) against a
// prepared libpq lookup of the same keys on a plain index of the column
// (anchor: at most 2 times). Needs a server: NCE_BENCH_POSTGRES_URI names a
// database the bench may fill (postgresql://user@host:port/database).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "nce/nce.h"

namespace {

constexpr int kRecords = 1000000;

const char* ServerUri() {
  return std::getenv("NCE_BENCH_POSTGRES_URI");
}

void Check(NDSRESULT rc, const char* what) {
  if (rc == 0) return;
  char text[600];
  uint32_t number = 0;
  uint16_t length = sizeof text;
  NdsGetLastError(&number, text, &length);
  std::fprintf(stderr, "%s: %s\n", what, text);
  std::abort();
}

// Codes K0000000 .. K0999999 in scrambled record order, an engine order on
// them and, for the anchor, the server's own index on the same column.
struct Table {
  NDSHANDLE connection = 0;
  NDSHANDLE cursor = 0;
  NDSHANDLE order = 0;

  Table() {
    Check(NdsConnect60(ServerUri(), NDS_REMOTE_SERVER, "", "", 0, &connection), "connect");
    Run("DROP TABLE IF EXISTS stock");
    Run("CREATE TABLE stock (id INTEGER, code CHAR(12), qty INTEGER)");
    Run("INSERT INTO stock (id, code, qty) SELECT x, 'K' || lpad(((x::bigint * 7919) % " +
        std::to_string(kRecords) + ")::text, 7, '0'), x % 100 FROM generate_series(0, " +
        std::to_string(kRecords - 1) + ") x");
    Run("CREATE INDEX by_code ON stock (code)");
    // The anchor's index is the server's own, made past the engine (whose
    // CREATE INDEX makes an engine order).
    PGconn* conn = PQconnectdb(ServerUri());
    PGresult* made = PQexec(conn, "CREATE INDEX plain_code ON stock (code)");
    if (PQresultStatus(made) != PGRES_COMMAND_OK) std::abort();
    PQclear(made);
    PQfinish(conn);
    Run("VACUUM ANALYZE stock");
    Check(NdsOpenTable(connection, "stock", 0, 0, 0, &cursor), "open");
    Check(NdsGetIndexHandle(cursor, "by_code", &order), "order");
  }
  ~Table() { NdsDisconnect(connection); }
  void Run(const std::string& sql) {
    NDSHANDLE statement = 0, result = 0;
    Check(NdsCreateSQLStatement(connection, &statement), "statement");
    Check(NdsExecuteSQLDirect(statement, sql.c_str(), &result), sql.c_str());
    NdsCloseSQLStatement(statement);
  }
};

Table& Db() {
  static Table table;
  return table;
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
  if (!ServerUri()) return state.SkipWithError("NCE_BENCH_POSTGRES_URI names no server");
  Table& db = Db();
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
  state.counters["records"] = static_cast<double>(state.iterations());
}
BENCHMARK(EngineSeek)->UseRealTime();

void LibpqLookup(benchmark::State& state) {
  if (!ServerUri()) return state.SkipWithError("NCE_BENCH_POSTGRES_URI names no server");
  Db();
  PGconn* conn = PQconnectdb(ServerUri());
  if (PQstatus(conn) != CONNECTION_OK) std::abort();
  PGresult* prepared = PQprepare(
      conn, "lookup", "SELECT rowid, id, code, qty FROM stock WHERE code = $1", 1, nullptr);
  if (PQresultStatus(prepared) != PGRES_COMMAND_OK) std::abort();
  PQclear(prepared);
  std::vector<std::string> keys = RandomKeys();
  size_t i = 0;
  for (auto _ : state) {
    const char* value = keys[i++ % keys.size()].c_str();
    PGresult* row = PQexecPrepared(conn, "lookup", 1, &value, nullptr, nullptr, 0);
    if (PQresultStatus(row) != PGRES_TUPLES_OK || PQntuples(row) != 1) std::abort();
    benchmark::DoNotOptimize(PQgetvalue(row, 0, 1));
    benchmark::DoNotOptimize(PQgetvalue(row, 0, 2));
    PQclear(row);
  }
  PQfinish(conn);
  state.counters["records"] = static_cast<double>(state.iterations());
}
BENCHMARK(LibpqLookup)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
