#include "bench/link/libpq_contender.h"

#include <poll.h>

#include <cstring>
#include <stdexcept>

namespace link_bench {

namespace {

[[noreturn]] void Fail(PGconn* conn, const std::string& what) {
  throw std::runtime_error(what + ": " + PQerrorMessage(conn));
}

void Prepare(PGconn* conn, const char* name, const char* sql, int count) {
  PGresult* result = PQprepare(conn, name, sql, count, nullptr);
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  if (!ok) Fail(conn, sql);
}

}  // namespace

LibpqContender::LibpqContender(const std::string& uri) : conn_(PQconnectdb(uri.c_str())) {
  if (PQstatus(conn_) != CONNECTION_OK) {
    std::string text = PQerrorMessage(conn_);
    PQfinish(conn_);
    throw std::runtime_error("libpq cannot connect: " + text);
  }
  Prepare(conn_, "seek",
          "SELECT rowid, id, name, amount, day, flag, code FROM walked WHERE code = $1", 1);
  Prepare(conn_, "edit", "UPDATE walked SET name = $1 WHERE rowid = $2", 2);
  Prepare(conn_, "append", "INSERT INTO appended (id, name, amount, day) VALUES ($1, $2, $3, $4)",
          4);
}

LibpqContender::~LibpqContender() {
  PQfinish(conn_);
}

PGresult* LibpqContender::Prepared(const char* name, int count, const char* const* values) {
  return PQexecPrepared(conn_, name, count, values, nullptr, nullptr, 0);
}

int64_t LibpqContender::Walk() {
  if (!PQsendQuery(conn_, "SELECT id, name, amount, day, flag FROM walked ORDER BY rowid"))
    Fail(conn_, "walk");
  if (!PQsetSingleRowMode(conn_)) Fail(conn_, "single-row mode");
  int64_t rows = 0;
  size_t bytes = 0;
  bool failed = false;
  while (PGresult* result = PQgetResult(conn_)) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_SINGLE_TUPLE) {
      ++rows;
      for (int f = 0; f < 5; ++f) bytes += std::strlen(PQgetvalue(result, 0, f));
    } else if (status != PGRES_TUPLES_OK) {
      failed = true;
    }
    PQclear(result);
  }
  if (failed || bytes == 0) Fail(conn_, "walk");
  return rows;
}

void LibpqContender::Seek(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    const char* value = key.c_str();
    PGresult* row = Prepared("seek", 1, &value);
    const bool found = PQresultStatus(row) == PGRES_TUPLES_OK && PQntuples(row) == 1;
    PQclear(row);
    if (!found) Fail(conn_, "seek " + key);
  }
}

void LibpqContender::Edit(const std::vector<uint32_t>& records) {
  int edit = 0;
  for (uint32_t record : records) {
    const std::string name = "edited " + std::to_string(++edit);
    const std::string number = std::to_string(record);
    const char* values[] = {name.c_str(), number.c_str()};
    PGresult* result = Prepared("edit", 2, values);
    const bool one =
        PQresultStatus(result) == PGRES_COMMAND_OK && std::strcmp(PQcmdTuples(result), "1") == 0;
    PQclear(result);
    if (!one) Fail(conn_, "edit of record " + number);
  }
}

void LibpqContender::WaitForSocket(bool want_write) {
  pollfd socket{PQsocket(conn_), static_cast<short>(POLLIN | (want_write ? POLLOUT : 0)), 0};
  if (poll(&socket, 1, 60000) <= 0) Fail(conn_, "the server did not answer");
}

bool LibpqContender::ReadArrived(int* answered) {
  if (!PQconsumeInput(conn_)) Fail(conn_, "append");
  while (!PQisBusy(conn_)) {
    PGresult* result = PQgetResult(conn_);
    if (result == nullptr) {
      // A statement's answer ends with a null; a null without an answer
      // before it means nothing more has arrived.
      if (!between_answers_) return true;
      between_answers_ = false;
      continue;
    }
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    if (status == PGRES_PIPELINE_SYNC) return false;
    if (status != PGRES_COMMAND_OK) Fail(conn_, "append");
    ++*answered;
    between_answers_ = true;
  }
  return true;
}

void LibpqContender::Append(int rows) {
  if (PQsetnonblocking(conn_, 1) != 0 || !PQenterPipelineMode(conn_)) Fail(conn_, "pipeline mode");
  int answered = 0;
  between_answers_ = false;
  // Sends one statement and whatever the socket takes, reading answers
  // meanwhile so that neither side's buffers fill up.
  auto send = [&](bool sent) {
    if (!sent) Fail(conn_, "append");
    int pending;
    while ((pending = PQflush(conn_)) == 1) {
      WaitForSocket(true);
      ReadArrived(&answered);
    }
    if (pending < 0) Fail(conn_, "append");
  };
  send(PQsendQueryParams(conn_, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0));
  for (int i = 1; i <= rows; ++i) {
    const std::string id = std::to_string(i);
    const std::string name = "appended " + id;
    const std::string amount = std::to_string(i % 1000) + ".25";
    const char* values[] = {id.c_str(), name.c_str(), amount.c_str(), "2024-03-01"};
    send(PQsendQueryPrepared(conn_, "append", 4, values, nullptr, nullptr, 0));
  }
  send(PQsendQueryParams(conn_, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0));
  send(PQpipelineSync(conn_));
  while (ReadArrived(&answered)) WaitForSocket(false);
  if (!PQexitPipelineMode(conn_) || PQsetnonblocking(conn_, 0) != 0)
    Fail(conn_, "leaving pipeline mode");
  if (answered != rows + 2)
    throw std::runtime_error("append: " + std::to_string(answered) + " answers for " +
                             std::to_string(rows + 2) + " statements");
}

}  // namespace link_bench
