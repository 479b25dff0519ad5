// The moving part of a cursor: its position among the rows it sees, the
// record image of the current row and a read-ahead window of the rows that
// follow. Edits of the current record are the record writer's
// (record_writer.h), which edits the image the walk holds.
//
// Rows are walked in the order of a key expression (none: record-number
// order) through the statements of NavigationSql. Moving forward reads up to
// `cache_size` rows per statement run, so a forward walk costs about one
// SQLite step per record. A walk that keeps going the same way past whole
// windows doubles the window each time, up to a bound of rows and bytes of
// record images (read_ahead_window.h): every statement run starts a read
// transaction and seeks afresh, which at ten rows a run costs as much as
// building the records. The window is dropped whenever this cursor changes
// data; rows another connection changes show up once the window is passed or
// the record is refreshed. A window of 0 reads one row at a time and never
// grows.
//
// Locks: every member function expects the caller to hold the lock of the
// cursor's connection (Connection::mutex(), taken by the engine function that
// reached the cursor); a walk is never shared between threads without it.
#ifndef ENGINE_CURSOR_CURSOR_WALK_H
#define ENGINE_CURSOR_CURSOR_WALK_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/base/values.h"
#include "engine/cursor/navigation_sql.h"
#include "engine/cursor/read_ahead_window.h"
#include "engine/cursor/walk_statements.h"
#include "engine/storage/store_mark.h"

namespace nce {

class Cursor;

class CursorWalk {
 public:
  // `cursor` owns the walk and outlives it; the walk reads its table, fields,
  // conditions and connection, and writes unwritten edits through its
  // writer before it moves.
  explicit CursorWalk(Cursor& cursor);
  ~CursorWalk();
  CursorWalk(const CursorWalk&) = delete;
  CursorWalk& operator=(const CursorWalk&) = delete;

  // ---- set-up: the rows and the order the cursor walks ----------------------
  // Builds the statements for the cursor and goes before the first row.
  // Called when the cursor opens and whenever the order or a condition
  // changes; the statements of an order and conditions used before come back
  // prepared (WalkStatements).
  void Attach();
  // Order key (SQL expression over the table's columns) and direction; empty
  // for record-number order. Takes effect at the next Attach.
  void SetOrder(std::string key_sql, bool descending);
  // A condition on the rows the cursor shows (filters, scopes), by name so
  // that each can be set and cleared on its own; "" clears it.
  void SetCondition(const std::string& name, std::string sql);
  void SetCacheSize(uint16_t rows) { window_.SetCacheSize(rows); }
  // Finalizes every statement the walk keeps, as its cursor goes away.
  void DropStatements();

  // ---- position ---------------------------------------------------------------
  // Each move writes the cursor's unwritten edits first (RecordWriter::Flush).
  void GotoTop();
  void GotoBottom();
  void GotoBof();
  void Skip(int64_t rows);
  // Positions on record `recno` whether or not the cursor shows it.
  void GotoRecord(int64_t recno);
  bool at_bof() const { return bof_; }
  bool at_eof() const { return eof_; }
  bool on_record() const { return on_record_; }
  int64_t record_number() const { return on_record_ ? current_.rowid : 0; }
  bool IsVisible();
  bool IsDeleted();
  // Re-reads the current record from the table as it stands (no edits:
  // RecordWriter::Refresh keeps those). False when nothing was read: the
  // record was read under a store mark that still holds, or it is gone (its
  // image then reads as deleted).
  bool Refresh();

  // ---- counts and key positions ------------------------------------------------
  uint64_t Count(uint16_t option);
  uint64_t KeyNumber(uint16_t option);
  double RelativePosition();
  void SetRelativePosition(double position);

  // ---- the current record ---------------------------------------------------------
  // Throws NDS_E_NO_CURRENT_RECORD off a record.
  void RequireRecord() const;
  // The current record image; throws as RequireRecord.
  const std::vector<uint8_t>& CurrentImage() const;
  // The order key of the current record (unset off a record or in
  // record-number order).
  const Value& current_key() const { return current_.key; }

  // ---- hooks of index orders, scopes and filters (cursor_walk_orders.cpp) ----
  // Rebuilds the statements after SetOrder or SetCondition and stays on the
  // current record when it still exists. With `repositions` the caller moves
  // the cursor right after (a seek), so the record is not read again: the
  // cursor stands before the first row until PositionFromStatement, and a
  // caller that fails before that calls RestorePlace.
  void Reattach(bool repositions = false);
  // After Reattach(true) when the caller could not move the cursor: back on
  // the record as Reattach() would have left it. Nothing once the cursor has
  // moved.
  void RestorePlace();
  // The statement texts the cursor walks with (built on first use).
  const NavigationSql& Navigation();
  // Binds the cursor's own condition values (?1 ... ?100) to `stmt`; the
  // walk statement is reset first.
  void BindConditionValues(WalkStatement& stmt) { BindCondition(stmt); }
  void BindConditionValues(StoreStatement& stmt) const;
  // Steps `stmt`, whose columns are those of NavigationSql's row queries:
  // the cursor goes to its first row, or past the end when there is none.
  // Returns whether it is on a row.
  bool PositionFromStatement(WalkStatement& stmt);
  // The rows a count or step sees: the cursor's own condition, plus the
  // named conditions whose names begin with `prefix` ("" all, "scope" scopes
  // only, "-" none), plus the deleted-record rule when asked.
  std::string ConditionText(const std::string& prefix, bool with_deleted) const;

  // ---- for the record writer: the current row it edits ------------------------------
  // The writer encodes edits into the current image in place, and moves an
  // unwritten append to another number when its own is taken; the walk
  // keeps what the image is known to be through the calls below.
  CursorRow& current_row() { return current_; }
  // The current record was deleted (or vanished): its image reads as deleted.
  bool gone() const { return gone_; }
  // Whether rows are walked in record-number order (no order key).
  bool in_record_order() const { return order_key_.empty(); }
  // The mark of the database holding the rows now (store_mark.h); none on a
  // server. Holds: whether `mark` is a mark that still holds.
  StoreMark MarkNow() const;
  bool Holds(const StoreMark& mark) const { return mark.changes >= 0 && MarkNow() == mark; }
  // The mark under which the current image was read from the table, and
  // that record's number; 0 once anything else went into the image.
  const StoreMark& read_mark() const { return current_read_; }
  int64_t read_rowid() const { return current_read_rowid_; }
  // The writer put an edit into the image: it is no longer the row as read.
  void ImageChanged() { current_read_rowid_ = 0; }
  // This cursor changed data: rows read ahead may be stale.
  void DropWindow() { window_.Drop(); }
  // This cursor changed the current row alone, from the store at `before`
  // to `after` (one change): the rows read ahead stay when they were read
  // under `before`, for no other row changed; else they go.
  void KeepWindowOverWrite(const StoreMark& before, const StoreMark& after);
  // Reads record `rowid` from the table as the current one; throws
  // NDS_E_INVALID_RECORD when the table has no such row.
  void ReadCurrent(int64_t rowid);
  // The same from a write that returned the row it wrote (its statement
  // ends with Navigation().Returning() and stands on that row).
  void HoldReturned(const StoreStatement& stmt);
  // The same from a read that came back with the current record's exclusive
  // lock (the walk's row columns, standing on the row): Refresh keeps it
  // while the store counts no further request (StoreSession::Requests).
  void HoldReadUnderLock(const StoreStatement& stmt);
  // After a write known to have stored the image as it is: the current
  // record is row `rowid` as the table holds it under `mark`.
  void HoldWritten(const StoreMark& mark, int64_t rowid);
  // After an append: the current record is a new one, numbered `rowid` and
  // not in the table; the caller builds its image in the returned row.
  CursorRow& StandOnNew(int64_t rowid);
  // After a delete: the image reads as deleted; `gone` when the row left the
  // table, not only marked (a marked record stays, hidden unless shown).
  void MarkDeleted(bool gone);
  // After an unwritten append was dropped: off a record, past the last row.
  void LeaveRecord() { SetOff(false, true); }
  // What the walk knows of the end of its table, for appends: the highest
  // record number in use under `now` (0: not known) ...
  int64_t KnownHighest(const StoreMark& now) const;
  // ... forgetting it when a number turned out taken ...
  void ForgetEnd() { known_end_ = KnownEnd(); }
  // ... and learning it after the append of row `rowid`, whose number was
  // reserved under `reserved` with `highest` the highest number then; `now`
  // is the store's mark right after the append.
  void LearnEndFromAppend(const StoreMark& reserved, int64_t highest, int64_t rowid,
                          const StoreMark& now);

 private:
  using Step = WalkStep;
  // Where the cursor stood before an order or condition change.
  struct Place {
    bool pending = false;  // Reattach(true) left it to go back to
    bool had = false;      // on a record (not deleted)
    int64_t rowid = 0;     // that record
    bool bof = true, eof = false;
  };

  WalkStatement& Statement(Step step);
  void BindCondition(WalkStatement& stmt);
  void ReadRow(WalkStatement& stmt, CursorRow* row);
  // Runs a row query into `window_`, `rows` rows at most (0: the window's
  // size); false when it gave no row.
  bool FillWindow(Step step, int direction, uint32_t rows = 0);
  void TakeNextFromWindow();
  // After a fill of `asked` rows by `step`: where the server's rows ended,
  // so that a walk to that end needs no read that finds nothing.
  void NoteEnds(Step step, int direction, uint32_t asked);
  void SetOff(bool bof, bool eof);
  // Rows the next window of a walk in `direction` reads: the set size, or
  // twice the last window when the walk used that one up going the same way.
  uint32_t NextWindowRows(Step step, int direction);
  // Writes the cursor's unwritten edits before a move.
  void FlushEdits();
  bool HidesDeleted() const;
  // Goes back to `place` after the statements changed: the record read
  // through the new statements, else the ends the cursor was at.
  void ReturnTo(const Place& place);
  // Reads row `rowid` through the statement of `step` into the current
  // record; false when the statement finds no such row.
  bool ReadCurrentRow(Step step, int64_t rowid, bool visible_known);
  // What the cursor knows of the end of its table under a mark. Bulk
  // appends go past the end and reserve the number above the highest
  // before every record; with this they read neither.
  struct KnownEnd {
    StoreMark mark;
    int64_t last_row = 0;  // the last row the cursor shows; 0: not known
    int64_t highest = 0;   // the highest record number in use; 0: not known
  };
  // Whether the cursor shows every row of its table in record-number order
  // or its order, with nothing to hide: only then is its last row a fact of
  // the table alone.
  bool ShowsWholeTable();

  Cursor& cursor_;  // the cursor walking; owns this walk

  // Rows and order.
  WalkStatements statements_;                      // texts and statements, per shape
  std::string order_key_;                          // order key expression, "" for rowid
  bool descending_ = false;                        // order direction
  std::map<std::string, std::string> conditions_;  // named extra conditions
  uint64_t show_deleted_generation_ = 0;           // setting the statements were built for
  int64_t rights_version_ = -1;                    // rights they were built for (a server's)

  // Position.
  bool on_record_ = false;         // current_ holds a record
  bool bof_ = true, eof_ = false;  // before the first / after the last row
  bool gone_ = false;              // the current record was deleted (or vanished)
  CursorRow current_;              // the current row
  Place deferred_;                 // the place a repositioning caller may go back to
  ReadAheadWindow window_;         // rows read ahead of the position
  // The mark under which the rows of the window are as the table holds them
  // (none outside a write transaction): while it holds, a refresh of the
  // current record keeps them.
  StoreMark window_read_;
  KnownEnd known_end_;  // see KnownEnd
  // The mark under which the current record was last read by its number,
  // and that number (0 once anything else put a record or an edit there):
  // a refresh under a mark that still holds reads nothing.
  StoreMark current_read_;
  int64_t current_read_rowid_ = 0;
  // The store's request count right after the current row was read under
  // this cursor's exclusive lock (HoldReadUnderLock); 0: not so read.
  uint64_t read_under_lock_ = 0;
};

// Process-wide: whether cursors show records marked deleted (DBF tables).
void SetShowDeleted(bool show);
bool ShowDeleted();

// The name under which DeletedMarksTable() keeps the deletion marks of a
// DBF-kind cursor's table (StoreDialect::DeletedMarksKey).
std::string DeletedMarksKey(const Cursor& c);
// A query of the record numbers of the cursor's table that carry a mark.
std::string MarkedRecordsSql(const Cursor& c);

}  // namespace nce

#endif  // ENGINE_CURSOR_CURSOR_WALK_H
