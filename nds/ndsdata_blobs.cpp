// The cursor dataset's side of blob streams: opening a stream over a blob
// field's cache in the current state's buffer, and the caches of each record
// buffer as records are read, edited and posted.
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
constexpr const char kNoBlobInState[] = "Cannot write to blob in current state.";

bool IsEngineBlobType(std::uint16_t type) {
  return type >= NDS_MEMO && type <= NDS_VARCHAR;
}

bool WritesBlob(dataset::TBlobStreamMode mode) {
  return mode == dataset::bmWrite || mode == dataset::bmReadWrite;
}

}  // namespace

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

    cache = blobCaches_.Of(buffer, field.BlobIndex());
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
  blobCaches_.StoreModified(buffer, *engineFields_);
}

void TNdsDataSet::EmptyBlobCaches(dataset::TRecordBuffer buffer) {
  if (blobCaches_.SlotCount() == 0 || !blobCaches_.Owns(buffer)) return;
  const std::uint32_t record = BufferEngineRecord(buffer);
  dataset::TFields& fields = Fields();
  for (int i = 0; i < fields.Count(); ++i) {
    const dataset::TField& field = *fields[i];
    if (field.FieldNo() <= 0 || field.FieldNo() > engineFields_->Count() ||
        !IsEngineBlobType(engineFields_->Items(field.FieldNo() - 1)->engineType))
      continue;
    if (TNdsBlobCache* cache = blobCaches_.Of(buffer, field.BlobIndex()))
      cache->ClearForWriting(tableHandle_, static_cast<std::uint32_t>(field.FieldNo()), record);
  }
}

}  // namespace nds
