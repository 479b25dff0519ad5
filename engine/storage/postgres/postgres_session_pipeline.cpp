// The PostgreSQL session's pipelines: several statements sent in one
// request and their answers read in turn (a script's checks at prepare, runs
// of its writes).
#include <libpq-fe.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/sql_text.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/postgres/postgres_statement.h"
#include "engine/storage/postgres/postgres_wire.h"
#include "engine/storage/record_locks.h"
#include "engine/storage/store_dialect.h"

namespace nce {

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
    if (guard && step == 0) return plain(std::string("SAVEPOINT ") + kStatementGuard);
    if (guard && step == count - 1)
      return plain(std::string("RELEASE SAVEPOINT ") + kStatementGuard);
    return PQsendPrepare(conn_, "", texts[step - first].c_str(), 0, nullptr) == 1;
  };
  std::vector<std::shared_ptr<pg_result>> results;
  const size_t failed = Pipeline(count, send, &results, guard);
  if (failed == count) return refused;
  EngineError error = Error(results[failed].get(), guard);
  if (guard && failed > 0 && conn_)
    Simple(std::string("ROLLBACK TO SAVEPOINT ") + kStatementGuard + "; RELEASE SAVEPOINT " +
           kStatementGuard);
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
    if (step.kind == Step::kGuard) return plain(std::string("SAVEPOINT ") + kStatementGuard);
    if (step.kind == Step::kRelease)
      return plain(std::string("RELEASE SAVEPOINT ") + kStatementGuard);
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
    Simple(std::string("ROLLBACK TO SAVEPOINT ") + kStatementGuard + "; RELEASE SAVEPOINT " +
           kStatementGuard);
  throw error;
}

}  // namespace nce
