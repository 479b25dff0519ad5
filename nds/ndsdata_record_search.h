// The search under a cursor dataset's Locate and Lookup, and the facts of an
// engine index order that decide whether a seek on it may answer a search.
#ifndef NDS_NDSDATA_RECORD_SEARCH_H_
#define NDS_NDSDATA_RECORD_SEARCH_H_

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/dataset_types.h"
#include "dataset/fields.h"
#include "nds/nce.h"

namespace nds {

class TNdsDataSet;

// Whether index order `index` carries a scope / a condition. Engine failures
// raise ENDSDatabaseError for `reportFor`.
bool IndexHasScope(const TNdsDataSet& reportFor, NDSHANDLE index);
bool IndexHasCondition(const TNdsDataSet& reportFor, NDSHANDLE index);

// One search for the record whose fields hold the values written into a
// record buffer. An index whose leading segments are exactly the search
// fields answers with a seek (unless it is narrowed, conditional, unique on
// a DBF table or custom); otherwise the engine evaluates an expression
// built from the values, as a temporary filter or record by record. The
// filters and the exact setting of the cursor are put back afterwards.
class TNdsRecordSearch {
 public:
  // `dataSet` must be open and in the filter state over `values`, whose
  // record image holds the search values; both must outlive the search.
  TNdsRecordSearch(TNdsDataSet& dataSet, dataset::TRecordBuffer values);
  TNdsRecordSearch(const TNdsRecordSearch&) = delete;
  TNdsRecordSearch& operator=(const TNdsRecordSearch&) = delete;

  // True leaves the engine cursor on the first record found; false leaves
  // it anywhere (the caller restores its position).
  bool Find(const std::string& keyFields, const std::vector<dataset::TField*>& fields,
            dataset::TLocateOptions options);

 private:
  // The index to seek on, kNoHandle when none may answer; `lastSegment` is
  // the upper-cased name of the last search field it orders by.
  NDSHANDLE SearchIndex(const std::string& keyFields, dataset::TLocateOptions options,
                        std::string& lastSegment);
  bool SeekSearchValues(NDSHANDLE index, const std::vector<dataset::TField*>& fields, bool partial,
                        const std::string& lastSegment);
  bool SearchWithExpression(const std::vector<dataset::TField*>& fields,
                            dataset::TLocateOptions options);
  // From the top of the active order, the first record for which the
  // engine finds `expression` true.
  bool ScanWithExpression(const std::string& expression);
  bool EngineFilterIsSet(bool optimized);
  void RestoreSearchFilters(std::uint16_t exact, bool aofSet, bool filterSet);

  TNdsDataSet& dataSet_;           // the dataset searched
  dataset::TRecordBuffer values_;  // the search values in engine form
  NDSHANDLE table_;                // the dataset's cursor
  NDSHANDLE order_;                // its active order
};

}  // namespace nds

#endif  // NDS_NDSDATA_RECORD_SEARCH_H_
