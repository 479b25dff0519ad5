// Scopes of the cursor dataset: ScopeBegin and ScopeEnd bound the active
// index by key texts while Scoped is on. A scope and a range both live in the
// engine's scope of the active index, so each refuses while the other is in
// force.
#include <cstring>
#include <string>

#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr std::size_t kMaxScopeText = 4082;
constexpr const char kScopeTooLong[] = "Scope text length exceeded ";
constexpr const char kScopeWithoutIndex[] = "Cannot activate scope when there is no active index.";
constexpr const char kScopeWithRange[] = "Cannot activate scope when there is an active range.";

// Refuses a scope text longer than the engine takes.
void CheckScopeText(const TNdsDataSet* dataSet, const std::string& text) {
  if (text.size() > kMaxScopeText)
    throw ENDSDatabaseError(dataSet, NDS_E_COMPONENT,
                            kScopeTooLong + std::to_string(kMaxScopeText));
}

}  // namespace

void TNdsDataSet::SetScopeBegin(const std::string& text) {
  CheckScopeText(this, text);
  scopeBegin_ = text;
}

void TNdsDataSet::SetScopeEnd(const std::string& text) {
  CheckScopeText(this, text);
  scopeEnd_ = text;
}

void TNdsDataSet::ActivateScope() {
  if (!IndexIsActive()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kScopeWithoutIndex);
  for (std::uint16_t end : {NDS_TOP, NDS_BOTTOM}) {
    char key[kMaxScopeText] = {};
    std::uint16_t length = sizeof key;
    if (NdsGetScope(activeOrderHandle_, end, key, &length) == NDS_SUCCESS)
      throw ENDSDatabaseError(this, NDS_E_COMPONENT, kScopeWithRange);
  }
  try {
    if (!scopeBegin_.empty())
      CheckEngineCode(this,
                      NdsSetScope(activeOrderHandle_, NDS_TOP, scopeBegin_.data(),
                                  static_cast<std::uint16_t>(scopeBegin_.size()), NDS_STRINGKEY));
    if (!scopeEnd_.empty())
      CheckEngineCode(this,
                      NdsSetScope(activeOrderHandle_, NDS_BOTTOM, scopeEnd_.data(),
                                  static_cast<std::uint16_t>(scopeEnd_.size()), NDS_STRINGKEY));
  } catch (...) {
    // A bottom the engine refuses must not leave half a scope behind.
    NdsClearScope(activeOrderHandle_, NDS_TOP);
    NdsClearScope(activeOrderHandle_, NDS_BOTTOM);
    throw;
  }
}

void TNdsDataSet::DeactivateScope() {
  if (!IndexIsActive()) return;
  for (std::uint16_t end : {NDS_TOP, NDS_BOTTOM}) {
    const NDSRESULT rc = NdsClearScope(activeOrderHandle_, end);
    if (rc != NDS_E_NO_SCOPE) CheckEngineCode(this, rc);
  }
}

void TNdsDataSet::SetScoped(bool value) {
  if (value == scoped_) return;
  if (Active()) {
    CheckBrowseMode();
    // The record to come back to when the scope goes: the bookmark's
    // record, whatever the record numbering of the order.
    NDSHANDLE current = 0;
    if (!IsEmpty()) std::memcpy(&current, layout_.Bookmark(ActiveBuffer()), sizeof current);
    if (value) {
      ActivateScope();
      scoped_ = true;
      UpdateCursorPos();
      std::uint16_t visible = 0;
      const NDSRESULT rc = NdsIsRecordVisible(activeOrderHandle_, &visible);
      if (rc != NDS_E_NO_CURRENT_RECORD) CheckEngineCode(this, rc);
      if (rc == NDS_SUCCESS && visible && !IsEmpty())
        Resync({dataset::rmExact, dataset::rmCenter});
      else
        First();
      return;
    }
    const bool wasEmpty = Bof() && Eof();
    DeactivateScope();
    scoped_ = false;
    if (wasEmpty) {
      First();
      return;
    }
    const NDSRESULT rc = NdsGotoBookmark(tableHandle_, current);
    CursorPosChanged();
    if (rc == NDS_E_INVALID_RECORD) {
      Next();
      return;
    }
    CheckEngineCode(this, rc);
    Resync({dataset::rmCenter});
    return;
  }
  scoped_ = value;
}

}  // namespace nds
