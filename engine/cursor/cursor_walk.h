// The moving part of a cursor: its position among the rows it sees, the
// record image of the current row, a read-ahead window of the rows that
// follow, and the edits made to the current record until they are written.
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
// Record locks (Lock, Unlock, writes) also take the process's record lock
// table's mutex for the moment of each lock operation, inside the
// connection's lock.
#ifndef ENGINE_CURSOR_CURSOR_WALK_H
#define ENGINE_CURSOR_CURSOR_WALK_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/values.h"
#include "engine/cursor/kept_statements.h"
#include "engine/cursor/navigation_sql.h"
#include "engine/cursor/pending_values.h"
#include "engine/cursor/read_ahead_window.h"
#include "engine/cursor/walk_statements.h"
#include "engine/schema/catalog_schema.h"
#include "engine/storage/store_mark.h"

namespace nce {

class Cursor;
struct WriteSavepointStatements;  // record_write.h

class CursorWalk {
 public:
  CursorWalk();
  ~CursorWalk();
  CursorWalk(const CursorWalk&) = delete;
  CursorWalk& operator=(const CursorWalk&) = delete;

  // ---- set-up: the rows and the order the cursor walks ----------------------
  // Builds the statements for `cursor` and goes before the first row. Called
  // when the cursor opens and whenever the order or a condition changes; the
  // statements of an order and conditions used before come back prepared
  // (WalkStatements).
  void Attach(Cursor& cursor);
  // Order key (SQL expression over the table's columns) and direction; empty
  // for record-number order. Takes effect at the next Attach.
  void SetOrder(std::string key_sql, bool descending);
  // A condition on the rows the cursor shows (filters, scopes), by name so
  // that each can be set and cleared on its own; "" clears it.
  void SetCondition(const std::string& name, std::string sql);
  void SetCacheSize(uint16_t rows) { window_.SetCacheSize(rows); }

  // ---- position ---------------------------------------------------------------
  void GotoTop(Cursor& c);
  void GotoBottom(Cursor& c);
  void GotoBof(Cursor& c);
  void Skip(Cursor& c, int64_t rows);
  // Positions on record `recno` whether or not the cursor shows it.
  void GotoRecord(Cursor& c, int64_t recno);
  bool at_bof() const { return bof_; }
  bool at_eof() const { return eof_; }
  bool on_record() const { return on_record_; }
  int64_t record_number() const { return on_record_ ? current_.rowid : 0; }
  bool IsVisible(Cursor& c);
  bool IsDeleted(Cursor& c);
  // Re-reads the current record from the table.
  void Refresh(Cursor& c);

  // ---- counts and key positions ------------------------------------------------
  uint64_t Count(Cursor& c, uint16_t option);
  uint64_t KeyNumber(Cursor& c, uint16_t option);
  double RelativePosition(Cursor& c);
  void SetRelativePosition(Cursor& c, double position);

  // ---- the current record ---------------------------------------------------------
  // The current record image; throws NDS_E_NO_CURRENT_RECORD off a record.
  const std::vector<uint8_t>& CurrentImage() const;
  // The current value of field `index` (0-based), edits included.
  Value FieldValue(Cursor& c, size_t index);
  // Contents of a blob field, edits included; `offset`/`length` select a part.
  std::string BlobPart(Cursor& c, size_t index, uint64_t offset, uint64_t length);
  uint64_t BlobLength(Cursor& c, size_t index);
  bool BlobIsBinary(Cursor& c, size_t index);
  uint32_t Checksum(Cursor& c);

  // ---- editing ---------------------------------------------------------------------
  // Makes a new record the current one without writing to the table: it gets
  // a reserved record number (locked, so other cursors and processes pass it
  // by) and the columns' default values; Write inserts it.
  void Append(Cursor& c);
  void SetValue(Cursor& c, size_t index, Value value);
  void Write(Cursor& c);
  // False when there was nothing to cancel.
  bool Cancel(Cursor& c);
  void Delete(Cursor& c);
  void Lock(Cursor& c, int64_t recno);
  void Unlock(Cursor& c, int64_t recno);
  // Drops the cursor's locks (it closes).
  void ReleaseLocks(Cursor& c);
  // Holds the cursor's table while it is open: record 0 stands for the
  // table, shared by every open, taken whole by an exclusive one. Throws
  // NDS_E_LOCK_FAILED when another open keeps it out. The locks go with
  // the cursor (ReleaseLocks).
  void HoldTable(Cursor& c, bool exclusive);
  // Refuses a change of record `recno`, which another cursor or session
  // holds, with NDS_E_LOCK_FAILED.
  [[noreturn]] static void ThrowLocked(const Cursor& c, int64_t recno);
  // Takes record `recno` (0: the table) in the store for this cursor, where
  // other machines see it (a server's locks); false when another session
  // holds it. True at once where the store keeps no locks of its own: the
  // process's lock table, the caller's to ask first, is all there is.
  bool LockInStore(Cursor& c, int64_t recno, bool shared);
  void UnlockInStore(Cursor& c, int64_t recno, bool shared);
  // Finalizes every statement the walk keeps, as its cursor goes away.
  void DropStatements();
  // Writes unwritten edits of a cursor that is going away with its
  // connection; when the write fails they are cancelled. Never throws.
  void WriteOrCancelOnClose(Cursor& c) noexcept;
  uint32_t last_autoinc() const { return last_autoinc_; }
  bool editing() const { return !pending_.empty() || appended_; }
  // True while the current record is an append not yet written: it exists
  // for this cursor only, and not in the table.
  bool appending() const { return appended_; }
  // One value over the unwritten append, edits included (an order key, a
  // condition): `sql` over its row where `where` holds; unset where not.
  Value EvaluateOnAppended(Cursor& c, const std::string& sql, const std::string& where);

  // ---- hooks of index orders, scopes and filters (cursor_walk_orders.cpp) ----
  // Rebuilds the statements after SetOrder or SetCondition and stays on the
  // current record when it still exists. With `repositions` the caller moves
  // the cursor right after (a seek), so the record is not read again: the
  // cursor stands before the first row until PositionFromStatement, and a
  // caller that fails before that calls RestorePlace.
  void Reattach(Cursor& c, bool repositions = false);
  // After Reattach(c, true) when the caller could not move the cursor: back
  // on the record as Reattach(c) would have left it. Nothing once the cursor
  // has moved.
  void RestorePlace(Cursor& c);
  // The statement texts the cursor walks with (built on first use).
  const NavigationSql& Navigation(Cursor& c);
  // Binds the cursor's own condition values (?1 ... ?100) to `stmt`.
  void BindConditionValues(Cursor& c, WalkStatement& stmt) { BindCondition(c, stmt); }
  // Steps `stmt`, whose columns are those of NavigationSql's row queries:
  // the cursor goes to its first row, or past the end when there is none.
  // Returns whether it is on a row.
  bool PositionFromStatement(Cursor& c, WalkStatement& stmt);
  // The order key of the current record (unset off a record or in
  // record-number order).
  const Value& current_key() const { return current_.key; }

 private:
  using Step = WalkStep;
  // Where the cursor stood before an order or condition change.
  struct Place {
    bool pending = false;  // Reattach(c, true) left it to go back to
    bool had = false;      // on a record (not deleted)
    int64_t rowid = 0;     // that record
    bool bof = true, eof = false;
  };

  WalkStatement& Statement(Cursor& c, Step step);
  void BindCondition(Cursor& c, StoreStatement& stmt);
  void BindCondition(Cursor& c, WalkStatement& stmt);
  // The one row of an unwritten append as an SQL source ("(SELECT ... AS
  // name, ..., ... AS rowid)"), for evaluating expressions over it, and the
  // binder of its parameters (?201 on). `with_edits` false gives the record
  // as appended, before the cursor's edits.
  std::string PendingRowSource(Cursor& c) const;
  void BindPendingRow(Cursor& c, StoreStatement& stmt, bool with_edits) const;
  void ReadRow(Cursor& c, WalkStatement& stmt, CursorRow* row);
  // Runs a row query into `window_`, `rows` rows at most (0: the window's
  // size); false when it gave no row.
  bool FillWindow(Cursor& c, Step step, int direction, uint32_t rows = 0);
  void TakeNextFromWindow();
  void SetOff(bool bof, bool eof);
  // Rows the next window of a walk in `direction` reads: the set size, or
  // twice the last window when the walk used that one up going the same way.
  uint32_t NextWindowRows(Cursor& c, Step step, int direction);
  void FlushEdits(Cursor& c);
  // The rows a count or step sees: the cursor's own condition, plus the
  // named conditions whose names begin with `prefix` ("" all, "scope" scopes
  // only, "-" none), plus the deleted-record rule when asked.
  std::string ConditionText(Cursor& c, const std::string& prefix, bool with_deleted) const;
  bool HidesDeleted(Cursor& c) const;
  // Goes back to `place` after the statements changed: the record read
  // through the new statements, else the ends the cursor was at.
  void ReturnTo(Cursor& c, const Place& place);
  // The number the process's lock table gives the cursor's table (asked once).
  uint32_t LockNumber(Cursor& c);
  void RequireWritable(Cursor& c) const;
  void RequireRecord() const;
  // Reads row `rowid` through the statement of `step` into the current
  // record; false when the statement finds no such row.
  bool ReadCurrentRow(Cursor& c, Step step, int64_t rowid, bool visible_known);
  void ReadCurrentByRowid(Cursor& c, int64_t rowid);
  // Engine-stamped columns (row version, modification time) and their values
  // for the write under way.
  void StampWrite(Cursor& c, std::vector<std::pair<std::string, Value>>* columns);
  // The next row version of the table, for the ROWVERSION field `f`.
  int64_t NextRowVersion(Cursor& c, const FieldDesc& f);
  // Writes the edits by the kept UPDATE; returns that statement, or null when
  // the write stamped engine columns too (or wrote nothing).
  StoreStatement* UpdateEdited(Cursor& c);
  // Inserts the appended record (inside the caller's savepoint); returns the
  // record number it got. `insert` gets the kept INSERT, or null when the
  // write stamped engine columns too.
  int64_t InsertAppended(Cursor& c, StoreStatement** insert);
  void WriteAppended(Cursor& c);
  // Drops an unwritten append and its reservation.
  void DropAppended(Cursor& c);
  // Locks the lowest free record number above the table's highest and
  // returns it.
  int64_t ReserveRecordNumber(Cursor& c);
  // The highest record number the table has used, read from the table.
  int64_t HighestNumber(Cursor& c);
  // After the append of row `rowid` was written: what it tells of the end.
  // Returns the store's mark now.
  StoreMark LearnEndFromAppend(Cursor& c, int64_t rowid);
  // A field of the appended record: its edit, else its default.
  const Value& AppendedValue(size_t index) const;
  // The appended record's image: its edits over its defaults.
  void BuildAppendedImage(Cursor& c);
  // The field that column `column`'s DEFAULT clause fills in a new record;
  // -1 for none, and for fields the engine fills itself at the write.
  static int DefaultedField(const Cursor& c, const std::string& column);
  // The columns' default values for a new record, evaluated now.
  void ColumnDefaults(Cursor& c, std::vector<Value>* defaults);
  // A statement of the write, lock and checksum code, kept (KeptStatements)
  // on the session holding the cursor's rows.
  StoreStatement& KeptStatement(Cursor& c, const std::string& sql);
  // The kept INSERT of an append that gives `fields` (indexes) and `stamps`
  // (engine-stamped columns) a value; the record number is parameter 1, which
  // the statement leaves unused when `sqlite_numbers` (SQLite numbers the row).
  StoreStatement& InsertStatement(Cursor& c, const std::vector<size_t>& fields,
                                  const std::vector<std::pair<std::string, Value>>& stamps,
                                  bool sqlite_numbers);
  // Whether SQLite, numbering the appended row itself, gives it the number
  // the reservation took (see InsertAppended).
  bool SqliteNumbersAsReserved(Cursor& c, const std::vector<size_t>& fields);
  // The kept UPDATE of an edit of `fields` and `stamps`.
  StoreStatement& UpdateStatement(Cursor& c, const std::vector<size_t>& fields,
                                  const std::vector<std::pair<std::string, Value>>& stamps);
  // The kept statements of the savepoint around a write of several
  // statements; none (null members) when the write is one statement, which
  // SQLite makes all or nothing by itself.
  WriteSavepointStatements SavepointFor(Cursor& c, bool appending);

  // `expression` over the current record's row; unset when the row is gone.
  Value RowValue(Cursor& c, const std::string& expression);
  // Whether the table has row `rowid`.
  bool RowExists(Cursor& c, int64_t rowid);
  // Whether new records take their numbers from the table's own sequence
  // (StoreDialect::NextRecordNumberSql); else the cursor finds a free one.
  bool NumbersFromSequence(Cursor& c);
  // A fresh number from that sequence, locked in the process's table.
  int64_t NumberFromSequence(Cursor& c);
  // Runs the write `stmt` of a record; a refusal becomes the engine's own
  // error: an empty NOT NULL column named as its field, a guard's refusal
  // as the store's guards word it (StoreSession::GuardRefusal).
  void RunWrite(Cursor& c, StoreStatement& stmt);
  // Whether another session of the store holds the record's lock (a
  // server's): asking costs a round trip. False where the store keeps none.
  bool LockedInStore(Cursor& c, int64_t rowid);
  // Takes a record's locks for the moment of a write (record_locks.cpp).
  class WriteLock;

  // Parameters of the pending row's values (below them: condition values and
  // the navigation parameters).
  static constexpr int kFirstPendingParameter = 201;

  // The mark of the database holding the rows now (store_mark.h); none on
  // a server.
  StoreMark MarkNow(Cursor& c) const;
  bool Holds(Cursor& c, const StoreMark& mark) const {
    return mark.changes >= 0 && MarkNow(c) == mark;
  }
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
  bool ShowsWholeTable(Cursor& c);

  // After `write` (the UPDATE of the pending edits, or the INSERT of the
  // appended record), run with the store at `before` (the mark the edited row
  // was read under, or the reservation's): whether the table now holds
  // exactly the current image (cursor_written.cpp). `after` is the store's
  // mark right after the write.
  bool WrittenAsImaged(Cursor& c, const StoreStatement* write, const StoreMark& before,
                       const StoreMark& after) const;
  // Reads the affinities and generated columns of the cursor's table and
  // trusts them for `write` as SQLite prepared it now.
  void LearnColumns(Cursor& c, const StoreStatement* write) noexcept;
  bool ColumnsTrusted(const StoreStatement* write) const;
  // ... and that they are an ordinary table's columns, none generated.
  bool StoresPlainColumns(const StoreStatement* write) const;

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

  // Edits of the current record.
  PendingValues pending_;              // field index -> new value
  bool appended_ = false;              // current record appended and never written
  std::vector<Value> defaults_;        // appended record: column defaults by field index
  std::vector<Value> spare_defaults_;  // room for the next append's defaults
  KeptStatements kept_;                // statements of writes, locks and checksums
  std::vector<size_t> write_fields_;   // the fields the write being made gives values
  // The query of the highest number the table gave out, when it never
  // gives one twice (NumberSequenceQuery); "" for other tables; read once.
  std::optional<std::string> sequence_query_;
  // The statement that gives a fresh number from the table's own sequence
  // (StoreDialect::NextRecordNumberSql); "" where the cursor finds a free
  // number itself; built once.
  std::optional<std::string> next_number_sql_;
  bool defaults_read_ = false;                          // the two below are built
  std::string defaults_sql_;                            // SELECT of the DEFAULT clauses, "" none
  std::vector<std::pair<size_t, int>> default_places_;  // its columns: field index, affinity
  std::vector<uint8_t> blank_image_;  // a new record's image without defaults; empty: not built
  std::set<int64_t> locks_;           // records locked through Lock
  // Locks this cursor holds in the store (a server's): record number (0 the
  // table), shared.
  std::multiset<std::pair<int64_t, bool>> store_locks_;
  uint32_t lock_table_ = 0;    // LockNumber; 0 not asked yet
  uint32_t last_autoinc_ = 0;  // autoincrement value of the last append
  KnownEnd known_end_;         // see KnownEnd
  KnownEnd reserved_from_;     // the mark and highest number of the last reservation
  // The mark under which the current record was last read by its number,
  // and that number (0 once anything else put a record or an edit there):
  // a refresh under a mark that still holds reads nothing.
  StoreMark current_read_;
  int64_t current_read_rowid_ = 0;
  // The record whose first pending edit went into an image read under
  // current_read_ (0: none): a write of the edits may know the row without
  // reading it back.
  int64_t edit_base_rowid_ = 0;
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
