// The rows a cursor read ahead of its position: one statement run fills the
// window, and moves the same way take rows from it without reading. A walk
// that keeps going the same way past whole windows doubles the window each
// time, up to a bound of rows and of bytes of record images.
#ifndef ENGINE_CURSOR_READ_AHEAD_WINDOW_H
#define ENGINE_CURSOR_READ_AHEAD_WINDOW_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/values.h"

namespace nce {

// One row as a cursor holds it.
struct CursorRow {
  int64_t rowid = 0;           // record number
  Value key;                   // order key value (unset in record-number order)
  std::vector<uint8_t> image;  // record image
  bool visible_known = false;  // fetched through the visible-rows query
};

class ReadAheadWindow {
 public:
  // Bounds of a grown window.
  static constexpr uint32_t kMaxRows = 512;
  static constexpr uint32_t kMaxBytes = 256 * 1024;
  // The same for a remote store, where every window costs a round trip (and,
  // on a busy machine, a wait for the server's turn): 16384 rows took a
  // million-record walk from 1.7 s to 1.45 s against 4096
  // (bench/server_walk_bench).
  static constexpr uint32_t kMaxRemoteRows = 16384;
  static constexpr uint32_t kMaxRemoteBytes = 2 * 1024 * 1024;

  // Rows per window before it grows (0: one row at a time, never growing).
  void SetCacheSize(uint16_t rows) {
    cache_size_ = rows;
    last_rows_ = rows;
    rows_.clear();
  }
  uint16_t cache_size() const { return cache_size_; }

  // Forgets the rows read (the cursor changed data, or moved elsewhere).
  void Drop() {
    len_ = pos_ = 0;
    dir_ = 0;
    end_ahead_ = end_behind_ = 0;
  }
  // Whether a row lies unread in the window in `direction` (+1 ahead, -1 behind).
  bool HasNext(int direction) const { return dir_ == direction && pos_ < len_; }
  // The next unread row; only when HasNext. Its members may be swapped out.
  CursorRow& TakeNext() { return rows_[pos_++]; }

  // How many rows the next fill in `direction` reads: the window grows when
  // a walk that `continues` the same way used up a whole window.
  uint32_t NextRows(bool continues, int direction, uint32_t record_length, bool remote) {
    if (cache_size_ == 0) return 1;
    continues = continues && dir_ == direction && len_ > 0 && pos_ == len_ && len_ == last_rows_;
    if (!continues) return last_rows_ = cache_size_;
    uint32_t record_bytes = std::max<uint32_t>(record_length, 1);
    uint32_t max_rows = remote ? kMaxRemoteRows : kMaxRows;
    uint32_t max_bytes = remote ? kMaxRemoteBytes : kMaxBytes;
    uint32_t limit =
        std::max<uint32_t>(cache_size_, std::min<uint32_t>(max_rows, max_bytes / record_bytes));
    return last_rows_ = std::min(last_rows_ * 2, limit);
  }

  // Filling: Begin, then Add for each row read, and Drop when the read
  // failed.
  void Begin(int direction) {
    len_ = pos_ = 0;
    dir_ = direction;
    end_ahead_ = end_behind_ = 0;
  }
  CursorRow& Add() {
    if (len_ == rows_.size()) rows_.emplace_back();
    return rows_[len_++];
  }
  bool empty() const { return len_ == 0; }

  // Where the read that filled the window found the rows to end: the
  // record after which (`direction` +1) or before which (-1) there was no
  // row then; 0 when the read did not reach that end. Forgotten with the
  // window.
  void SetEnd(int direction, int64_t rowid) { (direction > 0 ? end_ahead_ : end_behind_) = rowid; }
  int64_t End(int direction) const { return direction > 0 ? end_ahead_ : end_behind_; }
  // The first and the last row of the fill (only when not empty).
  int64_t FirstRowid() const { return rows_[0].rowid; }
  int64_t LastRowid() const { return rows_[len_ - 1].rowid; }
  size_t size() const { return len_; }

 private:
  std::vector<CursorRow> rows_;  // room for the rows, kept from one fill to the next
  size_t pos_ = 0;               // next unread row
  size_t len_ = 0;               // rows in use
  int dir_ = 0;                  // +1 the window lies ahead, -1 behind
  uint16_t cache_size_ = 10;     // rows per window (0: one row at a time)
  uint32_t last_rows_ = 10;      // rows of the last window read
  int64_t end_ahead_ = 0;        // SetEnd: no row after this one when read (0: not known)
  int64_t end_behind_ = 0;       // no row before this one when read (0: not known)
};

}  // namespace nce

#endif  // ENGINE_CURSOR_READ_AHEAD_WINDOW_H
