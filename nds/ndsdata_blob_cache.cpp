// TNdsBlobCache, the value of one blob field for the record a buffer shows,
// and TNdsBlobCaches, the table of a dataset's caches by record buffer.
#include "nds/ndsdata_blob_cache.h"

#include <cstring>
#include <limits>
#include <memory>

#include "nds/ndsdata_errors.h"

namespace nds {

namespace {

constexpr const char kBlobTooLarge[] =
    "A blob value larger than 4294967295 bytes cannot be stored in the engine.";

constexpr std::uint32_t kBlobSlotSize = 4;
constexpr std::uint32_t kMarkerHoldsData = 0xFFFFFFFFu;  // -1
constexpr std::uint32_t kMarkerEmpty = 0;

}  // namespace

std::int64_t TNdsBlobCache::Read(void* buffer, std::int64_t count) {
  return TMemoryStream::Read(buffer, count);
}

std::int64_t TNdsBlobCache::Write(const void* buffer, std::int64_t count) {
  const std::int64_t written = TMemoryStream::Write(buffer, count);
  modified_ = true;
  return written;
}

void TNdsBlobCache::Load(NDSHANDLE table, std::uint32_t fieldNumber, bool force,
                         std::uint32_t recordNumber) {
  if (table != table_ || fieldNumber != fieldNumber_ || recordNumber != recordNumber_) force = true;
  if (!force) {
    // Contents already held for this record stay, written ones included.
    SetPosition(0);
    return;
  }
  Clear();
  table_ = table;
  fieldNumber_ = fieldNumber;
  recordNumber_ = recordNumber;
  modified_ = false;
  // A record the engine does not have yet has no blob contents.
  if (recordNumber == 0) return;
  try {
    ReadFromEngine();
  } catch (const ENDSDatabaseError& error) {
    // Nothing half-read stays, and the next load asks the engine again.
    Clear();
    recordNumber_ = 0;
    // A record that is gone or not reachable reads as an empty blob.
    if (error.EngineErrorCode() == NDS_E_NO_CURRENT_RECORD ||
        error.EngineErrorCode() == NDS_E_INVALID_RECORD)
      return;
    throw;
  }
}

void TNdsBlobCache::ReadFromEngine() {
  const NDSFIELD field = NDS_FIELD_ORDINAL(fieldNumber_);
  std::uint32_t current = 0;
  CheckEngineCode(nullptr, NdsGetRecordNum(table_, NDS_IGNOREFILTERS, &current));
  if (current != recordNumber_) CheckEngineCode(nullptr, NdsGotoRecord(table_, recordNumber_));

  std::uint16_t type = 0;
  CheckEngineCode(nullptr, NdsGetFieldType(table_, field, &type));
  bool text = type != NDS_BINARY && type != NDS_IMAGE;
  if (type == NDS_MEMO) {
    std::uint16_t memoType = 0;
    CheckEngineCode(nullptr, NdsGetMemoDataType(table_, field, &memoType));
    text = memoType == NDS_MEMO_TEXT;
  }

  std::uint32_t length = 0;
  if (text) {
    CheckEngineCode(nullptr, NdsGetMemoLength(table_, field, &length));
    // Room for the terminating zero the engine writes after a text.
    if (length == std::numeric_limits<std::uint32_t>::max())
      throw ENDSDatabaseError(nullptr, NDS_E_COMPONENT, kBlobTooLarge);
    ++length;
  } else {
    CheckEngineCode(nullptr, NdsGetBinaryLength(table_, field, &length));
  }
  SetSize(length);
  // An empty binary value has nothing to read (and no memory to read into).
  if (length == 0) return;
  std::uint32_t got = length;
  if (text)
    CheckEngineCode(nullptr, NdsGetField(table_, field, Memory(), &got, NDS_NONE));
  else
    CheckEngineCode(nullptr, NdsGetBinary(table_, field, 0, Memory(), &got));
  // A text ends without its terminating zero.
  if (got != length) SetSize(got);
}

void TNdsBlobCache::Store() {
  if (!modified_) return;
  // The engine takes 32-bit lengths: a larger value would be cut short.
  if (Size() > static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max()))
    throw ENDSDatabaseError(nullptr, NDS_E_COMPONENT, kBlobTooLarge);
  CheckEngineCode(nullptr, NdsSetField(table_, NDS_FIELD_ORDINAL(fieldNumber_), Memory(),
                                       static_cast<std::uint32_t>(Size())));
}

void TNdsBlobCache::ClearForWriting() {
  Clear();
  modified_ = true;
}

void TNdsBlobCache::ClearForWriting(NDSHANDLE table, std::uint32_t fieldNumber,
                                    std::uint32_t recordNumber) {
  Clear();
  table_ = table;
  fieldNumber_ = fieldNumber;
  recordNumber_ = recordNumber;
  modified_ = true;
}

void TNdsBlobCache::Reset() {
  Clear();
  table_ = kNoHandle;
  fieldNumber_ = 0;
  recordNumber_ = 0;
  modified_ = false;
}

void TNdsBlobCaches::SetLayout(std::uint16_t slotOffset, std::uint16_t slotCount) {
  slotOffset_ = slotOffset;
  slotCount_ = slotCount;
}

void TNdsBlobCaches::Attach(dataset::TRecordBuffer buffer) {
  try {
    for (std::uint32_t slot = 0; slot < slotCount_; ++slot) {
      std::size_t index = 0;
      while (index < entries_.size() && entries_[index].buffer != nullptr) ++index;
      if (index == entries_.size()) entries_.emplace_back();
      entries_[index].cache = std::make_unique<TNdsBlobCache>();
      entries_[index].buffer = buffer;
      const auto number = static_cast<std::uint32_t>(index + 1);
      std::memcpy(buffer + slotOffset_ + kBlobSlotSize * slot, &number, sizeof number);
    }
  } catch (...) {
    Detach(buffer);
    throw;
  }
}

void TNdsBlobCaches::Detach(dataset::TRecordBuffer buffer) {
  // By owner rather than by slot: the layout may have changed since the
  // buffer was made.
  for (TEntry& entry : entries_) {
    if (entry.buffer != buffer) continue;
    entry.buffer = nullptr;
    entry.cache.reset();
  }
  while (!entries_.empty() && entries_.back().buffer == nullptr) entries_.pop_back();
}

TNdsBlobCache* TNdsBlobCaches::Of(dataset::TRecordBuffer buffer, int blobIndex) const {
  if (blobIndex < 0 || blobIndex >= slotCount_) return nullptr;
  std::uint32_t number = 0;
  std::memcpy(&number, buffer + slotOffset_ + kBlobSlotSize * blobIndex, sizeof number);
  if (number == 0 || number > entries_.size()) return nullptr;
  const TEntry& entry = entries_[number - 1];
  return entry.buffer == buffer ? entry.cache.get() : nullptr;
}

bool TNdsBlobCaches::Owns(dataset::TRecordBuffer buffer) const {
  if (buffer == nullptr) return false;
  for (const TEntry& entry : entries_)
    if (entry.buffer == buffer) return true;
  return false;
}

const TNdsBlobCache* TNdsBlobCaches::Modified(dataset::TRecordBuffer buffer, int blobIndex) const {
  if (slotCount_ == 0 || !Owns(buffer)) return nullptr;
  const TNdsBlobCache* cache = Of(buffer, blobIndex);
  return cache != nullptr && cache->Modified() ? cache : nullptr;
}

void TNdsBlobCaches::StoreModified(dataset::TRecordBuffer buffer, const TNCEFieldDefs& fields) {
  if (slotCount_ == 0 || !Owns(buffer)) return;
  for (int i = 0; i < slotCount_; ++i) {
    TNdsBlobCache* cache = Of(buffer, i);
    if (cache == nullptr || !cache->Modified()) continue;
    const TNCEFieldDef& def = *fields.Items(static_cast<int>(cache->FieldNumber()) - 1);
    const std::uint32_t marker = cache->Size() > 0 ? kMarkerHoldsData : kMarkerEmpty;
    std::memcpy(buffer + def.offset, &marker, sizeof marker);
    cache->Store();
  }
}

void TNdsBlobCaches::MarkPosted(dataset::TRecordBuffer buffer) {
  for (TEntry& entry : entries_)
    if (entry.buffer == buffer && buffer != nullptr) entry.cache->MarkPosted();
}

void TNdsBlobCaches::Reset(dataset::TRecordBuffer buffer) {
  for (TEntry& entry : entries_)
    if (entry.buffer == buffer && buffer != nullptr) entry.cache->Reset();
}

}  // namespace nds
