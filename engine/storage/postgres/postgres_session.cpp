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
#include "engine/storage/postgres/postgres_uri.h"
#include "engine/storage/postgres/postgres_values.h"
#include "engine/storage/record_locks.h"
#include "engine/storage/store_dialect.h"

namespace nce {

namespace {

// The savepoint that guards one statement inside a transaction.
constexpr const char* kGuard = "nce_statement";

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

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

// The first word of `sql`, upper-cased.
std::string FirstWord(std::string_view sql) {
  size_t start = sql.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return std::string();
  size_t end = start;
  while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end]))) ++end;
  return UpperAscii(sql.substr(start, end - start));
}

// Whether `sql` begins with a statement that ends or reshapes the
// transaction, which no savepoint can guard.
bool IsTransactionControl(std::string_view sql) {
  std::string word = FirstWord(sql);
  if (word.empty()) return false;
  // PREPARE TRANSACTION ends the transaction; PREPARE name AS ... does not.
  if (word == "PREPARE") {
    std::string_view rest = sql.substr(sql.find_first_not_of(" \t\r\n") + word.size());
    return FirstWord(rest) == "TRANSACTION";
  }
  for (const char* control :
       {"BEGIN", "START", "COMMIT", "END", "ROLLBACK", "ABORT", "SAVEPOINT", "RELEASE"})
    if (word == control) return true;
  return false;
}

}  // namespace

// What a failed write ran into, told apart by the SQLSTATE in the error's
// text: an empty NOT NULL column (23502, "null value in column "c" ..."), or
// a record number another row has (23505 on the rowid key).
WriteRefusal RefusalOf(const EngineError& error) {
  static constexpr std::string_view kNullIn = "SQLSTATE 23502; null value in column \"";
  WriteRefusal refusal;
  const std::string& text = error.text();
  if (size_t at = text.find(kNullIn); at != std::string::npos) {
    size_t begin = at + kNullIn.size(), end = text.find('"', begin);
    refusal.kind = WriteRefusal::Kind::kEmptyColumn;
    refusal.column = text.substr(begin, end == std::string::npos ? end : end - begin);
  } else if (text.find("SQLSTATE 23505;") != std::string::npos &&
             text.find("(Key (rowid)=") != std::string::npos) {
    refusal.kind = WriteRefusal::Kind::kNumberTaken;
  }
  return refusal;
}

class PostgresStatement : public StoreStatement {
 public:
  PostgresStatement(PostgresSession* session, PostgresText text)
      : session_(session),
        sql_(std::move(text.sql)),
        bound_(text.max_parameter),
        used_(std::move(text.used)),
        parsed_once_(!IsTransactionControl(sql_) && FirstWord(sql_) != "COPY" &&
                     FirstWord(sql_) != "VACUUM") {}
  ~PostgresStatement() override { session_->Forget(parsed_); }

  void Bind(int index, const Value& value) override {
    if (index < 1 || static_cast<size_t>(index) > bound_.size())
      throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; parameter " +
                                       std::to_string(index) +
                                       " is not in the statement (column index out of range)");
    if (ran_) Reset();
    if (value.kind == Value::Kind::kBlob && value.bytes.size() > 0x7FFFFFFF)
      throw EngineError(NDS_E_VALUE_TOO_LONG, "A blob of 2 GB or more cannot be sent.");
    if (value.kind == Value::Kind::kText && value.bytes.find('\0') != std::string::npos)
      throw EngineError(NDS_E_VALUE_INVALID, "Parameter " + std::to_string(index) +
                                                 " is text holding a zero byte, which "
                                                 "PostgreSQL text cannot hold; bind a blob.");
    bound_[index - 1] = value;
  }
  bool Step() override {
    if (!ran_) {
      ran_ = true;
      PostgresParams params(bound_);
      params.TypeUnused(used_);
      try {
        result_.reset(parsed_once_ ? session_->RunParsed(sql_, params, &parsed_)
                                   : session_->Run(sql_, &params),
                      PQclear);
      } catch (const EngineError& error) {
        refusal_ = RefusalOf(error);
        throw;
      }
      row_ = 0;
    } else if (result_ && row_ < PQntuples(result_.get())) {
      ++row_;
    }
    return result_ && row_ < PQntuples(result_.get());
  }
  int ColumnCount() const override { return result_ ? PQnfields(result_.get()) : 0; }
  std::string ColumnName(int column) const override {
    const char* name = result_ ? PQfname(result_.get(), column) : nullptr;
    return name ? name : "";
  }
  Value Column(int column) const override {
    if (!result_ || row_ >= PQntuples(result_.get()) || column < 0 ||
        column >= PQnfields(result_.get()))
      throw EngineError(NDS_E_INVALID_FIELD,
                        "Column " + std::to_string(column) + " of the current row does not exist.");
    return ReadValue(result_.get(), row_, column);
  }
  void ColumnInto(int column, Value* value) const override {
    if (!result_ || row_ >= PQntuples(result_.get()) || column < 0 ||
        column >= PQnfields(result_.get()))
      throw EngineError(NDS_E_INVALID_FIELD,
                        "Column " + std::to_string(column) + " of the current row does not exist.");
    ReadValueInto(result_.get(), row_, column, value);
  }
  Origin ColumnOrigin(int column) const override {
    if (!result_ || column < 0 || column >= PQnfields(result_.get())) return {};
    return origins_.Find(*session_, result_.get(), column);
  }
  std::string ColumnType(int column) const override {
    if (!result_ || column < 0 || column >= PQnfields(result_.get())) return {};
    return PostgresDeclaredType(PQftype(result_.get(), column), PQfmod(result_.get(), column));
  }
  int64_t RowsChanged() const override {
    if (!result_) return 0;
    // The server counts the rows of a SELECT too: only writes count here.
    std::string_view command = PQcmdStatus(result_.get());
    if (!command.starts_with("INSERT") && !command.starts_with("UPDATE") &&
        !command.starts_with("DELETE") && !command.starts_with("MERGE"))
      return 0;
    const char* count = PQcmdTuples(result_.get());
    int64_t n = 0;
    std::from_chars(count, count + std::strlen(count), n);
    return n;
  }
  void Reset() override {
    result_.reset();
    origins_.Clear();
    ran_ = false;
    row_ = 0;
    refusal_ = WriteRefusal{};
  }
  WriteRefusal LastRefusal() const override { return refusal_; }
  // Runs the statement with `lead` sent before it in the same request
  // (RunParsed); its rows are then read with Step.
  void RunLed(const std::string& lead, pg_result** lead_result) {
    Reset();
    PostgresParams params(bound_);
    params.TypeUnused(used_);
    result_.reset(session_->RunParsed(sql_, params, &parsed_, &lead, lead_result), PQclear);
    ran_ = true;
    row_ = -1;  // the first Step stands on row 0
  }

 private:
  friend class PostgresSession;  // runs statements together (RunInTurn)
  PostgresSession* session_;
  std::string sql_;                    // with $N markers
  std::vector<Value> bound_;           // one per marker number
  std::vector<bool> used_;             // whether the text uses each marker number
  std::shared_ptr<pg_result> result_;  // the whole result of the last run
  bool ran_ = false;
  int row_ = 0;  // current row of result_
  // Whether the server parses the text once for every run: all but
  // transaction control, COPY and VACUUM (which runs outside any
  // transaction block, as a pipeline is one), which go the plain way.
  bool parsed_once_;
  PostgresSession::ServerStatement parsed_;
  mutable PostgresOrigins origins_;  // of result_, learnt on demand
  WriteRefusal refusal_;             // what the last failed run ran into
};

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
  if (guard) Simple(std::string("SAVEPOINT ") + kGuard);
  Result result;
  try {
    result.reset(Send(sql, params));
  } catch (const EngineError&) {
    if (guard && InTransaction())
      Simple(std::string("ROLLBACK TO SAVEPOINT ") + kGuard + "; RELEASE SAVEPOINT " + kGuard);
    throw;
  }
  if (guard) Simple(std::string("RELEASE SAVEPOINT ") + kGuard);
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
  if (guard) sent = sent && send_plain(std::string("SAVEPOINT ") + kGuard, kGuardStep);
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
  if (guard) sent = sent && send_plain(std::string("RELEASE SAVEPOINT ") + kGuard, kReleaseStep);
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
      Simple(std::string("ROLLBACK TO SAVEPOINT ") + kGuard + "; RELEASE SAVEPOINT " + kGuard);
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

size_t PostgresSession::Pipeline(size_t count, const std::function<bool(size_t)>& send,
                                 std::vector<std::shared_ptr<pg_result>>* results,
                                 bool transaction_open) {
  results->assign(count, nullptr);
  if (PQenterPipelineMode(conn_) != 1) throw Error(nullptr, transaction_open);
  ++requests_;
  bool sent = true;
  for (size_t i = 0; sent && i < count; ++i) sent = send(i);
  sent = sent && PQpipelineSync(conn_);
  // After a failure the server skips every step up to the sync.
  size_t failed = count;
  for (size_t i = 0; sent && i < count; ++i) {
    const WireDeadline deadline = AnswerDeadline();
    std::shared_ptr<pg_result> result(NextResult(deadline, transaction_open), PQclear);
    if (!result) {
      sent = false;  // the connection failed
      break;
    }
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_FATAL_ERROR && failed == count) failed = i;
    if (status != PGRES_PIPELINE_ABORTED) (*results)[i] = std::move(result);
    while (Result rest{NextResult(deadline, transaction_open)}) {
    }
  }
  bool synced = false;
  if (sent) {
    Result sync(NextResult(AnswerDeadline(), transaction_open));
    synced = sync && PQresultStatus(sync.get()) == PGRES_PIPELINE_SYNC;
  }
  if (!sent || !synced || PQstatus(conn_) != CONNECTION_OK || PQexitPipelineMode(conn_) != 1) {
    // A connection that answered out of turn cannot go on either.
    if (conn_ && PQstatus(conn_) == CONNECTION_OK)
      throw LostConnection("The PostgreSQL server's answer did not follow the request",
                           transaction_open);
    throw Error(failed < count ? (*results)[failed].get() : nullptr, transaction_open);
  }
  return failed;
}

std::optional<StoreSession::CheckFailure> PostgresSession::CheckInTurn(
    const std::vector<std::string>& statements) {
  RequireConnection();
  // The texts as the server reads them, up to the first the engine refuses.
  std::vector<std::string> texts;
  std::optional<CheckFailure> refused;
  for (size_t i = 0; i < statements.size() && !refused; ++i) {
    try {
      PostgresText text = TranslateParameters(statements[i]);
      RequireParameterNumbers(text);
      texts.push_back(std::move(text.sql));
    } catch (const EngineError& error) {
      refused = CheckFailure{i, error};
    }
  }
  if (texts.empty()) return refused;
  // The server parses and analyses each text as the unnamed statement,
  // with the types of its parameters inferred, as Check's PREPARE does;
  // the next one replaces it. Inside a transaction the guard savepoint
  // surrounds them all.
  const bool guard = InTransaction();
  const size_t first = guard ? 1 : 0;
  const size_t count = texts.size() + 2 * first;
  auto plain = [this](const std::string& text) {
    return PQsendQueryParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
  };
  auto send = [&](size_t step) {
    if (guard && step == 0) return plain(std::string("SAVEPOINT ") + kGuard);
    if (guard && step == count - 1) return plain(std::string("RELEASE SAVEPOINT ") + kGuard);
    return PQsendPrepare(conn_, "", texts[step - first].c_str(), 0, nullptr) == 1;
  };
  std::vector<std::shared_ptr<pg_result>> results;
  const size_t failed = Pipeline(count, send, &results, guard);
  if (failed == count) return refused;
  EngineError error = Error(results[failed].get(), guard);
  if (guard && failed > 0 && conn_)
    Simple(std::string("ROLLBACK TO SAVEPOINT ") + kGuard + "; RELEASE SAVEPOINT " + kGuard);
  if (failed < first || failed >= first + texts.size()) throw error;  // the guard's own
  return CheckFailure{failed - first, error};
}

void PostgresSession::RunInTurn(const std::vector<StoreStatement*>& statements, size_t* failed) {
  *failed = 0;
  RequireConnection();
  std::vector<PostgresStatement*> runs;
  for (StoreStatement* statement : statements) {
    auto* run = dynamic_cast<PostgresStatement*>(statement);
    if (!run || !run->parsed_once_ || run->ran_) return StoreSession::RunInTurn(statements, failed);
    runs.push_back(run);
  }
  // Each statement as RunParsed sends it: its guard, its parse where the
  // server holds none for its parameter types, its run, the guard's
  // release; the drops of forgotten statements go first.
  const bool guard = InTransaction();
  struct Step {
    enum Kind { kDrop, kGuard, kParse, kRun, kRelease } kind;
    size_t statement = 0;
    std::string drop;  // kDrop: the statement's name
  };
  std::vector<std::vector<unsigned>> types(runs.size());
  std::vector<bool> parse(runs.size());
  for (size_t i = 0; i < runs.size(); ++i) {
    ServerStatement& parsed = runs[i]->parsed_;
    PostgresParams params(runs[i]->bound_);
    params.TypeUnused(runs[i]->used_);
    types[i].assign(params.types.begin(), params.types.end());
    parse[i] = parsed.connection != connection_ || parsed.types != types[i];
    if (parse[i]) {
      // Values of other kinds than before need the text parsed for their
      // types; the old parse is dropped first.
      Forget(parsed);
      parsed.name = "nce_p" + std::to_string(++statements_parsed_);
      parsed.types = types[i];
      parsed.connection = 0;
    }
  }
  std::vector<Step> steps;
  for (std::string& name : forgotten_) steps.push_back(Step{Step::kDrop, 0, std::move(name)});
  forgotten_.clear();
  for (size_t i = 0; i < runs.size(); ++i) {
    if (guard) steps.push_back(Step{Step::kGuard, i, {}});
    if (parse[i]) steps.push_back(Step{Step::kParse, i, {}});
    steps.push_back(Step{Step::kRun, i, {}});
    if (guard) steps.push_back(Step{Step::kRelease, i, {}});
  }
  auto plain = [this](const std::string& text) {
    return PQsendQueryParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
  };
  auto send = [&](size_t at) {
    const Step& step = steps[at];
    if (step.kind == Step::kDrop) return plain("DEALLOCATE " + step.drop);
    if (step.kind == Step::kGuard) return plain(std::string("SAVEPOINT ") + kGuard);
    if (step.kind == Step::kRelease) return plain(std::string("RELEASE SAVEPOINT ") + kGuard);
    PostgresStatement& run = *runs[step.statement];
    const int n = static_cast<int>(types[step.statement].size());
    if (step.kind == Step::kParse)
      return PQsendPrepare(conn_, run.parsed_.name.c_str(), run.sql_.c_str(), n,
                           types[step.statement].data()) == 1;
    PostgresParams params(run.bound_);
    params.TypeUnused(run.used_);
    return PQsendQueryPrepared(conn_, run.parsed_.name.c_str(), n, params.data.data(),
                               params.lengths.data(), params.formats.data(), 0) == 1;
  };
  std::vector<std::shared_ptr<pg_result>> results;
  const size_t failure = Pipeline(steps.size(), send, &results, guard);
  // What ran: each statement's result, each parse the server now holds.
  for (size_t at = 0; at < steps.size() && at < failure; ++at) {
    PostgresStatement& run = *runs[steps[at].statement];
    if (steps[at].kind == Step::kParse) run.parsed_.connection = connection_;
    if (steps[at].kind == Step::kRun) {
      run.Reset();
      run.result_ = std::move(results[at]);
      run.ran_ = true;
    }
  }
  if (failure == steps.size()) return;
  const Step& failed_step = steps[failure];
  *failed = failed_step.statement;
  EngineError error = Error(results[failure].get(), guard);
  if (failed_step.kind == Step::kDrop) *failed = 0;
  runs[*failed]->refusal_ = RefusalOf(error);
  // The statement undoes its own work alone; the transaction goes on.
  if (guard && failed_step.kind != Step::kGuard && failed_step.kind != Step::kDrop && conn_)
    Simple(std::string("ROLLBACK TO SAVEPOINT ") + kGuard + "; RELEASE SAVEPOINT " + kGuard);
  throw error;
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

namespace {

// The text of a query whose one row is the advisory lock key of `record` of
// `table` (names compared without letter case): the table's oid in the high
// half and the record number in the low one, so that the tables' lock
// triggers (nce_honour_locks) find a record's lock by the table and the
// row; for a name the server holds no table of, the sidecar file's byte.
std::string LockKeyQuery(const std::string& table, int64_t record) {
  std::string lower = LowerAscii(table);
  std::string number = std::to_string(record & 0xFFFFFFFFll);
  return "SELECT coalesce((to_regclass(" + QuoteLiteral(QuoteIdentifier(lower)) +
         ")::oid::bigint << 32) | " + number + ", " + std::to_string(LockByteFor(lower, record)) +
         ")";
}

}  // namespace

namespace {

// The query that tries the lock of `record` of `table`, answering the key
// and the attempt; `row_exists`: see TakeLock.
std::string LockAttemptQuery(const std::string& table, int64_t record, bool shared,
                             const std::string& row_exists) {
  std::string attempt =
      std::string(shared ? "pg_try_advisory_lock_shared" : "pg_try_advisory_lock") + "(k)";
  if (!row_exists.empty()) attempt = "CASE WHEN " + row_exists + " THEN " + attempt + " END";
  return "SELECT k, " + attempt + " FROM (" + LockKeyQuery(table, record) + ") AS s(k)";
}

}  // namespace

bool PostgresSession::TakeLock(const std::string& table, int64_t record, bool shared, int64_t* key,
                               const std::string& row_exists, bool* tried) {
  // One round trip: the key and the attempt.
  Result result(Send(LockAttemptQuery(table, record, shared, row_exists), nullptr));
  return ReadLockAttempt(result.get(), key, tried);
}

bool PostgresSession::ReadLockAttempt(const pg_result* result, int64_t* key, bool* tried) {
  if (PQntuples(result) != 1 || PQnfields(result) != 2)
    throw EngineError(NDS_E_GENERAL, "The server gave no record lock.");
  *key = std::strtoll(PQgetvalue(result, 0, 0), nullptr, 10);
  if (tried) *tried = !PQgetisnull(result, 0, 1);
  return PQgetvalue(result, 0, 1)[0] == 't';
}

std::optional<StoreSession::RowLock> PostgresSession::TryLockExistingRow(const std::string& table,
                                                                         int64_t record,
                                                                         StoreStatement* then,
                                                                         bool* then_ran) {
  RequireConnection();
  if (then_ran) *then_ran = false;
  const LockName name{LowerAscii(table), record};
  int64_t key = 0;
  bool tried = false;
  const std::string exists = "EXISTS (SELECT 1 FROM " + dialect().Quoted(table) +
                             " WHERE rowid = " + std::to_string(record) + ")";
  if (locks_.count(name)) {
    // Held already: only the row is in question.
    return Ask("SELECT " + exists) ? RowLock::kLocked : RowLock::kNoRow;
  }
  bool locked = false;
  if (auto* led = dynamic_cast<PostgresStatement*>(then)) {
    // The attempt leads `then` in one request: the read that follows sees
    // the row as it stands under the lock (each statement reads what was
    // committed when it began).
    pg_result* attempt = nullptr;
    led->RunLed(LockAttemptQuery(table, record, false, exists), &attempt);
    Result answer(attempt);
    if (then_ran) *then_ran = true;
    locked = ReadLockAttempt(answer.get(), &key, &tried);
  } else {
    locked = TakeLock(table, record, false, &key, exists, &tried);
  }
  if (!tried) return RowLock::kNoRow;
  if (!locked) return RowLock::kHeldElsewhere;
  locks_[name] = key;
  return RowLock::kLocked;
}

bool PostgresSession::TryLockRecord(const std::string& table, int64_t record, bool shared) {
  RequireConnection();
  const LockName name{LowerAscii(table), record};
  int64_t key = 0;
  if (shared) {
    auto held = shared_locks_.find(name);
    if (held != shared_locks_.end()) {
      ++held->second.count;
      return true;
    }
    if (!TakeLock(table, record, true, &key)) return false;
    shared_locks_[name] = SharedLock{key, 1};
    return true;
  }
  // The server counts a session's locks of one key; this session holds each
  // once, as a cursor holds a record lock once.
  if (locks_.count(name)) return true;
  if (!TakeLock(table, record, false, &key)) return false;
  locks_[name] = key;
  return true;
}

bool PostgresSession::UnlockRecord(const std::string& table, int64_t record, bool shared) {
  RequireConnection();
  const LockName name{LowerAscii(table), record};
  if (shared) {
    auto held = shared_locks_.find(name);
    if (held == shared_locks_.end()) return false;
    if (--held->second.count > 0) return true;
    int64_t key = held->second.key;
    shared_locks_.erase(held);
    return Ask("SELECT pg_advisory_unlock_shared(" + std::to_string(key) + ")");
  }
  auto held = locks_.find(name);
  if (held == locks_.end()) return false;
  int64_t key = held->second;
  locks_.erase(held);
  return Ask("SELECT pg_advisory_unlock(" + std::to_string(key) + ")");
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
