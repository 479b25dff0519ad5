// The steps of TNdsConnection that reach into the datasets bound to it.
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

// TNdsDataSet is not defined yet: until it is, no dataset can register with
// a connection, and these steps have nothing to walk.
void TNdsConnection::DeactivateAndDetachDataSets() {}
void TNdsConnection::DetachDataSetsOnDestroy() { dataSets_.clear(); }
void TNdsConnection::RunDictionaryStep() {}
void TNdsConnection::CancelDataSets() {}
void TNdsConnection::RefreshActiveDataSets() {}
void TNdsConnection::ApplyAliasTableTypeToOwnedDataSets() {}

void TNdsConnection::SetName(const std::string& name) { TComponent::SetName(name); }

void GatherDataSetDetails(const TNdsDataSet&, ENDSDatabaseError::Details&) {}

}  // namespace nds
