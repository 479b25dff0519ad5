// Record buffers of the cursor dataset. A buffer holds, in this order:
//
//   record image        RecordImageSize bytes, the engine's record as it
//                       returned it, each field at its descriptor's offset
//   calculated fields   CalcFieldsSize bytes (has-value byte + data each)
//   blob cache slots    4 bytes per blob field: 1 + the index of the
//                       buffer's cache for that field in the dataset's
//                       table of blob caches (TNdsBlobCaches)
//   record information  8 bytes: record number (int32), a reserved byte,
//                       the bookmark flag, two unused bytes
//   bookmark            BookmarkSize bytes, the engine's bookmark; its first
//                       32-bit word is what NdsGotoBookmark takes
//
// Every position is a 16-bit value. The layout follows the active order,
// whose bookmark length decides the last area.
#include <cstring>
#include <memory>

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr std::uint16_t kRecordInfoSize = 8;
constexpr std::uint16_t kBlobSlotSize = 4;
constexpr int kRecNoAt = 0;     // int32 record number in the record information
constexpr int kReservedAt = 4;  // always 0
constexpr int kFlagAt = 5;      // TBookmarkFlag
constexpr std::int32_t kNewRecordNumber = -1;

}  // namespace

std::uint32_t TNdsDataSet::BufferEngineRecord(dataset::TRecordBuffer buffer) const {
  // A new record has no engine record yet, whatever bookmark the framework
  // gave its buffer (inserting copies the neighbour's).
  if (BufferRecNo(buffer) == kNewRecordNumber) return 0;
  // Otherwise the bookmark's first word is the engine's record number.
  std::uint32_t record = 0;
  if (BookmarkSize() >= static_cast<int>(sizeof record))
    std::memcpy(&record, buffer + bookmarkOffset_, sizeof record);
  return record;
}

NDSHANDLE TNdsDataSet::BookmarkHandle() const {
  return activeOrderHandle_ != kNoHandle && activeOrderHandle_ != 0 ? activeOrderHandle_
                                                                    : tableHandle_;
}

void TNdsDataSet::ComputeBufferLayout() {
  const int blobCaches = recordSize_ + CalcFieldsSize();
  const int recordInfo = blobCaches + kBlobSlotSize * BlobFieldCount();
  const int bookmark = recordInfo + kRecordInfoSize;
  std::uint32_t bookmarkLength = 0;
  CheckEngineCode(this, NdsGetBookmarkLength(BookmarkHandle(), &bookmarkLength));
  const std::uint32_t total = static_cast<std::uint32_t>(bookmark) + bookmarkLength;
  // Positions are 16-bit: a record too wide for them cannot be buffered.
  if (total > 0xFFFF)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT,
                            "The record of this cursor is too large for a record buffer (" +
                                std::to_string(total) + " bytes).");
  SetBookmarkSize(static_cast<int>(bookmarkLength));
  blobCaches_.SetLayout(static_cast<std::uint16_t>(blobCaches),
                        static_cast<std::uint16_t>(BlobFieldCount()));
  recordInfoOffset_ = static_cast<std::uint16_t>(recordInfo);
  bookmarkOffset_ = static_cast<std::uint16_t>(bookmark);
  recordBufferSize_ = static_cast<std::uint16_t>(total);
}

dataset::TRecordBuffer TNdsDataSet::AllocateRecordBuffer() {
  auto buffer = std::make_unique<std::uint8_t[]>(recordBufferSize_);
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

void TNdsDataSet::WriteRecordInfo(dataset::TRecordBuffer buffer, std::int32_t recNo,
                                  dataset::TBookmarkFlag flag) {
  std::uint8_t* info = buffer + recordInfoOffset_;
  std::memcpy(info + kRecNoAt, &recNo, sizeof recNo);
  info[kReservedAt] = 0;
  info[kFlagAt] = flag;
}

std::int32_t TNdsDataSet::BufferRecNo(dataset::TRecordBuffer buffer) const {
  std::int32_t recNo = 0;
  std::memcpy(&recNo, buffer + recordInfoOffset_ + kRecNoAt, sizeof recNo);
  return recNo;
}

dataset::TBookmarkFlag TNdsDataSet::ReadBookmarkFlag(dataset::TRecordBuffer buffer) {
  return static_cast<dataset::TBookmarkFlag>(buffer[recordInfoOffset_ + kFlagAt]);
}

void TNdsDataSet::WriteBookmarkFlag(dataset::TRecordBuffer buffer, dataset::TBookmarkFlag flag) {
  buffer[recordInfoOffset_ + kFlagAt] = flag;
}

void TNdsDataSet::CopyBookmarkOut(dataset::TRecordBuffer buffer, void* bookmark) {
  std::memcpy(bookmark, buffer + bookmarkOffset_, static_cast<std::size_t>(BookmarkSize()));
}

void TNdsDataSet::CopyBookmarkIn(dataset::TRecordBuffer buffer, const void* bookmark) {
  std::memcpy(buffer + bookmarkOffset_, bookmark, static_cast<std::size_t>(BookmarkSize()));
}

void TNdsDataSet::InitRecordBuffer(dataset::TRecordBuffer buffer) {
  TDataSet::InitRecordBuffer(buffer);
  // A new record starts as current with no number and no bookmark: posting
  // it appends it.
  WriteRecordInfo(buffer, kNewRecordNumber, dataset::bfCurrent);
  if (BookmarkSize() >= 4) std::memset(buffer + bookmarkOffset_, 0, 4);
}

void TNdsDataSet::ClearRecordImage(dataset::TRecordBuffer buffer) {
  // A new or emptied record has no blob contents of a record read before.
  ResetBlobCaches(buffer);
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
  ResetBlobCaches(buffer);
  // One engine call for the image, the bookmark and the record number: a
  // bookmark names its record in every order, so the table handle's serves
  // for the active order's.
  auto bookmarkLength = static_cast<std::uint32_t>(BookmarkSize());
  CheckEngineCode(this,
                  NdsGetRecordWithBookmark(tableHandle_, buffer, &length, buffer + bookmarkOffset_,
                                           &bookmarkLength, &readRecordNumber_));
  CompleteEngineRecord(buffer);
  if (calcFields) CalculateFields(buffer);
}

namespace {

// Whether an OEM record image shows `text` exactly as it is stored. The
// engine hands out an OEM cursor's texts in the OEM code page, byte by byte,
// and writes "?" for a character the code page lacks: ASCII bytes come out
// as they are, every other byte changes or becomes "?". Only a text of ASCII
// bytes other than "?" is known to be the stored text itself.
bool OemImageShowsStoredText(const std::uint8_t* text, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i)
    if (text[i] >= 0x80 || text[i] == '?') return false;
  return true;
}

}  // namespace

void TNdsDataSet::CompleteEngineRecord(dataset::TRecordBuffer buffer) {
  // Blob fields need nothing: the image already holds their presence
  // markers (-1 holds data, 0 empty or NULL), exactly as a post writes them.
  if (tableOptions_->NdsCharType() != OEM) return;
  // An OEM cursor's image carries its texts in the OEM code page, which
  // cannot hold every stored character; the application reads and writes
  // the stored text. A text the image may show otherwise is read again as
  // the engine stores it; the engine writes a terminating zero after it, so
  // the byte there is put back.
  const int fieldCount = engineFields_->Count();
  for (int i = 0; i < fieldCount; ++i) {
    const TNCEFieldDef& def = *engineFields_->Items(i);
    if (def.engineType != NDS_STRING && def.engineType != NDS_CISTRING) continue;
    std::uint8_t* place = buffer + def.offset;
    if (OemImageShowsStoredText(place, def.length)) continue;
    const std::uint8_t kept = place[def.length];
    std::uint32_t textLength = def.length + 1;
    const NDSRESULT rc =
        NdsGetField(tableHandle_, NDS_FIELD_ORDINAL(def.fieldNumber), place, &textLength, NDS_NONE);
    place[def.length] = kept;
    CheckEngineCode(this, rc);
    // A text shorter than the field leaves the rest of the field blank, as
    // the record image stores it.
    if (textLength < def.length) std::memset(place + textLength, ' ', def.length - textLength);
  }
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
