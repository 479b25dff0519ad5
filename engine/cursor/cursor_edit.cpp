// Editing the current record of a cursor: field values, writes, cancels,
// deletes, record locks, checksums and blob contents. Appends that are not
// yet written live in cursor_append.cpp.
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <ctime>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/cursor_walk.h"
#include "engine/cursor/record_write.h"
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

uint32_t CursorWalk::LockNumber(Cursor& c) {
  if (lock_table_ == 0)
    lock_table_ = RecordLocks::Instance().TableNumber(c.connection().lock_store(), c.source_table);
  return lock_table_;
}

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
    if (c.on_server() && !c.MayRead(f.name)) return Value::Null();
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
  if (c.on_server() && !c.MayRead(f.name)) return 0;
  // Bytes, whether the column holds text or a blob.
  Value n = RowValue(c, c.on_server() ? "octet_length(" + c.QuotedColumn(f.name) + ")"
                                      : "length(CAST(" + c.QuotedColumn(f.name) + " AS BLOB))");
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
  if (c.on_server())
    return c.MayRead(f.name) && RowValue(c, c.QuotedColumn(f.name)).kind == Value::Kind::kBlob;
  return RowValue(c, "typeof(" + c.QuotedColumn(f.name) + ")").bytes == "blob";
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
  if (c.on_server()) return ServerBlobPart(c, f, offset, length);
  std::string part;
  if (c.rows_session().ReadValuePart(c.source_table, f.name, current_.rowid, offset, length, &part))
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
  // changed the record since it was last read. A server's rows carry no
  // rights of their own: a column the user may not read counts as empty.
  std::string columns;
  for (const FieldDesc& f : c.desc.fields)
    columns += (columns.empty() ? "" : ", ") +
               (!c.on_server() || c.MayRead(f.name) ? c.QuotedColumn(f.name) : "NULL");
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
  // On a server another workstation's lock is asked at the record's first
  // edit: asking costs a round trip.
  bool locked = false;
  if (!appended_ && c.on_server())
    locked = pending_.empty() && ServerLockedByOther(c, current_.rowid);
  else if (!appended_)
    locked = RecordLocks::Instance().LockedByOther(LockNumber(c), current_.rowid, c.handle());
  if (locked)
    throw EngineError(NDS_E_LOCK_FAILED, "Record " + std::to_string(current_.rowid) + " of " +
                                             c.source_table + " is locked by another user.");
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
  std::string counters = "_nce_rowversions";  // a server's, made with its catalog
  if (!c.on_server()) {
    EnsureRowVersions(c.rows_session());
    counters = "main." + QuoteIdentifier(RowVersionsTable());
  }
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
  if (last_update_.stmt && last_update_.fields == fields) return *last_update_.stmt;
  std::string sets;
  int parameter = 1;
  auto set = [&](const std::string& name) {
    sets +=
        (sets.empty() ? "" : ", ") + QuoteIdentifier(name) + " = ?" + std::to_string(parameter++);
  };
  for (size_t i : fields) set(c.desc.fields[i].name);
  for (const auto& stamp : stamps) set(stamp.first);
  StoreStatement& stmt =
      KeptStatement(c, "UPDATE " + QuoteIdentifier(c.source_table) + " SET " + sets +
                           " WHERE rowid = ?" + std::to_string(parameter));
  last_update_.fields = fields;
  last_update_.stmt = &stmt;
  return stmt;
}

StoreStatement* CursorWalk::UpdateEdited(Cursor& c) {
  std::vector<size_t>& fields = write_fields_;
  fields.clear();
  for (const auto& [index, value] : pending_) fields.push_back(index);
  std::vector<std::pair<std::string, Value>> stamps;
  StampWrite(c, &stamps);
  if (fields.empty() && stamps.empty()) return nullptr;
  StatementUse update(UpdateStatement(c, fields, stamps));
  int parameter = 1;
  for (const auto& [index, value] : pending_) update->BindInPlace(parameter++, value);
  for (const auto& stamp : stamps) update->BindInPlace(parameter++, stamp.second);
  update->Bind(parameter, Value::Integer(current_.rowid));
  RunNamingEmptyColumn(update.get());
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
  DropKeptStatementsIfMany();
  if (c.on_server()) return appended_ ? ServerWriteAppended(c) : ServerWrite(c);
  if (appended_) return WriteAppended(c);
  RecordLocks& locks = RecordLocks::Instance();
  const uint32_t table = LockNumber(c);
  bool held = locks.HeldBy(table, current_.rowid, c.handle());
  if (!held && locks.Lock(table, current_.rowid, c.handle()) != LockResult::kLocked)
    throw EngineError(NDS_E_LOCK_FAILED, "Record " + std::to_string(current_.rowid) + " of " +
                                             c.source_table + " is locked by another user.");
  // The row as read under a mark, in record-number order (an order key would
  // have to be read again) on the connection's own store. Whether the mark
  // held until the UPDATE is asked after it: the counts of a mark only grow.
  const StoreMark before = current_read_;
  const bool from_read =
      edit_base_rowid_ == current_.rowid && IsNdt(c) && order_key_.empty() && c.rows_in_store();
  StoreStatement* update = nullptr;
  try {
    WriteSavepointStatements statements = SavepointFor(c, false);
    WriteSavepoint savepoint(statements);
    update = UpdateEdited(c);
    savepoint.Commit();
    if (statements.open) update = nullptr;  // several statements: read the row back
  } catch (...) {
    if (!held) locks.Unlock(table, current_.rowid, c.handle());
    throw;
  }
  const StoreMark after = from_read && update ? MarkNow(c) : StoreMark();
  const bool as_edited = from_read && update && WrittenAsImaged(c, update, before, after);
  pending_.clear();
  if (!held) locks.Unlock(table, current_.rowid, c.handle());
  ahead_len_ = ahead_pos_ = 0;
  ahead_dir_ = 0;
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
  if (c.on_server()) {
    ServerDelete(c);
  } else if (RecordLocks::Instance().LockedByOther(LockNumber(c), rowid, c.handle())) {
    throw EngineError(NDS_E_LOCK_FAILED, "Record " + std::to_string(rowid) + " of " +
                                             c.source_table + " is locked by another user.");
  } else if (IsNdt(c)) {
    StatementUse remove(
        KeptStatement(c, "DELETE FROM " + QuoteIdentifier(c.source_table) + " WHERE rowid = ?1"));
    remove->Bind(1, Value::Integer(rowid));
    remove->Run();
    gone_ = true;
  } else {
    {
      // The engine's own definition, whatever the user's rights.
      EngineDefinitions engine_work(c.connection());
      EnsureDeletedMarksTrigger(c.rows_session(), c.source_table);
    }
    StatementUse mark(KeptStatement(c, "INSERT OR IGNORE INTO main." +
                                           QuoteIdentifier(DeletedMarksTable()) +
                                           " (table_name, record) VALUES (?1, ?2)"));
    mark->Bind(1, Value::Text(DeletedMarksKey(c)));
    mark->Bind(2, Value::Integer(rowid));
    mark->Run();
    current_.visible_known = false;
  }
  pending_.clear();
  current_.image[0] = '*';
  current_read_rowid_ = 0;
  ahead_len_ = ahead_pos_ = 0;
  ahead_dir_ = 0;
}

// ---- record locks -------------------------------------------------------------------

void CursorWalk::Lock(Cursor& c, int64_t recno) {
  if (!c.live)
    throw EngineError(
        NDS_E_STATIC_VIEW,
        "The cursor is a static copy of a query result; its records cannot be locked.");
  if (recno == 0) {
    RequireRecord();
    recno = current_.rowid;
  } else if (recno < 0) {
    throw EngineError(NDS_E_INVALID_RECORD, "Record " + std::to_string(recno) + " does not exist.");
  }
  if (c.on_server()) return ServerLock(c, recno);
  // The cursor's own unwritten append is not in the table yet, but is its
  // record all the same.
  bool own_append = appended_ && on_record_ && !gone_ && recno == current_.rowid;
  // A record read under a store mark that still holds is in the table.
  bool known = recno == current_read_rowid_ && Holds(c, current_read_);
  if (!own_append && !known) {
    StatementUse exists(
        KeptStatement(c, "SELECT 1 FROM " + QuoteIdentifier(c.source_table) + " WHERE rowid = ?1"));
    exists->Bind(1, Value::Integer(recno));
    if (!exists->Step())
      throw EngineError(NDS_E_INVALID_RECORD,
                        "Record " + std::to_string(recno) + " does not exist.");
  }
  switch (RecordLocks::Instance().Lock(LockNumber(c), recno, c.handle())) {
    case LockResult::kLocked:
      locks_.insert(recno);
      return;
    case LockResult::kConflict:
      throw EngineError(NDS_E_LOCK_FAILED, "Record " + std::to_string(recno) + " of " +
                                               c.source_table + " is locked by another user.");
    case LockResult::kIoError:
      throw EngineError(NDS_E_GENERAL,
                        "The lock file of " + c.connection().lock_store() + " cannot be used.");
  }
}

void CursorWalk::Unlock(Cursor& c, int64_t recno) {
  if (recno == 0) {
    RequireRecord();
    recno = current_.rowid;
  }
  // A record being appended keeps its lock until it is written or cancelled.
  if (appended_ && recno == current_.rowid) {
    locks_.erase(recno);
    return;
  }
  if (locks_.erase(recno) == 0 && !RecordLocks::Instance().HeldBy(LockNumber(c), recno, c.handle()))
    return;  // not locked: nothing to release
  if (c.on_server()) return ServerUnlock(c, recno);
  RecordLocks::Instance().Unlock(LockNumber(c), recno, c.handle());
}

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

void CursorWalk::ReleaseLocks(Cursor& c) {
  RecordLocks::Instance().UnlockAll(c.handle());
  locks_.clear();
  // A server frees the locks of a session that is gone by itself.
  StoreSession* server = c.on_server() ? c.connection().server() : nullptr;
  if (server && server->Connected()) {
    for (const auto& [recno, shared] : server_locks_) {
      try {
        server->UnlockRecord(c.source_table, recno, shared);
      } catch (const EngineError&) {
        break;  // the connection went away meanwhile
      }
    }
  }
  server_locks_.clear();
}

bool CursorWalk::LockOnServer(Cursor& c, int64_t recno, bool shared) {
  if (!c.source_session().TryLockRecord(c.source_table, recno, shared)) return false;
  // An exclusive lock is held once per session; a shared one as often as taken.
  if (shared || !server_locks_.count({recno, false})) server_locks_.insert({recno, shared});
  return true;
}

void CursorWalk::UnlockOnServer(Cursor& c, int64_t recno, bool shared) {
  auto held = server_locks_.find({recno, shared});
  if (held == server_locks_.end()) return;
  server_locks_.erase(held);
  c.source_session().UnlockRecord(c.source_table, recno, shared);
}

}  // namespace nce
