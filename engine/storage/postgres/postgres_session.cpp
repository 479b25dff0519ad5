#include "engine/storage/postgres/postgres_session.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/base/sql_text.h"
#include "engine/storage/postgres/postgres_columns.h"
#include "engine/storage/postgres/postgres_params.h"
#include "engine/storage/postgres/postgres_statement.h"
#include "engine/storage/postgres/postgres_uri.h"
#include "engine/storage/postgres/postgres_values.h"
#include "engine/storage/record_locks.h"
#include "engine/storage/store_dialect.h"

namespace nce {

namespace {

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// SQLSTATE packed into a number, six bits a character, as the server does.
uint32_t PackedSqlState(std::string_view state) {
  uint32_t number = 0;
  for (size_t i = 0; i < state.size() && i < 5; ++i)
    number |= static_cast<uint32_t>((state[i] - '0') & 0x3F) << (6 * i);
  return number;
}

}  // namespace

bool PostgresSession::IsServerPath(std::string_view path) {
  return path.starts_with("postgresql://") || path.starts_with("postgres://");
}

std::unique_ptr<PostgresSession> PostgresSession::Connect(const std::string& uri,
                                                          int lock_timeout_ms) {
  if (lock_timeout_ms < 0)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "A timeout cannot be negative.");
  if (!IsServerPath(uri))
    throw EngineError(NDS_E_INVALID_PATH,
                      "A server path starts with postgresql:// or postgres://.");
  ServerUri read = ReadServerUri(uri);
  char* message = nullptr;
  PQconninfoOption* options = PQconninfoParse(read.libpq_uri.c_str(), &message);
  if (!options) {
    std::string why = message ? Trimmed(message) : "out of memory";
    PQfreemem(message);
    throw EngineError(NDS_E_INVALID_PATH, "The server path is not a valid URI: " + why);
  }
  bool password = false;
  for (PQconninfoOption* o = options; o->keyword; ++o)
    if (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val) password = true;
  PQconninfoFree(options);
  if (password)
    throw EngineError(NDS_E_INVALID_PATH,
                      "The server path carries a password, which would show wherever the "
                      "path does; give it through PGPASSWORD or the password file instead.");
  std::unique_ptr<PostgresSession> session(
      new PostgresSession(std::move(read.libpq_uri), read.statement_timeout_ms));
  session->lock_timeout_ms_ = lock_timeout_ms;
  session->Open();
  return session;
}

PostgresSession::~PostgresSession() {
  Close();
}

void PostgresSession::Open() {
  // A server that does not answer fails the connect after 10 s, unless the
  // URI names its own connect_timeout (the URI's values come later and win).
  const char* keywords[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
  const char* values[] = {"10", "nce", conninfo_.c_str(), nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (!conn_) throw EngineError(NDS_E_MEMORY, "Out of memory connecting to the server.");
  if (PQstatus(conn_) != CONNECTION_OK) {
    std::string why = Trimmed(PQerrorMessage(conn_));
    // The server's refusals of a login: no or a wrong password, no such role.
    bool login = PQconnectionNeedsPassword(conn_) ||
                 why.find("authentication failed") != std::string::npos ||
                 (why.find("role \"") != std::string::npos &&
                  why.find("does not exist") != std::string::npos);
    Close();
    throw EngineError(login ? NDS_E_LOGIN_FAILED : NDS_E_INVALID_PATH,
                      "Cannot connect to the PostgreSQL server: " + why);
  }
  // Notices (such as "there is already a transaction in progress") would go
  // to standard error; the session reports what matters itself.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  // Every wait from here on polls with a deadline (postgres_wire.h).
  if (PQsetnonblocking(conn_, 1) != 0) {
    std::string why = Trimmed(PQerrorMessage(conn_));
    Close();
    throw EngineError(NDS_E_INVALID_PATH, "Cannot connect to the PostgreSQL server: " + why);
  }
  ++connection_;
  // The forms ReadValue reads: UTF-8, ISO dates, shortest exact floats, hex
  // bytea, and literals without backslash escapes (as the markers assume).
  // The timeouts go in the same request.
  std::string settings =
      "SET client_encoding = 'UTF8'; SET DateStyle = 'ISO, YMD'; "
      "SET IntervalStyle = 'postgres'; SET extra_float_digits = 3; "
      "SET bytea_output = 'hex'; SET standard_conforming_strings = on";
  if (statement_timeout_ms_ > 0)
    settings += "; SET statement_timeout = " + std::to_string(statement_timeout_ms_);
  if (lock_timeout_ms_ > 0) settings += "; SET lock_timeout = " + std::to_string(lock_timeout_ms_);
  Simple(settings);
}

void PostgresSession::Close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
  savepoints_.clear();
  locks_.clear();  // the server frees them with the session
  shared_locks_.clear();
  forgotten_.clear();  // and its parsed statements
}

void PostgresSession::Reconnect() {
  Close();
  Open();
}

int PostgresSession::ServerProcessId() const {
  return conn_ ? PQbackendPID(conn_) : 0;
}

void PostgresSession::RequireConnection() const {
  if (!conn_)
    throw EngineError(NDS_E_NO_CONNECTION,
                      "The connection to the PostgreSQL server was lost; reconnect to go on.");
}

void PostgresSession::RequireTransaction() const {
  if (!InTransaction()) throw EngineError(NDS_E_NO_TRANSACTION, "No transaction is open.");
}

bool PostgresSession::InTransaction() const {
  if (!conn_) return false;
  PGTransactionStatusType status = PQtransactionStatus(conn_);
  return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

EngineError PostgresSession::Error(const pg_result* result, bool transaction_open) {
  std::string state = result ? Trimmed(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : "";
  // Connection errors (class 08) and the server ending the session
  // (57P01..57P03: terminated, crash, shutting down) lose the connection.
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK || !result || state.starts_with("08") ||
      state.starts_with("57P")) {
    std::string why = Trimmed(result ? PQresultErrorMessage(result) : nullptr);
    if (why.empty() && conn_) why = Trimmed(PQerrorMessage(conn_));
    return LostConnection("The connection to the PostgreSQL server was lost (" + why + ")",
                          transaction_open);
  }
  std::string message = Trimmed(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
  std::string detail = Trimmed(PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL));
  if (!detail.empty()) message += " (" + detail + ")";
  std::string native = "NativeError = " + std::to_string(PackedSqlState(state)) + "; SQLSTATE " +
                       state + "; " + message;
  // A table's lock trigger met another session's record lock.
  if (state == "NC001") return EngineError(NDS_E_LOCK_FAILED, message);
  if (state == "40001" || state == "40P01" || state == "55P03")
    return EngineError(NDS_E_BUSY, "The database is locked by another session (" + native + ")");
  return EngineError(NDS_E_SQL, "SQL error: " + native);
}

EngineError PostgresSession::LostConnection(const std::string& why, bool transaction_open) {
  Close();
  return EngineError(
      NDS_E_NO_CONNECTION,
      why +
          (transaction_open ? "; the server rolled the open transaction back, none of its "
                              "work stays"
                            : "") +
          ". Reconnect to go on.");
}

WireDeadline PostgresSession::AnswerDeadline() const {
  if (statement_timeout_ms_ == 0) return WireDeadline::max();
  // The server's own cancellation comes first; a second more is the link's.
  return std::chrono::steady_clock::now() +
         std::chrono::milliseconds(static_cast<int64_t>(statement_timeout_ms_) + 1000);
}

void PostgresSession::Await(WireWait wait, bool transaction_open) {
  if (wait == WireWait::kReady) return;
  if (wait == WireWait::kFailed) throw Error(nullptr, transaction_open);
  throw LostConnection("The PostgreSQL server did not answer within the statement timeout of " +
                           std::to_string(statement_timeout_ms_) +
                           " ms and a second more; the connection was closed",
                       transaction_open);
}

pg_result* PostgresSession::NextResult(WireDeadline deadline, bool transaction_open) {
  Await(AwaitResult(conn_, deadline), transaction_open);
  return PQgetResult(conn_);
}

pg_result* PostgresSession::Exchange(const std::string& sql, const PostgresParams* params,
                                     bool transaction_open) {
  ++requests_;
  const int sent =
      params ? PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(params->types.size()),
                                 params->types.data(), params->data.data(), params->lengths.data(),
                                 params->formats.data(), 0)
             : PQsendQuery(conn_, sql.c_str());
  if (sent != 1) throw Error(nullptr, transaction_open);
  const WireDeadline deadline = AnswerDeadline();
  Result kept;
  while (Result next{NextResult(deadline, transaction_open)}) {
    const ExecStatusType status = PQresultStatus(next.get());
    // A COPY waits for the caller; nothing follows it until it ends.
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH)
      return next.release();
    if (!kept || PQresultStatus(kept.get()) != PGRES_FATAL_ERROR) kept = std::move(next);
  }
  return kept.release();
}

pg_result* PostgresSession::Send(const std::string& sql, const PostgresParams* params) {
  RequireConnection();
  bool transaction_open = InTransaction();
  Result result(Exchange(sql, params, transaction_open));
  ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY)
    return result.release();
  if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
    EndCopy();
    throw EngineError(NDS_E_NOT_SUPPORTED,
                      "COPY from the client or to it is not supported; the statement was "
                      "cancelled.");
  }
  throw Error(result.get(), transaction_open);
}

void PostgresSession::EndCopy() {
  // The server waits for data it will not get, or sends data nobody wants:
  // fail the copy, read what is left, and drop every result up to the end.
  const bool transaction_open = InTransaction();
  const WireDeadline deadline = AnswerDeadline();
  // Ending a COPY that sends data fails harmlessly; only silence counts.
  auto end = [&] {
    if (PutCopyEnd(conn_, "the engine sends no COPY data", deadline) == WireWait::kTimedOut)
      Await(WireWait::kTimedOut, transaction_open);
  };
  end();
  char* row = nullptr;
  for (int got; (got = PQgetCopyData(conn_, &row, 1)) != -1;) {
    if (got > 0)
      PQfreemem(row);
    else if (got == 0)
      Await(ReadMore(conn_, deadline), transaction_open);
    else
      break;  // -2: failed; the results say how
  }
  while (Result rest{NextResult(deadline, transaction_open)}) {
    const ExecStatusType status = PQresultStatus(rest.get());
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) end();
  }
}

void PostgresSession::Simple(const std::string& sql) {
  Result(Send(sql, nullptr));
}

pg_result* PostgresSession::Run(const std::string& sql, const PostgresParams* params) {
  RequireConnection();
  bool guard = InTransaction() && !IsTransactionControl(sql);
  if (guard) Simple(std::string("SAVEPOINT ") + kStatementGuard);
  Result result;
  try {
    result.reset(Send(sql, params));
  } catch (const EngineError&) {
    if (guard && InTransaction())
      Simple(std::string("ROLLBACK TO SAVEPOINT ") + kStatementGuard + "; RELEASE SAVEPOINT " +
             kStatementGuard);
    throw;
  }
  if (guard) Simple(std::string("RELEASE SAVEPOINT ") + kStatementGuard);
  return result.release();
}

void PostgresSession::Forget(const ServerStatement& parsed) {
  if (conn_ && parsed.connection == connection_) forgotten_.push_back(parsed.name);
}

pg_result* PostgresSession::RunParsed(const std::string& sql, const PostgresParams& params,
                                      ServerStatement* parsed, const std::string* lead,
                                      pg_result** lead_result) {
  RequireConnection();
  bool guard = InTransaction();
  std::vector<unsigned> types(params.types.begin(), params.types.end());
  bool parse = parsed->connection != connection_ || parsed->types != types;
  if (parse) {
    // Values of other kinds than before need the text parsed for their
    // types; the server drops the old parse with the next run.
    Forget(*parsed);
    parsed->name = "nce_p" + std::to_string(++statements_parsed_);
    parsed->types = std::move(types);
    parsed->connection = 0;
  }
  // One pipeline: the drops of forgotten statements, the guard, the parse,
  // the run, the guard's release; then a sync, after which the server
  // answers each in turn. After a failure it skips the rest up to the sync.
  if (PQenterPipelineMode(conn_) != 1) throw Error(nullptr, guard);
  ++requests_;
  std::vector<std::string> drops;
  drops.swap(forgotten_);
  enum Step { kDropStep, kGuardStep, kLeadStep, kParseStep, kRunStep, kReleaseStep };
  std::vector<Step> steps;
  auto send_plain = [&](const std::string& text, Step step) {
    steps.push_back(step);
    return PQsendQueryParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
  };
  int n = static_cast<int>(params.types.size());
  bool sent = true;
  for (const std::string& name : drops) sent = sent && send_plain("DEALLOCATE " + name, kDropStep);
  if (guard) sent = sent && send_plain(std::string("SAVEPOINT ") + kStatementGuard, kGuardStep);
  if (lead) sent = sent && send_plain(*lead, kLeadStep);
  if (parse && sent) {
    steps.push_back(kParseStep);
    sent = PQsendPrepare(conn_, parsed->name.c_str(), sql.c_str(), n, params.types.data());
  }
  if (sent) {
    steps.push_back(kRunStep);
    sent = PQsendQueryPrepared(conn_, parsed->name.c_str(), n, params.data.data(),
                               params.lengths.data(), params.formats.data(), 0);
  }
  if (guard)
    sent = sent && send_plain(std::string("RELEASE SAVEPOINT ") + kStatementGuard, kReleaseStep);
  sent = sent && PQpipelineSync(conn_);
  const WireDeadline deadline = AnswerDeadline();
  Result answer, failure, lead_answer;
  bool guard_failed = false, parsed_now = false;
  // Each step's result, then libpq's null that ends it; then the sync.
  for (size_t i = 0; sent && i < steps.size(); ++i) {
    Result result(NextResult(deadline, guard));
    if (!result) break;  // the connection failed
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_FATAL_ERROR) {
      if (!failure) failure = std::move(result);
      if (steps[i] == kGuardStep) guard_failed = true;
    } else if (status != PGRES_PIPELINE_ABORTED) {
      if (steps[i] == kParseStep) parsed_now = true;
      if (steps[i] == kRunStep) answer = std::move(result);
      if (steps[i] == kLeadStep) lead_answer = std::move(result);
    }
    while (Result rest{NextResult(deadline, guard)}) {
    }
  }
  bool synced = false;
  if (sent) {
    Result sync(NextResult(deadline, guard));
    synced = sync && PQresultStatus(sync.get()) == PGRES_PIPELINE_SYNC;
  }
  if (!sent || !synced || PQstatus(conn_) != CONNECTION_OK) throw Error(failure.get(), guard);
  PQexitPipelineMode(conn_);
  if (parsed_now) parsed->connection = connection_;
  if (failure) {
    EngineError error = Error(failure.get(), guard);
    // The statement undoes its own work alone; the transaction goes on.
    if (guard && !guard_failed && conn_)
      Simple(std::string("ROLLBACK TO SAVEPOINT ") + kStatementGuard + "; RELEASE SAVEPOINT " +
             kStatementGuard);
    throw error;
  }
  if (!answer || (lead && !lead_answer)) throw Error(nullptr, guard);
  if (lead_result) *lead_result = lead_answer.release();
  return answer.release();
}

void PostgresSession::Execute(std::string_view sql) {
  Result(Run(std::string(sql), nullptr));
}

void PostgresSession::Check(std::string_view sql) {
  RequireConnection();
  // The server parses and analyses the text of a PREPARE, with the types of
  // its parameters inferred, and drops it again: one round trip, guarded
  // inside a transaction like any statement.
  PostgresText text = TranslateParameters(sql);
  RequireParameterNumbers(text);
  Result(Run("PREPARE nce_check AS " + text.sql + "\n; DEALLOCATE nce_check", nullptr));
}

std::unique_ptr<StoreStatement> PostgresSession::Prepare(std::string_view sql) {
  RequireConnection();
  PostgresText text = TranslateParameters(sql);
  RequireParameterNumbers(text);
  return std::make_unique<PostgresStatement>(this, std::move(text));
}

void PostgresSession::Begin() {
  RequireConnection();
  if (InTransaction()) throw EngineError(NDS_E_TRANSACTION_OPEN, "A transaction is already open.");
  Simple("BEGIN");
  savepoints_.clear();
}

void PostgresSession::Commit() {
  RequireTransaction();
  savepoints_.clear();
  // The server answers COMMIT of a failed transaction by rolling it back
  // without an error; that must not pass for a commit.
  if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
    Simple("ROLLBACK");
    throw EngineError(NDS_E_SQL,
                      "SQL error: NativeError = 0; the transaction failed earlier and was rolled "
                      "back, nothing of it was committed");
  }
  Simple("COMMIT");
}

void PostgresSession::Rollback() {
  RequireTransaction();
  savepoints_.clear();
  Simple("ROLLBACK");
}

void PostgresSession::Savepoint(const std::string& name) {
  RequireTransaction();
  Simple("SAVEPOINT " + QuoteIdentifier(name));
  savepoints_.push_back(name);
}

// A savepoint command that fails would leave the whole transaction failed on
// the server, so an unknown name is refused here, before the server sees it.
size_t PostgresSession::FindSavepoint(const std::string& name) const {
  auto found = std::find(savepoints_.rbegin(), savepoints_.rend(), name);
  if (found == savepoints_.rend())
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; no such savepoint: " + name);
  return static_cast<size_t>(savepoints_.rend() - found) - 1;
}

void PostgresSession::ReleaseSavepoint(const std::string& name) {
  RequireTransaction();
  size_t at = FindSavepoint(name);
  Simple("RELEASE SAVEPOINT " + QuoteIdentifier(name));
  savepoints_.resize(at);
}

void PostgresSession::RollbackToSavepoint(const std::string& name) {
  RequireTransaction();
  size_t at = FindSavepoint(name);
  Simple("ROLLBACK TO SAVEPOINT " + QuoteIdentifier(name));
  savepoints_.resize(at + 1);
}

bool PostgresSession::Ask(const std::string& sql) {
  Result result(Send(sql, nullptr));
  return PQntuples(result.get()) == 1 && PQnfields(result.get()) == 1 &&
         PQgetvalue(result.get(), 0, 0)[0] == 't';
}

void PostgresSession::SetStatementTimeout(int ms) {
  RequireConnection();
  if (ms < 0) throw EngineError(NDS_E_INVALID_ARGUMENT, "A timeout cannot be negative.");
  if (InTransaction())
    throw EngineError(NDS_E_TRANSACTION_OPEN,
                      "The statement timeout is set outside transactions only.");
  Simple("SET statement_timeout = " + std::to_string(ms));
  statement_timeout_ms_ = ms;
}

void PostgresSession::SetLockTimeout(int ms) {
  RequireConnection();
  if (ms < 0) throw EngineError(NDS_E_INVALID_ARGUMENT, "A timeout cannot be negative.");
  if (InTransaction())
    throw EngineError(NDS_E_TRANSACTION_OPEN, "The lock timeout is set outside transactions only.");
  Simple("SET lock_timeout = " + std::to_string(ms));
  lock_timeout_ms_ = ms;
}

}  // namespace nce
