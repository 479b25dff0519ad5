// What the PostgreSQL session's files share and no other layer sees: the
// statement class, the savepoint that guards one statement inside a
// transaction, and the reading of a statement's first word.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_STATEMENT_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_STATEMENT_H

#include <libpq-fe.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/postgres/postgres_columns.h"
#include "engine/storage/postgres/postgres_params.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/postgres/postgres_values.h"

namespace nce {

// The savepoint that guards one statement inside a transaction.
inline constexpr const char* kStatementGuard = "nce_statement";

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// The first word of `sql`, upper-cased.
std::string FirstWord(std::string_view sql);
// Whether `sql` begins with a statement that ends or reshapes the
// transaction, which no savepoint can guard.
bool IsTransactionControl(std::string_view sql);
// What a failed write ran into, told apart by the SQLSTATE in the error's
// text.
WriteRefusal RefusalOf(const EngineError& error);

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

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_STATEMENT_H
