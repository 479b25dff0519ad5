// TDataSet: the window of record buffers, moving through the records,
// resynchronising, record numbers and bookmarks.
#include <algorithm>
#include <cstring>

#include "dataset/dataset.h"

namespace dataset {

// ---- The buffer list --------------------------------------------------------

void TDataSet::SetBufListSize(int size) {
  size = std::max(size, 0);
  int old_size = static_cast<int>(buffers_.size());
  if (size == old_size) return;
  if (size < old_size) {
    for (int i = size; i < old_size; ++i) ReleaseRecordBuffer(buffers_[i]);
    buffers_.resize(size);
  } else {
    buffers_.reserve(size);
    while (static_cast<int>(buffers_.size()) < size) buffers_.push_back(AllocateRecordBuffer());
  }
  // Records that no longer have a buffer leave the window; the cursor
  // position is no longer known by buffer.
  int room = std::max(size - 1, 0);
  if (record_count_ > room) {
    record_count_ = room;
    active_record_ = std::min(active_record_, std::max(room - 1, 0));
    current_record_ = -1;
  }
}

void TDataSet::SetBufferCount(int value) {
  value = std::max(value, 1);
  if (value == buffer_count_) return;
  if (value < buffer_count_ && record_count_ > value) {
    // Keep the active record in the smaller window: drop records above it
    // first, then below it.
    int drop_top = std::max(0, active_record_ - (value - 1));
    for (int i = 0; i < drop_top; ++i) MoveBuffer(0, static_cast<int>(buffers_.size()) - 1);
    active_record_ -= drop_top;
    record_count_ = std::min(record_count_ - drop_top, value);
    current_record_ = -1;
  }
  SetBufListSize(value + 1);
  buffer_count_ = value;
  if (state_ == dsBrowse || state_ == dsOpening) {
    GetNextRecords();
    GetPriorRecords();
  }
}

void TDataSet::SetActiveRecord(int index) {
  if (index < 0 || index >= record_count_) return;
  active_record_ = index;
}

void TDataSet::ClearBuffers() {
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() {
  record_count_ = 1;
  active_record_ = 0;
  current_record_ = 0;
  bof_ = false;
  eof_ = false;
}

// Moves the buffer at `from` to position `to`, shifting the buffers between.
void TDataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  TRecordBuffer buffer = buffers_[from];
  // A window of one record and its spare, a walk's, swaps the two.
  if (from + 1 == to || to + 1 == from) {
    buffers_[from] = buffers_[to];
    buffers_[to] = buffer;
    return;
  }
  if (from < to) {
    std::move(buffers_.begin() + from + 1, buffers_.begin() + to + 1, buffers_.begin() + from);
  } else {
    std::move_backward(buffers_.begin() + to, buffers_.begin() + from, buffers_.begin() + from + 1);
  }
  buffers_[to] = buffer;
}

// ---- Cursor position ----------------------------------------------------------

void TDataSet::SetCurrentRecord(int index) {
  if (current_record_ == index) return;
  TRecordBuffer buffer = buffers_[index];
  switch (ReadBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      GoToBufferRecord(buffer);
      break;
    case bfBOF:
      GoBeforeFirst();
      break;
    case bfEOF:
      GoAfterLast();
      break;
  }
  current_record_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (record_count_ > 0) SetCurrentRecord(active_record_);
}

// ---- Fetching -------------------------------------------------------------------

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (record_count_ > 0) {
    SetCurrentRecord(record_count_ - 1);
    // A new record not yet in the store: the cursor stands on the record it
    // was inserted before, which is the next one.
    if (state_ == dsInsert && current_record_ == active_record_ &&
        ReadBookmarkFlag(ActiveBuffer()) == bfCurrent) {
      mode = gmCurrent;
    }
  }
  if (FetchRecord(buffers_[record_count_], mode) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (record_count_ == 0) {
    ActivateBuffers();
  } else if (record_count_ < buffer_count_) {
    ++record_count_;
  } else {
    MoveBuffer(0, record_count_);
    --active_record_;
  }
  current_record_ = record_count_ - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (record_count_ > 0) SetCurrentRecord(0);
  if (FetchRecord(buffers_[record_count_], gmPrior) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (record_count_ == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(record_count_, 0);
    if (record_count_ < buffer_count_) {
      ++record_count_;
    }
    ++active_record_;
  }
  current_record_ = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int fetched = 0;
  while (record_count_ < buffer_count_ && GetNextRecord()) ++fetched;
  return fetched;
}

int TDataSet::GetPriorRecords() {
  int fetched = 0;
  while (record_count_ < buffer_count_ && GetPriorRecord()) ++fetched;
  return fetched;
}

// ---- Moving ----------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  ClearBuffers();
  try {
    GoBeforeFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    NotifyDataEvent(deDataSetChange);
    throw;
  }
  bof_ = true;
  NotifyDataEvent(deDataSetChange);
  Fire(AfterScroll);
}

void TDataSet::Last() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  ClearBuffers();
  try {
    GoAfterLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    eof_ = true;
    NotifyDataEvent(deDataSetChange);
    throw;
  }
  eof_ = true;
  NotifyDataEvent(deDataSetChange);
  Fire(AfterScroll);
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int moved = 0;
  Fire(BeforeScroll);
  if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
    bof_ = false;
    eof_ = false;
    int scroll = 0;  // how far the window's contents moved
    bool window_moved = false;
    try {
      UpdateCursorPos();
      while (distance > 0) {
        if (active_record_ < record_count_ - 1) {
          ++active_record_;
        } else {
          bool full = record_count_ == buffer_count_;
          if (!GetNextRecord()) {
            eof_ = true;
            break;
          }
          if (full) --scroll;
          window_moved = true;
          active_record_ = record_count_ - 1;
        }
        --distance;
        ++moved;
      }
      while (distance < 0) {
        if (active_record_ > 0) {
          --active_record_;
        } else {
          bool full = record_count_ == buffer_count_;
          if (!GetPriorRecord()) {
            bof_ = true;
            break;
          }
          if (full) ++scroll;
          window_moved = true;
          active_record_ = 0;
        }
        ++distance;
        --moved;
      }
    } catch (...) {
      NotifyDataEvent(deDataSetChange);
      throw;
    }
    if (window_moved) {
      NotifyDataEvent(deDataSetScroll, scroll);
    } else {
      NotifyDataEvent(deDataSetChange);
    }
  }
  Fire(AfterScroll);
  return moved;
}

void TDataSet::Resync(TResyncMode mode) {
  if (buffers_.empty()) return;
  TRecordBuffer spare = buffers_[record_count_];
  if (mode.Contains(rmExact)) {
    CursorPosChanged();
    if (FetchRecord(spare, gmCurrent) != grOK) DatabaseError(kRecordNotFoundMessage);
  } else if (FetchRecord(spare, gmCurrent) != grOK && FetchRecord(spare, gmNext) != grOK &&
             FetchRecord(spare, gmPrior) != grOK) {
    ClearBuffers();
    NotifyDataEvent(deDataSetChange);
    return;
  }
  int before = mode.Contains(rmCenter) ? (buffer_count_ - 1) / 2 : active_record_;
  MoveBuffer(record_count_, 0);
  ActivateBuffers();
  try {
    while (before > 0 && GetPriorRecord()) --before;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    NotifyDataEvent(deDataSetChange);
    throw;
  }
  NotifyDataEvent(deDataSetChange);
}

void TDataSet::Refresh() {
  CheckActive();
  Fire(BeforeRefresh);
  CheckBrowseMode();
  UpdateCursorPos();
  RefreshCurrentRecord();
  Resync({});
  Fire(AfterRefresh);
}

// ---- Record numbers ------------------------------------------------------------

int TDataSet::RecNo() {
  return ReadRecNo();
}

void TDataSet::SetRecNo(int value) {
  CheckActive();
  MoveToRecNo(value);
}

int TDataSet::RecordCount() {
  return CountRecords();
}

bool TDataSet::IsSequenced() const {
  return SequencedQuery();
}

int TDataSetHooks::ReadRecNo() {
  return -1;
}
void TDataSetHooks::MoveToRecNo(int) {}
int TDataSetHooks::CountRecords() {
  return -1;
}
bool TDataSetHooks::SequencedQuery() const {
  return false;
}

// ---- Bookmarks ---------------------------------------------------------------------

TBookmark TDataSet::GetBookmark() {
  TBookmark bookmark;
  if (!Active() || record_count_ == 0 || bookmark_size_ <= 0) return bookmark;
  TRecordBuffer buffer = ActiveBuffer();
  if (ReadBookmarkFlag(buffer) != bfCurrent) return bookmark;
  bookmark.resize(bookmark_size_);
  CopyBookmarkOut(buffer, bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  if (static_cast<int>(bookmark.size()) != bookmark_size_) DatabaseError(kRecordNotFoundMessage);
  Fire(BeforeScroll);
  GoToBookmark(bookmark.data());
  Resync({rmExact, rmCenter});
  Fire(AfterScroll);
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!Active() || bookmark.empty()) return false;
  if (static_cast<int>(bookmark.size()) != bookmark_size_) return false;
  return BookmarkIsValid(bookmark.data());
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  const void* pa = a.empty() ? nullptr : a.data();
  const void* pb = b.empty() ? nullptr : b.data();
  if (pa && static_cast<int>(a.size()) != bookmark_size_) pa = nullptr;
  if (pb && static_cast<int>(b.size()) != bookmark_size_) pb = nullptr;
  int result = CompareBookmarkValues(pa, pb);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool TDataSetHooks::BookmarkIsValid(const void*) {
  return false;
}

int TDataSet::CompareBookmarkValues(const void* a, const void* b) {
  if (!a && !b) return 0;
  if (!a) return 1;
  if (!b) return -1;
  return std::memcmp(a, b, bookmark_size_);
}

}  // namespace dataset
