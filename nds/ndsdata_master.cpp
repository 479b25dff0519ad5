// The master link and ranges of the cursor dataset. A range bounds the
// active index between the keys of the range start and range end buffers;
// the engine holds it as the index's scope. A detail dataset (MasterSource
// and MasterFields) shows the records of its master's current record through
// a range over the leading segments of its active index. A detail query can
// instead follow its master through its parameters (TNdsQuery::DataSource).
#include <cstring>

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kRangeWithScope[] = "Cannot set range on table when there is an active scope.";
constexpr const char kRangeWithoutIndex[] =
    "Cannot set range on table when there is no active index.";
constexpr const char kMasterRangeWithoutIndex[] =
    "A detail dataset with MasterFields needs an active index (IndexName or IndexFieldNames) "
    "to show its master's records.";
// Room for a raw key: the engine's longest key and one more byte.
constexpr std::uint16_t kRawKeyRoom = 4083;

// Whether a master source and master fields give the dataset a range.
bool HasMasterRange(const TNdsDataSet& dataSet) {
  return dataSet.MasterSource() != nullptr && !dataSet.MasterFields().empty();
}

}  // namespace

dataset::TDataSource* TNdsDataSet::MasterSource() const {
  return masterLink_->DataSource();
}

dataset::TDataSource* TNdsDataSet::MasterDataSource() {
  return masterLink_->DataSource();
}

void TNdsDataSet::CheckMasterRangeIndex() const {
  if (HasMasterRange(*this) && !IndexIsActive())
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kMasterRangeWithoutIndex);
}

void TNdsDataSet::SetMasterSource(dataset::TDataSource* source) {
  if (source != nullptr && IsLinkedTo(source))
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, dataset::kCircularDataLinkMessage);
  masterLink_->SetDataSource(source);
  if (source == nullptr) SetMasterFields("");
}

void TNdsDataSet::SetMasterFields(const std::string& fields) {
  masterFields_ = fields;
  masterLink_->SetFieldNames(fields);
}

void TNdsDataSet::FireAfterOpen() {
  TDataSet::FireAfterOpen();
  dataset::TDataSource* source = MasterSource();
  if (source != nullptr && source->DataSet() != nullptr && source->DataSet()->Active())
    MasterChanged();
}

void TNdsDataSet::MasterChanged() {
  if (!Active()) return;
  CheckBrowseMode();
  const std::vector<dataset::TField*>& masterFields = masterLink_->Fields();
  if (masterFields.empty()) return;
  CheckMasterRangeIndex();
  {
    TempState state(*this, dataset::dsSetKey);
    keyBuffers_.Clear(TNdsKeyBuffers::kRangeStart);
    keyBuffers_.SetCurrent(TNdsKeyBuffers::kRangeStart);
    keyBuffers_.SetModified(TNdsKeyBuffers::kRangeStart, true);  // the key is to be applied
    for (std::size_t i = 0; i < masterFields.size(); ++i)
      SegmentField(static_cast<std::uint16_t>(i))->SetAsVariant(masterFields[i]->AsVariant());
    keyBuffers_.SetFieldCount(TNdsKeyBuffers::kRangeStart,
                              static_cast<std::uint32_t>(masterFields.size()));
  }
  keyBuffers_.SetCurrent(TNdsKeyBuffers::kLookup);
  keyBuffers_.Copy(TNdsKeyBuffers::kRangeStart, TNdsKeyBuffers::kRangeEnd);
  CheckBrowseMode();
  if (ApplyRange()) First();
}

void TNdsDataSet::MasterDisabled() {
  if (!Active()) return;
  CheckBrowseMode();
  UpdateCursorPos();
  if (ClearRange()) Resync({});
}

void TNdsDataSet::ApplyRangeEnd(int which, int current, std::uint16_t end) {
  if (keyBuffers_.Modified(which)) {
    std::uint8_t key[kRawKeyRoom] = {};
    std::uint16_t length = kRawKeyRoom;
    BuildRawKeyFromBuffer(which, false, key, length);
    CheckEngineCode(this, NdsSetScope(activeOrderHandle_, end, key, length, NDS_RAWKEY));
    keyBuffers_.Copy(which, current);
  } else if (keyBuffers_.Modified(current)) {
    // An end no longer given: the engine drops its bound too.
    const NDSRESULT rc = NdsClearScope(activeOrderHandle_, end);
    if (rc != NDS_E_NO_SCOPE) CheckEngineCode(this, rc);
    keyBuffers_.Clear(current);
  }
}

bool TNdsDataSet::ApplyRange() {
  if (scoped_) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kRangeWithScope);
  CheckActive();
  if (!IndexIsActive()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kRangeWithoutIndex);
  if (keyBuffers_.SameKey(TNdsKeyBuffers::kRangeStart, TNdsKeyBuffers::kCurrentRangeStart) &&
      keyBuffers_.SameKey(TNdsKeyBuffers::kRangeEnd, TNdsKeyBuffers::kCurrentRangeEnd))
    return false;
  ApplyRangeEnd(TNdsKeyBuffers::kRangeStart, TNdsKeyBuffers::kCurrentRangeStart, NDS_TOP);
  ApplyRangeEnd(TNdsKeyBuffers::kRangeEnd, TNdsKeyBuffers::kCurrentRangeEnd, NDS_BOTTOM);
  if (State() != dataset::dsBrowse) SetState(dataset::dsBrowse);
  return true;
}

bool TNdsDataSet::ClearRange() {
  if (scoped_) return true;
  if (!keyBuffers_.Allocated()) return false;
  if (!keyBuffers_.Modified(TNdsKeyBuffers::kCurrentRangeStart) &&
      !keyBuffers_.Modified(TNdsKeyBuffers::kCurrentRangeEnd))
    return false;
  CheckEngineCode(this, NdsClearAllScopes(tableHandle_));
  std::uint16_t atEof = 0, atBof = 0;
  CheckEngineCode(this, NdsAtEOF(tableHandle_, &atEof));
  CheckEngineCode(this, NdsAtBOF(tableHandle_, &atBof));
  if (atEof && atBof) CheckEngineCode(this, NdsGotoTop(activeOrderHandle_));
  keyBuffers_.Clear(TNdsKeyBuffers::kCurrentRangeStart);
  keyBuffers_.Clear(TNdsKeyBuffers::kCurrentRangeEnd);
  return true;
}

}  // namespace nds
