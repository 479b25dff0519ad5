// The record work of a table cursor on a server: reading blob fields and
// checksums, appends, edits, deletes and record locks, through the
// connection's store session.
//
// The meaning is the SQLite store's (cursor_edit.cpp, cursor_append.cpp);
// the means differ:
//  - record numbers of appends come from the table's identity sequence, so
//    two workstations never reserve the same one (a cancelled append leaves
//    its number unused);
//  - record locks are the process's lock table plus the session's advisory
//    locks, which every workstation sees and the server frees when a
//    client dies;
//  - nothing is known without reading: every write reads its row back.
#include <cstring>
#include <string_view>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/cursor_walk.h"
#include "engine/cursor/record_write.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/record/record_image.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_tables.h"
#include "engine/storage/record_locks.h"

namespace nce {

namespace {

// Record numbers travel as 32-bit numbers through bookmarks and the API.
constexpr int64_t kMaxRecordNumber = 0xFFFFFFFFll;
// Fresh numbers tried when a writer that ignores the sequence took the
// reserved one.
constexpr int kInsertAttempts = 16;

// The engine's refusal for a write the server refused: the SQLite store's
// refusal for a value a guard or the column's type refuses, else the
// server's own error.
[[noreturn]] void ThrowWriteError(Cursor& c, const EngineError& error) {
  // An empty required column, named as on SQLite: the server says "null
  // value in column "c" of relation ...".
  static constexpr std::string_view kNullIn = "SQLSTATE 23502; null value in column \"";
  size_t at = error.text().find(kNullIn);
  if (at != std::string::npos) {
    size_t begin = at + kNullIn.size(), end = error.text().find('"', begin);
    std::string name = error.text().substr(begin, end - begin);
    for (const FieldDesc& f : c.desc.fields)
      if (EqualsNoCase(f.name, name)) name = f.name;
    throw EngineError(NDS_E_VALUE_REQUIRED,
                      "Value required: column \"" + name + "\" may not be empty.");
  }
  std::optional<TableDesc> table = DescribeServerTable(c.source_session(), c.source_table);
  std::optional<EngineError> refusal = table ? PostgresGuardRefusal(*table, error) : std::nullopt;
  if (refusal) throw *refusal;
  throw error;
}

std::string LockedText(const Cursor& c, int64_t recno) {
  return "Record " + std::to_string(recno) + " of " + c.source_table +
         " is locked by another user.";
}

}  // namespace

std::string CursorWalk::ServerBlobPart(Cursor& c, const FieldDesc& f, uint64_t offset,
                                       uint64_t length) {
  if (!c.MayRead(f.name)) return std::string();
  // Offsets count bytes: a text column's part is cut from its UTF-8 bytes.
  std::string column = c.QuotedColumn(f.name);
  if (PostgresColumnType(f.shape) != "bytea") column = "convert_to(" + column + ", 'UTF8')";
  StatementUse read(KeptStatement(c, "SELECT substring(" + column +
                                         " FROM ?2::int FOR ?3::int) FROM " + c.QuotedTable() +
                                         " WHERE rowid = ?1"));
  read->Bind(1, Value::Integer(current_.rowid));
  read->Bind(2,
             Value::Integer(static_cast<int64_t>(std::min<uint64_t>(offset, INT32_MAX - 1) + 1)));
  read->Bind(3, Value::Integer(static_cast<int64_t>(std::min<uint64_t>(length, INT32_MAX))));
  if (!read->Step()) return std::string();
  Value part = read->Column(0);
  return IsNull(part) ? std::string() : part.bytes;
}

void CursorWalk::ServerDefaults(Cursor& c, std::vector<Value>* defaults) {
  if (!defaults_read_) {
    // The DEFAULT clauses as the server keeps them, evaluated by it.
    std::unique_ptr<StoreStatement> columns = c.source_session().Prepare(
        "SELECT column_name, column_default FROM information_schema.columns "
        "WHERE table_schema = current_schema() AND table_name = ?1 "
        "AND column_default IS NOT NULL AND column_name <> 'rowid'");
    columns->Bind(1, Value::Text(LowerAscii(c.source_table)));
    std::string select;
    std::vector<std::pair<size_t, int>> places;
    while (columns->Step()) {
      int i = DefaultedField(c, columns->Column(0).bytes);
      if (i < 0) continue;
      // Of the column's type, as the server would store it.
      select += (select.empty() ? "SELECT (" : ", (") + columns->Column(1).bytes +
                ")::" + PostgresDefaultType(c.desc.fields[i].shape);
      places.emplace_back(i, 0);
    }
    defaults_sql_ = std::move(select);
    default_places_ = std::move(places);
    defaults_read_ = true;
  }
  defaults->clear();
  if (defaults_sql_.empty()) return;
  defaults->resize(c.desc.fields.size());
  StatementUse evaluate(KeptStatement(c, defaults_sql_));
  if (!evaluate->Step()) return;
  for (size_t k = 0; k < default_places_.size(); ++k)
    (*defaults)[default_places_[k].first] = evaluate->Column(static_cast<int>(k));
}

int64_t CursorWalk::ServerReserveNumber(Cursor& c) {
  // The sequence never gives a number twice, to any workstation: the
  // number is this cursor's alone, and the process's lock marks it so for
  // the cursors of this process.
  StatementUse next(KeptStatement(c, "SELECT nextval(pg_get_serial_sequence(" +
                                         QuoteLiteral(LowerAscii(c.source_table)) + ", 'rowid'))"));
  if (!next->Step())
    throw EngineError(NDS_E_GENERAL, "The table " + c.source_table + " gave no record number.");
  int64_t n = next->Column(0).integer;
  if (n <= 0 || n > kMaxRecordNumber)
    throw EngineError(NDS_E_GENERAL, "The table " + c.source_table +
                                         " has no record number left for a new record.");
  if (RecordLocks::Instance().Lock(LockNumber(c), n, c.handle()) != LockResult::kLocked)
    throw EngineError(NDS_E_LOCK_FAILED, LockedText(c, n));
  return n;
}

bool CursorWalk::ServerRowExists(Cursor& c, int64_t rowid) {
  StatementUse exists(KeptStatement(c, "SELECT 1 FROM " + c.QuotedTable() + " WHERE rowid = ?1"));
  exists->Bind(1, Value::Integer(rowid));
  return exists->Step();
}

bool CursorWalk::ServerLockedByOther(Cursor& c, int64_t rowid) {
  if (RecordLocks::Instance().LockedByOther(LockNumber(c), rowid, c.handle())) return true;
  if (server_locks_.count({rowid, false})) return false;
  // Another workstation's lock shows only by trying it.
  if (!LockOnServer(c, rowid, false)) return true;
  UnlockOnServer(c, rowid, false);
  return false;
}

void CursorWalk::ServerLock(Cursor& c, int64_t recno) {
  bool own_append = appended_ && on_record_ && !gone_ && recno == current_.rowid;
  if (!own_append && !ServerRowExists(c, recno))
    throw EngineError(NDS_E_INVALID_RECORD, "Record " + std::to_string(recno) + " does not exist.");
  RecordLocks& locks = RecordLocks::Instance();
  bool held = locks.HeldBy(LockNumber(c), recno, c.handle());
  if (!held && locks.Lock(LockNumber(c), recno, c.handle()) != LockResult::kLocked)
    throw EngineError(NDS_E_LOCK_FAILED, LockedText(c, recno));
  if (!server_locks_.count({recno, false}) && !LockOnServer(c, recno, false)) {
    if (!held) locks.Unlock(LockNumber(c), recno, c.handle());
    throw EngineError(NDS_E_LOCK_FAILED, LockedText(c, recno));
  }
  locks_.insert(recno);
}

void CursorWalk::ServerUnlock(Cursor& c, int64_t recno) {
  RecordLocks::Instance().Unlock(LockNumber(c), recno, c.handle());
  UnlockOnServer(c, recno, false);
}

// Takes the record's lock on both sides for the moment of a write, unless
// the cursor holds it already; gives it back when the write is done.
class CursorWalk::ServerWriteLock {
 public:
  ServerWriteLock(CursorWalk& walk, Cursor& c, int64_t recno) : walk_(walk), c_(c), recno_(recno) {
    RecordLocks& locks = RecordLocks::Instance();
    local_ = !locks.HeldBy(walk.LockNumber(c), recno, c.handle());
    if (local_ && locks.Lock(walk.LockNumber(c), recno, c.handle()) != LockResult::kLocked)
      throw EngineError(NDS_E_LOCK_FAILED, LockedText(c, recno));
    server_ = !walk.server_locks_.count({recno, false});
    if (server_ && !walk.LockOnServer(c, recno, false)) {
      if (local_) locks.Unlock(walk.LockNumber(c), recno, c.handle());
      throw EngineError(NDS_E_LOCK_FAILED, LockedText(c, recno));
    }
  }
  ~ServerWriteLock() {
    if (local_) RecordLocks::Instance().Unlock(walk_.LockNumber(c_), recno_, c_.handle());
    try {
      if (server_) walk_.UnlockOnServer(c_, recno_, false);
    } catch (const EngineError&) {
      // The connection went away: the server freed the lock with it.
    }
  }
  ServerWriteLock(const ServerWriteLock&) = delete;
  ServerWriteLock& operator=(const ServerWriteLock&) = delete;

 private:
  CursorWalk& walk_;
  Cursor& c_;
  int64_t recno_;
  bool local_ = false;   // taken in the process's table here
  bool server_ = false;  // taken on the server here
};

void CursorWalk::ServerWrite(Cursor& c) {
  std::vector<std::pair<std::string, Value>> stamps;
  StampWrite(c, &stamps);
  if (pending_.empty() && stamps.empty()) return;
  std::string sets;
  int parameter = 2;
  auto set = [&](const std::string& name) {
    sets +=
        (sets.empty() ? "" : ", ") + c.QuotedColumn(name) + " = ?" + std::to_string(parameter++);
  };
  for (const auto& [index, value] : pending_) set(c.desc.fields[index].name);
  for (const auto& stamp : stamps) set(stamp.first);
  for (const auto& [index, value] : pending_)
    c.RequireRight(kRightUpdate, c.desc.fields[index].name);
  for (const auto& stamp : stamps) c.RequireRight(kRightUpdate, stamp.first);
  {
    ServerWriteLock lock(*this, c, current_.rowid);
    StatementUse update(
        KeptStatement(c, "UPDATE " + c.QuotedTable() + " SET " + sets + " WHERE rowid = ?1"));
    update->Bind(1, Value::Integer(current_.rowid));
    parameter = 2;
    for (const auto& [index, value] : pending_) update->Bind(parameter++, value);
    for (const auto& stamp : stamps) update->Bind(parameter++, stamp.second);
    try {
      update->Step();
    } catch (const EngineError& error) {
      ThrowWriteError(c, error);
    }
    if (update->RowsChanged() == 0)
      throw EngineError(NDS_E_INVALID_RECORD, "Record " + std::to_string(current_.rowid) +
                                                  " was deleted by another user.");
  }
  pending_.clear();
  ahead_len_ = ahead_pos_ = 0;
  ahead_dir_ = 0;
  ReadCurrentByRowid(c, current_.rowid);
}

void CursorWalk::ServerWriteAppended(Cursor& c) {
  c.RequireRight(kRightInsert, "");
  std::vector<std::pair<std::string, Value>> stamps;
  StampWrite(c, &stamps);
  std::string names = "rowid", values = "?1";
  int parameter = 2;
  auto add = [&](const std::string& name) {
    names += ", " + c.QuotedColumn(name);
    values += ", ?" + std::to_string(parameter++);
  };
  std::vector<size_t> fields;
  for (size_t i = 0; i < c.desc.fields.size(); ++i)
    if (AppendedValue(i).kind != Value::Kind::kUnset || pending_.Find(i)) fields.push_back(i);
  for (size_t i : fields) add(c.desc.fields[i].name);
  for (const auto& stamp : stamps) add(stamp.first);
  StoreStatement& insert = KeptStatement(
      c, "INSERT INTO " + c.QuotedTable() + " (" + names + ") VALUES (" + values + ")");
  parameter = 2;
  for (size_t i : fields) insert.Bind(parameter++, AppendedValue(i));
  for (const auto& stamp : stamps) insert.Bind(parameter++, stamp.second);
  RecordLocks& locks = RecordLocks::Instance();
  for (int attempt = 0;; ++attempt) {
    StatementUse use(insert);
    insert.Bind(1, Value::Integer(current_.rowid));
    try {
      insert.Step();
      break;
    } catch (const EngineError& error) {
      // A writer that gave a number of its own may have taken the one the
      // sequence gave: the record moves to a fresh number, nothing lost.
      if (attempt + 1 >= kInsertAttempts || !ServerRowExists(c, current_.rowid))
        ThrowWriteError(c, error);
    }
    int64_t taken = current_.rowid;
    int64_t fresh = ServerReserveNumber(c);
    locks.Unlock(LockNumber(c), taken, c.handle());
    if (locks_.erase(taken)) locks_.insert(fresh);
    current_.rowid = fresh;
  }
  // The reservation ends; a lock the caller took on the record stays.
  int64_t rowid = current_.rowid;
  if (locks_.count(rowid)) {
    if (!LockOnServer(c, rowid, false)) locks_.erase(rowid);
  } else {
    locks.Unlock(LockNumber(c), rowid, c.handle());
  }
  pending_.clear();
  defaults_.clear();
  appended_ = false;
  ahead_len_ = ahead_pos_ = 0;
  ahead_dir_ = 0;
  ReadCurrentByRowid(c, rowid);
  for (const FieldDesc& f : c.desc.fields) {
    if (f.shape.type != NDS_AUTOINC) continue;
    Value v = DecodeImage(f, true, current_.image.data() + f.offset, f.shape.length);
    if (v.kind == Value::Kind::kInteger) last_autoinc_ = static_cast<uint32_t>(v.integer);
    break;
  }
}

void CursorWalk::ServerDelete(Cursor& c) {
  c.RequireRight(kRightDelete, "");
  int64_t rowid = current_.rowid;
  ServerWriteLock lock(*this, c, rowid);
  if (c.desc.table_type == NDS_NDT) {
    StatementUse remove(KeptStatement(c, "DELETE FROM " + c.QuotedTable() + " WHERE rowid = ?1"));
    remove->Bind(1, Value::Integer(rowid));
    remove->Step();
    gone_ = true;
    return;
  }
  // A DBF-kind table keeps the record and marks it. The row's key-share lock
  // holds off an SQL DELETE of the row until the mark is committed, so that
  // the delete's trigger (nce_forget_marks) sees the mark and takes it along.
  StatementUse mark(KeptStatement(c, "INSERT INTO " + QuoteIdentifier(DeletedMarksTable()) +
                                         " (table_name, record) SELECT ?1, rowid FROM " +
                                         c.QuotedTable() +
                                         " WHERE rowid = ?2 FOR KEY SHARE ON CONFLICT DO NOTHING"));
  mark->Bind(1, Value::Text(DeletedMarksKey(c)));
  mark->Bind(2, Value::Integer(rowid));
  mark->Step();
  // Nothing marked: another workstation marked it first, or removed the row.
  if (mark->RowsChanged() == 0 && !ServerRowExists(c, rowid))
    throw EngineError(NDS_E_INVALID_RECORD,
                      "Record " + std::to_string(rowid) + " was deleted by another user.");
  current_.visible_known = false;
}

}  // namespace nce
