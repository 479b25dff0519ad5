// Editing the current record of a cursor: field values, writes, cancels,
// deletes, record locks, checksums and blob contents. Appends that are not
// yet written live in cursor_append.cpp.
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/cursor_walk.h"
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

void CursorWalk::RequireWritable(Cursor& c) const {
  if (!c.live)
    throw EngineError(NDS_E_STATIC_VIEW,
                      "The cursor is a static copy of a query result; it cannot be changed.");
  if (c.open_options & NDS_OPEN_READONLY)
    throw EngineError(NDS_E_RIGHTS, "The table " + c.source_table + " was opened read-only.");
}

void CursorWalk::FlushEdits(Cursor& c) {
  if (editing()) Write(c);
}

// ---- values of the current record ---------------------------------------------------

namespace {

// The checksum of one value: its kind and its bytes; an unset value counts
// as NULL.
uLong ValueChecksum(uLong crc, const Value& v) {
  unsigned char kind =
      static_cast<unsigned char>(v.kind == Value::Kind::kUnset ? Value::Kind::kNull : v.kind);
  crc = crc32(crc, &kind, 1);
  unsigned char bytes[8];
  switch (v.kind) {
    case Value::Kind::kInteger:
      std::memcpy(bytes, &v.integer, sizeof bytes);
      return crc32(crc, bytes, sizeof bytes);
    case Value::Kind::kReal:
      std::memcpy(bytes, &v.real, sizeof bytes);
      return crc32(crc, bytes, sizeof bytes);
    case Value::Kind::kText:
    case Value::Kind::kBlob:
      return crc32(crc, reinterpret_cast<const Bytef*>(v.bytes.data()),
                   static_cast<uInt>(v.bytes.size()));
    default:
      return crc;
  }
}

// The contents of a blob field holding `whole` (NULL: none; a number stored
// in the column: its text form).
std::string BlobText(const FieldDesc& f, bool ndt, const Value& whole) {
  if (IsNull(whole)) return std::string();
  if (whole.kind == Value::Kind::kText || whole.kind == Value::Kind::kBlob) return whole.bytes;
  return FormatText(f, ndt, whole);
}

}  // namespace

Value CursorWalk::RowValue(Cursor& c, const std::string& expression) {
  StatementUse read(
      KeptStatement(c, "SELECT " + expression + " FROM " + c.QuotedTable() + " WHERE rowid = ?1"));
  read->Bind(1, Value::Integer(current_.rowid));
  if (!read->Step()) return Value();
  return read->Column(0);
}

Value CursorWalk::FieldValue(Cursor& c, size_t index) {
  RequireRecord();
  const FieldDesc& f = c.desc.fields.at(index);
  if (const Value* pending = pending_.Find(index)) return *pending;
  if (IsBlobType(f.shape.type)) {
    if (gone_) return Value::Null();
    if (appended_) return AppendedValue(index);
    if (!c.MayRead(f.name)) return Value::Null();
    Value v = RowValue(c, c.QuotedColumn(f.name));
    return v.kind == Value::Kind::kUnset ? Value::Null() : v;
  }
  return DecodeImage(f, IsNdt(c), current_.image.data() + f.offset, f.shape.length);
}

uint64_t CursorWalk::BlobLength(Cursor& c, size_t index) {
  RequireRecord();
  const FieldDesc& f = c.desc.fields.at(index);
  if (const Value* pending = pending_.Find(index))
    return IsNull(*pending) ? 0 : pending->bytes.size();
  if (gone_) return 0;
  if (appended_) return BlobText(f, IsNdt(c), AppendedValue(index)).size();
  if (!c.MayRead(f.name)) return 0;
  // Bytes, whether the column holds text or a blob.
  Value n = RowValue(c, c.dialect().ByteLength(c.QuotedColumn(f.name)));
  return n.kind == Value::Kind::kInteger ? static_cast<uint64_t>(n.integer) : 0;
}

bool CursorWalk::BlobIsBinary(Cursor& c, size_t index) {
  RequireRecord();
  const FieldDesc& f = c.desc.fields.at(index);
  if (f.shape.type == NDS_BINARY || f.shape.type == NDS_IMAGE) return true;
  if (f.shape.type == NDS_VARCHAR) return false;
  if (const Value* pending = pending_.Find(index)) return pending->kind == Value::Kind::kBlob;
  if (gone_) return false;
  if (appended_) return AppendedValue(index).kind == Value::Kind::kBlob;
  if (!c.MayRead(f.name)) return false;
  Value blob = RowValue(c, c.dialect().IsBlob(c.QuotedColumn(f.name)));
  return blob.kind == Value::Kind::kInteger && blob.integer != 0;
}

std::string CursorWalk::BlobPart(Cursor& c, size_t index, uint64_t offset, uint64_t length) {
  RequireRecord();
  const FieldDesc& f = c.desc.fields.at(index);
  if (const Value* pending = pending_.Find(index)) {
    const std::string& all = pending->bytes;
    if (offset >= all.size()) return std::string();
    return all.substr(offset, length);
  }
  if (gone_) return std::string();
  if (appended_) {
    std::string all = BlobText(f, IsNdt(c), AppendedValue(index));
    return offset >= all.size() ? std::string() : all.substr(offset, length);
  }
  if (!c.MayRead(f.name)) return std::string();
  std::string part;
  if (c.rows_session().ReadValuePart(c.source_table, f.name, c.dialect().StoresAsBytes(f.shape),
                                     current_.rowid, offset, length, &part))
    return part;
  // Not a text or blob value (NULL, or a number stored in the column).
  std::string text = BlobText(f, IsNdt(c), FieldValue(c, index));
  return offset >= text.size() ? std::string() : text.substr(offset, length);
}

uint32_t CursorWalk::Checksum(Cursor& c) {
  RequireRecord();
  if (gone_) throw EngineError(NDS_E_INVALID_RECORD, "The current record was deleted.");
  uLong crc = crc32(0L, Z_NULL, 0);
  if (appended_) {
    // Nobody else sees an unwritten append: its checksum is that of the
    // record as appended, which the cursor's own edits leave alone as they
    // leave the stored row of a written record alone.
    for (size_t i = 0; i < c.desc.fields.size(); ++i)
      crc = ValueChecksum(crc, i < defaults_.size() ? defaults_[i] : Value::Null());
    return static_cast<uint32_t>(crc);
  }
  // Read afresh from the table: the checksum tells whether someone else
  // changed the record since it was last read. A column the user may not
  // read counts as empty.
  std::string columns;
  for (const FieldDesc& f : c.desc.fields)
    columns +=
        (columns.empty() ? "" : ", ") + (c.MayRead(f.name) ? c.QuotedColumn(f.name) : "NULL");
  StatementUse read(
      KeptStatement(c, "SELECT " + columns + " FROM " + c.QuotedTable() + " WHERE rowid = ?1"));
  read->Bind(1, Value::Integer(current_.rowid));
  if (!read->Step())
    throw EngineError(NDS_E_INVALID_RECORD, "The current record was deleted by another user.");
  for (int i = 0; i < static_cast<int>(c.desc.fields.size()); ++i)
    crc = ValueChecksum(crc, read->Column(i));
  return static_cast<uint32_t>(crc);
}

// ---- editing -----------------------------------------------------------------------

void CursorWalk::RunWrite(Cursor& c, StoreStatement& stmt) {
  try {
    stmt.Run();
  } catch (const EngineError& error) {
    WriteRefusal refusal = stmt.LastRefusal();
    if (refusal.kind == WriteRefusal::Kind::kEmptyColumn) {
      // Named as the field is, whatever letter case the store gives.
      std::string name = refusal.column;
      for (const FieldDesc& f : c.desc.fields)
        if (EqualsNoCase(f.name, name)) name = f.name;
      throw EngineError(NDS_E_VALUE_REQUIRED,
                        "Value required: column \"" + name + "\" may not be empty.");
    }
    if (refusal.kind == WriteRefusal::Kind::kNumberTaken) throw;
    std::optional<EngineError> refined = c.rows_session().GuardRefusal(c.source_table, error);
    if (refined) throw *refined;
    throw;
  }
}

void CursorWalk::SetValue(Cursor& c, size_t index, Value value) {
  RequireWritable(c);
  RequireRecord();
  if (gone_) throw EngineError(NDS_E_NO_CURRENT_RECORD, "The current record was deleted.");
  const FieldDesc& f = c.desc.fields.at(index);
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
    locked = RecordLocks::Instance().LockedByOther(LockNumber(c), current_.rowid, c.handle()) ||
             (pending_.empty() && LockedInStore(c, current_.rowid));
  if (locked) ThrowLocked(c, current_.rowid);
  EncodeValue(f, IsNdt(c), value, current_.image.data());
  if (pending_.empty()) edit_base_rowid_ = current_read_rowid_;
  current_read_rowid_ = 0;  // the image holds an edit now
  pending_.Set(index, std::move(value));
}

void CursorWalk::StampWrite(Cursor& c, std::vector<std::pair<std::string, Value>>* columns) {
  for (const FieldDesc& f : c.desc.fields) {
    if (f.shape.type == NDS_MODTIME) {
      columns->emplace_back(f.name, Value::Text(NowTimestamp()));
    } else if (f.shape.type == NDS_ROWVERSION) {
      columns->emplace_back(f.name, Value::Integer(NextRowVersion(c, f)));
    }
  }
}

int64_t CursorWalk::NextRowVersion(Cursor& c, const FieldDesc& f) {
  // Made on first need (a server's catalog holds it from the first connect).
  EnsureRowVersions(c.rows_session());
  const std::string counters = c.dialect().RowVersionsTable();
  const Value table = Value::Text(UpperAscii(c.source_table));
  {
    // Once the table's counter exists, one statement counts on, without
    // reading the table's highest version.
    StatementUse bump(KeptStatement(c, "UPDATE " + counters +
                                           " SET last_value = last_value + 1 "
                                           "WHERE table_name = ?1 RETURNING last_value"));
    bump->Bind(1, table);
    if (bump->Step()) return bump->Column(0).integer;
  }
  // First write of the table: continue above the highest version stored.
  // Two first writers on a server both come here; the counter's row lock
  // makes the second count on from the first.
  StatementUse first(KeptStatement(
      c, "INSERT INTO " + counters +
             " AS v (table_name, last_value) VALUES (?1, (SELECT coalesce(max(" +
             c.QuotedColumn(f.name) + "), 0) + 1 FROM " + c.QuotedTable() +
             ")) ON CONFLICT (table_name) DO UPDATE SET last_value = v.last_value + 1 "
             "RETURNING last_value"));
  first->Bind(1, table);
  if (!first->Step()) throw EngineError(NDS_E_GENERAL, "No row version was given out.");
  return first->Column(0).integer;
}

StoreStatement& CursorWalk::UpdateStatement(
    Cursor& c, const std::vector<size_t>& fields,
    const std::vector<std::pair<std::string, Value>>& stamps) {
  // Edits of one field record after record reuse the last statement as is.
  if (kept_.last_update.stmt && kept_.last_update.fields == fields) return *kept_.last_update.stmt;
  std::string sets;
  int parameter = 1;
  auto set = [&](const std::string& name) {
    sets +=
        (sets.empty() ? "" : ", ") + c.QuotedColumn(name) + " = ?" + std::to_string(parameter++);
  };
  for (size_t i : fields) set(c.desc.fields[i].name);
  for (const auto& stamp : stamps) set(stamp.first);
  StoreStatement& stmt = KeptStatement(c, "UPDATE " + c.QuotedTable() + " SET " + sets +
                                              " WHERE rowid = ?" + std::to_string(parameter));
  kept_.last_update.fields = fields;
  kept_.last_update.stmt = &stmt;
  return stmt;
}

StoreStatement* CursorWalk::UpdateEdited(Cursor& c) {
  std::vector<size_t>& fields = write_fields_;
  fields.clear();
  for (const auto& [index, value] : pending_) fields.push_back(index);
  std::vector<std::pair<std::string, Value>> stamps;
  StampWrite(c, &stamps);
  if (fields.empty() && stamps.empty()) return nullptr;
  for (size_t index : fields) c.RequireRight(kRightUpdate, c.desc.fields[index].name);
  for (const auto& stamp : stamps) c.RequireRight(kRightUpdate, stamp.first);
  StatementUse update(UpdateStatement(c, fields, stamps));
  int parameter = 1;
  for (const auto& [index, value] : pending_) update->BindInPlace(parameter++, value);
  for (const auto& stamp : stamps) update->BindInPlace(parameter++, stamp.second);
  update->Bind(parameter, Value::Integer(current_.rowid));
  RunWrite(c, update.get());
  if (update->RowsChanged() == 0)
    throw EngineError(NDS_E_INVALID_RECORD,
                      "Record " + std::to_string(current_.rowid) + " was deleted by another user.");
  return stamps.empty() ? &update.get() : nullptr;
}

void CursorWalk::Write(Cursor& c) {
  if (!editing()) {
    RequireRecord();
    return;
  }
  RequireWritable(c);
  if (gone_) throw EngineError(NDS_E_INVALID_RECORD, "The current record was deleted.");
  // No kept statement is in use here, so dropping them is safe.
  kept_.DropIfMany();
  if (appended_) return WriteAppended(c);
  WriteLock lock(*this, c, current_.rowid);
  // The row as read under a mark, in record-number order (an order key would
  // have to be read again) on the connection's own store. Whether the mark
  // held until the UPDATE is asked after it: the counts of a mark only grow.
  const StoreMark before = current_read_;
  const bool from_read =
      edit_base_rowid_ == current_.rowid && IsNdt(c) && order_key_.empty() && c.rows_in_store();
  StoreStatement* update = nullptr;
  {
    WriteSavepointStatements statements = SavepointFor(c, false);
    WriteSavepoint savepoint(statements);
    update = UpdateEdited(c);
    savepoint.Commit();
    if (statements.open) update = nullptr;  // several statements: read the row back
  }
  const StoreMark after = from_read && update ? MarkNow(c) : StoreMark();
  const bool as_edited = from_read && update && WrittenAsImaged(c, update, before, after);
  pending_.clear();
  lock.Release();
  window_.Drop();
  if (as_edited) {
    current_read_ = after;
    current_read_rowid_ = current_.rowid;
    current_.visible_known = Navigation(c).shape().condition.empty();
    return;
  }
  ReadCurrentByRowid(c, current_.rowid);
  if (update && !ColumnsTrusted(update)) LearnColumns(c, update);
}

bool CursorWalk::Cancel(Cursor& c) {
  if (!editing()) return false;
  pending_.clear();
  if (appended_) {
    DropAppended(c);
    SetOff(false, true);
    return true;
  }
  if (on_record_) Refresh(c);
  return true;
}

void CursorWalk::Delete(Cursor& c) {
  RequireWritable(c);
  RequireRecord();
  if (gone_) throw EngineError(NDS_E_NO_CURRENT_RECORD, "The current record is already deleted.");
  if (appended_) {
    // Nothing was written: dropping the reservation is all there is to do.
    pending_.clear();
    DropAppended(c);
    gone_ = true;
    current_.image[0] = '*';
    current_read_rowid_ = 0;
    return;
  }
  int64_t rowid = current_.rowid;
  c.RequireRight(kRightDelete, "");
  WriteLock lock(*this, c, rowid);
  if (IsNdt(c)) {
    StatementUse remove(KeptStatement(c, "DELETE FROM " + c.QuotedTable() + " WHERE rowid = ?1"));
    remove->Bind(1, Value::Integer(rowid));
    remove->Run();
    gone_ = true;
  } else {
    // A DBF-kind table keeps the record and marks it.
    {
      // The engine's own definition, whatever the user's rights.
      EngineDefinitions engine_work(c.connection());
      EnsureDeletedMarksTrigger(c.rows_session(), c.source_table);
    }
    StatementUse mark(KeptStatement(c, c.dialect().MarkDeletedSql(c.source_table)));
    mark->Bind(1, Value::Text(DeletedMarksKey(c)));
    mark->Bind(2, Value::Integer(rowid));
    mark->Run();
    // Nothing marked: another session marked it first, or removed the row.
    if (mark->RowsChanged() == 0 && !RowExists(c, rowid))
      throw EngineError(NDS_E_INVALID_RECORD,
                        "Record " + std::to_string(rowid) + " was deleted by another user.");
    current_.visible_known = false;
  }
  pending_.clear();
  current_.image[0] = '*';
  current_read_rowid_ = 0;
  window_.Drop();
}

// ---- closing ------------------------------------------------------------------------

void CursorWalk::WriteOrCancelOnClose(Cursor& c) noexcept {
  if (!editing()) return;
  try {
    Write(c);
    return;
  } catch (...) {
  }
  try {
    Cancel(c);
  } catch (...) {
  }
}

}  // namespace nce
