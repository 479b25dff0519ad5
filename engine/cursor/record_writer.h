// The editing part of a cursor: the edits made to its current record until
// they are written, new records appended but not yet written, the record
// locks the cursor holds, and the statements its writes, locks and checksums
// keep prepared.
//
// The writer edits the current row the cursor's walk holds (cursor_walk.h):
// it encodes each edit into the walk's image, and after a write, delete or
// append tells the walk what the image now is (HoldWritten, MarkDeleted,
// StandOnNew) or has it read the row again (ReadCurrent). The walk, for its
// part, writes the edits before it moves (Flush) and asks the writer about
// an unwritten append (appending, EvaluateOnAppended).
//
// Locks: every member function expects the caller to hold the lock of the
// cursor's connection (Connection::mutex(), taken by the engine function that
// reached the cursor). Record locks (Lock, Unlock, writes) also take the
// process's record lock table's mutex for the moment of each lock operation,
// inside the connection's lock.
#ifndef ENGINE_CURSOR_RECORD_WRITER_H
#define ENGINE_CURSOR_RECORD_WRITER_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/values.h"
#include "engine/cursor/kept_statements.h"
#include "engine/cursor/pending_values.h"
#include "engine/schema/catalog.h"
#include "engine/storage/store_mark.h"

namespace nce {

class Cursor;
class CursorWalk;
struct WriteSavepointStatements;  // record_write.h

class RecordWriter {
 public:
  // `cursor` owns the writer and outlives it; its walk must be constructed
  // already (the writer keeps a reference to it).
  explicit RecordWriter(Cursor& cursor);
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // ---- values of the current record, edits included (record_writer_values.cpp)
  // The current value of field `index` (0-based).
  Value FieldValue(size_t index);
  // Contents of a blob field; `offset`/`length` select a part.
  std::string BlobPart(size_t index, uint64_t offset, uint64_t length);
  uint64_t BlobLength(size_t index);
  bool BlobIsBinary(size_t index);
  // The checksum of the record as the table holds it now (an unwritten
  // append: as appended).
  uint32_t Checksum();

  // ---- editing (record_writer.cpp, record_writer_append.cpp) -----------------------
  // Makes a new record the current one without writing to the table: it gets
  // a reserved record number (locked, so other cursors and processes pass it
  // by) and the columns' default values; Write inserts it.
  void Append();
  void SetValue(size_t index, Value value);
  void Write();
  // Writes the edits before the cursor moves; nothing when there are none.
  void Flush() {
    if (editing()) Write();
  }
  // False when there was nothing to cancel.
  bool Cancel();
  void Delete();
  // Re-reads the current record from the table; its unwritten edits stay.
  void Refresh();
  // Writes unwritten edits of a cursor that is going away with its
  // connection; when the write fails they are cancelled. Never throws.
  void WriteOrCancelOnClose() noexcept;
  uint32_t last_autoinc() const { return last_autoinc_; }
  bool editing() const { return !pending_.empty() || appended_; }
  // True while the current record is an append not yet written: it exists
  // for this cursor only, and not in the table.
  bool appending() const { return appended_; }
  // One value over the unwritten append, edits included (an order key, a
  // condition): `sql` over its row where `where` holds; unset where not.
  Value EvaluateOnAppended(const std::string& sql, const std::string& where);
  // Finalizes every statement the writer keeps, as its cursor goes away.
  void DropStatements() { kept_.Clear(); }

  // ---- record locks (record_writer_locks.cpp) ---------------------------------------
  // `recno` 0: the current record.
  void Lock(int64_t recno);
  void Unlock(int64_t recno);
  // Drops the cursor's locks (it closes).
  void ReleaseLocks();
  // Holds the cursor's table while it is open: record 0 stands for the
  // table, shared by every open, taken whole by an exclusive one. Throws
  // NDS_E_LOCK_FAILED when another open keeps it out. The locks go with
  // the cursor (ReleaseLocks).
  void HoldTable(bool exclusive);

 private:
  // Refuses a change of record `recno`, which another cursor or session
  // holds, with NDS_E_LOCK_FAILED.
  [[noreturn]] void ThrowLocked(int64_t recno) const;
  // Takes record `recno` (0: the table) in the store for this cursor, where
  // other machines see it (a server's locks); false when another session
  // holds it. True at once where the store keeps no locks of its own: the
  // process's lock table, the caller's to ask first, is all there is.
  bool LockInStore(int64_t recno, bool shared);
  void UnlockInStore(int64_t recno, bool shared);
  // The checksum of a row's fields, read from `row`'s columns from `first` on.
  uint32_t RowChecksum(const StoreStatement& row, int first) const;
  // Keeps the checksum of the current record as `row` (the walk's row
  // columns) read it with its lock, for Checksum while nothing else goes to
  // the store.
  void NoteChecksumUnderLock(const StoreStatement& row);
  // The one row of an unwritten append as an SQL source ("(SELECT ... AS
  // name, ..., ... AS rowid)"), for evaluating expressions over it, and the
  // binder of its parameters (?201 on). `with_edits` false gives the record
  // as appended, before the cursor's edits.
  std::string PendingRowSource() const;
  void BindPendingRow(StoreStatement& stmt, bool with_edits) const;
  // The number the process's lock table gives the cursor's table (asked once).
  uint32_t LockNumber();
  void RequireWritable() const;
  // Engine-stamped columns (row version, modification time) and their values
  // for the write under way.
  void StampWrite(std::vector<std::pair<std::string, Value>>* columns);
  // The next row version of the table, for the ROWVERSION field `f`.
  int64_t NextRowVersion(const FieldDesc& f);
  // Writes the edits by the kept UPDATE; returns that statement, or null when
  // the write stamped engine columns too (or wrote nothing).
  StoreStatement* UpdateEdited();
  // Inserts the appended record (inside the caller's savepoint); returns the
  // record number it got. `insert` gets the kept INSERT, or null when the
  // write stamped engine columns too.
  int64_t InsertAppended(StoreStatement** insert);
  void WriteAppended();
  // Drops an unwritten append and its reservation.
  void DropAppended();
  // Locks the lowest free record number above the table's highest and
  // returns it.
  int64_t ReserveRecordNumber();
  // The highest record number the table has used, read from the table.
  int64_t HighestNumber();
  // A field of the appended record: its edit, else its default.
  const Value& AppendedValue(size_t index) const;
  // The appended record's image: its edits over its defaults.
  void BuildAppendedImage();
  // The columns' default values for a new record, evaluated now.
  void ColumnDefaults(std::vector<Value>* defaults);
  // A statement of the write, lock and checksum code, kept (KeptStatements)
  // on the session holding the cursor's rows.
  StoreStatement& KeptStatement(const std::string& sql);
  // The kept INSERT of an append that gives `fields` (indexes) and `stamps`
  // (engine-stamped columns) a value; the record number is parameter 1, which
  // the statement leaves unused when `sqlite_numbers` (SQLite numbers the row).
  StoreStatement& InsertStatement(const std::vector<size_t>& fields,
                                  const std::vector<std::pair<std::string, Value>>& stamps,
                                  bool sqlite_numbers);
  // Whether SQLite, numbering the appended row itself, gives it the number
  // the reservation took (see InsertAppended).
  bool SqliteNumbersAsReserved(const std::vector<size_t>& fields);
  // The kept UPDATE of an edit of `fields` and `stamps`.
  StoreStatement& UpdateStatement(const std::vector<size_t>& fields,
                                  const std::vector<std::pair<std::string, Value>>& stamps);
  // The kept statements of the savepoint around a write of several
  // statements; none (null members) when the write is one statement, which
  // SQLite makes all or nothing by itself.
  WriteSavepointStatements SavepointFor(bool appending);

  // `expression` over the current record's row; unset when the row is gone.
  Value RowValue(const std::string& expression);
  // Whether the table has row `rowid`.
  bool RowExists(int64_t rowid);
  // Whether new records take their numbers from the table's own sequence
  // (StoreDialect::NextRecordNumberSql); else the cursor finds a free one.
  bool NumbersFromSequence();
  // A fresh number from that sequence, locked in the process's table.
  int64_t NumberFromSequence();
  // Runs the write `stmt` of a record; a refusal becomes the engine's own
  // error: an empty NOT NULL column named as its field, a guard's refusal
  // as the store's guards word it (StoreSession::GuardRefusal).
  // `first_row`: steps once instead, leaving `stmt` on the row it returned
  // (a write with RETURNING); whether there is one.
  bool RunWrite(StoreStatement& stmt, bool first_row = false);
  // Whether another session of the store holds the record's lock (a
  // server's): asking costs a round trip. False where the store keeps none.
  bool LockedInStore(int64_t rowid);
  // Takes a record's locks for the moment of a write (write_lock.h).
  class WriteLock;

  // Parameters of the pending row's values (below them: condition values and
  // the navigation parameters).
  static constexpr int kFirstPendingParameter = 201;

  // After `write` (the UPDATE of the pending edits, or the INSERT of the
  // appended record), run with the store at `before` (the mark the edited row
  // was read under, or the reservation's): whether the table now holds
  // exactly the current image (record_writer_written.cpp). `after` is the
  // store's mark right after the write.
  bool WrittenAsImaged(const StoreStatement* write, const StoreMark& before,
                       const StoreMark& after) const;
  // Reads the affinities and generated columns of the cursor's table and
  // trusts them for `write` as SQLite prepared it now.
  void LearnColumns(const StoreStatement* write) noexcept;
  bool ColumnsTrusted(const StoreStatement* write) const;
  // ... and that they are an ordinary table's columns, none generated.
  bool StoresPlainColumns(const StoreStatement* write) const;

  // Where the reservation of the last append read the table's highest
  // number: under `mark`, `highest` (0: the number came from a sequence).
  struct Reservation {
    StoreMark mark;
    int64_t highest = 0;
  };

  Cursor& cursor_;    // the cursor editing; owns this writer
  CursorWalk& walk_;  // the cursor's walk, holding the current row

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
  bool returned_ = false;             // the last write (UPDATE, INSERT) returned its row
  // The checksum of the row that came with the current record's exclusive
  // lock, and the store's request count right after (0: none): while the
  // count stays, the table holds the row as read (StoreSession::Requests).
  uint32_t crc_under_lock_ = 0;
  uint64_t crc_under_lock_requests_ = 0;
  int64_t crc_under_lock_rowid_ = 0;
  std::set<int64_t> locks_;  // records locked through Lock
  // Locks this cursor holds in the store (a server's): record number (0 the
  // table), shared.
  std::multiset<std::pair<int64_t, bool>> store_locks_;
  uint32_t lock_table_ = 0;    // LockNumber; 0 not asked yet
  uint32_t last_autoinc_ = 0;  // autoincrement value of the last append
  Reservation reserved_from_;  // see Reservation
  // The record whose first pending edit went into an image read under the
  // walk's read mark (0: none): a write of the edits may know the row
  // without reading it back.
  int64_t edit_base_rowid_ = 0;
};

}  // namespace nce

#endif  // ENGINE_CURSOR_RECORD_WRITER_H
