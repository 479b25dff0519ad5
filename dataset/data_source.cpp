// TDataSource, TDataLink and TMasterDataLink.
#include "dataset/data_source.h"

#include <algorithm>

#include "dataset/dataset.h"

namespace dataset {

// ---- TDataSource -----------------------------------------------------------

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  Destroying();
  while (!links_.empty()) links_.back()->SetDataSource(nullptr);
  if (dataset_) dataset_->RemoveDataSource(this);
  dataset_ = nullptr;
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset && IsLinkedTo(dataset)) DatabaseError(kCircularDataLinkMessage);
  if (dataset_) dataset_->RemoveDataSource(this);
  dataset_ = dataset;
  if (dataset_) dataset_->AddDataSource(this);
  UpdateState();
}

bool TDataSource::IsLinkedTo(TDataSet* dataset) const {
  // Follow the chain of master sources from `dataset`; the step count
  // bounds a chain that loops without passing through this source.
  for (int steps = 0; dataset && steps < 1000; ++steps) {
    TDataSource* master = dataset->MasterDataSource();
    if (!master) return false;
    if (master == this) return true;
    dataset = master->DataSet();
  }
  return dataset != nullptr;
}

void TDataSource::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (auto_edit_ && state_ == dsBrowse && dataset_) dataset_->Edit();
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == dataset_) {
    dataset_ = nullptr;
    UpdateState();
  }
}

void TDataSource::UpdateState() {
  TDataSetState state = enabled_ && dataset_ ? dataset_->State() : dsInactive;
  if (state == state_) return;
  state_ = state;
  NotifyLinks(deUpdateState, 0);
  if (OnStateChange) OnStateChange(*this);
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == dsInactive) return;
  NotifyLinks(event, info);
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (OnDataChange) OnDataChange(*this, reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}

void TDataSource::NotifyLinks(TDataEvent event, std::intptr_t info) {
  // A link may leave (or be destroyed) while another one reacts; only links
  // still attached hear the event.
  std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, info);
  }
}

void TDataSource::AddLink(TDataLink* link) {
  links_.push_back(link);
  if (dataset_ && dataset_->Active()) dataset_->UpdateBufferCount();
}

void TDataSource::RemoveLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  if (dataset_ && dataset_->Active() && !IsDestroying()) dataset_->UpdateBufferCount();
}

// ---- TDataLink ------------------------------------------------------------------

TDataLink::~TDataLink() {
  if (data_source_) data_source_->RemoveLink(this);
  data_source_ = nullptr;
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == data_source_) return;
  if (data_source_) data_source_->RemoveLink(this);
  data_source_ = source;
  if (data_source_) data_source_->AddLink(this);
  UpdateState();
}

TDataSet* TDataLink::DataSet() const {
  return data_source_ ? data_source_->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool value) {
  if (value == read_only_) return;
  read_only_ = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int value) {
  value = std::max(value, 1);
  if (value == buffer_count_) return;
  buffer_count_ = value;
  TDataSet* dataset = DataSet();
  if (active_ && dataset) {
    dataset->UpdateBufferCount();
    ClampFirstRecord(0);
  }
}

int TDataLink::ActiveRecord() const {
  TDataSet* dataset = DataSet();
  if (!active_ || !dataset) return 0;
  return dataset->ActiveRecord() - first_record_;
}

void TDataLink::SetActiveRecord(int value) {
  TDataSet* dataset = DataSet();
  if (active_ && dataset) dataset->SetActiveRecord(first_record_ + value);
}

int TDataLink::RecordCount() const {
  TDataSet* dataset = DataSet();
  if (!active_ || !dataset) return 0;
  return std::clamp(dataset->WindowRecordCount() - first_record_, 0, buffer_count_);
}

bool TDataLink::Edit() {
  if (!read_only_ && !editing_ && data_source_) data_source_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
      ClampFirstRecord(0);
      DataSetChanged();
      break;
    case deDataSetScroll:
      ClampFirstRecord(static_cast<int>(info));
      DataSetScrolled(static_cast<int>(info));
      break;
    case deLayoutChange:
      ClampFirstRecord(0);
      LayoutChanged();
      break;
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case dePropertyChange:
      PropertyChanged();
      break;
    default:
      break;
  }
}

void TDataLink::UpdateState() {
  TDataSetState state = data_source_ ? data_source_->State() : dsInactive;
  SetActive(state != dsInactive);
  bool editing =
      active_ && !read_only_ && (state == dsEdit || state == dsInsert || state == dsSetKey);
  if (editing != editing_) {
    editing_ = editing;
    EditingChanged();
  }
}

void TDataLink::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  first_record_ = 0;
  if (active_) ClampFirstRecord(0);
  ActiveChanged();
}

// Keeps the link's first record such that the dataset's active record lies
// among the BufferCount records the link shows, after the window's contents
// moved by `scroll` positions.
void TDataLink::ClampFirstRecord(int scroll) {
  TDataSet* dataset = DataSet();
  if (!dataset) return;
  first_record_ += scroll;
  int active = dataset->ActiveRecord();
  if (active < first_record_) first_record_ = active;
  if (active >= first_record_ + buffer_count_) first_record_ = active - buffer_count_ + 1;
  first_record_ =
      std::min(first_record_, std::max(0, dataset->WindowRecordCount() - buffer_count_));
  first_record_ = std::max(first_record_, 0);
}

// ---- TMasterDataLink -----------------------------------------------------------------

void TMasterDataLink::SetFieldNames(const std::string& names) {
  if (names == field_names_) return;
  field_names_ = names;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  fields_.clear();
  if (Active()) fields_ = DataSet()->GetFieldList(field_names_);
  if (!dataset_->Active() || dataset_->IsDestroying()) return;
  if (Active() && !fields_.empty()) {
    if (OnMasterChange) OnMasterChange();
  } else if (OnMasterDisable) {
    OnMasterDisable();
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (dataset_->Active()) dataset_->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() {
  ActiveChanged();
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (DataSource()->State() == dsSetKey || !dataset_->Active() || fields_.empty()) return;
  if (field && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
  if (OnMasterChange) OnMasterChange();
}

}  // namespace dataset
