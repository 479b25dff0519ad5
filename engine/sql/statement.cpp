#include "engine/sql/statement.h"

#include <cstring>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_sql.h"
#include "engine/index/index_sql.h"
#include "engine/schema/ddl.h"
#include "engine/sql/long_decimals.h"
#include "engine/sql/statement_keywords.h"

namespace nce {
namespace {

// Undoes or keeps the work of one execution: a transaction of its own when
// none is open, a savepoint inside the caller's transaction, a restart of
// the caller's transaction when it has changed nothing yet (see
// Connection::TransactionUntouched), or nothing when the script manages
// transactions itself or only reads.
class RunScope {
 public:
  enum class Kind { kNone, kTransaction, kSavepoint, kRestart };
  RunScope(Connection& connection, StoreSession& session, Kind kind)
      : connection_(connection), session_(session), kind_(kind) {
    if (kind_ == Kind::kTransaction) session_.BeginWrite();
    if (kind_ == Kind::kSavepoint) session_.Savepoint(kSavepoint);
  }
  ~RunScope() {
    if (done_) return;
    // Undoing on the way out of a failure: the failure itself is what the
    // caller learns of. A server that lost the connection rolls back by
    // itself.
    try {
      if (kind_ == Kind::kTransaction && session_.InTransaction()) session_.Rollback();
      if (kind_ == Kind::kSavepoint && session_.InTransaction()) {
        session_.RollbackToSavepoint(kSavepoint);
        session_.ReleaseSavepoint(kSavepoint);
      }
    } catch (...) {
    }
    if (kind_ == Kind::kRestart) connection_.RestartTransaction();
  }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
  void Keep() {
    if (kind_ == Kind::kTransaction) session_.Commit();
    if (kind_ == Kind::kSavepoint) session_.ReleaseSavepoint(kSavepoint);
    done_ = true;
  }

 private:
  static constexpr const char* kSavepoint = "_nce_run";
  Connection& connection_;
  StoreSession& session_;  // the connection's session on its store
  Kind kind_;
  bool done_ = false;  // Keep succeeded
};

// SQLite numbers its parameters from ?1 and refuses ?0; so does the engine,
// on either store, though it numbers the markers in order itself.
void RequireParameterMarker(const std::string& marker) {
  if (marker.size() > 1 && marker[0] == '?' &&
      marker.find_first_not_of('0', 1) == std::string::npos)
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; the marker " + marker +
                                     " names no parameter: parameters are numbered from ?1");
}

}  // namespace

EngineError Statement::InScript(const EngineError& error, size_t index) const {
  if (pieces_.size() <= 1 || error.number() != NDS_E_SQL) return error;
  return EngineError(error.number(), error.text() + " (statement " + std::to_string(index + 1) +
                                         " of " + std::to_string(pieces_.size()) + ")");
}

void Statement::Prepare(std::string_view sql) {
  prepared_ = false;
  pieces_.clear();
  markers_.clear();
  values_.clear();
  text_.assign(sql);
  StoreSession& session = connection_->LiveSession();
  size_t ordinal = 1;
  for (std::string_view statement : SplitScript(text_)) {
    MarkedStatement marked = MarkParameters(statement, ordinal);
    Piece piece;
    piece.keyword = LeadingKeyword(statement);
    piece.sql = piece.keyword == "CREATE" ? RewriteEngineTypes(marked.sql) : marked.sql;
    if (!session.ReadsLongDecimalsExactly()) piece.sql = ColumnLongDecimalsAsText(piece.sql);
    piece.first_ordinal = ordinal;
    piece.marker_count = marked.markers.size();
    ordinal += marked.markers.size();
    for (std::string& marker : marked.markers) {
      RequireParameterMarker(marker);
      markers_.push_back(std::move(marker));
    }
    pieces_.push_back(std::move(piece));
  }
  if (pieces_.empty())
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; the statement text is empty");
  values_.resize(markers_.size());
  CheckPieces(session);
  prepared_ = true;
}

void Statement::CheckPieces(StoreSession& session) {
  // Check what can be checked now: syntax always, missing tables and columns
  // unless an earlier statement of the script changes the schema.
  connection_->mutex().AssertHeld();  // taken by the engine function
  connection_->NewEpoch();
  FollowRightsChanges(*connection_);
  ForgetMirroredTableShapes(*connection_);
  // The store's checks wait in `turn` and go together (CheckTurn); the
  // engine's own refusal of a statement stands only where no statement
  // before it fails the store's check, so the turn goes first.
  std::vector<PendingCheck> turn;
  bool turn_refuses = false;  // the checks of `turn` refuse hidden reads
  bool schema_changed = false;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    const std::string& sql = pieces_[i].sql;
    const std::string& keyword = pieces_[i].keyword;
    if (IsCreateIndexStatement(sql)) {
      try {
        CheckCreateIndexStatement(sql);  // index orders are the engine's own
      } catch (const EngineError&) {
        CheckTurn(session, turn, turn_refuses);
        throw;
      }
      schema_changed = true;
      continue;
    }
    if (IsDictionaryStatement(sql)) continue;  // users, groups, rights, links
    // The user's rights decide now, where no earlier statement of the script
    // changes what they are checked against; a store that enforces them
    // itself does so as it checks.
    if (!session.AuthorizesWhilePreparing() && !schema_changed) {
      try {
        AuthorizeMirroredStatement(*connection_, sql, keyword == "SELECT");
      } catch (const EngineError& error) {
        CheckTurn(session, turn, turn_refuses);
        throw InScript(error, i);
      }
    }
    if (session.CanCheck(keyword)) {
      if (keyword == "DROP" && IsDropOrderStatement(session, sql)) continue;
      // A statement that writes may not read what the user cannot see.
      const bool refuses = session.AuthorizesWhilePreparing() && !OnlyReads(keyword);
      if (refuses != turn_refuses) CheckTurn(session, turn, turn_refuses);
      turn_refuses = refuses;
      turn.push_back(PendingCheck{i, schema_changed});
    }
    schema_changed = schema_changed || IsSchemaStatement(keyword) || ManagesTransaction(keyword);
  }
  CheckTurn(session, turn, turn_refuses);
}

void Statement::CheckTurn(StoreSession& session, std::vector<PendingCheck>& turn, bool refuses) {
  std::optional<RefuseHiddenReads> refuse;
  if (refuses) refuse.emplace(*connection_);
  // A failure that does not stand (the run may yet succeed) leaves the
  // statements after it to check.
  for (size_t from = 0; from < turn.size();) {
    std::vector<std::string> texts;
    for (size_t k = from; k < turn.size(); ++k) texts.push_back(pieces_[turn[k].piece].sql);
    std::optional<StoreSession::CheckFailure> failure = session.CheckInTurn(texts);
    if (!failure) break;
    const PendingCheck& failed = turn[from + failure->index];
    if (session.CheckFailureStands(failure->error, failed.schema_changed))
      throw InScript(failure->error, failed.piece);
    from += failure->index + 1;
  }
  turn.clear();
}

std::vector<size_t> Statement::Resolve(const FieldRef& field) const {
  std::vector<size_t> indexes;
  if (field.ordinal) {
    if (field.ordinal > values_.size())
      throw EngineError(NDS_E_INVALID_FIELD, "Parameter number " + std::to_string(field.ordinal) +
                                                 " is out of range: the statement has " +
                                                 std::to_string(values_.size()) + " parameter(s).");
    indexes.push_back(field.ordinal - 1);
    return indexes;
  }
  std::string wanted = field.name;
  if (!wanted.empty() && wanted[0] != ':') wanted = ":" + wanted;
  for (size_t i = 0; i < markers_.size(); ++i)
    if (EqualsNoCase(markers_[i], wanted)) indexes.push_back(i);
  if (indexes.empty())
    throw EngineError(NDS_E_INVALID_FIELD, "The statement has no parameter " + wanted + ".");
  return indexes;
}

void Statement::SetValue(const FieldRef& field, Value value) {
  for (size_t index : Resolve(field)) values_[index] = value;
}

void Statement::SetBinaryPiece(const FieldRef& field, uint32_t total, uint32_t offset,
                               const void* data, uint32_t length) {
  if (static_cast<uint64_t>(offset) + length > total)
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      "The binary piece lies beyond the value's total length.");
  if (length > 0 && data == nullptr)
    throw EngineError(NDS_E_INVALID_ARGUMENT, "No binary data was given.");
  for (size_t index : Resolve(field)) {
    Value& value = values_[index];
    if (value.kind != Value::Kind::kBlob || offset == 0) value = Value::Blob(std::string());
    value.bytes.resize(total);
    if (length) std::memcpy(value.bytes.data() + offset, data, length);
  }
}

std::shared_ptr<Cursor> Statement::Execute() {
  if (!prepared_) throw EngineError(NDS_E_NOT_PREPARED, "The statement has not been prepared.");
  connection_->mutex().AssertHeld();  // taken by the engine function
  StoreSession& session = connection_->LiveSession();
  connection_->NewEpoch();
  FollowRightsChanges(*connection_);  // an administrator's changes hold from this statement on
  ForgetMirroredTableShapes(*connection_);
  bool manages = false, reads_only = true;
  for (const Piece& piece : pieces_) {
    manages = manages || ManagesTransaction(piece.keyword);
    reads_only = reads_only && OnlyReads(piece.keyword);
  }
  connection_->RequireLiveTransaction();
  if (manages) connection_->NoteTouched();  // its savepoints would not survive a restart
  RunScope::Kind kind = RunScope::Kind::kNone;
  if (!manages && !reads_only)
    kind = session.InTransaction() ? RunScope::Kind::kSavepoint : RunScope::Kind::kTransaction;
  if (kind == RunScope::Kind::kSavepoint && connection_->TransactionUntouched())
    kind = RunScope::Kind::kRestart;
  rows_affected_.reset();
  last_autoinc_ = 0;
  Run run;
  run.table_type = options.table_type ? options.table_type : NDS_NDT;
  run.char_type = options.char_type ? options.char_type : NDS_ANSI;
  {
    RunScope scope(*connection_, session, kind);
    try {
      RunPieces(session, run);
      scope.Keep();
    } catch (...) {
      if (run.cursor) run.cursor->Release();
      throw;
    }
  }
  if (!reads_only) connection_->NoteTouched();
  if (run.counted) rows_affected_ = run.changes;
  return run.cursor;
}

}  // namespace nce
