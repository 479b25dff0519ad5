// TDataSet: construction, opening and closing, states, data events and the
// data sources attached to a dataset.
#include "dataset/dataset.h"

#include <algorithm>
#include <atomic>

#include "dataset/data_source.h"

namespace dataset {

const char* const kDataSetOpenMessage = "Cannot perform this operation on an open dataset";
const char* const kDataSetClosedMessage = "Cannot perform this operation on a closed dataset";
const char* const kDataSetEmptyMessage = "Cannot perform this operation on an empty dataset";
const char* const kDataSetReadOnlyMessage = "Cannot modify a read-only dataset";
const char* const kNotEditingMessage = "Dataset not in edit or insert mode";
const char* const kRecordNotFoundMessage = "Record not found";
const char* const kCircularDataLinkMessage = "Circular Data Link";

namespace {
// The hook is read from any thread that runs a dataset; a plain atomic
// function pointer keeps reading it race-free.
std::atomic<TDataSetExceptionHook> g_exception_hook{nullptr};
}  // namespace

void SetDataSetExceptionHook(TDataSetExceptionHook hook) {
  g_exception_hook.store(hook);
}
TDataSetExceptionHook DataSetExceptionHook() {
  return g_exception_hook.load();
}

TDataSet::TDataSet(TComponent* owner)
    : TDataSetHooks(owner),
      fields_(this),
      field_defs_(std::make_unique<TFieldDefs>(this)),
      index_defs_(std::make_unique<TIndexDefs>(this)) {}

TDataSet::~TDataSet() {
  Destroying();
  // The derived parts are already gone, so neither the close step nor the
  // buffer release can run here: a derived dataset closes itself in its own
  // destructor. Should one forget, its buffers are abandoned rather than
  // released through a hook that no longer exists.
  if (state_ != dsInactive) {
    state_ = dsInactive;
    buffers_.clear();
  }
  while (!data_sources_.empty()) data_sources_.back()->SetDataSet(nullptr);
  // Fields owned by this dataset go with DestroyComponents; the others are
  // only detached.
  DestroyComponents();
  while (fields_.Count() > 0) fields_[fields_.Count() - 1]->SetDataSet(nullptr);
}

// ---- Opening and closing ------------------------------------------------

void TDataSet::SetActive(bool value) {
  if (IsReading() || IsLoading()) {
    streamed_active_ = value;
    return;
  }
  if (Active() == value) return;
  if (value) {
    Fire(BeforeOpen);
    OpenCursor();
    FireAfterOpen();
    if (!IsEmpty()) Fire(AfterScroll);
  } else {
    if (!IsDestroying()) Fire(BeforeClose);
    SetState(dsInactive);
    CloseCursor();
    if (!IsDestroying()) Fire(AfterClose);
  }
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (streamed_active_) {
    streamed_active_ = false;
    SetActive(true);
  }
}

void TDataSet::OpenCursor() {
  state_ = dsOpening;
  try {
    default_fields_ = fields_.Count() == 0;
    EstablishCursor();
    // Sizing the window from nothing fills it from the cursor, which stands
    // before the first record.
    ClearBuffers();
    buffer_count_ = 0;
    UpdateBufferCount();
    bof_ = true;
  } catch (...) {
    state_ = dsInactive;
    CloseCursor();
    throw;
  }
  state_ = dsInactive;  // so that SetState reports the change to browse
  SetState(dsBrowse);
}

void TDataSet::CloseCursor() {
  FreeBuffers();
  try {
    CloseEngineCursor();
  } catch (...) {
    // The close step must not fail; a dataset that raises anyway still ends
    // up closed.
  }
  if (default_fields_) {
    BindFields(false);
    DestroyFields();
  }
  default_fields_ = false;
  bookmark_size_ = 0;
  calc_buffer_ = nullptr;
  modified_ = false;
}

void TDataSet::FreeBuffers() {
  SetBufListSize(0);
  buffer_count_ = 0;
  ClearBuffers();
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(kDataSetClosedMessage);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(kDataSetOpenMessage);
}

// ---- States ---------------------------------------------------------------

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  NotifyDataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState state) {
  TDataSetState previous = state_;
  state_ = state;
  ++disable_count_;
  return previous;
}

void TDataSet::RestoreState(TDataSetState previous) {
  state_ = previous;
  if (disable_count_ > 0) --disable_count_;
}

// ---- Data events -----------------------------------------------------------

void TDataSet::NotifyDataEvent(TDataEvent event, std::intptr_t info) {
  // Most events of an append or a walk without controls reach no one: no
  // field to mark, nothing to forget, no source to tell, nothing pending.
  // That test is all such an event costs; the rest is out of line.
  if (event == deFieldChange || event == dePropertyChange || disable_count_ != 0 ||
      state_ == dsBlockRead || !data_sources_.empty())
    DeliverDataEvent(event, info);
}

void TDataSet::DeliverDataEvent(TDataEvent event, std::intptr_t info) {
  switch (event) {
    case deFieldChange: {
      auto* field = reinterpret_cast<TField*>(info);
      if (field && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) {
        modified_ = true;
        // The test for calculated fields comes before the buffer is looked up.
        if (auto_calc_fields_ && (calc_fields_size_ != 0 || internal_calc_fields_) &&
            (state_ == dsEdit || state_ == dsInsert)) {
          CalculateFields(ActiveBuffer());
        }
      }
      if (field && field->OnChange) field->OnChange(*field);
      break;
    }
    case dePropertyChange:
      field_defs_->SetUpdated(false);
      break;
    default:
      break;
  }
  if (disable_count_ == 0 && state_ != dsBlockRead) {
    // Most events of a walk without controls reach no one.
    if (!data_sources_.empty()) SendToDataSources(event, info);
  } else if (event == deLayoutChange || (event == deUpdateState && state_ == dsInactive)) {
    enable_event_pending_ = true;
    layout_change_pending_ = true;
  } else if (event != deUpdateRecord && event != deCheckBrowseMode) {
    enable_event_pending_ = true;
  }
}

void TDataSet::SendToDataSources(TDataEvent event, std::intptr_t info) {
  // Copy: a handler may attach or detach sources.
  std::vector<TDataSource*> sources = data_sources_;
  for (TDataSource* source : sources) source->DataEvent(event, info);
}

void TDataSet::DisableControls() {
  if (disable_count_ == 0) {
    enable_event_pending_ = false;
    layout_change_pending_ = false;
  }
  ++disable_count_;
}

void TDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ > 0) return;
  if (!enable_event_pending_) return;
  enable_event_pending_ = false;
  bool layout = layout_change_pending_;
  layout_change_pending_ = false;
  if (state_ == dsInactive) {
    NotifyDataEvent(deUpdateState);
  } else {
    NotifyDataEvent(layout ? deLayoutChange : deDataSetChange);
  }
}

void TDataSet::FireAfterOpen() {
  Fire(AfterOpen);
}

void TDataSet::ForwardException() {
  if (TDataSetExceptionHook hook = DataSetExceptionHook()) hook(*this);
}

void TDataSet::HandleEventException() {
  if (DataSetExceptionHook()) {
    ForwardException();
  } else {
    throw;
  }
}

// ---- Data sources -------------------------------------------------------------

TDataSource* TDataSetHooks::MasterDataSource() {
  return nullptr;
}

bool TDataSet::IsLinkedTo(TDataSource* source) {
  // Walk up the chain of master sources starting at `source`; a chain that
  // reaches this dataset would make it its own master.
  std::vector<TDataSet*> seen;
  while (source) {
    TDataSet* dataset = source->DataSet();
    if (!dataset) return false;
    if (dataset == this) return true;
    if (std::find(seen.begin(), seen.end(), dataset) != seen.end()) return true;
    seen.push_back(dataset);
    source = dataset->MasterDataSource();
  }
  return false;
}

void TDataSet::AddDataSource(TDataSource* source) {
  data_sources_.push_back(source);
  if (Active()) UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  data_sources_.erase(std::remove(data_sources_.begin(), data_sources_.end(), source),
                      data_sources_.end());
  if (Active() && !IsDestroying()) UpdateBufferCount();
}

void TDataSet::UpdateBufferCount() {
  if (IsDestroying()) return;
  int count = 1;
  for (TDataSource* source : data_sources_) {
    for (TDataLink* link : source->links_) count = std::max(count, link->BufferCount());
  }
  SetBufferCount(count);
}

}  // namespace dataset
