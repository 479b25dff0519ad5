// Filters and scopes of the cursor dataset as far as they are built: an
// OnFilterRecord handler hides records while Filtered is on (see the fetch
// loop). Filter texts and scopes are handed to the engine by a later version
// of the components; until then a dataset that would need them refuses to
// open (or to take them while open) instead of showing unfiltered records.
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kNoFilterText[] =
    "Filter expressions are not supported by this version of the components; use "
    "OnFilterRecord.";
constexpr const char kNoScopes[] = "Scopes are not supported by this version of the components.";

}  // namespace

[[noreturn]] void TNdsDataSet::RefuseUnbuilt(const std::string& what) const {
  throw ENDSDatabaseError(this, NDS_E_COMPONENT, what);
}

void TNdsDataSet::ActivateFilter() {
  if (!Filter().empty()) RefuseUnbuilt(kNoFilterText);
}

void TNdsDataSet::DeactivateFilter() {}

void TNdsDataSet::ActivateScope() {
  RefuseUnbuilt(kNoScopes);
}

void TNdsDataSet::DeactivateScope() {}

void TNdsDataSet::SetFiltered(bool value) {
  if (value && Active() && !Filter().empty()) RefuseUnbuilt(kNoFilterText);
  TDataSet::SetFiltered(value);
}

void TNdsDataSet::SetFilterText(const std::string& text) {
  if (!text.empty() && Active() && Filtered()) RefuseUnbuilt(kNoFilterText);
  TDataSet::SetFilterText(text);
}

void TNdsDataSet::SetScoped(bool value) {
  if (value && Active()) RefuseUnbuilt(kNoScopes);
  scoped_ = value;
}

}  // namespace nds
