// TNdsRecordLayout: where the parts of a cursor dataset's record buffer lie,
// and the record information block every buffer carries.
#ifndef NDS_NDSDATA_RECORD_LAYOUT_H_
#define NDS_NDSDATA_RECORD_LAYOUT_H_

#include <cstdint>
#include <cstring>

#include "dataset/dataset_types.h"

namespace nds {

// A record buffer holds, in this order: the record image (the engine's
// record as it handed it out), the calculated fields, 4 bytes per blob
// field (the blob cache slots, TNdsBlobCaches), the record information (8
// bytes: the record number as a 32-bit integer, a reserved byte that is
// always 0, the bookmark flag, two unused bytes) and the engine's bookmark,
// whose first 32-bit word is what NdsGotoBookmark takes. Every position is
// a 16-bit value. The bookmark's length belongs to the active order, so the
// layout is computed again whenever the order changes.
class TNdsRecordLayout {
 public:
  // Lays buffers out for a record image of `recordSize` bytes, `calcSize`
  // bytes of calculated fields, `blobFields` blob fields and a bookmark of
  // `bookmarkLength` bytes. False, with the layout unchanged, when such a
  // buffer would outgrow 16-bit positions; `total` is its size either way.
  bool Compute(std::uint16_t recordSize, int calcSize, int blobFields, std::uint32_t bookmarkLength,
               std::uint32_t& total);

  std::uint16_t BlobSlotOffset() const { return blobSlotOffset_; }
  std::uint16_t BufferSize() const { return bufferSize_; }
  std::uint8_t* Bookmark(dataset::TRecordBuffer buffer) const { return buffer + bookmarkOffset_; }

  // The record information of `buffer`: its record number (-1 in a new
  // record) and bookmark flag.
  void WriteInfo(dataset::TRecordBuffer buffer, std::int32_t recNo,
                 dataset::TBookmarkFlag flag) const {
    std::uint8_t* info = buffer + infoOffset_;
    std::memcpy(info + kRecNoAt, &recNo, sizeof recNo);
    info[kReservedAt] = 0;
    info[kFlagAt] = flag;
  }
  std::int32_t RecNo(dataset::TRecordBuffer buffer) const {
    std::int32_t recNo = 0;
    std::memcpy(&recNo, buffer + infoOffset_ + kRecNoAt, sizeof recNo);
    return recNo;
  }
  dataset::TBookmarkFlag Flag(dataset::TRecordBuffer buffer) const {
    return static_cast<dataset::TBookmarkFlag>(buffer[infoOffset_ + kFlagAt]);
  }
  void SetFlag(dataset::TRecordBuffer buffer, dataset::TBookmarkFlag flag) const {
    buffer[infoOffset_ + kFlagAt] = flag;
  }

 private:
  // Places inside the record information.
  static constexpr int kRecNoAt = 0;     // int32 record number
  static constexpr int kReservedAt = 4;  // always 0
  static constexpr int kFlagAt = 5;      // TBookmarkFlag

  std::uint16_t blobSlotOffset_ = 0;  // first blob cache slot
  std::uint16_t infoOffset_ = 0;      // the record information
  std::uint16_t bookmarkOffset_ = 0;  // the engine bookmark
  std::uint16_t bufferSize_ = 0;      // the whole buffer
};

}  // namespace nds

#endif  // NDS_NDSDATA_RECORD_LAYOUT_H_
