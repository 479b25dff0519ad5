// Record buffers of the cursor dataset: their layout (TNdsRecordLayout),
// making and freeing them, reading the engine's record into one, and the
// buffer each dataset state reads from.
#include <cstring>
#include <memory>

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr std::uint16_t kRecordInfoSize = 8;
constexpr std::uint16_t kBlobSlotSize = 4;
constexpr std::int32_t kNewRecordNumber = -1;

}  // namespace

std::uint32_t TNdsDataSet::BufferEngineRecord(dataset::TRecordBuffer buffer) const {
  // A new record has no engine record yet, whatever bookmark the framework
  // gave its buffer (inserting copies the neighbour's).
  if (layout_.RecNo(buffer) == kNewRecordNumber) return 0;
  // Otherwise the bookmark's first word is the engine's record number.
  std::uint32_t record = 0;
  if (BookmarkSize() >= static_cast<int>(sizeof record))
    std::memcpy(&record, layout_.Bookmark(buffer), sizeof record);
  return record;
}

NDSHANDLE TNdsDataSet::BookmarkHandle() const {
  return activeOrderHandle_ != kNoHandle && activeOrderHandle_ != 0 ? activeOrderHandle_
                                                                    : tableHandle_;
}

bool TNdsRecordLayout::Compute(std::uint16_t recordSize, int calcSize, int blobFields,
                               std::uint32_t bookmarkLength, std::uint32_t& total) {
  const int blobSlots = recordSize + calcSize;
  const int info = blobSlots + kBlobSlotSize * blobFields;
  const int bookmark = info + kRecordInfoSize;
  total = static_cast<std::uint32_t>(bookmark) + bookmarkLength;
  if (total > 0xFFFF) return false;
  blobSlotOffset_ = static_cast<std::uint16_t>(blobSlots);
  infoOffset_ = static_cast<std::uint16_t>(info);
  bookmarkOffset_ = static_cast<std::uint16_t>(bookmark);
  bufferSize_ = static_cast<std::uint16_t>(total);
  return true;
}

void TNdsDataSet::ComputeBufferLayout() {
  std::uint32_t bookmarkLength = 0;
  CheckEngineCode(this, NdsGetBookmarkLength(BookmarkHandle(), &bookmarkLength));
  std::uint32_t total = 0;
  // Positions are 16-bit: a record too wide for them cannot be buffered.
  if (!layout_.Compute(recordSize_, CalcFieldsSize(), BlobFieldCount(), bookmarkLength, total))
    throw ENDSDatabaseError(this, NDS_E_COMPONENT,
                            "The record of this cursor is too large for a record buffer (" +
                                std::to_string(total) + " bytes).");
  SetBookmarkSize(static_cast<int>(bookmarkLength));
  blobCaches_.SetLayout(layout_.BlobSlotOffset(), static_cast<std::uint16_t>(BlobFieldCount()));
}

dataset::TRecordBuffer TNdsDataSet::AllocateRecordBuffer() {
  auto buffer = std::make_unique<std::uint8_t[]>(layout_.BufferSize());
  blobCaches_.Attach(buffer.get());
  return buffer.release();
}

void TNdsDataSet::ReleaseRecordBuffer(dataset::TRecordBuffer& buffer) {
  blobCaches_.Detach(buffer);
  delete[] buffer;
  buffer = nullptr;
}

int TNdsDataSet::RecordImageSize() {
  return recordSize_;
}

dataset::TBookmarkFlag TNdsDataSet::ReadBookmarkFlag(dataset::TRecordBuffer buffer) {
  return layout_.Flag(buffer);
}

void TNdsDataSet::WriteBookmarkFlag(dataset::TRecordBuffer buffer, dataset::TBookmarkFlag flag) {
  layout_.SetFlag(buffer, flag);
}

void TNdsDataSet::CopyBookmarkOut(dataset::TRecordBuffer buffer, void* bookmark) {
  std::memcpy(bookmark, layout_.Bookmark(buffer), static_cast<std::size_t>(BookmarkSize()));
}

void TNdsDataSet::CopyBookmarkIn(dataset::TRecordBuffer buffer, const void* bookmark) {
  std::memcpy(layout_.Bookmark(buffer), bookmark, static_cast<std::size_t>(BookmarkSize()));
}

void TNdsDataSet::InitRecordBuffer(dataset::TRecordBuffer buffer) {
  TDataSet::InitRecordBuffer(buffer);
  // A new record starts as current with no number and no bookmark: posting
  // it appends it.
  layout_.WriteInfo(buffer, kNewRecordNumber, dataset::bfCurrent);
  if (BookmarkSize() >= 4) std::memset(layout_.Bookmark(buffer), 0, 4);
}

void TNdsDataSet::ClearRecordImage(dataset::TRecordBuffer buffer) {
  // A new or emptied record has no blob contents of a record read before.
  blobCaches_.Reset(buffer);
  CheckEngineCode(this, NdsClearRecordBuffer(tableHandle_, buffer, recordSize_));
  // A record the engine already holds, the edited one or a new one appended
  // by a failed post, keeps its values there: once cleared, every field and
  // blob of it must be sent again. Without this its post would keep the
  // stored (or earlier handed-over) values while the cleared record showed
  // them null.
  const bool engineHoldsRecord =
      buffer == ActiveBuffer() &&
      (State() == dataset::dsEdit ||
       (State() == dataset::dsInsert && ReadBookmarkFlag(buffer) == dataset::bfInserted));
  ApplyDefaultExpressions(buffer, engineHoldsRecord);
  if (engineHoldsRecord) EmptyBlobCaches(buffer);
}

void TNdsDataSet::ReadEngineRecord(dataset::TRecordBuffer buffer, std::uint32_t& length,
                                   bool calcFields) {
  // Blob contents cached for the record the buffer held before are gone,
  // unposted changes included.
  blobCaches_.Reset(buffer);
  // One engine call for the image, the bookmark and the record number: a
  // bookmark names its record in every order, so the table handle's serves
  // for the active order's. The image is all a record needs: its texts as
  // stored (EstablishCursor) and each blob field's presence marker (-1
  // holds data, 0 empty or NULL), exactly as a post writes them.
  auto bookmarkLength = static_cast<std::uint32_t>(BookmarkSize());
  CheckEngineCode(this,
                  NdsGetRecordWithBookmark(tableHandle_, buffer, &length, layout_.Bookmark(buffer),
                                           &bookmarkLength, &readRecordNumber_));
  if (calcFields) CalculateFields(buffer);
}

dataset::TRecordBuffer TNdsDataSet::CurrentStateBuffer() {
  switch (State()) {
    case dataset::dsBrowse:
    case dataset::dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dataset::dsEdit:
    case dataset::dsInsert:
    case dataset::dsNewValue:
      return ActiveBuffer();
    case dataset::dsSetKey:
      return keyBuffers_.Allocated() ? keyBuffers_.RecordImage(keyBuffers_.Current()) : nullptr;
    case dataset::dsCalcFields:
      return CalcBuffer();
    case dataset::dsFilter:
      return filterBuffer_;
    case dataset::dsOldValue:
      return oldRecordImage_.empty() ? nullptr : oldRecordImage_.data();
    default:
      return nullptr;
  }
}

bool TNdsDataSet::CopyCurrentRecord(void* dest) {
  if (IsEmpty() || ReadBookmarkFlag(ActiveBuffer()) != dataset::bfCurrent) return false;
  UpdateCursorPos();
  std::memcpy(dest, ActiveBuffer(), recordSize_);
  return true;
}

}  // namespace nds
