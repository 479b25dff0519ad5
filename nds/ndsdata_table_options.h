// TNdsTableOptions: the settings that decide how the engine opens and
// treats a dataset's cursor.
#ifndef NDS_NDSDATA_TABLE_OPTIONS_H_
#define NDS_NDSDATA_TABLE_OPTIONS_H_

#include "dataset/component.h"
#include "nds/ndsdata_types.h"

namespace nds {

class TNdsDataSet;

// The settings that decide how the engine opens and treats a dataset's
// cursor. Owned by its dataset and alive exactly as long; it only stores the
// settings and guards three of them while the dataset is open.
class TNdsTableOptions : public dataset::TPersistent {
 public:
  // `owner` is the dataset that creates the object; it must outlive it.
  explicit TNdsTableOptions(TNdsDataSet& owner);

  // Copies every setting of another TNdsTableOptions (streaming, Assign).
  void Assign(const dataset::TPersistent* source) override;
  dataset::TPersistent* GetOwner() const override;

  // Refused with "Table must not be Active." while the owner is active.
  TNdsLockTypes NdsLockType() const { return lockType_; }
  void SetNdsLockType(TNdsLockTypes value);
  TNdsCharTypes NdsCharType() const { return charType_; }
  void SetNdsCharType(TNdsCharTypes value);
  bool NdsRightsCheck() const { return rightsCheck_; }
  void SetNdsRightsCheck(bool value);

  // Plain settings, read by the operation that uses them.
  TNdsRespectFilters NdsFilterOptions() const { return filterOptions_; }
  void SetNdsFilterOptions(TNdsRespectFilters value) { filterOptions_ = value; }
  bool NdsFreshRecordCount() const { return freshRecordCount_; }
  void SetNdsFreshRecordCount(bool value) { freshRecordCount_ = value; }
  TNdsRespectScopes NdsScopeOptions() const { return scopeOptions_; }
  void SetNdsScopeOptions(TNdsRespectScopes value) { scopeOptions_ = value; }
  bool NdsAOFResolveImmediate() const { return aofResolveImmediate_; }
  void SetNdsAOFResolveImmediate(bool value) { aofResolveImmediate_ = value; }
  TNdsIndexPageSizes NdsIndexPageSize() const { return indexPageSize_; }
  void SetNdsIndexPageSize(TNdsIndexPageSizes value) { indexPageSize_ = value; }
  TNdsAOFTypes NdsAOFType() const { return aofType_; }
  void SetNdsAOFType(TNdsAOFTypes value) { aofType_ = value; }
  bool NdsAutoKeyFieldCount() const { return autoKeyFieldCount_; }
  void SetNdsAutoKeyFieldCount(bool value) { autoKeyFieldCount_ = value; }
  bool NdsCalcFieldsBeforeFilter() const { return calcFieldsBeforeFilter_; }
  void SetNdsCalcFieldsBeforeFilter(bool value) { calcFieldsBeforeFilter_ = value; }
  TNdsRecordLockingModes NdsRecordLockingMode() const { return recordLockingMode_; }
  void SetNdsRecordLockingMode(TNdsRecordLockingModes value) { recordLockingMode_ = value; }
  bool NdsPreserveSpaces() const { return preserveSpaces_; }
  void SetNdsPreserveSpaces(bool value) { preserveSpaces_ = value; }
  bool NdsNumericsAsFloats() const { return numericsAsFloats_; }
  void SetNdsNumericsAsFloats(bool value) { numericsAsFloats_ = value; }

  // Applied to the open cursor at once (NdsCacheRecords 0, 10 or 100); an
  // engine refusal raises and keeps the old value.
  TNdsRecordCacheTypes NdsRecordCache() const { return recordCache_; }
  void SetNdsRecordCache(TNdsRecordCacheTypes value);

  // Whether Filter goes to the engine as an optimized filter (true) or a
  // classic one.
  bool NdsOptimizedFilters() const { return optimizedFilters_; }
  void SetNdsOptimizedFilters(bool value);

  // NdsSetAOF's option bits from NdsAOFType and NdsAOFResolveImmediate.
  std::uint16_t EngineAOFOptions() const;

  // The character type a live result cursor reports, taken while the
  // cursor is being opened (no closed-dataset check).
  void AdoptCursorCharType(TNdsCharTypes value) { charType_ = value; }

 private:
  void CheckOwnerInactive() const;

  TNdsLockTypes lockType_ = Proprietary;
  TNdsCharTypes charType_ = ANSI;
  TNdsRespectFilters filterOptions_ = IGNORE_WHEN_COUNTING;
  TNdsRespectScopes scopeOptions_ = IGNORE_SCOPES_WHEN_COUNTING;
  bool rightsCheck_ = true;
  TNdsDataSet& owner_;  // the dataset that created this object
  bool optimizedFilters_ = true;
  bool freshRecordCount_ = false;
  bool aofResolveImmediate_ = false;
  TNdsIndexPageSizes indexPageSize_ = 0;  // overwritten at every open
  TNdsRecordCacheTypes recordCache_ = rcStandard;
  TNdsAOFTypes aofType_ = atDynamic;
  bool autoKeyFieldCount_ = false;
  bool calcFieldsBeforeFilter_ = false;
  TNdsRecordLockingModes recordLockingMode_ = lmPessimistic;
  bool preserveSpaces_ = false;
  bool numericsAsFloats_ = false;
};

}  // namespace nds

#endif  // NDS_NDSDATA_TABLE_OPTIONS_H_
