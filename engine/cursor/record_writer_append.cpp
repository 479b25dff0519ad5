// Appends that are not yet written. NdsAppendRecord writes nothing: it
// reserves a record number by locking it (so other cursors and processes
// pass it by, and a crash frees it with the process's locks) and builds the
// new record from the columns' defaults. Only the write inserts the row, so
// other users never see a half-made record, and a NOT NULL column without a
// default can be filled before the row has to satisfy it.
#include <cstdint>
#include <limits>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/record_write.h"
#include "engine/cursor/record_writer.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/record/record_image.h"
#include "engine/storage/record_locks.h"
#include "engine/storage/table_facts.h"

namespace nce {

namespace {

// Record numbers travel as 32-bit numbers through bookmarks and the API.
constexpr int64_t kMaxRecordNumber = std::numeric_limits<uint32_t>::max();
// Fresh numbers tried when the reserved one keeps being taken by writers
// that ignore record locks.
constexpr int kInsertAttempts = 16;

bool IsNdt(const Cursor& c) {
  return c.desc.table_type == NDS_NDT;
}

// The field that column `column`'s DEFAULT clause fills in a new record; -1
// for none, and for fields the engine fills itself at the write.
int DefaultedField(const Cursor& c, const std::string& column) {
  for (size_t i = 0; i < c.desc.fields.size(); ++i) {
    const FieldDesc& f = c.desc.fields[i];
    if (!EqualsNoCase(f.name, column)) continue;
    bool engine_filled = f.shape.type == NDS_AUTOINC || f.shape.type == NDS_ROWVERSION ||
                         f.shape.type == NDS_MODTIME;
    return engine_filled ? -1 : static_cast<int>(i);
  }
  return -1;
}

}  // namespace

StoreStatement& RecordWriter::KeptStatement(const std::string& sql) {
  return kept_.Get(cursor_.rows_session(), sql);
}

WriteSavepointStatements RecordWriter::SavepointFor(bool appending) {
  // A row version is counted by a statement of its own before the row is
  // written, and a new record of a DBF table clears a deletion mark after
  // it (where numbers are used again, see WriteAppended): those writes are
  // several statements. A server runs each statement on its own, and takes
  // no savepoint outside a transaction: a version counted for a write that
  // then fails is skipped there, never given twice.
  if (!cursor_.rows_session().SavepointBeginsTransaction()) return WriteSavepointStatements{};
  bool several = appending && !IsNdt(cursor_) && !NumbersFromSequence();
  for (const FieldDesc& f : cursor_.desc.fields) several |= f.shape.type == NDS_ROWVERSION;
  if (!several) return WriteSavepointStatements{};
  WriteSavepointStatements stmts;
  stmts.open = &KeptStatement("SAVEPOINT nce_record_write");
  stmts.release = &KeptStatement("RELEASE nce_record_write");
  stmts.undo = &KeptStatement("ROLLBACK TO nce_record_write");
  return stmts;
}

// The values of the columns' DEFAULT clauses, evaluated now (so
// CURRENT_TIMESTAMP is the time of the append), one per field; unset where
// a column has none, and for the columns the engine fills itself at write.
// `defaults` keeps its room from one append to the next.
void RecordWriter::ColumnDefaults(std::vector<Value>* defaults) {
  if (!defaults_read_) {
    std::string select;
    std::vector<std::pair<size_t, int>> places;
    for (const DefaultClause& clause :
         DefaultClauses(cursor_.rows_session(), cursor_.source_table)) {
      int i = DefaultedField(cursor_, clause.column);
      if (i < 0) continue;
      // Of the column's type, as the store would keep it.
      select += (select.empty() ? "SELECT " : ", ") +
                cursor_.dialect().TypedDefault(clause.expression, cursor_.desc.fields[i].shape);
      places.emplace_back(i, static_cast<int>(clause.affinity));
    }
    defaults_sql_ = std::move(select);
    default_places_ = std::move(places);
    defaults_read_ = true;
  }
  // Without DEFAULT clauses no field has one: an empty list says so (see
  // AppendedValue) without a value per field to make and destroy.
  defaults->clear();
  if (defaults_sql_.empty()) return;
  defaults->resize(cursor_.desc.fields.size());
  StatementUse evaluate(KeptStatement(defaults_sql_));
  if (!evaluate->Step()) return;
  for (size_t k = 0; k < default_places_.size(); ++k)
    (*defaults)[default_places_[k].first] =
        StoredAs(evaluate->Column(static_cast<int>(k)),
                 static_cast<ColumnAffinity>(default_places_[k].second));
}

void RecordWriter::Append() {
  RequireWritable();
  Flush();
  ColumnDefaults(&spare_defaults_);
  int64_t rowid = ReserveRecordNumber();
  pending_.clear();
  defaults_.swap(spare_defaults_);
  appended_ = true;
  walk_.StandOnNew(rowid);
  BuildAppendedImage();
}

int64_t RecordWriter::HighestNumber() {
  int64_t highest = 0;
  {
    StatementUse top(KeptStatement("SELECT coalesce(max(rowid), 0) FROM " + cursor_.QuotedTable()));
    if (top->Step()) highest = top->Column(0).integer;
  }
  // A table declared AUTOINCREMENT never gives a number out twice, even
  // when the row that had it is gone.
  if (!sequence_query_)
    sequence_query_ = NumberSequenceQuery(cursor_.rows_session(), cursor_.source_table);
  if (!sequence_query_->empty()) {
    StatementUse seq(KeptStatement(*sequence_query_));
    seq->Bind(1, Value::Text(cursor_.source_table));
    if (seq->Step()) highest = std::max(highest, seq->Column(0).integer);
  }
  return highest;
}

bool RecordWriter::NumbersFromSequence() {
  if (!next_number_sql_)
    next_number_sql_ = cursor_.dialect().NextRecordNumberSql(cursor_.source_table);
  return !next_number_sql_->empty();
}

int64_t RecordWriter::NumberFromSequence() {
  // The sequence never gives a number twice, to any machine: the number is
  // this cursor's alone, and the process's lock marks it so for the cursors
  // of this process.
  reserved_from_ = Reservation();
  StatementUse next(KeptStatement(*next_number_sql_));
  if (!next->Step())
    throw EngineError(NDS_E_GENERAL,
                      "The table " + cursor_.source_table + " gave no record number.");
  int64_t n = next->Column(0).integer;
  if (n <= 0 || n > kMaxRecordNumber)
    throw EngineError(NDS_E_GENERAL, "The table " + cursor_.source_table +
                                         " has no record number left for a new record.");
  if (RecordLocks::Instance().Lock(LockNumber(), n, cursor_.handle()) != LockResult::kLocked)
    ThrowLocked(n);
  return n;
}

int64_t RecordWriter::ReserveRecordNumber() {
  if (NumbersFromSequence()) return NumberFromSequence();
  // One look at the store serves both: reading the highest number changes
  // nothing a mark counts.
  const StoreMark now = walk_.MarkNow();
  int64_t highest = walk_.KnownHighest(now);
  if (highest == 0) highest = HighestNumber();
  reserved_from_ = Reservation{now, highest};
  // Inside this connection's write transaction no one else can add a row:
  // every number above the highest read is free. (A mark is only taken
  // inside one.)
  bool writing = now.changes >= 0 || InWriteTransaction(cursor_.rows_session());
  StoreStatement* exists =
      writing ? nullptr
              : &KeptStatement("SELECT 1 FROM " + cursor_.QuotedTable() + " WHERE rowid = ?1");
  // The store connection tells the lock table when its transactions end.
  const bool in_transaction = writing && cursor_.rows_in_store();
  RecordLocks& locks = RecordLocks::Instance();
  for (int64_t n = highest + 1;; ++n) {
    if (n > kMaxRecordNumber)
      throw EngineError(NDS_E_GENERAL, "The table " + cursor_.source_table +
                                           " has no record number left for a new record.");
    LockResult lock = in_transaction
                          ? locks.LockInTransaction(LockNumber(), n, cursor_.handle(),
                                                    cursor_.connection().transaction_key())
                          : locks.Lock(LockNumber(), n, cursor_.handle());
    switch (lock) {
      case LockResult::kConflict:
        continue;  // another appender's reservation
      case LockResult::kIoError:
        throw EngineError(NDS_E_GENERAL, "The lock file of " + cursor_.connection().lock_store() +
                                             " cannot be used.");
      case LockResult::kLocked:
        break;
    }
    if (writing) return n;
    StatementUse check(*exists);
    check->Bind(1, Value::Integer(n));
    if (!check->Step()) return n;
    // Written by someone else since the highest number was read.
    if (!locks_.count(n)) locks.Unlock(LockNumber(), n, cursor_.handle());
  }
}

const Value& RecordWriter::AppendedValue(size_t index) const {
  static const Value kNone;
  if (const Value* pending = pending_.Find(index)) return *pending;
  return index < defaults_.size() ? defaults_[index] : kNone;
}

void RecordWriter::BuildAppendedImage() {
  walk_.ImageChanged();
  // Without DEFAULT clauses and edits every new record starts as the same
  // image: encoded once, copied after.
  const bool blank = defaults_sql_.empty() && pending_.empty();
  if (blank && !blank_image_.empty()) {
    walk_.current_row().image = blank_image_;
    return;
  }
  walk_.current_row().image.assign(cursor_.desc.record_length, 0);
  walk_.current_row().image[0] = ' ';
  bool ndt = IsNdt(cursor_);
  for (size_t i = 0; i < cursor_.desc.fields.size(); ++i)
    EncodeValue(cursor_.desc.fields[i], ndt, AppendedValue(i), walk_.current_row().image.data());
  if (blank) blank_image_ = walk_.current_row().image;
}

StoreStatement& RecordWriter::InsertStatement(
    const std::vector<size_t>& fields, const std::vector<std::pair<std::string, Value>>& stamps,
    bool sqlite_numbers) {
  // Where every statement is a round trip, the INSERT returns the row as
  // written instead of a read after it.
  const std::string returning =
      cursor_.rows_session().Remote() ? walk_.Navigation().Returning() : std::string();
  // Bulk appends set the same fields record after record: the statement of
  // the last append serves without building its text again.
  if (returning.empty() && kept_.last_insert.stmt && kept_.last_insert.fields == fields &&
      kept_.last_insert.sqlite_numbers == sqlite_numbers)
    return *kept_.last_insert.stmt;
  // A writer that ignores record locks (plain SQL) may have taken the
  // reserved number since: the insert then fails on the number, and
  // InsertAppended moves the record on. (An INSERT ... SELECT guarded by
  // NOT EXISTS on the same table would make SQLite copy the row through a
  // temporary table first, which costs more than the insert itself.)
  std::string table = cursor_.QuotedTable();
  std::string names = sqlite_numbers ? "" : "rowid", values = sqlite_numbers ? "" : "?1";
  int parameter = 2;
  auto add = [&](const std::string& name) {
    names += (names.empty() ? "" : ", ") + cursor_.QuotedColumn(name);
    values += (values.empty() ? "?" : ", ?") + std::to_string(parameter++);
  };
  for (size_t i : fields) add(cursor_.desc.fields[i].name);
  for (const auto& stamp : stamps) add(stamp.first);
  StoreStatement& stmt = KeptStatement("INSERT INTO " + table + " (" + names + ") VALUES (" +
                                       values + ")" + returning);
  kept_.last_insert.fields = fields;
  kept_.last_insert.stmt = &stmt;
  kept_.last_insert.sqlite_numbers = sqlite_numbers;
  return stmt;
}

bool RecordWriter::SqliteNumbersAsReserved(const std::vector<size_t>& fields) {
  // SQLite numbers a row given no number one above the highest number in use
  // (and above the highest ever given, for an AUTOINCREMENT table): the
  // reservation's own number when it took the one above the highest it read,
  // and nothing changed since in this connection's write transaction, where
  // no one else can add a row. An explicit number costs SQLite a seek for it.
  // Only for an ordinary table without generated columns, as learnt from an
  // earlier insert under the same schema: a view's triggers see the number.
  if (fields.empty() || walk_.current_row().rowid != reserved_from_.highest + 1 ||
      !walk_.Holds(reserved_from_.mark))
    return false;
  return kept_.last_insert.stmt && StoresPlainColumns(kept_.last_insert.stmt);
}

int64_t RecordWriter::InsertAppended(StoreStatement** written) {
  std::vector<size_t>& fields = write_fields_;  // the fields given a value
  fields.clear();
  for (size_t i = 0; i < cursor_.desc.fields.size(); ++i)
    if (AppendedValue(i).kind != Value::Kind::kUnset || pending_.Find(i)) fields.push_back(i);
  std::vector<std::pair<std::string, Value>> stamps;
  StampWrite(&stamps);
  const bool sqlite_numbers = SqliteNumbersAsReserved(fields);
  StatementUse insert(InsertStatement(fields, stamps, sqlite_numbers));
  RecordLocks& locks = RecordLocks::Instance();
  // The statement comes reset, and a failed attempt resets it.
  for (int attempt = 0; attempt < kInsertAttempts; ++attempt) {
    if (!sqlite_numbers) insert->Bind(1, Value::Integer(walk_.current_row().rowid));
    int parameter = 2;
    for (size_t i : fields) insert->BindInPlace(parameter++, AppendedValue(i));
    for (const auto& stamp : stamps) insert->BindInPlace(parameter++, stamp.second);
    try {
      if (RunWrite(insert.get(), cursor_.rows_session().Remote())) {
        walk_.HoldReturned(insert.get());
        returned_ = true;
      }
      *written = stamps.empty() ? &insert.get() : nullptr;
      // The row's own number: an INTEGER PRIMARY KEY column given a value
      // decides it. A store that does not tell gave the row the number bound.
      int64_t inserted = insert->InsertedRecord();
      return inserted > 0 ? inserted : walk_.current_row().rowid;
    } catch (const EngineError&) {
      if (insert->LastRefusal().kind != WriteRefusal::Kind::kNumberTaken) throw;
      // A record number clash: the reserved number is taken, or an
      // INTEGER PRIMARY KEY value given clashes with another row (then the
      // reserved number is still free and the failure is the caller's).
      insert->Reset();
      if (!RowExists(walk_.current_row().rowid)) throw;
    }
    // Taken. Nothing of the record may be lost, so it moves to a fresh
    // number: the current record number changes with this write. A writer
    // may take that one too before the next attempt; then it moves again.
    walk_.ForgetEnd();
    int64_t taken = walk_.current_row().rowid;
    int64_t fresh = ReserveRecordNumber();
    locks.Unlock(LockNumber(), taken, cursor_.handle());
    if (locks_.erase(taken)) locks_.insert(fresh);
    walk_.current_row().rowid = fresh;
  }
  throw EngineError(NDS_E_GENERAL, "No free record number could be found for the new record of " +
                                       cursor_.source_table + ".");
}

void RecordWriter::WriteAppended() {
  cursor_.RequireRight(kRightInsert, "");
  int64_t rowid;
  StoreStatement* insert = nullptr;
  returned_ = false;
  {
    WriteSavepointStatements statements = SavepointFor(true);
    WriteSavepoint savepoint(statements);
    rowid = InsertAppended(&insert);
    if (statements.open) insert = nullptr;  // several statements: read the row back
    // A deletion mark left by an earlier record of this number. A number
    // from a sequence was never a record's before.
    if (!IsNdt(cursor_) && !NumbersFromSequence()) {
      StatementUse unmark(KeptStatement(
          "DELETE FROM " + std::string(cursor_.dialect().catalog_schema()) +
          QuoteIdentifier(DeletedMarksTable()) + " WHERE table_name = ?1 AND record = ?2"));
      unmark->Bind(1, Value::Text(DeletedMarksKey(cursor_)));
      unmark->Bind(2, Value::Integer(rowid));
      unmark->Run();
    }
    savepoint.Commit();
  }
  const StoreMark after = walk_.MarkNow();
  walk_.LearnEndFromAppend(reserved_from_.mark, reserved_from_.highest, rowid, after);
  // The record as appended is the row when the insert, on the number the
  // reservation took, was the only change since the reservation.
  const bool as_appended = insert && rowid == walk_.current_row().rowid && IsNdt(cursor_) &&
                           walk_.in_record_order() && cursor_.rows_in_store() &&
                           WrittenAsImaged(insert, reserved_from_.mark, after);
  // The reservation ends; a lock the caller took on the record stays, on the
  // number the row got.
  RecordLocks& locks = RecordLocks::Instance();
  int64_t reserved = walk_.current_row().rowid;
  bool keep = locks_.count(reserved) > 0;
  if (!keep || rowid != reserved) {
    locks_.erase(reserved);
    locks.Unlock(LockNumber(), reserved, cursor_.handle());
  }
  if (keep && rowid != reserved &&
      locks.Lock(LockNumber(), rowid, cursor_.handle()) == LockResult::kLocked)
    locks_.insert(rowid);
  // ... and, where the store keeps locks of its own, there too.
  if (locks_.count(rowid) && !LockInStore(rowid, false)) locks_.erase(rowid);
  pending_.clear();
  defaults_.clear();
  appended_ = false;
  walk_.DropWindow();
  // No engine-numbered field: each field was given a value.
  if (as_appended) return walk_.HoldWritten(after, rowid);
  if (!returned_) walk_.ReadCurrent(rowid);
  if (insert && !ColumnsTrusted(insert)) LearnColumns(insert);
  for (const FieldDesc& f : cursor_.desc.fields) {
    if (f.shape.type != NDS_AUTOINC) continue;
    Value v =
        DecodeImage(f, IsNdt(cursor_), walk_.current_row().image.data() + f.offset, f.shape.length);
    if (v.kind == Value::Kind::kInteger) last_autoinc_ = static_cast<uint32_t>(v.integer);
    break;
  }
}

void RecordWriter::DropAppended() {
  int64_t rowid = walk_.current_row().rowid;
  appended_ = false;
  defaults_.clear();
  // The number was never a record: a lock taken on it goes with it.
  locks_.erase(rowid);
  RecordLocks::Instance().Unlock(LockNumber(), rowid, cursor_.handle());
}

// ---- expressions over the unwritten record -------------------------------------------

std::string RecordWriter::PendingRowSource() const {
  std::string select;
  int parameter = kFirstPendingParameter;
  for (const FieldDesc& f : cursor_.desc.fields) {
    // Typed as the column holds it where the store wants a type (a
    // server), so that conditions compare and compute as over the table.
    select += (select.empty() ? "(SELECT " : ", ") +
              cursor_.dialect().TypedParameter("?" + std::to_string(parameter++), f.shape) +
              " AS " + cursor_.QuotedColumn(f.name);
  }
  // Named as the table, which a server wants of every subquery in FROM.
  select += (select.empty() ? "(SELECT " : ", ") +
            cursor_.dialect().RecordNumberParameter("?" + std::to_string(parameter)) +
            " AS rowid) AS " + cursor_.QuotedTable();
  return select;
}

void RecordWriter::BindPendingRow(StoreStatement& stmt, bool with_edits) const {
  static const Value kNone;
  int parameter = kFirstPendingParameter;
  for (size_t i = 0; i < cursor_.desc.fields.size(); ++i)
    stmt.Bind(parameter++,
              with_edits ? AppendedValue(i) : (i < defaults_.size() ? defaults_[i] : kNone));
  stmt.Bind(parameter, Value::Integer(walk_.current_row().rowid));
}

Value RecordWriter::EvaluateOnAppended(const std::string& sql, const std::string& where) {
  // The row's parameters lie above the condition's, so every condition
  // value has its parameter in the statement.
  std::unique_ptr<StoreStatement> stmt = cursor_.rows_session().Prepare(
      "SELECT (" + sql + ") FROM " + PendingRowSource() + (where.empty() ? "" : " WHERE " + where));
  walk_.BindConditionValues(*stmt);
  BindPendingRow(*stmt, true);
  if (!stmt->Step()) return Value();
  return stmt->Column(0);
}

}  // namespace nce
