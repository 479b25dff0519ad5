// TNdsBlobStream: reads and writes one blob field's cache in the buffer of
// the dataset's current state.
#include "nds/ndsdata_blob_stream.h"

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kReadOnlyBlob[] = "Error modifying read only blob.";
constexpr const char kNoBlobInState[] = "Cannot write to blob in current state.";

}  // namespace

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

}  // namespace nds
