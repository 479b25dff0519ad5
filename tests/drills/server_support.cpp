#include "tests/drills/server_support.h"

#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/storage/postgres/postgres_session.h"
#include "nce/nce.h"
#include "tests/store/test_server.h"
#include "tools/demo_database.h"
#include "tools/demo_tables.h"

namespace drills_test {

namespace {

std::unique_ptr<nce::PostgresSession> Admin() {
  return nce::PostgresSession::Connect(test_support::ServerUri("postgres"));
}

std::string EngineErrorText() {
  uint32_t number = 0;
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  uint16_t length = NDS_MAX_ERROR_LEN;
  NdsGetLastError(&number, text, &length);
  return text;
}

// One field of the current row as text; "NULL" when empty.
std::string FieldText(NDSHANDLE cursor, uint16_t field) {
  uint16_t empty = 0;
  if (NdsIsEmpty(cursor, NDS_FIELD_ORDINAL(field), &empty) != NDS_SUCCESS)
    throw std::runtime_error("cannot tell whether a field is empty: " + EngineErrorText());
  if (empty) return "NULL";
  std::vector<char> text(4096);
  uint32_t length = static_cast<uint32_t>(text.size());
  NDSRESULT rc = NdsGetField(cursor, NDS_FIELD_ORDINAL(field), text.data(), &length, NDS_NONE);
  if (rc == NDS_E_INSUFFICIENT_BUFFER) {
    text.resize(length + 1);
    length = static_cast<uint32_t>(text.size());
    rc = NdsGetField(cursor, NDS_FIELD_ORDINAL(field), text.data(), &length, NDS_NONE);
  }
  if (rc != NDS_SUCCESS) throw std::runtime_error("cannot read a field: " + EngineErrorText());
  return std::string(text.data(), length);
}

// The rows `select` yields on `statement`; false when it cannot run.
bool ReadRows(NDSHANDLE statement, const std::string& select, app_test::TableRows* rows) {
  NDSHANDLE cursor = 0;
  if (NdsExecuteSQLDirect(statement, select.c_str(), &cursor) != NDS_SUCCESS) return false;
  uint16_t fields = 0, eof = 0;
  NdsGetNumFields(cursor, &fields);
  NdsGotoTop(cursor);
  for (; NdsAtEOF(cursor, &eof) == NDS_SUCCESS && !eof; NdsSkip(cursor, 1)) {
    std::vector<std::string> row;
    for (uint16_t f = 1; f <= fields; ++f) row.push_back(FieldText(cursor, f));
    rows->push_back(std::move(row));
  }
  NdsCloseTable(cursor);
  return true;
}

}  // namespace

void CopyServerDatabase(const std::string& from, const std::string& to) {
  auto admin = Admin();
  admin->Execute("DROP DATABASE IF EXISTS " + to + " WITH (FORCE)");
  admin->Execute("CREATE DATABASE " + to + " TEMPLATE " + from);
}

int SessionsOn(const std::string& database) {
  auto admin = Admin();
  auto count = admin->Prepare(
      "SELECT count(*) FROM pg_stat_activity WHERE datname = ?1 "
      "AND backend_type = 'client backend' AND pid <> pg_backend_pid()");
  count->Bind(1, nce::Value::Text(database));
  if (!count->Step()) throw std::runtime_error("pg_stat_activity answered no row");
  return static_cast<int>(count->Column(0).integer);
}

int64_t RolledBackTransactions(const std::string& database) {
  auto admin = Admin();
  auto count = admin->Prepare("SELECT xact_rollback FROM pg_stat_database WHERE datname = ?1");
  count->Bind(1, nce::Value::Text(database));
  return count->Step() ? count->Column(0).integer : 0;
}

bool WaitForNoSessions(const std::string& database, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (SessionsOn(database) > 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

Snapshot ReadServerPairs(const std::string& database) {
  auto session = nce::PostgresSession::Connect(test_support::ServerUri(database));
  Snapshot tables;
  for (const demo::TablePair& pair : demo::TablePairs()) {
    for (const std::string& table : {std::string(pair.live), "a_" + std::string(pair.live)}) {
      auto exists = session->Prepare("SELECT to_regclass(?1) IS NOT NULL");
      exists->Bind(1, nce::Value::Text(table));
      if (!exists->Step() || exists->Column(0).integer == 0) continue;
      auto rows = session->Prepare("SELECT t::text FROM " + table + " t ORDER BY rowid");
      app_test::TableRows& found = tables[table];
      while (rows->Step()) found.push_back({rows->Column(0).bytes});
    }
  }
  return tables;
}

void MultiplyArchiveRows(const std::string& database, int doublings) {
  std::string sql = "BEGIN;";
  for (const demo::TablePair& pair : demo::TablePairs()) {
    std::string columns;
    for (const demo::Column& column : demo::ColumnsOf(pair.live))
      columns += (columns.empty() ? "" : ", ") + std::string(column.name);
    const std::string archive = std::string("a_") + pair.live;
    for (int i = 0; i < doublings; ++i)
      sql += "INSERT INTO " + archive + " (" + columns + ") SELECT " + columns + " FROM " +
             archive + " ORDER BY rowid;";
  }
  nce::PostgresSession::Connect(test_support::ServerUri(database))->Execute(sql + "COMMIT;");
}

Snapshot ReadPairsThroughEngine(const std::string& path) {
  NDSHANDLE connection = 0, statement = 0;
  if (NdsConnect60(path.c_str(), NDS_LOCAL_SERVER | NDS_REMOTE_SERVER, "", "", 0, &connection) !=
      NDS_SUCCESS)
    throw std::runtime_error("cannot connect to " + path + ": " + EngineErrorText());
  if (NdsCreateSQLStatement(connection, &statement) != NDS_SUCCESS) {
    NdsDisconnect(connection);
    throw std::runtime_error("cannot create a statement: " + EngineErrorText());
  }
  Snapshot tables;
  try {
    for (const demo::TablePair& pair : demo::TablePairs()) {
      for (const std::string& table : {std::string(pair.live), "a_" + std::string(pair.live)}) {
        app_test::TableRows rows;
        if (ReadRows(statement, "SELECT rowid, * FROM " + table + " ORDER BY rowid", &rows))
          tables[table] = std::move(rows);
      }
    }
  } catch (...) {
    NdsCloseSQLStatement(statement);
    NdsDisconnect(connection);
    throw;
  }
  NdsCloseSQLStatement(statement);
  NdsDisconnect(connection);
  return tables;
}

}  // namespace drills_test
