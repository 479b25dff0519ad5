// TNdsBlobStream: the stream over one blob field of a cursor dataset's
// current record that the framework reads and writes a blob through.
#ifndef NDS_NDSDATA_BLOB_STREAM_H_
#define NDS_NDSDATA_BLOB_STREAM_H_

#include <cstdint>

#include "dataset/dataset_types.h"
#include "dataset/fields.h"
#include "dataset/stream.h"
#include "nds/ndsdata_blob_cache.h"

namespace nds {

class TNdsDataSet;

// A stream over one blob field of the current record, as the framework asks
// for it at every blob access. It reads and writes the field's cache in the
// buffer of the dataset's current state; in a state without a buffer it
// reads nothing and refuses writes. Short-lived: the cache outlives it.
class TNdsBlobStream : public dataset::TStream {
 public:
  // Made by TNdsDataSet::OpenBlobStream, which loads `cache` (null when
  // the state has no buffer). `dataSet`, `field` and `cache` must outlive
  // the stream. `written`: the open already replaced the value (write mode).
  TNdsBlobStream(TNdsDataSet& dataSet, dataset::TField& field, dataset::TBlobStreamMode mode,
                 TNdsBlobCache* cache, bool written);
  // When something was written: marks the field modified and sends the
  // dataset's field-change notification (controls and calculated fields
  // follow the new value).
  ~TNdsBlobStream() override;
  TNdsBlobStream(const TNdsBlobStream&) = delete;
  TNdsBlobStream& operator=(const TNdsBlobStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Refused on a read-mode stream ("Error modifying read only blob.") and
  // without a cache ("Cannot write to blob in current state.").
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, dataset::TSeekOrigin origin) override;

 private:
  TNdsDataSet& dataSet_;           // the dataset whose field this is
  dataset::TField& field_;         // the blob field served
  dataset::TBlobStreamMode mode_;  // read, write or read-write
  TNdsBlobCache* cache_;           // the field's cache in the state's buffer; null: none
  bool modified_;                  // something was written through this stream
};

}  // namespace nds

#endif  // NDS_NDSDATA_BLOB_STREAM_H_
