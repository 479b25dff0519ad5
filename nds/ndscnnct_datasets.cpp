// The steps of TNdsConnection that reach into the datasets bound to it:
// closing and releasing them, cancelling and refreshing them around a
// rollback, and keeping their DatabaseName and table type in line with the
// connection's name and alias.
#include <algorithm>
#include <vector>

#include "dataset/text.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// Component names compare upper-cased, letters a-z only.
bool SameName(const std::string& a, const std::string& b) {
  return dataset::UpperCase(a) == dataset::UpperCase(b);
}

// A dataset counts as bound to `connection` when it names none or this one.
bool UnboundOrBoundTo(const TNdsDataSet& dataSet, const TNdsConnection* connection) {
  return dataSet.NdsConnection() == nullptr || dataSet.NdsConnection() == connection;
}

}  // namespace

// Walks a copy of the registry, skipping datasets that left it meanwhile: a
// dataset's own events may bind it elsewhere while the walk goes on.
template <typename Step>
void ForEachRegisteredDataSet(const std::vector<TNdsDataSet*>& registry, Step step) {
  const std::vector<TNdsDataSet*> snapshot = registry;
  for (TNdsDataSet* dataSet : snapshot)
    if (std::find(registry.begin(), registry.end(), dataSet) != registry.end()) step(*dataSet);
}

void TNdsConnection::DeactivateAndDetachDataSets() {
  ForEachRegisteredDataSet(dataSets_, [](TNdsDataSet& dataSet) {
    try {
      dataSet.SetActive(false);
    } catch (const dataset::Exception&) {
      // Disconnecting goes on; a dataset still open refuses in the next step.
    }
    dataSet.DetachFromConnection();
  });
}

void TNdsConnection::DetachDataSetsOnDestroy() {
  // Runs in the destructor, which cannot raise: a dataset that fails to
  // close is still released and forgets this connection.
  const std::vector<TNdsDataSet*> registered = std::move(dataSets_);
  dataSets_.clear();
  for (TNdsDataSet* dataSet : registered) {
    if (isConnected_) {
      try {
        dataSet->SetActive(false);
      } catch (const std::exception&) {
      }
      try {
        dataSet->DetachFromConnection();
      } catch (const std::exception&) {
      }
    }
    dataSet->ForgetConnection();
  }
}

void TNdsConnection::RunDictionaryStep() {
  // A table dataset reads its default index from the dictionary; a query
  // does nothing here.
  ForEachRegisteredDataSet(dataSets_, [](TNdsDataSet& dataSet) { dataSet.RunDictionaryStep(); });
}

void TNdsConnection::CancelDataSets() {
  ForEachRegisteredDataSet(dataSets_, [](TNdsDataSet& dataSet) { dataSet.Cancel(); });
}

void TNdsConnection::RefreshActiveDataSets() {
  ForEachRegisteredDataSet(dataSets_, [](TNdsDataSet& dataSet) {
    if (dataSet.Active()) dataSet.Refresh();
  });
}

void TNdsConnection::ApplyAliasTableTypeToOwnedDataSets() {
  TNdsTableTypes type;
  switch (aliasTableType_) {
    case kAliasTypeCDX:
      type = ttNdsCDX;
      break;
    case kAliasTypeNTX:
      type = ttNdsNTX;
      break;
    case kAliasTypeNDT:
      type = ttNdsNDT;
      break;
    default:
      return;
  }
  dataset::TComponent* owner = Owner();
  if (owner == nullptr) return;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    auto* dataSet = dynamic_cast<TNdsDataSet*>(owner->Components(i));
    if (dataSet == nullptr || dataSet->NdsConnection() != this) continue;
    // Letter case counts here, unlike the other name comparisons.
    if (!dataSet->DatabaseName().empty() && dataSet->DatabaseName() != Name()) continue;
    dataSet->SetSourceTableType(type);
  }
}

void TNdsConnection::SetName(const std::string& name) {
  const std::string oldName = Name();
  TComponent::SetName(name);
  if (!DataSetRegistryExists() || Owner() == nullptr) return;
  RetargetNamingDataSets(oldName);
}

void TNdsConnection::RetargetNamingDataSets(const std::string& oldName) {
  const std::string ownerName = Owner()->Name();
  const std::string& newName = Name();
  WithDataSetRegistry([&](const std::vector<TNdsDataSet*>& dataSets) {
    for (TNdsDataSet* q : dataSets) {
      if (!oldName.empty() && UnboundOrBoundTo(*q, this)) {
        if (SameName(q->DatabaseName(), oldName))
          q->SetDatabaseName(newName);
        else if (SameName(q->DatabaseName(), ownerName + "." + oldName))
          q->SetDatabaseName(ownerName + "." + newName);
      }
      if (q->Owner() != nullptr &&
          SameName(q->Owner()->Name() + "." + q->DatabaseName(), ownerName + "." + newName) &&
          UnboundOrBoundTo(*q, this))
        q->SetDatabaseName(newName);
    }
  });
}

void GatherDataSetDetails(const TNdsDataSet& dataSet, ENDSDatabaseError::Details& details) {
  // Resolving the database path may look up nds.ini and adjust the table
  // type; the dataset is never a constant object, only seen through one here.
  auto& ds = const_cast<TNdsDataSet&>(dataSet);
  details.dataSetName = ds.Name();
  if (ds.Owner() != nullptr) details.dataSetOwnerName = ds.Owner()->Name();
  details.databaseName = ds.DatabaseName();
  details.databasePath = ds.ResolveDatabasePath();
  details.tableName = ds.TableName();
}

}  // namespace nds
