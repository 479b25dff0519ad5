// Filters of the cursor dataset: the Filter text handed to the engine as an
// optimized filter (AOF) or a classic filter, OnFilterRecord evaluated record
// by record, and the framework's find-record hook (FindFirst ... FindPrior),
// which searches with the Filter text whether Filtered is on or not.
#include <memory>
#include <string>
#include <vector>

#include "nds/ndsdata.h"
#include "nds/ndsdata_filter_text.h"

namespace nds {

namespace {

constexpr const char kExpectedFilterEvent[] = "Expected OnFilterRecord event.";
// Room the engine's short form of an expression may need beyond the text.
constexpr std::size_t kShortFormReserve = 51;

using ExpressionConversion = NDSRESULT (*)(NDSHANDLE, const char*, char*, std::uint16_t*);

std::string ConvertExpression(const TNdsDataSet* owner, ExpressionConversion convert,
                              NDSHANDLE cursor, const std::string& text, std::size_t room) {
  std::vector<char> buffer(room + 1, '\0');
  auto length = static_cast<std::uint16_t>(std::min<std::size_t>(room, 0xFFFF));
  CheckEngineCode(owner, convert(cursor, text.c_str(), buffer.data(), &length));
  return std::string(buffer.data());
}

// The Filter text as the engine gets it, and its exact-match setting.
struct TPreparedFilter {
  std::string text;
  bool exact = true;
};

TPreparedFilter PrepareFilterText(const TNdsDataSet& dataSet) {
  const std::string& filter = dataSet.Filter();
  const bool ndt = dataSet.TableTypeCode() == NDS_NDT;
  const NDSHANDLE cursor = dataSet.TableHandle();
  const std::size_t room = filter.size() + kShortFormReserve;
  std::string text =
      ndt ? ConvertExpression(&dataSet, NdsExpressionLongToShort, cursor, filter, room) : filter;
  TPreparedFilter prepared;
  text = StripPrefixAsterisks(text, prepared.exact);
  prepared.text =
      ndt ? ConvertExpression(&dataSet, NdsExpressionShortToLong, cursor, text, room) : text;
  return prepared;
}

// Clears the engine filter of the kind NdsOptimizedFilters names; the
// engine's answer is not checked (a failure is being reported already).
void ClearFilterQuietly(const TNdsDataSet& dataSet) {
  if (dataSet.NdsTableOptions()->NdsOptimizedFilters())
    NdsClearAOF(dataSet.TableHandle());
  else
    NdsClearFilter(dataSet.TableHandle());
}

}  // namespace

// ---- The Filter text on the engine ------------------------------------------------

void TNdsDataSet::SetFiltered(bool value) {
  // The engine takes the filter first: a text it refuses leaves Filtered,
  // the records and the position as they were.
  if (tableHandle_ != kNoHandle) {
    if (value)
      ActivateFilter();
    else
      DeactivateFilter();
  }
  const bool changed = value != Filtered();
  TDataSet::SetFiltered(value);  // moves to the first record when it changes
  if (!changed && Active()) First();
}

void TNdsDataSet::SetFilterText(const std::string& text) {
  const std::string previous = Filter();
  TDataSet::SetFilterText(text);
  if (!Active() || !Filtered()) return;
  try {
    SetFiltered(true);
  } catch (...) {
    // The engine kept the previous filter; the text and the exact setting
    // go back with it.
    TDataSet::SetFilterText(previous);
    try {
      ActivateFilter();
    } catch (...) {
      // The refusal of the new text is the failure to report.
    }
    throw;
  }
}

void TNdsDataSet::ActivateFilter() {
  if (Filter().empty()) {
    DeactivateFilter();
    return;
  }
  const TPreparedFilter prepared = PrepareFilterText(*this);
  CheckEngineCode(this, NdsSetExact22(tableHandle_, prepared.exact ? 1 : 0));
  if (tableOptions_->NdsOptimizedFilters())
    CheckEngineCode(
        this, NdsSetAOF(tableHandle_, prepared.text.c_str(), tableOptions_->EngineAOFOptions()));
  else
    CheckEngineCode(this, NdsSetFilter(tableHandle_, prepared.text.c_str()));
}

void TNdsDataSet::DeactivateFilter() {
  const NDSRESULT rc = tableOptions_->NdsOptimizedFilters() ? NdsClearAOF(tableHandle_)
                                                            : NdsClearFilter(tableHandle_);
  if (rc != NDS_E_NO_FILTER) CheckEngineCode(this, rc);
}

// ---- OnFilterRecord ----------------------------------------------------------------

bool TNdsDataSet::ScanWithFilterEvent(bool forward) {
  if (!OnFilterRecord()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kExpectedFilterEvent);
  const auto release = [this](dataset::TRecordBuffer* b) { ReleaseRecordBuffer(*b); };
  dataset::TRecordBuffer buffer = AllocateRecordBuffer();
  std::unique_ptr<dataset::TRecordBuffer, decltype(release)> owned(&buffer, release);
  for (;;) {
    std::uint32_t length = layout_.BufferSize();
    ReadEngineRecord(buffer, length, false);
    if (tableOptions_->NdsCalcFieldsBeforeFilter()) CalculateFields(buffer);
    if (CallFilterEvent(buffer)) return true;
    CheckEngineCode(this, NdsSkip(activeOrderHandle_, forward ? 1 : -1));
    std::uint16_t atEnd = 0;
    CheckEngineCode(this,
                    forward ? NdsAtEOF(tableHandle_, &atEnd) : NdsAtBOF(tableHandle_, &atEnd));
    if (atEnd) return false;
  }
}

// ---- Find-record hook ----------------------------------------------------------------

bool TNdsDataSet::FindRecord(bool restart, bool forward) {
  CheckBrowseMode();
  Fire(BeforeScroll);
  UpdateCursorPos();
  CursorPosChanged();
  // The Filter text governs the search even while Filtered is off.
  const bool borrowed = !Filtered();
  if (borrowed) ActivateFilter();
  std::uint16_t atEnd = 0;
  try {
    if (forward) {
      CheckEngineCode(this,
                      restart ? NdsGotoTop(activeOrderHandle_) : NdsSkip(activeOrderHandle_, 1));
      CheckEngineCode(this, NdsAtEOF(tableHandle_, &atEnd));
    } else {
      CheckEngineCode(
          this, restart ? NdsGotoBottom(activeOrderHandle_) : NdsSkip(activeOrderHandle_, -1));
      CheckEngineCode(this, NdsAtBOF(tableHandle_, &atEnd));
    }
    if (!atEnd && OnFilterRecord()) atEnd = ScanWithFilterEvent(forward) ? 0 : 1;
  } catch (...) {
    // The search's own failure is the one to report.
    if (borrowed) ClearFilterQuietly(*this);
    throw;
  }
  if (borrowed) DeactivateFilter();
  if (atEnd) return false;
  Resync({dataset::rmExact, dataset::rmCenter});
  Fire(AfterScroll);
  return true;
}

}  // namespace nds
