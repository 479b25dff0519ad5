// TNdsTableOptions: the settings a dataset's cursor is opened and treated
// with, and the engine codes they travel as.
#include "nds/ndsdata.h"

namespace nds {

std::uint16_t EngineTableTypeCode(TNdsTableTypes type) {
  switch (type) {
    case ttNdsCDX:
      return NDS_CDX;
    case ttNdsNTX:
      return NDS_NTX;
    default:
      return NDS_NDT;
  }
}

std::uint16_t EngineLockTypeCode(TNdsLockTypes type) {
  return type == Compatible ? NDS_COMPATIBLE_LOCKING : NDS_PROPRIETARY_LOCKING;
}

std::uint16_t EngineCharTypeCode(TNdsCharTypes type) {
  return type == OEM ? NDS_OEM : NDS_ANSI;
}

std::uint16_t EngineRightsCode(bool rightsCheck) {
  return rightsCheck ? NDS_CHECK_RIGHTS : NDS_IGNORE_RIGHTS;
}

TNdsTableOptions::TNdsTableOptions(TNdsDataSet& owner) : owner_(owner) {}

dataset::TPersistent* TNdsTableOptions::GetOwner() const {
  return &owner_;
}

void TNdsTableOptions::Assign(const dataset::TPersistent* source) {
  const auto* other = dynamic_cast<const TNdsTableOptions*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  // Through the setters, so that an open dataset refuses what it refuses
  // one by one.
  SetNdsLockType(other->lockType_);
  SetNdsCharType(other->charType_);
  SetNdsFilterOptions(other->filterOptions_);
  SetNdsFreshRecordCount(other->freshRecordCount_);
  SetNdsScopeOptions(other->scopeOptions_);
  SetNdsAOFResolveImmediate(other->aofResolveImmediate_);
  SetNdsRightsCheck(other->rightsCheck_);
  SetNdsOptimizedFilters(other->optimizedFilters_);
  SetNdsIndexPageSize(other->indexPageSize_);
  SetNdsRecordCache(other->recordCache_);
  SetNdsAOFType(other->aofType_);
  SetNdsAutoKeyFieldCount(other->autoKeyFieldCount_);
  SetNdsCalcFieldsBeforeFilter(other->calcFieldsBeforeFilter_);
  SetNdsRecordLockingMode(other->recordLockingMode_);
  SetNdsPreserveSpaces(other->preserveSpaces_);
  SetNdsNumericsAsFloats(other->numericsAsFloats_);
}

void TNdsTableOptions::CheckOwnerInactive() const {
  if (owner_.Active()) throw ENDSDatabaseError(&owner_, NDS_E_COMPONENT, kTableMustNotBeActive);
}

void TNdsTableOptions::SetNdsLockType(TNdsLockTypes value) {
  CheckOwnerInactive();
  lockType_ = value;
}

void TNdsTableOptions::SetNdsCharType(TNdsCharTypes value) {
  CheckOwnerInactive();
  charType_ = value;
}

void TNdsTableOptions::SetNdsRightsCheck(bool value) {
  CheckOwnerInactive();
  rightsCheck_ = value;
}

void TNdsTableOptions::SetNdsRecordCache(TNdsRecordCacheTypes value) {
  if (owner_.Active()) {
    int records = -1;
    switch (value) {
      case rcNone:
        records = 0;
        break;
      case rcStandard:
        records = 10;
        break;
      case rcAggressive:
        records = 100;
        break;
    }
    if (records >= 0)
      CheckEngineCode(&owner_,
                      NdsCacheRecords(owner_.TableHandle(), static_cast<std::uint16_t>(records)));
  }
  recordCache_ = value;
}

std::uint16_t TNdsTableOptions::EngineAOFOptions() const {
  std::uint16_t options = NDS_AOF_DYNAMIC;
  if (aofType_ == atKeySet) options = NDS_AOF_KEYSET;
  if (aofType_ == atFixed) options = NDS_AOF_FIXED;
  return static_cast<std::uint16_t>(
      options + (aofResolveImmediate_ ? NDS_RESOLVE_IMMEDIATE : NDS_RESOLVE_DYNAMIC));
}

void TNdsTableOptions::SetNdsOptimizedFilters(bool value) {
  if (value == optimizedFilters_) return;
  if (!owner_.Active() || owner_.IsLoading() || !owner_.Filtered()) {
    optimizedFilters_ = value;
    return;
  }
  // The filter of the old kind is cleared with the old setting, then handed
  // over in the new kind; any failure puts the old setting back.
  const bool previous = optimizedFilters_;
  try {
    owner_.DeactivateFilter();
    optimizedFilters_ = value;
    owner_.ActivateFilter();
    owner_.First();
  } catch (...) {
    optimizedFilters_ = previous;
    // The filter goes back to the engine in its old kind; the first failure
    // is the one reported.
    try {
      owner_.ActivateFilter();
    } catch (...) {
    }
    throw;
  }
}

}  // namespace nds
