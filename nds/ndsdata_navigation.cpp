// Navigation of the cursor dataset: fetching the current, next or prior
// visible record, positioning at either end, on a bookmark or a record
// number, record numbers and the record count. The engine keeps the cursor's
// position and hides what its filters, scopes and deleted-record setting
// exclude; OnFilterRecord hides more on this side.
#include <cstring>
#include <string>

#include "nds/ndsdata.h"

namespace nds {

namespace {

NDSHANDLE FirstWord(const void* bookmark) {
  NDSHANDLE value = 0;
  std::memcpy(&value, bookmark, sizeof value);
  return value;
}

// Goes to the sequenced record number `value` of the active index order
// (CurrentRecordNumber's inverse); answers the engine's code.
NDSRESULT MoveToKeyPosition(const TNdsDataSet& dataSet, int value) {
  const NDSHANDLE order = dataSet.ActiveOrderHandle();
  // The inverse of CurrentRecordNumber. The engine goes to the key at
  // offset floor(position x keys shown). The exact level numbers keys from
  // 1 among those shown; the standard level gives the key at offset k of C
  // records the number k (the last key C). Half a key more or less keeps
  // the division's rounding off the boundary; beyond the last key the
  // position is the end (1.0).
  const bool exact = dataSet.SequencedLevel() == slExact;
  std::uint32_t count = 0;
  NDSRESULT rc = exact ? NdsGetRecordCount(order, NDS_RESPECTFILTERS, &count)
                       : NdsGetRecordCount(dataSet.TableHandle(), NDS_IGNOREFILTERS, &count);
  if (rc != NDS_SUCCESS) return rc;
  double position = 0;
  if (count > 0) position = (value + (exact ? -0.5 : 0.5)) / count;
  if (position >= 1.0) position = 1.0;
  if (position < 0) position = 0;
  return NdsSetRelKeyPos(order, position);
}

// The handle CountRecords asks with counting option `option`.
NDSHANDLE CountingHandle(const TNdsDataSet& dataSet, std::uint16_t option) {
  const NDSHANDLE table = dataSet.TableHandle();
  const NDSHANDLE order = dataSet.ActiveOrderHandle();
  const bool indexActive = table != kNoHandle && order != kNoHandle && order != table;
  if (option != NDS_RESPECTFILTERS || !indexActive) return order;
  // A unique order of a DBF kind shows one record per key: only it knows
  // how many. Any other order shows the table's records, unless its
  // condition or a scope narrows it; the table itself counts those.
  if (dataSet.SourceTableType() != ttNdsNDT) {
    std::uint32_t flags = 0;
    CheckEngineCode(&dataSet, NdsGetIndexFlags(order, &flags));
    if ((flags & NDS_INDEX_UNIQUE) != 0) return order;
  }
  if (IndexHasCondition(dataSet, order) || IndexHasScope(dataSet, order)) return order;
  return table;
}

}  // namespace

dataset::TGetResult TNdsDataSet::FetchRecord(dataset::TRecordBuffer buffer,
                                             dataset::TGetMode mode) {
  if (tableHandle_ == kNoHandle || State() == dataset::dsInsert) return dataset::grError;
  // A bookmark whose record is gone leaves no current record to fetch, so
  // the framework reports "Record not found" instead of showing the record
  // the cursor happened to stand on.
  if (bookmarkMissed_) {
    bookmarkMissed_ = false;
    if (mode == dataset::gmCurrent) return dataset::grError;
  }
  if (mode != dataset::gmNext && mode != dataset::gmPrior && mode != dataset::gmCurrent)
    return dataset::grError;
  std::uint32_t length = layout_.BufferSize();
  const dataset::TGetResult result = mode == dataset::gmCurrent
                                         ? ReadCurrentVisibleRecord(buffer, length)
                                         : StepToVisibleRecord(buffer, length, mode);
  if (result == dataset::grOK) {
    const std::int32_t recNo = PhysicalRecordNumbers()
                                   ? static_cast<std::int32_t>(readRecordNumber_)
                                   : CurrentRecordNumber();
    layout_.WriteInfo(buffer, recNo, dataset::bfCurrent);
  }
  return result;
}

dataset::TGetResult TNdsDataSet::ReadCurrentVisibleRecord(dataset::TRecordBuffer buffer,
                                                          std::uint32_t& length) {
  // The ends, whether the record is shown (a bookmark or a record number may
  // have put the cursor on a record the engine hides) and the record itself
  // are one engine call, which writes nothing off a shown record.
  auto bookmarkLength = static_cast<std::uint32_t>(BookmarkSize());
  std::uint16_t place = NDS_PLACE_HIDDEN;
  CheckEngineCode(this,
                  NdsGetVisibleRecord(activeOrderHandle_, buffer, &length, layout_.Bookmark(buffer),
                                      &bookmarkLength, &readRecordNumber_, &place));
  if (place == NDS_PLACE_EOF) return dataset::grEOF;
  if (place == NDS_PLACE_BOF) return dataset::grBOF;
  if (place != NDS_PLACE_RECORD) return dataset::grError;
  // Blob contents cached for the record the buffer held before are gone.
  blobCaches_.Reset(buffer);
  const bool calcBeforeFilter = tableOptions_->NdsCalcFieldsBeforeFilter();
  if (calcBeforeFilter) CalculateFields(buffer);
  if (Filtered() && OnFilterRecord() && !CallFilterEvent(buffer)) return dataset::grError;
  if (!calcBeforeFilter) CalculateFields(buffer);
  return dataset::grOK;
}

dataset::TGetResult TNdsDataSet::StepToVisibleRecord(dataset::TRecordBuffer buffer,
                                                     std::uint32_t& length,
                                                     dataset::TGetMode mode) {
  const std::int32_t step = mode == dataset::gmPrior ? -1 : 1;
  const bool filterEvent = Filtered() && static_cast<bool>(OnFilterRecord());
  const bool calcBeforeFilter = tableOptions_->NdsCalcFieldsBeforeFilter();
  for (;;) {
    // NdsSkip moves only onto records the engine shows; the move and the
    // read of the record reached are one engine call.
    auto bookmarkLength = static_cast<std::uint32_t>(BookmarkSize());
    std::uint16_t atEdge = 0;
    CheckEngineCode(this, NdsSkipAndGetRecord(activeOrderHandle_, step, buffer, &length,
                                              layout_.Bookmark(buffer), &bookmarkLength,
                                              &readRecordNumber_, &atEdge));
    if (atEdge) return step > 0 ? dataset::grEOF : dataset::grBOF;
    // Blob contents cached for the record the buffer held before are gone.
    blobCaches_.Reset(buffer);
    if (calcBeforeFilter) CalculateFields(buffer);
    if (filterEvent && !CallFilterEvent(buffer)) continue;
    if (!calcBeforeFilter) CalculateFields(buffer);
    return dataset::grOK;
  }
}

bool TNdsDataSet::CallFilterEvent(dataset::TRecordBuffer buffer) {
  bool accept = true;
  const dataset::TRecordBuffer saved = filterBuffer_;
  filterBuffer_ = buffer;
  TempState state(*this, dataset::dsFilter);
  try {
    OnFilterRecord()(*this, accept);
  } catch (...) {
    filterBuffer_ = saved;
    // Propagates unless the dataset layer's exception hook takes it; a
    // record whose handler failed is not shown.
    HandleEventException();
    return false;
  }
  filterBuffer_ = saved;
  return accept;
}

std::int32_t TNdsDataSet::CurrentRecordNumber() {
  std::uint32_t number = 0;
  if (!IndexIsActive() || !sequenced_) {
    CheckEngineCode(this, NdsGetRecordNum(tableHandle_, NDS_IGNOREFILTERS, &number));
    return static_cast<std::int32_t>(number);
  }
  if (sequencedLevel_ == slExact) {
    CheckEngineCode(this, NdsGetKeyNum(activeOrderHandle_, NDS_RESPECTFILTERS, &number));
    return static_cast<std::int32_t>(number);
  }
  std::uint32_t count = 0;
  CheckEngineCode(this, NdsGetRecordCount(tableHandle_, NDS_IGNOREFILTERS, &count));
  double position = 0;
  const NDSRESULT rc = NdsGetRelKeyPos(activeOrderHandle_, &position);
  if (rc == NDS_E_NO_POSITION)
    position = 0;
  else
    CheckEngineCode(this, rc);
  return static_cast<std::int32_t>(count * position);
}

void TNdsDataSet::GoBeforeFirst() {
  bookmarkMissed_ = false;
  CheckEngineCode(this, NdsGotoBOF(activeOrderHandle_));
}

void TNdsDataSet::GoAfterLast() {
  bookmarkMissed_ = false;
  CheckEngineCode(this, NdsGotoBottom(activeOrderHandle_));
  CheckEngineCode(this, NdsSkip(activeOrderHandle_, 1));
}

void TNdsDataSet::GoToBookmark(const void* bookmark) {
  if (State() == dataset::dsInsert) return;
  const NDSRESULT rc = NdsGotoBookmark(tableHandle_, FirstWord(bookmark));
  bookmarkMissed_ = rc == NDS_E_INVALID_RECORD;
  if (!bookmarkMissed_) CheckEngineCode(this, rc);
}

void TNdsDataSet::GoToBufferRecord(dataset::TRecordBuffer buffer) {
  GoToBookmark(layout_.Bookmark(buffer));
}

void TNdsDataSet::RefreshCurrentRecord() {
  const NDSRESULT rc = NdsRefreshRecord(tableHandle_);
  if (rc != NDS_E_NO_CURRENT_RECORD) CheckEngineCode(this, rc);
}

bool TNdsDataSet::BookmarkIsValid(const void* bookmark) {
  if (!Active() || bookmark == nullptr) return false;
  CursorPosChanged();
  if (NdsGotoBookmark(tableHandle_, FirstWord(bookmark)) != NDS_SUCCESS) return false;
  std::uint16_t atEnd = 0;
  if (NdsAtEOF(tableHandle_, &atEnd) != NDS_SUCCESS || atEnd) return false;
  if (tableType_ == ttNdsCDX || tableType_ == ttNdsNTX) {
    std::uint16_t deleted = 0;
    CheckEngineCode(this, NdsIsRecordDeleted(tableHandle_, &deleted));
    if (deleted == 1) {
      std::uint16_t shown = 0;
      CheckEngineCode(this, NdsGetDeleted(&shown));
      if (!shown) return false;
    }
  }
  return true;
}

int TNdsDataSet::CompareBookmarkValues(const void* a, const void* b) {
  if (a != nullptr && b != nullptr) {
    std::int32_t result = 0;
    CheckEngineCode(this, NdsCompareBookmarks(a, b, &result));
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
  }
  if (a != nullptr) return -1;
  if (b != nullptr) return 1;
  return 0;
}

int TNdsDataSet::ReadRecNo() {
  CheckActive();
  if (State() == dataset::dsCalcFields) {
    std::int32_t word = 0;
    std::memcpy(&word, layout_.Bookmark(CalcBuffer()), sizeof word);
    return word;
  }
  if (IsEmpty()) return 0;
  return layout_.RecNo(ActiveBuffer());
}

void TNdsDataSet::MoveToRecNo(int value) {
  // Sequenced numbers under an index order are key positions, and the
  // standard level numbers the first key 0. Other numbers start at 1; the
  // engine would read 0 or a negative number as a position past the end
  // and show the last record instead.
  const bool byKey = IndexIsActive() && sequenced_;
  if (value < (byKey ? 0 : 1))
    throw ENDSDatabaseError(this, NDS_E_INVALID_RECORD,
                            "Invalid record number " + std::to_string(value) + ".");
  CheckBrowseMode();
  Fire(BeforeScroll);
  bookmarkMissed_ = false;
  NDSRESULT rc;
  if (byKey) {
    rc = MoveToKeyPosition(*this, value);
  } else if (Filtered()) {
    rc = NdsGotoTop(tableHandle_);
    if (rc == NDS_SUCCESS && value > 1) rc = NdsSkip(tableHandle_, value - 1);
  } else {
    rc = NdsGotoRecord(tableHandle_, static_cast<std::uint32_t>(value));
  }
  if (rc != NDS_SUCCESS) {
    // The cursor may have moved; the window shows what it showed before.
    CursorPosChanged();
    CheckEngineCode(this, rc);
  }
  Resync({dataset::rmCenter});
  Fire(AfterScroll);
}

int TNdsDataSet::CountRecords() {
  CheckActive();
  std::uint16_t option = NDS_IGNOREFILTERS;
  if (tableOptions_->NdsFilterOptions() == RESPECT_WHEN_COUNTING)
    option = NDS_RESPECTFILTERS;
  else if (tableOptions_->NdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING)
    option = NDS_RESPECTSCOPES;
  const NDSHANDLE counting = CountingHandle(*this, option);
  if (tableOptions_->NdsFreshRecordCount()) option += NDS_REFRESHCOUNT;
  std::uint32_t count = 0;
  CheckEngineCode(this, NdsGetRecordCount(counting, option, &count));
  return static_cast<int>(count);
}

}  // namespace nds
