// Opening a cursor dataset: adopting the cursor and reading what the engine
// says about it. Field definitions, record buffers and navigation follow in
// the dataset's record layer.
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kAlreadyOpen[] = "Table is already open.";

}  // namespace

void TNdsDataSet::EstablishCursor() {
  if (tableHandle_ != kNoHandle) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kAlreadyOpen);
  if (activeOrderHandle_ != kNoHandle) {
    // A cursor handed in by OpenOnHandle.
    tableHandle_ = activeOrderHandle_;
    std::uint16_t type = 0;
    CheckEngineCode(this, NdsGetTableType(tableHandle_, &type));
    engineTableType_ = type;
  } else {
    tableHandle_ = OpenEngineCursor();
  }

  // The application reads and writes texts as the engine stores them; an
  // OEM cursor would hand its string fields out in the OEM code page, which
  // lacks many stored characters. The record images then carry every text
  // exactly, and a record read needs no further engine call for its texts.
  CheckEngineCode(this, NdsSetTextCharType(tableHandle_, NDS_ANSI));

  std::uint32_t recordLength = 0;
  CheckEngineCode(this, NdsGetRecordLength(tableHandle_, &recordLength));
  CheckEngineCode(this, NdsGetTableOpenOptions(tableHandle_, &tableOpenOptions_));
  canModify_ = (tableOpenOptions_ & NDS_OPEN_READONLY) == 0;
  // Record locks are skipped only on a writable table cursor the engine
  // opened exclusively: its open holds the whole table, so no other user
  // can reach its records. Every other cursor may be shared and keeps its
  // record locks; a failing peek leaves the table shared.
  exclusive_ = false;
  if (canModify_ && (tableOpenOptions_ & NDS_OPEN_EXCLUSIVE) != 0) {
    std::uint8_t live = 0;
    if (NdsSqlPeekStatement(tableHandle_, &live) == NDS_SUCCESS && live == 1) exclusive_ = true;
  }

  switch (tableOptions_->NdsRecordCache()) {
    case rcNone:
      CheckEngineCode(this, NdsCacheRecords(tableHandle_, 0));
      break;
    case rcAggressive:
      CheckEngineCode(this, NdsCacheRecords(tableHandle_, 100));
      break;
    default:
      break;
  }

  // The page size of the first index, 0 when there is none or the engine
  // cannot say; these calls never raise.
  NDSHANDLE firstIndex = 0;
  std::uint16_t indexCount = 1;
  std::uint32_t pageSize = 0;
  const NDSRESULT indexes = NdsGetAllIndexes(tableHandle_, &firstIndex, &indexCount);
  if ((indexes == NDS_SUCCESS || indexes == NDS_E_INSUFFICIENT_BUFFER) && indexCount > 0 &&
      NdsGetIndexPageSize(firstIndex, &pageSize) == NDS_SUCCESS)
    tableOptions_->SetNdsIndexPageSize(static_cast<TNdsIndexPageSizes>(pageSize));
  else
    tableOptions_->SetNdsIndexPageSize(0);

  recordSize_ = static_cast<std::uint16_t>(recordLength);

  std::uint32_t bookmarkLength = 0;
  CheckEngineCode(this, NdsGetBookmarkLength(BookmarkHandle(), &bookmarkLength));
  SetBookmarkSize(static_cast<int>(bookmarkLength));

  // The field definitions follow the cursor as it is now: a table that
  // gained a column since the last open shows it. They are read before the
  // key buffers are made: a key buffer holds a two-byte mark per engine
  // field, and reading the definitions is what fills in the engine's field
  // descriptions it counts (made first, the buffers would have room for
  // the fields of the previous open, or none).
  FieldDefs().SetUpdated(false);
  FieldDefs().Update();
  keyBuffers_.Allocate(tableHandle_, recordSize_, engineFields_->Count(), this);
  if (DefaultFields()) CreateFields();
  ApplyEngineFieldSettings();
  BindFields(true);
  // The index definitions follow the cursor's index files.
  IndexDefs().SetUpdated(false);
  // The chosen order becomes active; it also decides the buffer layout.
  activeOrderHandle_ = tableHandle_;
  SelectActiveIndex();
  CheckMasterRangeIndex();
  if (scoped_) ActivateScope();
  if (Filtered()) ActivateFilter();
  GoBeforeFirst();
}

void TNdsDataSet::OpenOnHandle(NDSHANDLE cursor) {
  Close();
  activeOrderHandle_ = cursor;
  if (cursor == 0 || cursor == kNoHandle) return;
  try {
    Open();
  } catch (...) {
    activeOrderHandle_ = kNoHandle;
    throw;
  }
}

}  // namespace nds
