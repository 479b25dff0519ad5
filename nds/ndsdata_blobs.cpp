// Blob streams of the cursor dataset: the caches that hold one blob field's
// value per record buffer, the streams the framework reads and writes them
// through, and the dataset's side of both (opening a stream, the caches of
// each buffer, storing them when a record is posted).
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kWriteNeedsEditing[] =
    "Table must be in Edit or Insert state to open blob stream in Write Mode.";
constexpr const char kNotBlobField[] = "Invalid blob open on non-blob field.";
constexpr const char kReadOnlyBlob[] = "Error modifying read only blob.";
constexpr const char kNoBlobInState[] = "Cannot write to blob in current state.";
constexpr const char kBlobTooLarge[] =
    "A blob value larger than 4294967295 bytes cannot be stored in the engine.";

constexpr std::uint32_t kBlobSlotSize = 4;
constexpr std::uint32_t kMarkerHoldsData = 0xFFFFFFFFu;  // -1
constexpr std::uint32_t kMarkerEmpty = 0;

bool IsEngineBlobType(std::uint16_t type) {
  return type >= NDS_MEMO && type <= NDS_VARCHAR;
}

bool WritesBlob(dataset::TBlobStreamMode mode) {
  return mode == dataset::bmWrite || mode == dataset::bmReadWrite;
}

}  // namespace

// ---------------------------------------------------------------------------
// TNdsBlobCache

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

// ---------------------------------------------------------------------------
// TNdsBlobStream

TNdsBlobStream::TNdsBlobStream(TNdsDataSet& dataSet, dataset::TField& field,
                               dataset::TBlobStreamMode mode, TNdsBlobCache* cache, bool written)
    : dataSet_(dataSet), field_(field), mode_(mode), cache_(cache), modified_(written) {}

TNdsBlobStream::~TNdsBlobStream() {
  if (!modified_) return;
  try {
    dataSet_.NotifyBlobWritten(field_);
  } catch (...) {
    // A destructor cannot raise. The written value is safe in the cache
    // and is posted with the record; only a data-aware control or a
    // calculated field missed the news.
  }
}

std::int64_t TNdsBlobStream::Read(void* buffer, std::int64_t count) {
  return cache_ != nullptr ? cache_->Read(buffer, count) : 0;
}

std::int64_t TNdsBlobStream::Write(const void* buffer, std::int64_t count) {
  if (mode_ == dataset::bmRead) throw ENDSDatabaseError(&dataSet_, NDS_E_COMPONENT, kReadOnlyBlob);
  if (cache_ == nullptr) throw ENDSDatabaseError(&dataSet_, NDS_E_COMPONENT, kNoBlobInState);
  const std::int64_t written = cache_->Write(buffer, count);
  modified_ = true;
  return written;
}

std::int64_t TNdsBlobStream::Seek(std::int64_t offset, dataset::TSeekOrigin origin) {
  return cache_ != nullptr ? cache_->Seek(offset, origin) : 0;
}

// ---------------------------------------------------------------------------
// The dataset's blob streams and caches

std::unique_ptr<dataset::TStream> TNdsDataSet::OpenBlobStream(dataset::TField& field,
                                                              dataset::TBlobStreamMode mode) {
  const dataset::TDataSetState state = State();
  const bool editing = state == dataset::dsEdit || state == dataset::dsInsert;
  if (WritesBlob(mode) && !editing)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kWriteNeedsEditing);

  TNdsBlobCache* cache = nullptr;
  bool written = false;
  const bool stateHasBuffer = editing || state == dataset::dsBrowse ||
                              state == dataset::dsCalcFields || state == dataset::dsNewValue;
  const dataset::TRecordBuffer buffer = stateHasBuffer ? CurrentStateBuffer() : nullptr;
  if (buffer != nullptr) {
    // Only a data field bound to an engine blob column has a cache.
    if (field.FieldNo() <= 0 || field.BlobIndex() < 0)
      throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNotBlobField);
    std::uint16_t type = 0;
    CheckEngineCode(this, NdsGetFieldType(tableHandle_, NDS_FIELD_ORDINAL(field.FieldNo()), &type));
    if (!IsEngineBlobType(type)) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNotBlobField);

    cache = BlobCacheOf(buffer, field.BlobIndex());
    if (cache == nullptr) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoBlobInState);
    // A read-write stream in an edit starts from the stored value unless
    // the edit already changed it.
    const bool force = editing && mode == dataset::bmReadWrite && !cache->Modified();
    try {
      cache->Load(tableHandle_, static_cast<std::uint32_t>(field.FieldNo()), force,
                  BufferEngineRecord(buffer));
    } catch (...) {
      CursorPosChanged();
      throw;
    }
    // The load may have moved the engine cursor to the buffer's record.
    CursorPosChanged();
    if (mode == dataset::bmWrite) {
      cache->ClearForWriting();
      written = true;
    }
  }
  return std::make_unique<TNdsBlobStream>(*this, field, mode, cache, written);
}

void TNdsDataSet::NotifyBlobWritten(dataset::TField& field) {
  if (auto* blob = dynamic_cast<dataset::TBlobField*>(&field)) blob->SetModified(true);
  NotifyDataEvent(dataset::deFieldChange, reinterpret_cast<std::intptr_t>(&field));
}

void TNdsDataSet::StoreModifiedBlobCaches(dataset::TRecordBuffer buffer) {
  if (blobSlotCount_ == 0 || !IsRecordBuffer(buffer)) return;
  for (int i = 0; i < blobSlotCount_; ++i) {
    TNdsBlobCache* cache = BlobCacheOf(buffer, i);
    if (cache == nullptr || !cache->Modified()) continue;
    const TNCEFieldDef& def = *engineFields_->Items(static_cast<int>(cache->FieldNumber()) - 1);
    const std::uint32_t marker = cache->Size() > 0 ? kMarkerHoldsData : kMarkerEmpty;
    std::memcpy(buffer + def.offset, &marker, sizeof marker);
    cache->Store();
  }
}

void TNdsDataSet::MarkBlobCachesPosted(dataset::TRecordBuffer buffer) {
  if (blobSlotCount_ == 0 || !IsRecordBuffer(buffer)) return;
  for (int i = 0; i < blobSlotCount_; ++i) {
    if (TNdsBlobCache* cache = BlobCacheOf(buffer, i)) cache->MarkPosted();
  }
}

void TNdsDataSet::EmptyBlobCaches(dataset::TRecordBuffer buffer) {
  if (blobSlotCount_ == 0 || !IsRecordBuffer(buffer)) return;
  const std::uint32_t record = BufferEngineRecord(buffer);
  dataset::TFields& fields = Fields();
  for (int i = 0; i < fields.Count(); ++i) {
    const dataset::TField& field = *fields[i];
    if (field.FieldNo() <= 0 || field.FieldNo() > engineFields_->Count() ||
        !IsEngineBlobType(engineFields_->Items(field.FieldNo() - 1)->engineType))
      continue;
    if (TNdsBlobCache* cache = BlobCacheOf(buffer, field.BlobIndex()))
      cache->ClearForWriting(tableHandle_, static_cast<std::uint32_t>(field.FieldNo()), record);
  }
}

void TNdsDataSet::ResetBlobCaches(dataset::TRecordBuffer buffer) {
  if (blobSlotCount_ == 0 || !IsRecordBuffer(buffer)) return;
  for (int i = 0; i < blobSlotCount_; ++i) {
    if (TNdsBlobCache* cache = BlobCacheOf(buffer, i)) cache->Reset();
  }
}

void TNdsDataSet::AttachBlobCaches(dataset::TRecordBuffer buffer) {
  try {
    for (std::uint32_t slot = 0; slot < blobSlotCount_; ++slot) {
      std::size_t index = 0;
      while (index < blobCaches_.size() && blobCaches_[index].buffer != nullptr) ++index;
      if (index == blobCaches_.size()) blobCaches_.emplace_back();
      blobCaches_[index].cache = std::make_unique<TNdsBlobCache>();
      blobCaches_[index].buffer = buffer;
      const auto number = static_cast<std::uint32_t>(index + 1);
      std::memcpy(buffer + blobCacheOffset_ + kBlobSlotSize * slot, &number, sizeof number);
    }
  } catch (...) {
    DetachBlobCaches(buffer);
    throw;
  }
}

void TNdsDataSet::DetachBlobCaches(dataset::TRecordBuffer buffer) {
  // By owner rather than by slot: the layout may have changed since the
  // buffer was made.
  for (TBlobCacheEntry& entry : blobCaches_) {
    if (entry.buffer != buffer) continue;
    entry.buffer = nullptr;
    entry.cache.reset();
  }
  while (!blobCaches_.empty() && blobCaches_.back().buffer == nullptr) blobCaches_.pop_back();
}

bool TNdsDataSet::IsRecordBuffer(dataset::TRecordBuffer buffer) const {
  if (buffer == nullptr) return false;
  for (int i = 0; dataset::TRecordBuffer own = Buffer(i); ++i)
    if (own == buffer) return true;
  return false;
}

TNdsBlobCache* TNdsDataSet::BlobCacheOf(dataset::TRecordBuffer buffer, int blobIndex) const {
  if (blobIndex < 0 || blobIndex >= blobSlotCount_) return nullptr;
  std::uint32_t number = 0;
  std::memcpy(&number, buffer + blobCacheOffset_ + kBlobSlotSize * blobIndex, sizeof number);
  if (number == 0 || number > blobCaches_.size()) return nullptr;
  const TBlobCacheEntry& entry = blobCaches_[number - 1];
  return entry.buffer == buffer ? entry.cache.get() : nullptr;
}

const TNdsBlobCache* TNdsDataSet::ModifiedBlobCache(dataset::TRecordBuffer buffer,
                                                    const dataset::TField& field) const {
  if (blobSlotCount_ == 0 || !IsRecordBuffer(buffer)) return nullptr;
  const TNdsBlobCache* cache = BlobCacheOf(buffer, field.BlobIndex());
  return cache != nullptr && cache->Modified() ? cache : nullptr;
}

}  // namespace nds
