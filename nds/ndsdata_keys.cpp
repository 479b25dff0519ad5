// Key buffers of the cursor dataset: six blocks allocated when the cursor
// opens and freed when it closes (lookup, range start, range end, current
// range start, current range end, saved). Each holds a header, a record
// image in engine form and one 16-bit mark per engine field. SetKey edits
// the lookup buffer; Cancel restores it from the saved buffer.
#include <cstring>

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr int kKeyBufferCount = 6;
constexpr int kLookupKey = 0;
constexpr int kSavedKey = 5;
// Header: modified (byte 0), exclusive (byte 1), field count (bytes 4-7),
// block size (bytes 8-11).
constexpr int kModifiedAt = 0;
constexpr int kSizeAt = 8;
constexpr std::uint16_t kMarkNotSet = 0xFFFF;

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
  currentKeyBuffer_ = kLookupKey;
  std::memcpy(keyBuffers_[kSavedKey].get(), keyBuffers_[currentKeyBuffer_].get(), keyBufferSize_);
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
