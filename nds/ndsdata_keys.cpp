// Key buffers of the cursor dataset: six blocks allocated when the cursor
// opens and freed when it closes (lookup, range start, range end, current
// range start, current range end, saved). Each holds a header, a record
// image in engine form and one 16-bit mark per engine field. SetKey edits
// the lookup buffer, SetRangeStart and SetRangeEnd the range buffers; Cancel
// restores the edited buffer from the saved one. Raw keys of the active index
// are built from the marked fields of a buffer.
#include <cstring>
#include <string>

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr int kKeyBufferCount = 6;
constexpr int kSavedKey = 5;
// Header: modified (byte 0), exclusive (byte 1), field count (bytes 4-7),
// block size (bytes 8-11).
constexpr int kModifiedAt = 0;
constexpr int kFieldCountAt = 4;
constexpr int kSizeAt = 8;
constexpr std::uint16_t kMarkNotSet = 0xFFFF;
// Longest segment field name the engine reports, with its terminator.
constexpr std::uint16_t kSegmentNameRoom = 129;

}  // namespace

void TNdsDataSet::AllocateKeyBuffers() {
  FreeKeyBuffers();
  keyBufferSize_ =
      kKeyHeaderSize + recordSize_ + 2u * static_cast<std::uint32_t>(engineFields_->Count());
  for (int i = 0; i < kKeyBufferCount; ++i) {
    keyBuffers_.emplace_back(new std::uint8_t[keyBufferSize_]());
    InitKeyBuffer(keyBuffers_.back().get());
  }
  currentKeyBuffer_ = kLookupKey;
}

void TNdsDataSet::FreeKeyBuffers() {
  keyBuffers_.clear();
  keyBufferSize_ = 0;
  currentKeyBuffer_ = kLookupKey;
}

void TNdsDataSet::InitKeyBuffer(std::uint8_t* block) {
  std::memset(block, 0, kKeyHeaderSize);
  std::memcpy(block + kSizeAt, &keyBufferSize_, sizeof keyBufferSize_);
  CheckEngineCode(this, NdsGetNullRecord(tableHandle_, block + kKeyHeaderSize, recordSize_));
  std::uint8_t* marks = block + kKeyHeaderSize + recordSize_;
  for (int i = 0; i < engineFields_->Count(); ++i)
    std::memcpy(marks + 2 * i, &kMarkNotSet, sizeof kMarkNotSet);
}

void TNdsDataSet::BeginKeyEdit() {
  if (keyBuffers_.empty()) CheckActive();
  currentKeyBuffer_ = nextKeyBuffer_;
  nextKeyBuffer_ = kLookupKey;
  std::memcpy(keyBuffers_[kSavedKey].get(), keyBuffers_[currentKeyBuffer_].get(), keyBufferSize_);
}

void TNdsDataSet::SetRangeStart() {
  EditRangeBuffer(kRangeStartKey);
}

void TNdsDataSet::SetRangeEnd() {
  EditRangeBuffer(kRangeEndKey);
}

void TNdsDataSet::EditRangeBuffer(int which) {
  CheckActive();
  CheckBrowseMode();
  InitKeyBuffer(keyBuffers_[which].get());
  nextKeyBuffer_ = which;
  SetKey();
}

bool TNdsDataSet::KeyBufferModified(int which) const {
  return keyBuffers_[which][kModifiedAt] != 0;
}

void TNdsDataSet::SetKeyBufferFieldCount(int which, std::uint32_t count) {
  std::memcpy(keyBuffers_[which].get() + kFieldCountAt, &count, sizeof count);
}

void TNdsDataSet::BuildRawKeyFromBuffer(int which, bool partial, std::uint8_t* key,
                                        std::uint16_t& length) {
  const std::uint8_t* block = keyBuffers_[which].get();
  const std::uint8_t* image = block + kKeyHeaderSize;
  const std::uint8_t* marks = image + recordSize_;
  std::uint32_t fieldCount = 0;
  std::memcpy(&fieldCount, block + kFieldCountAt, sizeof fieldCount);
  const bool skipUnset = tableOptions_->NdsAutoKeyFieldCount() || fieldCount != 0;
  CheckEngineCode(this, NdsInitRawKey(activeOrderHandle_));
  for (std::uint16_t segment = 0;; ++segment) {
    char name[kSegmentNameRoom] = {};
    std::uint16_t nameLength = kSegmentNameRoom;
    if (NdsGetSegmentFieldname(activeOrderHandle_, segment, name, &nameLength) != NDS_SUCCESS)
      break;
    const int field = engineFields_->FindEngineField(std::string(name, nameLength));
    if (field < 0) continue;
    const TNCEFieldDef& def = *engineFields_->Items(field);
    std::uint16_t mark = 0;
    std::memcpy(&mark, marks + 2 * field, sizeof mark);
    if (mark == kMarkNotSet) {
      if (!skipUnset) CheckEngineCode(this, NdsSetEmpty(activeOrderHandle_, def.name.c_str()));
      continue;
    }
    const bool text = def.engineType == NDS_STRING || def.engineType == NDS_CISTRING;
    const std::uint32_t bytes = text && partial ? mark : def.length;
    CheckEngineCode(
        this,
        text ? NdsSetField(activeOrderHandle_, def.name.c_str(), image + def.offset, bytes)
             : NdsSetFieldRaw(activeOrderHandle_, def.name.c_str(), image + def.offset, bytes));
  }
  CheckEngineCode(this, NdsBuildRawKey(activeOrderHandle_, key, &length));
}

void TNdsDataSet::EndKeyEdit(bool keep) {
  std::uint8_t* current = keyBuffers_[currentKeyBuffer_].get();
  if (keep) {
    current[kModifiedAt] = Modified() ? 1 : 0;
  } else {
    std::memcpy(current, keyBuffers_[kSavedKey].get(), keyBufferSize_);
  }
  TDataSet::EndKeyEdit(keep);
}

}  // namespace nds
