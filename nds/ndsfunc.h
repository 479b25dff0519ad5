// The extended cursor dataset unit: TNdsExtendedDataSet, the class between
// the cursor dataset and the query component.
#ifndef NDS_NDSFUNC_H_
#define NDS_NDSFUNC_H_

#include "nds/ndsdata.h"

namespace nds {

// A cursor dataset with the engine's extended operations. It adds nothing
// the query component uses; it exists so that the class chain of the stored
// descriptions (TNdsQuery -> TNdsExtendedDataSet -> TNdsDataSet) holds.
class TNdsExtendedDataSet : public TNdsDataSet {
 public:
  // `owner` may be null.
  explicit TNdsExtendedDataSet(dataset::TComponent* owner) : TNdsDataSet(owner) {}
};

}  // namespace nds

#endif  // NDS_NDSFUNC_H_
