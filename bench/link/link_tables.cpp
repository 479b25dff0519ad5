#include "bench/link/link_tables.h"

#include <stdexcept>

#include "bench/bench_support.h"
#include "nce/nce.h"

namespace link_bench {

Admin::Admin(const std::string& uri) : conn_(PQconnectdb(uri.c_str())) {
  if (PQstatus(conn_) != CONNECTION_OK) {
    std::string text = PQerrorMessage(conn_);
    PQfinish(conn_);
    throw std::runtime_error("cannot connect to " + uri + ": " + text);
  }
  // Dropping what is not there is no news here.
  Run("SET client_min_messages TO warning");
}

Admin::~Admin() {
  PQfinish(conn_);
}

void Admin::Run(const std::string& sql) {
  PGresult* result = PQexec(conn_, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  std::string text = PQresultErrorMessage(result);
  PQclear(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw std::runtime_error(sql + ": " + text);
}

int64_t Admin::Number(const std::string& sql) {
  PGresult* result = PQexec(conn_, sql.c_str());
  if (PQresultStatus(result) != PGRES_TUPLES_OK || PQntuples(result) != 1) {
    std::string text = PQresultErrorMessage(result);
    PQclear(result);
    throw std::runtime_error(sql + ": " + text);
  }
  const int64_t value = std::stoll(PQgetvalue(result, 0, 0));
  PQclear(result);
  return value;
}

namespace {

void RunThroughEngine(NDSHANDLE connection, const std::string& sql) {
  NDSHANDLE statement = 0, cursor = 0;
  NDSRESULT rc = NdsCreateSQLStatement(connection, &statement);
  if (rc == 0) rc = NdsExecuteSQLDirect(statement, sql.c_str(), &cursor);
  if (statement) NdsCloseSQLStatement(statement);
  if (rc == 0) return;
  throw std::runtime_error(sql + ": " + bench::LastEngineError());
}

}  // namespace

void MakeTables(const std::string& uri, const Sizes& sizes) {
  NDSHANDLE connection = 0;
  if (NdsConnect60(uri.c_str(), NDS_REMOTE_SERVER, "", "", 0, &connection) != 0)
    throw std::runtime_error("the engine cannot connect to " + uri);
  const std::string n = std::to_string(sizes.walk);
  try {
    RunThroughEngine(connection, "DROP TABLE IF EXISTS walked");
    RunThroughEngine(connection, "DROP TABLE IF EXISTS appended");
    RunThroughEngine(connection,
                     "CREATE TABLE walked (id INTEGER, name CHAR(20), amount NUMERIC(10,2), "
                     "day DATE, flag LOGICAL, code CHAR(12))");
    // Codes K0000000 ... in scrambled record order (7919 is prime to every
    // size of tens).
    RunThroughEngine(connection,
                     "INSERT INTO walked (id, name, amount, day, flag, code) SELECT x, 'name ' "
                     "|| x, x / 100.0, date '2000-01-01' + x % 9000, x % 2, 'K' || "
                     "lpad(((x::bigint * 7919) % " +
                         n + ")::text, 7, '0') FROM generate_series(1, " + n + ") x");
    RunThroughEngine(connection, "CREATE INDEX by_code ON walked (code)");
    RunThroughEngine(connection,
                     "CREATE TABLE appended (id INTEGER, name CHAR(20), amount NUMERIC(10,2), "
                     "day DATE)");
  } catch (...) {
    NdsDisconnect(connection);
    throw;
  }
  NdsDisconnect(connection);
  // The plain clients' index is the server's own, made past the engine
  // (whose CREATE INDEX makes an engine order).
  Admin admin(uri);
  admin.Run("CREATE INDEX plain_code ON walked (code)");
  admin.Run("VACUUM ANALYZE walked");
}

}  // namespace link_bench
