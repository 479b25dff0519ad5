// Statements through the PostgreSQL store session against libpq itself:
// single-row INSERTs inside one transaction, the session with its guard
// savepoint for each statement, the anchor with a statement prepared once
// and nothing around it. Needs a server: NCE_BENCH_POSTGRES_URI names a
// database the bench may fill (scripts/pg-test-server starts one).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "engine/base/errors.h"
#include "engine/storage/postgres/postgres_session.h"

namespace {

constexpr int kRows = 2000;  // inserts per iteration

const char* ServerUri(benchmark::State& state) {
  const char* uri = std::getenv("NCE_BENCH_POSTGRES_URI");
  if (!uri) state.SkipWithError("NCE_BENCH_POSTGRES_URI names no server");
  return uri;
}

void SessionInsert(benchmark::State& state) {
  const char* uri = ServerUri(state);
  if (!uri) return;
  try {
    auto session = nce::PostgresSession::Connect(uri);
    session->Execute(
        "DROP TABLE IF EXISTS bench_rows; CREATE TABLE bench_rows (k bigint, name text)");
    auto insert = session->Prepare("INSERT INTO bench_rows (k, name) VALUES (?1, ?2)");
    int64_t k = 0;
    for (auto _ : state) {
      session->Begin();
      for (int i = 0; i < kRows; ++i) {
        insert->Bind(1, nce::Value::Integer(++k));
        insert->Bind(2, nce::Value::Text("row " + std::to_string(k)));
        insert->Step();
      }
      session->Commit();
    }
  } catch (const nce::EngineError& error) {
    state.SkipWithError(error.text().c_str());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(SessionInsert)->Unit(benchmark::kMillisecond);

void LibpqInsert(benchmark::State& state) {
  const char* uri = ServerUri(state);
  if (!uri) return;
  PGconn* conn = PQconnectdb(uri);
  auto run = [&](const char* sql) { PQclear(PQexec(conn, sql)); };
  run("DROP TABLE IF EXISTS bench_rows; CREATE TABLE bench_rows (k bigint, name text)");
  PQclear(
      PQprepare(conn, "insert", "INSERT INTO bench_rows (k, name) VALUES ($1, $2)", 2, nullptr));
  int64_t k = 0;
  for (auto _ : state) {
    run("BEGIN");
    for (int i = 0; i < kRows; ++i) {
      std::string key = std::to_string(++k), name = "row " + key;
      const char* values[] = {key.c_str(), name.c_str()};
      PGresult* result = PQexecPrepared(conn, "insert", 2, values, nullptr, nullptr, 0);
      if (PQresultStatus(result) != PGRES_COMMAND_OK) state.SkipWithError("insert failed");
      PQclear(result);
    }
    run("COMMIT");
  }
  PQfinish(conn);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(LibpqInsert)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
