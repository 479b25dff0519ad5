// The master link of the cursor dataset: MasterSource and MasterFields.
// A detail dataset shows the records of its master's current record through
// a range over its active index. Ranges are handed to the engine by a later
// version of the components; until then a dataset with master fields refuses
// to open (and an open dataset refuses master fields) instead of showing
// every record. A detail query follows its master through its parameters
// (TNdsQuery::DataSource) and needs none of this.
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kNoMasterRange[] =
    "Master/detail ranges over MasterFields are not supported by this version of the "
    "components; link a query through its DataSource and parameters instead.";

}  // namespace

dataset::TDataSource* TNdsDataSet::MasterSource() const {
  return masterLink_->DataSource();
}

dataset::TDataSource* TNdsDataSet::MasterDataSource() {
  return masterLink_->DataSource();
}

bool TNdsDataSet::HasMasterRange() const {
  return masterLink_->DataSource() != nullptr && !masterFields_.empty();
}

void TNdsDataSet::SetMasterSource(dataset::TDataSource* source) {
  if (source != nullptr && IsLinkedTo(source))
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, dataset::kCircularDataLinkMessage);
  if (source != nullptr && Active() && !masterFields_.empty()) RefuseUnbuilt(kNoMasterRange);
  masterLink_->SetDataSource(source);
  if (source == nullptr) SetMasterFields("");
}

void TNdsDataSet::SetMasterFields(const std::string& fields) {
  if (!fields.empty() && Active() && masterLink_->DataSource() != nullptr)
    RefuseUnbuilt(kNoMasterRange);
  masterLink_->SetFieldNames(fields);
  masterFields_ = fields;
}

void TNdsDataSet::CheckNoMasterRange() const {
  if (HasMasterRange()) RefuseUnbuilt(kNoMasterRange);
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
  // Without master fields there is no range to follow; with them the
  // dataset could not have opened.
  if (HasMasterRange()) RefuseUnbuilt(kNoMasterRange);
}

void TNdsDataSet::MasterDisabled() {
  // No range is ever applied, so none is cleared.
  if (Active()) CheckBrowseMode();
}

}  // namespace nds
