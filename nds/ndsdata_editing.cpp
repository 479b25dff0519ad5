// Editing hooks of the cursor dataset: begin editing with a record lock (or
// a checksum, under optimistic locking), post by appending or updating the
// engine record, cancel, delete, and the set-up of a new record. Values are
// assigned into the record buffer (ndsdata_writing.cpp); a post sends the
// fields assigned since editing began.
//
// A post that fails leaves the record in edit or insert with everything the
// user assigned still in the buffer and still marked, so that a second post
// sends it all again. The engine keeps no half of a failed post: values it
// took before the failure are cancelled in the edit state (the engine would
// otherwise write them when the cursor next moves) and overwritten by the
// second post of a new record, whose engine append is kept and reused.
#include <cstring>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kRenameFreeTable[] =
    "The method RenameTable in TNdsDataSet is not supported on free tables.";
constexpr const char kNoBatchMove[] = "The method BatchMove in TNdsDataSet is not supported.";
constexpr const char kNoUpdateStatus[] = "The method UpdateStatus in TNdsDataSet is not supported.";
constexpr const char kStaticView[] =
    "This table is based on a static VIEW. Static VIEWs can not be updated.";
constexpr const char kChangedByAnotherUser[] = "Record was changed by another user.";
constexpr const char kUnexpectedAddRecord[] = "Unexpected error in InternalAddRecord.";

bool IsBlobType(std::uint16_t type) {
  return type >= NDS_MEMO && type <= NDS_VARCHAR;
}

// Locks the record being edited; a static view refuses.
void LockEditedRecord(const TNdsDataSet* dataSet, std::uint32_t recordNumber) {
  const NDSRESULT rc = NdsLockRecord(dataSet->TableHandle(), recordNumber);
  if (rc == NDS_E_STATIC_VIEW) throw ENDSDatabaseError(dataSet, NDS_E_STATIC_VIEW, kStaticView);
  CheckEngineCode(dataSet, rc);
}

// Hands the fields written since editing began to the engine's record
// being edited or appended.
void SendModifiedFields(const TNdsDataSet& dataSet, dataset::TRecordBuffer buffer) {
  const NDSHANDLE table = dataSet.TableHandle();
  const TNCEFieldDefs& fields = dataSet.EngineFieldDefs();
  const bool preserveSpaces = dataSet.NdsTableOptions()->NdsPreserveSpaces();
  // Highest field number first, as the engine's record is laid out.
  for (int i = fields.Count() - 1; i >= 0; --i) {
    const TNCEFieldDef& def = *fields.Items(i);
    if (!def.fieldModified || IsBlobType(def.engineType) || def.engineType == NDS_AUTOINC) continue;
    const NDSFIELD field = NDS_FIELD_ORDINAL(def.fieldNumber);
    const std::uint8_t* place = buffer + def.offset;
    if (def.engineType == NDS_STRING || def.engineType == NDS_CISTRING) {
      bool blank = !preserveSpaces;
      for (std::uint32_t b = 0; blank && b < def.length; ++b) blank = place[b] == ' ';
      CheckEngineCode(&dataSet, blank ? NdsSetEmpty(table, field)
                                      : NdsSetField(table, field, place, def.length));
    } else {
      CheckEngineCode(&dataSet, NdsSetFieldRaw(table, field, place, def.length));
    }
  }
}

}  // namespace

// ---- Refused operations ----------------------------------------------------------------

void TNdsDataSet::RenameTable(const std::string& newName) {
  // Only a data dictionary knows its tables by name; free tables are files.
  if (connection_ == nullptr || !connection_->IsDictionaryConnection())
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kRenameFreeTable);
  CheckInactive();
  CheckEngineCode(this, NdsDDRenameObject(connection_->ConnectionHandle(), tableName_.c_str(),
                                          newName.c_str(), NDS_DD_TABLE_OBJECT, 0));
  SetTableName(newName);
}

void TNdsDataSet::BatchMove() {
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoBatchMove);
}

void TNdsDataSet::UpdateStatus() {
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, kNoUpdateStatus);
}

// ---- Helpers ---------------------------------------------------------------------------

[[noreturn]] void TNdsDataSet::RefuseRights(const std::string& text) const {
  // Rights refusals travel as the engine's last error, like the engine's own.
  CheckEngineCode(this, NdsSetLastError(NDS_E_RIGHTS, text.c_str()));
  // Reached only while another error is being built on this thread.
  throw ENDSDatabaseError(this, NDS_E_RIGHTS, text);
}

std::uint32_t TNdsDataSet::BufferRecordNumber(dataset::TRecordBuffer buffer) const {
  std::uint32_t number = 0;
  std::memcpy(&number, layout_.Bookmark(buffer), sizeof number);
  return number;
}

bool TNdsDataSet::CanModify() {
  return canModify_ && !readOnly_;
}

// ---- Editing an existing record -------------------------------------------------------

void TNdsDataSet::BeginEditRecord() {
  if ((tableOpenOptions_ & NDS_OPEN_UPDATE_RIGHT) == 0)
    RefuseRights("Update permission not granted on this table.");
  const dataset::TRecordBuffer buffer = ActiveBuffer();
  const std::uint32_t recordNumber = BufferRecordNumber(buffer);
  const TNdsRecordLockingModes mode = tableOptions_->NdsRecordLockingMode();
  const bool locked = !exclusive_ && mode == lmPessimistic;
  if (locked) LockEditedRecord(this, recordNumber);
  try {
    // The checksum is taken before the record is read, both from the
    // stored row: a change another user posts between the two then fails
    // this edit's post as a conflict. Taken after the read, it would stand
    // for the other user's values while the buffer holds the older ones,
    // and the post would overwrite the other user's change unnoticed.
    const bool optimistic = !exclusive_ && mode == lmOptimistic;
    NDSRESULT crc = NDS_SUCCESS;
    if (optimistic) {
      crc = NdsGetRecordCRC(tableHandle_, &savedRecordChecksum_, 0);
      if (crc != NDS_E_NO_CURRENT_RECORD) CheckEngineCode(this, crc);
    }
    // The record as stored now, not as it was read into the window: another
    // user may have changed it since, and the lock only holds from here on.
    const NDSRESULT rc = NdsRefreshRecord(tableHandle_);
    if (rc != NDS_E_NO_CURRENT_RECORD) CheckEngineCode(this, rc);
    std::uint32_t length = layout_.BufferSize();
    ReadEngineRecord(buffer, length, true);
    // Without a current record the edit is refused once the buffer is read.
    if (crc == NDS_E_NO_CURRENT_RECORD)
      CheckEngineCode(this, NdsGetRecordCRC(tableHandle_, &savedRecordChecksum_, 0));
  } catch (...) {
    // A refused edit keeps no lock behind.
    if (locked) NdsUnlockRecord(tableHandle_, recordNumber);
    throw;
  }
  oldRecordImage_.assign(buffer, buffer + recordSize_);
  oldRecordImage_.push_back(0);
  for (int i = 0; i < engineFields_->Count(); ++i) engineFields_->Items(i)->fieldModified = false;
}

// ---- Posting ----------------------------------------------------------------------------

void TNdsDataSet::PostRecord() {
  const dataset::TDataSetState state = State();
  if (state != dataset::dsEdit && state != dataset::dsInsert) return;
  // The framework has checked the required fields just before.
  const dataset::TRecordBuffer buffer = ActiveBuffer();
  const bool editing = state == dataset::dsEdit;
  const std::uint32_t recordNumber = BufferRecordNumber(buffer);
  bool tookLock = false;
  try {
    if (editing) {
      const bool optimistic = !exclusive_ && tableOptions_->NdsRecordLockingMode() == lmOptimistic;
      // Under a record lock or an exclusive open nobody else changes the
      // record, and the engine cursor stays on it from Edit on (the dataset
      // does not move while it edits): the record is read again only when
      // something else moved the cursor. Optimistic editing reads it again
      // always, so that a refused post shows the other user's values.
      std::uint32_t current = 0;
      if (optimistic || NdsGetRecordNum(tableHandle_, NDS_IGNOREFILTERS, &current) != NDS_SUCCESS ||
          current != recordNumber)
        CheckEngineCode(this, NdsGotoRecord(tableHandle_, recordNumber));
      if (optimistic) {
        LockEditedRecord(this, 0);
        tookLock = true;
        std::uint32_t checksum = 0;
        CheckEngineCode(this, NdsGetRecordCRC(tableHandle_, &checksum, 0));
        if (checksum != savedRecordChecksum_)
          throw ENDSDatabaseError(this, NDS_E_RECORD_CHANGED, kChangedByAnotherUser);
      }
    } else if (ReadBookmarkFlag(buffer) != dataset::bfInserted) {
      CheckEngineCode(this, NdsAppendRecord(tableHandle_));
      // From here on a second post of this record reuses the engine's
      // appended record instead of appending another.
      WriteBookmarkFlag(buffer, dataset::bfInserted);
      std::uint32_t appended = 0;
      CheckEngineCode(this, NdsGetRecordNum(tableHandle_, NDS_IGNOREFILTERS, &appended));
      std::memcpy(layout_.Bookmark(buffer), &appended, sizeof appended);
    }
    SendModifiedFields(*this, buffer);
    // Blob contents written through streams go to the engine after the
    // fields, with their presence markers set in the buffer.
    StoreModifiedBlobCaches(buffer);
    CheckEngineCode(this, NdsWriteRecord(tableHandle_));
    // Only now are the blobs stored; after a failure above they stay
    // pending for the next post.
    blobCaches_.MarkPosted(buffer);
  } catch (...) {
    if (tookLock) NdsUnlockRecord(tableHandle_, recordNumber);
    if (editing) NdsCancelUpdate(tableHandle_);
    throw;
  }
  if (editing && !exclusive_) CheckEngineCode(this, NdsUnlockRecord(tableHandle_, recordNumber));
}

void TNdsDataSet::InternalAddRecord(dataset::TRecordBuffer buffer, bool /*append*/) {
  if (buffer != ActiveBuffer())
    throw ENDSDatabaseError(this, NDS_E_COMPONENT, kUnexpectedAddRecord);
  PostRecord();
}

// ---- Cancelling and deleting ----------------------------------------------------------

void TNdsDataSet::CancelRecordChanges() {
  const NDSRESULT rc = NdsCancelUpdate(tableHandle_);
  if (rc != NDS_E_NO_CURRENT_RECORD && rc != NDS_E_NOT_EDITING) CheckEngineCode(this, rc);
  const dataset::TRecordBuffer active = ActiveBuffer();
  if (State() == dataset::dsInsert) {
    // Back to the record the new one stood before, or after the last one.
    const dataset::TRecordBuffer next = Buffer(ActiveRecord() + 1);
    if (Eof() || next == nullptr || ReadBookmarkFlag(next) != dataset::bfCurrent) {
      GoAfterLast();
      return;
    }
    CheckEngineCode(this, NdsGotoBookmark(tableHandle_, BufferRecordNumber(next)));
  }
  const std::uint32_t recordNumber = BufferRecordNumber(active);
  const bool locked = State() == dataset::dsEdit && !exclusive_ &&
                      tableOptions_->NdsRecordLockingMode() == lmPessimistic;
  std::uint32_t length = layout_.BufferSize();
  try {
    ReadCurrentVisibleRecord(active, length);
  } catch (...) {
    // The edit ends either way; so does its lock.
    if (locked) NdsUnlockRecord(tableHandle_, recordNumber);
    throw;
  }
  if (locked) CheckEngineCode(this, NdsUnlockRecord(tableHandle_, recordNumber));
}

void TNdsDataSet::DeleteCurrentRecord() {
  NDSRESULT rc = NdsDeleteRecord(tableHandle_);
  if (rc == NDS_SUCCESS) rc = NdsWriteRecord(tableHandle_);
  if (rc != NDS_SUCCESS) {
    // Read the error before the cancel can replace it.
    try {
      CheckEngineCode(this, rc);
    } catch (...) {
      NdsCancelUpdate(tableHandle_);
      throw;
    }
  }
  std::uint16_t shown = 0;
  CheckEngineCode(this, NdsGetDeleted(&shown));
  if (!shown) CheckEngineCode(this, NdsSkip(activeOrderHandle_, 1));
}

// ---- New records ------------------------------------------------------------------------

void TNdsDataSet::PrepareInsert() {
  const std::uint32_t none = 0;
  std::memcpy(layout_.Bookmark(ActiveBuffer()), &none, sizeof none);
  oldRecordImage_.clear();
}

void TNdsDataSet::NotifyNewRecord() {
  if (State() == dataset::dsInsert && (tableOpenOptions_ & NDS_OPEN_INSERT_RIGHT) == 0)
    RefuseRights("Insert permission not granted on this table.");
  if (masterLink_->Active()) {
    // The new record belongs to the master's current record: its key
    // fields take the master's values, segment by segment.
    const std::vector<dataset::TField*>& masterFields = masterLink_->Fields();
    for (std::size_t i = 0; i < masterFields.size(); ++i) {
      dataset::TField* detail = SegmentField(static_cast<std::uint16_t>(i));
      if (detail != nullptr) detail->SetAsVariant(masterFields[i]->AsVariant());
    }
  }
  TDataSet::NotifyNewRecord();
}

}  // namespace nds
