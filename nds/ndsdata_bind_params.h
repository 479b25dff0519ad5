// Handing a parameter list to a prepared engine statement.
#ifndef NDS_NDSDATA_BIND_PARAMS_H_
#define NDS_NDSDATA_BIND_PARAMS_H_

#include "nds/nce.h"

namespace dataset {
class TParams;
}  // namespace dataset

namespace nds {

class TNdsDataSet;

// Binds `params` by position to the prepared `statement`: parameter i is
// statement parameter i + 1, whatever its name. A null value is bound empty;
// each type travels in its engine form (text, logical, double, Julian day,
// milliseconds, timestamp, binary). Raises ENDSDatabaseError for `reportFor`
// (or none) at the first parameter that cannot be bound, leaving those
// before it bound. Types the engine has no form for (GUIDs, variants, ...)
// are skipped.
void BindParams(NDSHANDLE statement, dataset::TParams& params, const TNdsDataSet* reportFor);

}  // namespace nds

#endif  // NDS_NDSDATA_BIND_PARAMS_H_
