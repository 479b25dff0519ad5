// The process-wide dataset registry: every TNdsDataSet in existence, in
// order of construction, guarded by its own lock.
#ifndef NDS_NDSDATA_REGISTRY_H_
#define NDS_NDSDATA_REGISTRY_H_

#include <functional>
#include <vector>

namespace nds {

class TNdsDataSet;

// True once the first dataset has been constructed.
bool DataSetRegistryExists();
// Calls `visit` with the registered datasets while holding the registry's
// lock (released also when `visit` raises). `visit` must not construct or
// destroy datasets.
void WithDataSetRegistry(const std::function<void(const std::vector<TNdsDataSet*>&)>& visit);

}  // namespace nds

#endif  // NDS_NDSDATA_REGISTRY_H_
