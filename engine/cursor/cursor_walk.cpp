#include "engine/cursor/cursor_walk.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/cursor/cursor.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/record/field_codecs.h"
#include "engine/record/record_image.h"
#include "engine/storage/engine_tables.h"

namespace nce {

namespace {

std::atomic<bool> g_show_deleted{false};
std::atomic<uint64_t> g_show_deleted_generation{1};

bool IsNdt(const Cursor& c) {
  return c.desc.table_type == NDS_NDT;
}

// The rights a cursor's statements were built for, where the cursor applies
// them itself: the dictionary's rights counter as the connection last read
// it (-1 on free tables, and where the store applies the rights to every
// statement itself, as SQLite's authorizer does).
int64_t RightsVersion(const Cursor& c) {
  const auto& dictionary = c.connection().dictionary;
  return dictionary && !c.rows_session().AuthorizesWhilePreparing() ? dictionary->version : -1;
}

}  // namespace

void SetShowDeleted(bool show) {
  if (g_show_deleted.exchange(show) != show) g_show_deleted_generation.fetch_add(1);
}
bool ShowDeleted() {
  return g_show_deleted.load();
}

std::string DeletedMarksKey(const Cursor& c) {
  return c.dialect().DeletedMarksKey(c.source_table);
}

std::string MarkedRecordsSql(const Cursor& c) {
  return std::string("SELECT record FROM ") + c.dialect().catalog_schema() +
         QuoteIdentifier(DeletedMarksTable()) +
         " WHERE table_name = " + QuoteLiteral(DeletedMarksKey(c));
}

CursorWalk::CursorWalk(Cursor& cursor) : cursor_(cursor) {}

CursorWalk::~CursorWalk() = default;

// ---- set-up ---------------------------------------------------------------------

void CursorWalk::DropStatements() {
  statements_.Clear();
}

void CursorWalk::SetOrder(std::string key_sql, bool descending) {
  order_key_ = std::move(key_sql);
  descending_ = descending;
}

void CursorWalk::SetCondition(const std::string& name, std::string sql) {
  if (sql.empty())
    conditions_.erase(name);
  else
    conditions_[name] = std::move(sql);
}

bool CursorWalk::HidesDeleted() const {
  return !IsNdt(cursor_) && cursor_.live && !ShowDeleted();
}

std::string CursorWalk::ConditionText(const std::string& prefix, bool with_deleted) const {
  std::string text = cursor_.filter_sql;
  auto add = [&text](const std::string& part) {
    text = text.empty() ? "(" + part + ")" : "(" + text + ") AND (" + part + ")";
  };
  if (prefix != "-")
    for (const auto& [name, sql] : conditions_)
      if (name.compare(0, prefix.size(), prefix) == 0) add(sql);
  if (with_deleted && HidesDeleted()) {
    add("rowid NOT IN (" + MarkedRecordsSql(cursor_) + ")");
  }
  return text;
}

void CursorWalk::Attach() {
  show_deleted_generation_ = g_show_deleted_generation.load();
  rights_version_ = RightsVersion(cursor_);
  bool marks = !IsNdt(cursor_) && cursor_.live;

  WalkShape shape;
  shape.session = &cursor_.rows_session();
  WalkSpec& walk = shape.walk;
  walk.from = cursor_.QuotedTable();
  for (const FieldDesc& f : cursor_.desc.fields) {
    if (!walk.columns.empty()) walk.columns += ", ";
    // A column the dictionary hides from the user reads as NULL, as SQLite's
    // authorizer makes it read.
    std::string column = cursor_.MayRead(f.name) ? cursor_.QuotedColumn(f.name) : "NULL";
    // A server counts a text's characters, SQLite its bytes: the walk only
    // asks whether there are any.
    walk.columns += IsBlobType(f.shape.type) ? "length(" + column + ")" : column;
  }
  if (marks) {
    // Last column: whether the row carries a deletion mark.
    walk.columns += ", rowid IN (" + MarkedRecordsSql(cursor_) + ")";
  }
  walk.key = order_key_;
  walk.descending = descending_;
  walk.condition = ConditionText("", true);
  shape.all_rows_where = cursor_.filter_sql;
  shape.scoped_rows_where = ConditionText("scope", false);
  statements_.Use(std::move(shape));
  if (marks && !statements_.tables_sure()) {
    // The statements read the deletion marks. Made outside a transaction the
    // table stays; made inside one a rollback may take it away again, so the
    // next use of these statements makes sure once more. (A server's catalog
    // holds the table from the first connect: nothing to make there.)
    StoreSession& rows = cursor_.rows_session();
    EnsureDeletedMarks(rows);
    statements_.set_tables_sure(!rows.InTransaction());
  }

  deferred_ = Place();
  // A new order or condition has another last row and other visible rows.
  known_end_ = KnownEnd();
  current_read_ = StoreMark();
  window_.Drop();
  on_record_ = false;
  gone_ = false;
  SetOff(true, false);
}

WalkStatement& CursorWalk::Statement(Step step) {
  if ((show_deleted_generation_ != g_show_deleted_generation.load() && !IsNdt(cursor_)) ||
      rights_version_ != RightsVersion(cursor_)) {
    // The deleted-record setting or the rights changed: rebuild the texts,
    // keep the place.
    CursorRow keep = current_;
    bool on = on_record_, bof = bof_, eof = eof_, gone = gone_;
    Attach();
    current_ = std::move(keep);
    on_record_ = on, bof_ = bof, eof_ = eof, gone_ = gone;
  }
  if (!statements_.has_shape()) Attach();  // cursors made by SQL start here on first use
  return statements_.Get(step);
}

void CursorWalk::BindCondition(WalkStatement& stmt) {
  // Bind leaves a parameter the text does not use alone.
  stmt.Reset();
  for (size_t i = 0; i < cursor_.filter_values.size() && i < 100; ++i)
    stmt.Bind(static_cast<int>(i) + 1, cursor_.filter_values[i]);
}

void CursorWalk::BindConditionValues(StoreStatement& stmt) const {
  for (size_t i = 0; i < cursor_.filter_values.size() && i < 100; ++i)
    stmt.Bind(static_cast<int>(i) + 1, cursor_.filter_values[i]);
}

// ---- reading rows ----------------------------------------------------------------

void CursorWalk::ReadRow(WalkStatement& stmt, CursorRow* row) {
  WalkRowLayout layout;
  layout.desc = &cursor_.desc;
  layout.ndt = IsNdt(cursor_);
  layout.key_column = statements_.sql().first_field_column() == 2;
  layout.deletion_mark = !layout.ndt && cursor_.live;
  stmt.ReadRow(layout, &row->rowid, &row->key, &row->image);
}

bool CursorWalk::FillWindow(Step step, int direction, uint32_t rows) {
  WalkStatement& stmt = Statement(step);
  BindCondition(stmt);
  if (step == Step::kAfter || step == Step::kBefore) {
    stmt.Bind(101, current_.key);
    stmt.BindInt64(102, current_.rowid);
  }
  const uint32_t asked = rows ? rows : NextWindowRows(step, direction);
  stmt.BindInt64(103, asked);
  window_.Begin(direction);
  try {
    while (stmt.Step()) {
      CursorRow& row = window_.Add();
      ReadRow(stmt, &row);
      row.visible_known = true;
    }
  } catch (...) {
    window_.Drop();
    stmt.Reset();
    throw;
  }
  stmt.Reset();
  if (!window_.empty()) NoteEnds(step, direction, asked);
  window_read_ = MarkNow();
  return !window_.empty();
}

void CursorWalk::NoteEnds(Step step, int direction, uint32_t asked) {
  // Only where every read is a round trip: a local store reads past the
  // end for next to nothing, and sees rows added since at once.
  if (!cursor_.rows_session().Remote()) return;
  // A read from one end of the rows starts at that end; a read that gave
  // fewer rows than asked reached the other.
  if (step == Step::kFirst) window_.SetEnd(-1, window_.FirstRowid());
  if (step == Step::kLast) window_.SetEnd(+1, window_.FirstRowid());
  if (window_.size() < asked) window_.SetEnd(direction, window_.LastRowid());
}

uint32_t CursorWalk::NextWindowRows(Step step, int direction) {
  // A remote store answers each window over the network: its windows grow
  // further.
  const bool continues = step == Step::kAfter || step == Step::kBefore;
  return window_.NextRows(continues, direction, cursor_.desc.record_length,
                          window_.cache_size() != 0 && cursor_.rows_session().Remote());
}

void CursorWalk::TakeNextFromWindow() {
  // Member by member: the window's row is only read again after ReadRow
  // has filled it anew, and most walks carry no order key to move.
  CursorRow& next = window_.TakeNext();
  current_.rowid = next.rowid;
  current_.image.swap(next.image);
  if (current_.key.kind != Value::Kind::kUnset || next.key.kind != Value::Kind::kUnset)
    std::swap(current_.key, next.key);
  current_.visible_known = next.visible_known;
  // The row as the window read it: while that mark holds, a refresh or a
  // lock of the record need not read it again.
  current_read_ = window_read_;
  current_read_rowid_ = next.rowid;
  on_record_ = true;
  gone_ = false;
  bof_ = eof_ = false;
}

void CursorWalk::SetOff(bool bof, bool eof) {
  on_record_ = false;
  bof_ = bof;
  eof_ = eof;
}

bool CursorWalk::ReadCurrentRow(Step step, int64_t rowid, bool visible_known) {
  WalkStatement& stmt = Statement(step);
  BindCondition(stmt);
  stmt.BindInt64(102, rowid);
  bool found = stmt.Step();
  if (found) {
    ReadRow(stmt, &current_);
    current_.visible_known = visible_known;
  }
  stmt.Reset();
  if (!found) return false;
  current_read_ = MarkNow();
  current_read_rowid_ = rowid;
  on_record_ = true;
  gone_ = false;
  bof_ = eof_ = false;
  return true;
}

void CursorWalk::HoldReturned(const StoreStatement& stmt) {
  WalkRowLayout layout;
  layout.desc = &cursor_.desc;
  layout.ndt = IsNdt(cursor_);
  layout.key_column = statements_.sql().first_field_column() == 2;
  layout.deletion_mark = !layout.ndt && cursor_.live;
  ReadWalkRow(stmt, layout, &current_.rowid, &current_.key, &current_.image);
  current_.visible_known = Navigation().shape().condition.empty();
  current_read_ = MarkNow();
  current_read_rowid_ = current_.rowid;
  on_record_ = true;
  gone_ = false;
  bof_ = eof_ = false;
}

void CursorWalk::HoldReadUnderLock(const StoreStatement& stmt) {
  HoldReturned(stmt);
  read_under_lock_ = cursor_.rows_session().Requests();
}

void CursorWalk::ReadCurrent(int64_t rowid) {
  // Without a condition every row of the table is visible.
  const bool visible = Navigation().shape().condition.empty();
  if (ReadCurrentRow(Step::kByRowid, rowid, visible)) return;
  throw EngineError(NDS_E_INVALID_RECORD,
                    "Record " + std::to_string(rowid) + " does not exist in the table.");
}

// ---- the end of the table, known without reading it ------------------------------

StoreMark CursorWalk::MarkNow() const {
  // A server's rows may change under any read: it gives no mark that holds.
  // The analysis cannot name the lock through the cursor; the engine
  // function that reached the cursor took it.
  cursor_.connection().mutex().AssertHeld();
  return nce::MarkNow(cursor_.connection(), cursor_.rows_session());
}

bool CursorWalk::ShowsWholeTable() {
  // Static cursors keep their own rows elsewhere; DBF tables hide deleted
  // records by a setting that may change at any time.
  // On a server nothing is known without reading (MarkNow).
  return cursor_.live && IsNdt(cursor_) && cursor_.rows_in_store() &&
         Navigation().shape().condition.empty();
}

int64_t CursorWalk::KnownHighest(const StoreMark& now) const {
  const bool known =
      known_end_.highest > 0 && known_end_.mark.changes >= 0 && known_end_.mark == now;
  return known ? known_end_.highest : 0;
}

void CursorWalk::LearnEndFromAppend(const StoreMark& reserved, int64_t highest, int64_t rowid,
                                    const StoreMark& now) {
  // Known when the insert was the only change since the reservation read the
  // highest number: the new row is then the highest, and in record-number
  // order the last row, unless its key gave it a lower number.
  known_end_ = KnownEnd();
  if (reserved.changes < 0 || now.changes != reserved.changes + 1 || now.epoch != reserved.epoch ||
      now.version != reserved.version)
    return;
  known_end_.mark = now;
  known_end_.highest = std::max(highest, rowid);
  if (rowid > highest && order_key_.empty() && !descending_ && ShowsWholeTable())
    known_end_.last_row = rowid;
}

// ---- what the record writer did to the current row ---------------------------------

void CursorWalk::FlushEdits() {
  cursor_.writer.Flush();
}

void CursorWalk::HoldWritten(const StoreMark& mark, int64_t rowid) {
  current_read_ = mark;
  current_read_rowid_ = rowid;
  current_.visible_known = Navigation().shape().condition.empty();
  on_record_ = true;
  gone_ = false;
  bof_ = eof_ = false;
}

CursorRow& CursorWalk::StandOnNew(int64_t rowid) {
  window_.Drop();
  current_.rowid = rowid;
  current_.key = Value();
  current_.visible_known = false;
  current_read_rowid_ = 0;
  on_record_ = true;
  gone_ = false;
  bof_ = eof_ = false;
  return current_;
}

void CursorWalk::MarkDeleted(bool gone) {
  if (gone)
    gone_ = true;
  else
    current_.visible_known = false;  // a marked record may be hidden now
  current_.image[0] = '*';
  current_read_rowid_ = 0;
  window_.Drop();
}

// ---- moving ------------------------------------------------------------------------

void CursorWalk::GotoTop() {
  FlushEdits();
  if (FillWindow(Step::kFirst, +1))
    TakeNextFromWindow();
  else
    SetOff(true, true);
}

void CursorWalk::GotoBottom() {
  FlushEdits();
  if (on_record_ && !gone_ && known_end_.last_row == current_.rowid && Holds(known_end_.mark)) {
    // Already there, and the record as read is still the table's.
    window_.Drop();
    bof_ = eof_ = false;
    return;
  }
  if (!gone_ && (on_record_ || eof_) && current_.rowid != 0 && window_.End(+1) == current_.rowid) {
    // The window's read found this row the last one: back on it, as a read
    // then; the rows read behind it stay for a walk back.
    on_record_ = true;
    bof_ = eof_ = false;
    return;
  }
  // The last row alone: the bottom is mostly passed on the way to the end
  // (where records are appended); a walk back reads its window from there.
  // Where every read is a round trip, the first window back comes with it.
  const uint32_t rows = cursor_.rows_session().Remote() ? 0 : 1;
  if (!FillWindow(Step::kLast, -1, rows)) return SetOff(true, true);
  TakeNextFromWindow();
  if (!ShowsWholeTable()) return;
  KnownEnd known{MarkNow(), current_.rowid, 0};
  if (known_end_.mark == known.mark) known.highest = known_end_.highest;
  known_end_ = known;
}

void CursorWalk::GotoBof() {
  FlushEdits();
  window_.Drop();
  SetOff(true, false);
}

void CursorWalk::Skip(int64_t rows) {
  FlushEdits();
  if (rows == 0) {
    if (on_record_ && !gone_) Refresh();
    return;
  }
  int dir = rows > 0 ? +1 : -1;
  for (int64_t left = rows > 0 ? rows : -rows; left > 0; --left) {
    bool from_start = !on_record_ && (dir > 0 ? bof_ && !eof_ : eof_ && !bof_);
    if (!on_record_ && !from_start) {
      // Already past the end in this direction; an empty cursor stays put.
      if (dir > 0)
        eof_ = true;
      else
        bof_ = true;
      return;
    }
    if (on_record_ && window_.HasNext(dir)) {
      TakeNextFromWindow();
      continue;
    }
    if (dir > 0 && on_record_ && !gone_ && known_end_.last_row == current_.rowid &&
        Holds(known_end_.mark)) {
      SetOff(false, true);  // past the last row, as a read would find
      return;
    }
    if (on_record_ && !gone_ && window_.End(dir) == current_.rowid) {
      // The window's read found no row beyond this one: as a read then.
      SetOff(dir<0, dir> 0);
      return;
    }
    bool found = from_start ? FillWindow(dir > 0 ? Step::kFirst : Step::kLast, dir)
                            : FillWindow(dir > 0 ? Step::kAfter : Step::kBefore, dir);
    if (!found) {
      if (dir > 0)
        SetOff(!on_record_ && bof_, true);
      else
        SetOff(true, !on_record_ && eof_);
      return;
    }
    TakeNextFromWindow();
  }
}

void CursorWalk::GotoRecord(int64_t recno) {
  FlushEdits();
  window_.Drop();
  if (recno == 0) {
    SetOff(false, true);
    return;
  }
  ReadCurrent(recno);
}

bool CursorWalk::IsVisible() {
  RequireRecord();
  if (gone_) return false;
  if (cursor_.writer.appending())  // not in the table yet: its own values decide
    return cursor_.writer.EvaluateOnAppended("1", ConditionText("", false)).kind !=
           Value::Kind::kUnset;
  if (current_.visible_known) return true;
  WalkStatement& stmt = Statement(Step::kVisible);
  BindCondition(stmt);
  stmt.BindInt64(102, current_.rowid);
  bool visible = stmt.Step();
  stmt.Reset();
  current_.visible_known = visible;
  return current_.visible_known;
}

bool CursorWalk::IsDeleted() {
  RequireRecord();
  return gone_ || current_.image[0] == '*';
}

void CursorWalk::KeepWindowOverWrite(const StoreMark& before, const StoreMark& after) {
  if (before.changes >= 0 && window_read_ == before)
    window_read_ = after;
  else
    window_.Drop();
}

bool CursorWalk::Refresh() {
  RequireRecord();
  // Rows read ahead under a mark that still holds are what the table holds:
  // nothing changed since (an edit-and-move walk refreshes every record).
  if (!Holds(window_read_)) window_.Drop();
  int64_t rowid = current_.rowid;
  // Read under a mark that still holds, with nothing written into the image
  // since: the table holds the record as it was read.
  if (!gone_ && rowid == current_read_rowid_ && IsNdt(cursor_) && Holds(current_read_))
    return false;
  // Read with its lock, and nothing sent to the store since: nobody else
  // can have changed it, and this session did not.
  const uint64_t under_lock = std::exchange(read_under_lock_, 0);
  if (!gone_ && rowid == current_read_rowid_ && under_lock != 0 &&
      under_lock == cursor_.rows_session().Requests())
    return false;
  try {
    ReadCurrent(rowid);
  } catch (const EngineError& e) {
    if (e.number() != NDS_E_INVALID_RECORD) throw;
    gone_ = true;  // deleted meanwhile: the cursor stays on its place
    current_.image[0] = '*';
    current_read_rowid_ = 0;
    return false;
  }
  return true;
}

// ---- counts and positions ---------------------------------------------------------

namespace {

uint64_t RunCount(WalkStatement& stmt) {
  if (!stmt.Step()) {
    stmt.Reset();
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; a count gave no row");
  }
  uint64_t n = static_cast<uint64_t>(stmt.Int64(0));
  stmt.Reset();
  return n;
}

}  // namespace

uint64_t CursorWalk::Count(uint16_t option) {
  // NDS_REFRESHCOUNT asks for a fresh count; every count here is fresh.
  Step step;
  switch (option & ~NDS_REFRESHCOUNT) {
    case NDS_RESPECTFILTERS:
      step = Step::kCount;
      break;
    case NDS_IGNOREFILTERS:
      step = Step::kCountAll;
      break;
    case NDS_RESPECTSCOPES:
      step = Step::kCountScoped;
      break;
    default:
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown count option " + std::to_string(option) + ".");
  }
  WalkStatement& stmt = Statement(step);
  BindCondition(stmt);
  return RunCount(stmt);
}

uint64_t CursorWalk::KeyNumber(uint16_t option) {
  if (option != NDS_RESPECTFILTERS && option != NDS_IGNOREFILTERS && option != NDS_RESPECTSCOPES)
    throw EngineError(NDS_E_INVALID_OPTION,
                      "Unknown filter option " + std::to_string(option) + ".");
  if (!on_record_) return 0;
  // An unwritten append counts from where its key would place it.
  Value key = cursor_.writer.appending() && !order_key_.empty()
                  ? cursor_.writer.EvaluateOnAppended(order_key_, "")
                  : current_.key;
  WalkStatement& stmt = Statement(Step::kCountBefore);
  BindCondition(stmt);
  stmt.Bind(101, key);
  stmt.BindInt64(102, current_.rowid);
  return RunCount(stmt) + 1;
}

double CursorWalk::RelativePosition() {
  uint64_t count = Count(NDS_RESPECTFILTERS);
  if (count == 0) throw EngineError(NDS_E_NO_POSITION, "The cursor shows no records.");
  if (!on_record_) return eof_ && !bof_ ? 1.0 : 0.0;
  if (count == 1) return 0.0;
  return static_cast<double>(KeyNumber(NDS_RESPECTFILTERS) - 1) / static_cast<double>(count - 1);
}

void CursorWalk::SetRelativePosition(double position) {
  FlushEdits();
  if (!(position >= 0.0)) position = 0.0;
  uint64_t count = Count(NDS_RESPECTFILTERS);
  if (count == 0) {
    SetOff(true, true);
    return;
  }
  uint64_t offset =
      std::min<uint64_t>(static_cast<uint64_t>(std::floor(position * count)), count - 1);
  WalkStatement& stmt = Statement(Step::kAtOffset);
  BindCondition(stmt);
  stmt.BindInt64(104, static_cast<int64_t>(offset));
  bool found = stmt.Step();
  current_read_rowid_ = 0;
  if (found) {
    ReadRow(stmt, &current_);
    current_.visible_known = true;
  }
  stmt.Reset();
  if (!found) return SetOff(true, true);
  window_.Drop();
  on_record_ = true;
  gone_ = false;
  bof_ = eof_ = false;
}

// ---- the current record ----------------------------------------------------------

void CursorWalk::RequireRecord() const {
  if (!on_record_) throw EngineError(NDS_E_NO_CURRENT_RECORD, "There is no current record.");
}

const std::vector<uint8_t>& CursorWalk::CurrentImage() const {
  RequireRecord();
  return current_.image;
}

}  // namespace nce
