// The key buffers of a cursor dataset. Block layout: a 12-byte header
// (modified at byte 0, exclusive at byte 1, two spare bytes, the field count
// at bytes 4-7 and the block size at bytes 8-11), the record image, then one
// 16-bit mark per engine field.
#include "nds/ndsdata_key_buffers.h"

#include <cstring>

#include "nds/ndsdata_errors.h"

namespace nds {

namespace {

constexpr std::uint32_t kHeaderSize = 12;
constexpr int kModifiedAt = 0;
constexpr int kFieldCountAt = 4;
constexpr int kSizeAt = 8;

}  // namespace

void TNdsKeyBuffers::Allocate(NDSHANDLE cursor, std::uint16_t recordSize, int fieldCount,
                              const TNdsDataSet* reportFor) {
  Free();
  cursor_ = cursor;
  recordSize_ = recordSize;
  fieldCount_ = fieldCount;
  reportFor_ = reportFor;
  blockSize_ = kHeaderSize + recordSize + 2u * static_cast<std::uint32_t>(fieldCount);
  for (int i = 0; i < kRoleCount; ++i) {
    blocks_.emplace_back(new std::uint8_t[blockSize_]());
    Clear(i);
  }
}

void TNdsKeyBuffers::Free() {
  blocks_.clear();
  blockSize_ = 0;
  current_ = kLookup;
}

void TNdsKeyBuffers::Clear(int which) {
  std::uint8_t* block = Block(which);
  std::memset(block, 0, kHeaderSize);
  std::memcpy(block + kSizeAt, &blockSize_, sizeof blockSize_);
  CheckEngineCode(reportFor_, NdsGetNullRecord(cursor_, block + kHeaderSize, recordSize_));
  for (int i = 0; i < fieldCount_; ++i) SetMark(which, i, kMarkNotSet);
}

std::uint8_t* TNdsKeyBuffers::RecordImage(int which) const {
  return Block(which) + kHeaderSize;
}

std::uint16_t TNdsKeyBuffers::Mark(int which, int fieldIndex) const {
  std::uint16_t mark = 0;
  std::memcpy(&mark, RecordImage(which) + recordSize_ + 2 * fieldIndex, sizeof mark);
  return mark;
}

void TNdsKeyBuffers::SetMark(int which, int fieldIndex, std::uint16_t mark) {
  std::memcpy(RecordImage(which) + recordSize_ + 2 * fieldIndex, &mark, sizeof mark);
}

bool TNdsKeyBuffers::Modified(int which) const {
  return Block(which)[kModifiedAt] != 0;
}

void TNdsKeyBuffers::SetModified(int which, bool value) {
  Block(which)[kModifiedAt] = value ? 1 : 0;
}

std::uint32_t TNdsKeyBuffers::FieldCount(int which) const {
  std::uint32_t count = 0;
  std::memcpy(&count, Block(which) + kFieldCountAt, sizeof count);
  return count;
}

void TNdsKeyBuffers::SetFieldCount(int which, std::uint32_t count) {
  std::memcpy(Block(which) + kFieldCountAt, &count, sizeof count);
}

bool TNdsKeyBuffers::SameKey(int a, int b) const {
  return std::memcmp(Block(a), Block(b), kHeaderSize + recordSize_) == 0;
}

void TNdsKeyBuffers::Copy(int from, int to) {
  std::memcpy(Block(to), Block(from), blockSize_);
}

void TNdsKeyBuffers::BeginEdit() {
  current_ = next_;
  next_ = kLookup;
  Copy(current_, kSaved);
}

void TNdsKeyBuffers::EndEdit(bool keep, bool modified) {
  if (keep)
    SetModified(current_, modified);
  else
    Copy(kSaved, current_);
}

}  // namespace nds
