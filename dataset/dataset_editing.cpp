// TDataSet: editing records. The framework drives every step of an edit,
// insert, post, cancel and delete; the dataset's hooks do the store's work.
#include <cstring>

#include "dataset/dataset.h"

namespace dataset {

void TDataSet::CheckCanModify() {
  if (!CanModify()) DatabaseError(kDataSetReadOnlyMessage);
}

bool TDataSetHooks::CanModify() {
  return true;
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : fields_) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
        field->IsNull()) {
      DatabaseError("Field '" + field->DisplayName() + "' must have a value");
    }
  }
}

void TDataSet::UpdateRecord() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) {
    DatabaseError(kNotEditingMessage);
  }
  NotifyDataEvent(deUpdateRecord);
}

// Runs `operation` with the cursor on the active record; when it raises an
// EDatabaseError, the error event decides: fail (propagate), abort (a silent
// EAbort) or retry.
void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& on_error) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*operation)();
      return;
    } catch (EDatabaseError& error) {
      TDataAction action = daFail;
      if (on_error) on_error(*this, error, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort();
    }
  }
}

void TDataSet::CheckAndPostRecord() {
  CheckRequiredFields();
  PostRecord();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  NotifyDataEvent(deCheckBrowseMode);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

// The record the blob fields belonged to is done with: the dataset may
// free what it held for them.
void TDataSet::CloseBlobFields() {
  if (blob_field_count_ == 0) return;
  for (TField* field : fields_) {
    if (field->IsBlob()) CloseBlobField(*field);
  }
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  CheckActive();
  if (record_count_ == 0) {
    // Nothing to edit: editing an empty dataset starts a new record.
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit);
  CheckOperation(&TDataSet::BeginEditRecord, OnEditError);
  CalculateFields(ActiveBuffer());
  SetState(dsEdit);
  NotifyDataEvent(deRecordChange);
  Fire(AfterEdit);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert);
  Fire(BeforeScroll);
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    NotifyNewRecord();
  } catch (...) {
    // A refused new record leaves the dataset as it was before.
    UpdateCursorPos();
    SetState(dsBrowse);
    Resync({});
    throw;
  }
  modified_ = false;
  NotifyDataEvent(deDataSetChange);
  Fire(AfterInsert);
  Fire(AfterScroll);
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark old_current = GetBookmark();
  // The new record is prepared in the spare buffer, so that a refused one
  // (a default value that does not fit) leaves the window as it was.
  InitRecordBuffer(buffers_[record_count_]);
  // The spare buffer becomes the new record at the active position; when
  // the window is full the last record drops out of it.
  MoveBuffer(record_count_, active_record_);
  TRecordBuffer buffer = buffers_[active_record_];
  if (record_count_ == 0) {
    WriteBookmarkFlag(buffer, bfBOF);
  } else if (!old_current.empty()) {
    CopyBookmarkIn(buffer, old_current.data());
  }
  if (record_count_ < buffer_count_) ++record_count_;
  current_record_ = -1;
  try {
    PrepareInsert();
  } catch (...) {
    UpdateCursorPos();
    Resync({});
    throw;
  }
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  // Prepared in the spare buffer before the window is emptied: a refused
  // new record leaves the window as it was.
  InitRecordBuffer(buffers_[record_count_]);
  MoveBuffer(record_count_, 0);
  ClearBuffers();
  TRecordBuffer buffer = buffers_[0];
  WriteBookmarkFlag(buffer, bfEOF);
  record_count_ = 1;
  bof_ = false;
  try {
    // The records before the new one fill the rest of the window.
    GetPriorRecords();
    PrepareInsert();
  } catch (...) {
    Resync({});
    throw;
  }
  EndInsertAppend();
}

void TDataSet::InitRecordBuffer(TRecordBuffer buffer) {
  ClearRecordImage(buffer);
  ClearCalculatedArea(buffer);
  WriteBookmarkFlag(buffer, bfInserted);
}

void TDataSet::ClearCalculatedArea(TRecordBuffer buffer) {
  if (calc_fields_size_ > 0) std::memset(buffer + RecordImageSize(), 0, calc_fields_size_);
}

void TDataSet::NotifyNewRecord() {
  Fire(OnNewRecord);
}

void TDataSet::Post() {
  UpdateRecord();
  switch (state_) {
    case dsEdit:
    case dsInsert:
      NotifyDataEvent(deCheckBrowseMode);
      Fire(BeforePost);
      CheckOperation(&TDataSet::CheckAndPostRecord, OnPostError);
      CloseBlobFields();
      SetState(dsBrowse);
      Resync({});
      Fire(AfterPost);
      break;
    case dsSetKey:
      EndKeyEdit(true);
      break;
    default:
      break;
  }
}

void TDataSet::Cancel() {
  switch (state_) {
    case dsEdit:
    case dsInsert: {
      NotifyDataEvent(deCheckBrowseMode);
      Fire(BeforeCancel);
      bool inserting = state_ == dsInsert;
      if (inserting) Fire(BeforeScroll);
      UpdateCursorPos();
      CancelRecordChanges();
      CloseBlobFields();
      SetState(dsBrowse);
      Resync({});
      Fire(AfterCancel);
      if (inserting) Fire(AfterScroll);
      break;
    }
    case dsSetKey:
      EndKeyEdit(false);
      break;
    default:
      break;
  }
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (record_count_ == 0) DatabaseError(kDataSetEmptyMessage);
  NotifyDataEvent(deCheckBrowseMode);
  Fire(BeforeDelete);
  Fire(BeforeScroll);
  CheckOperation(&TDataSet::DeleteCurrentRecord, OnDeleteError);
  CloseBlobFields();
  SetState(dsBrowse);
  Resync({});
  Fire(AfterDelete);
  Fire(AfterScroll);
}

void TDataSet::ClearFields() {
  if (state_ != dsEdit && state_ != dsInsert) DatabaseError(kNotEditingMessage);
  TRecordBuffer buffer = ActiveBuffer();
  ClearRecordImage(buffer);
  ClearCalculatedArea(buffer);
  CalculateFields(buffer);
  modified_ = true;
  NotifyDataEvent(deRecordChange);
}

void TDataSet::InsertRecord(const std::vector<Variant>& values) {
  AddRecord(values, false);
}
void TDataSet::AppendRecord(const std::vector<Variant>& values) {
  AddRecord(values, true);
}

void TDataSet::AddRecord(const std::vector<Variant>& values, bool append) {
  if (static_cast<int>(values.size()) > fields_.Count()) {
    DatabaseError("Too many values for the fields of the dataset");
  }
  BeginInsertAppend();
  if (!append) UpdateCursorPos();
  // The links see the dataset before and after, not the record being built.
  DisableControls();
  try {
    MoveBuffer(record_count_, active_record_);
    TRecordBuffer buffer = buffers_[active_record_];
    try {
      InitRecordBuffer(buffer);
      if (append) WriteBookmarkFlag(buffer, bfEOF);
      state_ = dsInsert;
      NotifyNewRecord();
      Fire(AfterInsert);
      for (size_t i = 0; i < values.size(); ++i) {
        TField* field = fields_[static_cast<int>(i)];
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) {
          field->SetAsVariant(values[i]);
        }
      }
      Fire(BeforePost);
      CheckRequiredFields();
      InternalAddRecord(buffer, append);
    } catch (...) {
      // The new record is abandoned: undo what the store holds of it and
      // refill the window from the cursor.
      try {
        CancelRecordChanges();
      } catch (...) {
      }
      state_ = dsBrowse;
      modified_ = false;
      CursorPosChanged();
      Resync({});
      throw;
    }
    state_ = dsBrowse;
    modified_ = false;
    Resync({});
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
  Fire(AfterPost);
}

void TDataSet::InternalAddRecord(TRecordBuffer, bool) {
  PostRecord();
}

}  // namespace dataset
