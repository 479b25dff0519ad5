// The steps of TNdsConnection that reach into the datasets bound to it.
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

// Closing: every registered dataset is made inactive (a failure to close is
// discarded) and then releases what it holds of this connection; a dataset
// that refuses to let go (a query still open) stops the closing.
void TNdsConnection::DeactivateAndDetachDataSets() {
  for (TNdsDataSet* dataSet : dataSets_) {
    try {
      dataSet->Close();
    } catch (const dataset::Exception&) {
    }
    dataSet->DetachFromConnection();
  }
}

// Destruction: as closing when connected, then every dataset forgets this
// connection. A destructor cannot report, so failures are discarded: the
// datasets must not keep a reference to a destroyed connection.
void TNdsConnection::DetachDataSetsOnDestroy() {
  for (TNdsDataSet* dataSet : dataSets_) {
    if (isConnected_) {
      try {
        dataSet->Close();
      } catch (const dataset::Exception&) {
      }
      try {
        dataSet->DetachFromConnection();
      } catch (const dataset::Exception&) {
      }
    }
    dataSet->ForgetConnection();
  }
  dataSets_.clear();
}

void TNdsConnection::RunDictionaryStep() {}

// Rollback: pending edits and inserts are cancelled before the engine undoes
// the records they were made on; open datasets re-read afterwards.
void TNdsConnection::CancelDataSets() {
  for (TNdsDataSet* dataSet : dataSets_) dataSet->Cancel();
}

void TNdsConnection::RefreshActiveDataSets() {
  for (TNdsDataSet* dataSet : dataSets_)
    if (dataSet->Active()) dataSet->Refresh();
}

void TNdsConnection::ApplyAliasTableTypeToOwnedDataSets() {}

void TNdsConnection::SetName(const std::string& name) { TComponent::SetName(name); }

void GatherDataSetDetails(const TNdsDataSet& dataSet, ENDSDatabaseError::Details& details) {
  details.dataSetName = dataSet.Name();
  if (const dataset::TComponent* owner = dataSet.Owner()) details.dataSetOwnerName = owner->Name();
  details.databaseName = dataSet.DatabaseName();
  // Resolving may consult nds.ini and bring the table type in line; engine
  // failures inside it raise nothing while the error is being built.
  details.databasePath = const_cast<TNdsDataSet&>(dataSet).ResolveDatabasePath();
  details.tableName = dataSet.TableName();
}

}  // namespace nds
