// Editing the current record of a cursor: field values set, writes,
// cancels, deletes and refreshes that keep the edits. Appends that are not
// yet written live in record_writer_append.cpp, record locks in
// record_writer_locks.cpp, reads of the values in record_writer_values.cpp.
#include "engine/cursor/record_writer.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/record_write.h"
#include "engine/cursor/write_lock.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/record/record_image.h"
#include "engine/storage/engine_tables.h"
#include "engine/storage/record_locks.h"

namespace nce {

namespace {

bool IsNdt(const Cursor& c) {
  return c.desc.table_type == NDS_NDT;
}

std::string NowTimestamp() {
  auto now = std::chrono::system_clock::now();
  std::time_t secs = std::chrono::system_clock::to_time_t(now);
  int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, ms);
  return buf;
}

}  // namespace

RecordWriter::RecordWriter(Cursor& cursor) : cursor_(cursor), walk_(cursor.walk) {}

RecordWriter::~RecordWriter() = default;

void RecordWriter::RequireWritable() const {
  if (!cursor_.live)
    throw EngineError(NDS_E_STATIC_VIEW,
                      "The cursor is a static copy of a query result; it cannot be changed.");
  if (cursor_.open_options & NDS_OPEN_READONLY)
    throw EngineError(NDS_E_RIGHTS, "The table " + cursor_.source_table + " was opened read-only.");
}

// ---- editing -----------------------------------------------------------------------

bool RecordWriter::RunWrite(StoreStatement& stmt, bool first_row) {
  try {
    if (first_row) return stmt.Step();
    stmt.Run();
    return false;
  } catch (const EngineError& error) {
    WriteRefusal refusal = stmt.LastRefusal();
    if (refusal.kind == WriteRefusal::Kind::kEmptyColumn) {
      // Named as the field is, whatever letter case the store gives.
      std::string name = refusal.column;
      for (const FieldDesc& f : cursor_.desc.fields)
        if (EqualsNoCase(f.name, name)) name = f.name;
      throw EngineError(NDS_E_VALUE_REQUIRED,
                        "Value required: column \"" + name + "\" may not be empty.");
    }
    if (refusal.kind == WriteRefusal::Kind::kNumberTaken) throw;
    std::optional<EngineError> refined =
        cursor_.rows_session().GuardRefusal(cursor_.source_table, error);
    if (refined) throw *refined;
    throw;
  }
}

void RecordWriter::SetValue(size_t index, Value value) {
  RequireWritable();
  walk_.RequireRecord();
  if (walk_.gone()) throw EngineError(NDS_E_NO_CURRENT_RECORD, "The current record was deleted.");
  const FieldDesc& f = cursor_.desc.fields.at(index);
  if (f.shape.type == NDS_AUTOINC)
    throw EngineError(NDS_E_INVALID_FIELD,
                      "Column \"" + f.name + "\" is numbered by the engine and cannot be set.");
  // Row versions and modification times are stamped by the engine at every
  // write; a value given for them is not kept.
  if (f.shape.type == NDS_ROWVERSION || f.shape.type == NDS_MODTIME) return;
  // An unwritten append's number is locked by this cursor from the start.
  // A lock of another session of the store (a server's) is asked at the
  // record's first edit: asking costs a round trip.
  bool locked = false;
  if (!appended_)
    locked = RecordLocks::Instance().LockedByOther(LockNumber(), walk_.current_row().rowid,
                                                   cursor_.handle()) ||
             (pending_.empty() && LockedInStore(walk_.current_row().rowid));
  if (locked) ThrowLocked(walk_.current_row().rowid);
  EncodeValue(f, IsNdt(cursor_), value, walk_.current_row().image.data());
  if (pending_.empty()) edit_base_rowid_ = walk_.read_rowid();
  walk_.ImageChanged();
  pending_.Set(index, std::move(value));
}

void RecordWriter::StampWrite(std::vector<std::pair<std::string, Value>>* columns) {
  for (const FieldDesc& f : cursor_.desc.fields) {
    if (f.shape.type == NDS_MODTIME) {
      columns->emplace_back(f.name, Value::Text(NowTimestamp()));
    } else if (f.shape.type == NDS_ROWVERSION) {
      columns->emplace_back(f.name, Value::Integer(NextRowVersion(f)));
    }
  }
}

int64_t RecordWriter::NextRowVersion(const FieldDesc& f) {
  // Made on first need (a server's catalog holds it from the first connect).
  EnsureRowVersions(cursor_.rows_session());
  const std::string counters = cursor_.dialect().RowVersionsTable();
  const Value table = Value::Text(UpperAscii(cursor_.source_table));
  {
    // Once the table's counter exists, one statement counts on, without
    // reading the table's highest version.
    StatementUse bump(KeptStatement("UPDATE " + counters +
                                    " SET last_value = last_value + 1 "
                                    "WHERE table_name = ?1 RETURNING last_value"));
    bump->Bind(1, table);
    if (bump->Step()) return bump->Column(0).integer;
  }
  // First write of the table: continue above the highest version stored.
  // Two first writers on a server both come here; the counter's row lock
  // makes the second count on from the first.
  StatementUse first(
      KeptStatement("INSERT INTO " + counters +
                    " AS v (table_name, last_value) VALUES (?1, (SELECT coalesce(max(" +
                    cursor_.QuotedColumn(f.name) + "), 0) + 1 FROM " + cursor_.QuotedTable() +
                    ")) ON CONFLICT (table_name) DO UPDATE SET last_value = v.last_value + 1 "
                    "RETURNING last_value"));
  first->Bind(1, table);
  if (!first->Step()) throw EngineError(NDS_E_GENERAL, "No row version was given out.");
  return first->Column(0).integer;
}

StoreStatement& RecordWriter::UpdateStatement(
    const std::vector<size_t>& fields, const std::vector<std::pair<std::string, Value>>& stamps) {
  // Where every statement is a round trip, the UPDATE returns the row as
  // written instead of a read after it.
  const std::string returning =
      cursor_.rows_session().Remote() ? walk_.Navigation().Returning() : std::string();
  // Edits of one field record after record reuse the last statement as is.
  if (returning.empty() && kept_.last_update.stmt && kept_.last_update.fields == fields)
    return *kept_.last_update.stmt;
  std::string sets;
  int parameter = 1;
  auto set = [&](const std::string& name) {
    sets += (sets.empty() ? "" : ", ") + cursor_.QuotedColumn(name) + " = ?" +
            std::to_string(parameter++);
  };
  for (size_t i : fields) set(cursor_.desc.fields[i].name);
  for (const auto& stamp : stamps) set(stamp.first);
  StoreStatement& stmt = KeptStatement("UPDATE " + cursor_.QuotedTable() + " SET " + sets +
                                       " WHERE rowid = ?" + std::to_string(parameter) + returning);
  kept_.last_update.fields = fields;
  kept_.last_update.stmt = &stmt;
  return stmt;
}

StoreStatement* RecordWriter::UpdateEdited() {
  std::vector<size_t>& fields = write_fields_;
  fields.clear();
  for (const auto& [index, value] : pending_) fields.push_back(index);
  std::vector<std::pair<std::string, Value>> stamps;
  StampWrite(&stamps);
  if (fields.empty() && stamps.empty()) return nullptr;
  for (size_t index : fields) cursor_.RequireRight(kRightUpdate, cursor_.desc.fields[index].name);
  for (const auto& stamp : stamps) cursor_.RequireRight(kRightUpdate, stamp.first);
  StatementUse update(UpdateStatement(fields, stamps));
  int parameter = 1;
  for (const auto& [index, value] : pending_) update->BindInPlace(parameter++, value);
  for (const auto& stamp : stamps) update->BindInPlace(parameter++, stamp.second);
  update->Bind(parameter, Value::Integer(walk_.current_row().rowid));
  const bool returns = cursor_.rows_session().Remote();
  if (RunWrite(update.get(), returns)) {
    walk_.HoldReturned(update.get());
    returned_ = true;
    return nullptr;
  }
  if (returns || update->RowsChanged() == 0)
    throw EngineError(NDS_E_INVALID_RECORD, "Record " + std::to_string(walk_.current_row().rowid) +
                                                " was deleted by another user.");
  return stamps.empty() ? &update.get() : nullptr;
}

void RecordWriter::Write() {
  if (!editing()) {
    walk_.RequireRecord();
    return;
  }
  RequireWritable();
  if (walk_.gone()) throw EngineError(NDS_E_INVALID_RECORD, "The current record was deleted.");
  // No kept statement is in use here, so dropping them is safe.
  kept_.DropIfMany();
  if (appended_) return WriteAppended();
  const int64_t rowid = walk_.current_row().rowid;
  WriteLock lock(*this, rowid);
  // The row as read under a mark, in record-number order (an order key would
  // have to be read again) on the connection's own store. Whether the mark
  // held until the UPDATE is asked after it: the counts of a mark only grow.
  const StoreMark before = walk_.read_mark();
  const bool from_read = edit_base_rowid_ == rowid && IsNdt(cursor_) && walk_.in_record_order() &&
                         cursor_.rows_in_store();
  StoreStatement* update = nullptr;
  returned_ = false;
  {
    WriteSavepointStatements statements = SavepointFor(false);
    WriteSavepoint savepoint(statements);
    update = UpdateEdited();
    savepoint.Commit();
    if (statements.open) update = nullptr;  // several statements: read the row back
  }
  const StoreMark after = from_read && update ? walk_.MarkNow() : StoreMark();
  const bool as_edited = from_read && update && WrittenAsImaged(update, before, after);
  pending_.clear();
  lock.Release();
  if (as_edited) {
    // In record-number order the rows ahead keep their places, and the
    // UPDATE changed no row but this one.
    walk_.KeepWindowOverWrite(before, after);
    return walk_.HoldWritten(after, rowid);
  }
  walk_.DropWindow();
  if (returned_) return;
  walk_.ReadCurrent(rowid);
  if (update && !ColumnsTrusted(update)) LearnColumns(update);
}

bool RecordWriter::Cancel() {
  if (!editing()) return false;
  pending_.clear();
  if (appended_) {
    DropAppended();
    walk_.LeaveRecord();
    return true;
  }
  if (walk_.on_record()) Refresh();
  return true;
}

void RecordWriter::Refresh() {
  walk_.RequireRecord();
  if (appended_ && !walk_.gone()) return BuildAppendedImage();  // nothing stored to re-read
  if (!walk_.Refresh() || pending_.empty()) return;
  // The edits stay, over the record as read afresh.
  edit_base_rowid_ = 0;
  const bool ndt = IsNdt(cursor_);
  for (const auto& [index, value] : pending_)
    EncodeValue(cursor_.desc.fields[index], ndt, value, walk_.current_row().image.data());
  walk_.ImageChanged();
}

void RecordWriter::Delete() {
  RequireWritable();
  walk_.RequireRecord();
  if (walk_.gone())
    throw EngineError(NDS_E_NO_CURRENT_RECORD, "The current record is already deleted.");
  if (appended_) {
    // Nothing was written: dropping the reservation is all there is to do.
    pending_.clear();
    DropAppended();
    walk_.MarkDeleted(true);
    return;
  }
  int64_t rowid = walk_.current_row().rowid;
  cursor_.RequireRight(kRightDelete, "");
  WriteLock lock(*this, rowid);
  if (IsNdt(cursor_)) {
    StatementUse remove(
        KeptStatement("DELETE FROM " + cursor_.QuotedTable() + " WHERE rowid = ?1"));
    remove->Bind(1, Value::Integer(rowid));
    remove->Run();
  } else {
    // A DBF-kind table keeps the record and marks it.
    {
      // The engine's own definition, whatever the user's rights.
      EngineDefinitions engine_work(cursor_.connection());
      EnsureDeletedMarksTrigger(cursor_.rows_session(), cursor_.source_table);
    }
    StatementUse mark(KeptStatement(cursor_.dialect().MarkDeletedSql(cursor_.source_table)));
    mark->Bind(1, Value::Text(DeletedMarksKey(cursor_)));
    mark->Bind(2, Value::Integer(rowid));
    mark->Run();
    // Nothing marked: another session marked it first, or removed the row.
    if (mark->RowsChanged() == 0 && !RowExists(rowid))
      throw EngineError(NDS_E_INVALID_RECORD,
                        "Record " + std::to_string(rowid) + " was deleted by another user.");
  }
  pending_.clear();
  walk_.MarkDeleted(IsNdt(cursor_));
}

// ---- closing ------------------------------------------------------------------------

void RecordWriter::WriteOrCancelOnClose() noexcept {
  if (!editing()) return;
  try {
    Write();
    return;
  } catch (...) {
  }
  try {
    Cancel();
  } catch (...) {
  }
}

}  // namespace nce
