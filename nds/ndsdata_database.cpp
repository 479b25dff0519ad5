// How a dataset finds its database: a bound connection, a connection named
// in DatabaseName, an alias of nds.ini or a directory path; and the rules
// that keep its table type in line with the alias or connection.
#include <string>
#include <thread>
#include <vector>

#include "dataset/text.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

constexpr const char kOpenDataSetMessage[] = "Cannot perform this operation on an open dataset";
constexpr const char kTableTypeMismatch[] =
    "The table type must remain identical to the table type associated with the alias.";

// Names of connections, owners and aliases compare upper-cased, letters a-z.
bool SameName(const std::string& a, const std::string& b) {
  return dataset::UpperCase(a) == dataset::UpperCase(b);
}

// "Owner.Connection" for a connection with an owner; empty without one.
std::string QualifiedName(const TNdsConnection& connection) {
  const dataset::TComponent* owner = connection.Owner();
  if (owner == nullptr) return {};
  return owner->Name() + "." + connection.Name();
}

bool NamesConnection(const std::string& name, const TNdsConnection& connection) {
  if (SameName(name, connection.Name())) return true;
  return connection.Owner() != nullptr && SameName(name, QualifiedName(connection));
}

// The table type a connection's alias table type code asks for; false for 0
// (unspecified) or a code outside 1 to 3.
bool TableTypeOfAliasCode(std::uint8_t code, TNdsTableTypes& type) {
  switch (code) {
    case kAliasTypeCDX:
      type = ttNdsCDX;
      return true;
    case kAliasTypeNTX:
      type = ttNdsNTX;
      return true;
    case kAliasTypeNDT:
      type = ttNdsNDT;
      return true;
    default:
      return false;
  }
}

void CheckClosedForBinding(const TNdsDataSet& dataSet) {
  if (dataSet.Active()) throw ENDSDatabaseError(&dataSet, NDS_E_COMPONENT, kOpenDataSetMessage);
}

// The connection the DatabaseName search takes for `name`, or none. Runs
// under the connection registry's lock: passes a to d prefer a connection
// of this dataset's owner created on this thread, then any of this thread,
// then any of this owner, then any at all (also by "Owner.Connection").
TNdsConnection* FindNamedConnection(const TNdsDataSet& dataSet,
                                    const std::vector<TNdsConnection*>& connections,
                                    const std::string& name) {
  const std::thread::id self = std::this_thread::get_id();
  const dataset::TComponent* owner = dataSet.Owner();
  auto pass = [&](auto accepts) -> TNdsConnection* {
    for (TNdsConnection* c : connections)
      if (accepts(*c)) return c;
    return nullptr;
  };
  if (auto* found = pass([&](const TNdsConnection& c) {
        return SameName(c.Name(), name) && c.Owner() == owner && c.CreatingThread() == self;
      }))
    return found;
  if (auto* found = pass([&](const TNdsConnection& c) {
        return SameName(c.Name(), name) && c.CreatingThread() == self;
      }))
    return found;
  if (auto* found = pass(
          [&](const TNdsConnection& c) { return SameName(c.Name(), name) && c.Owner() == owner; }))
    return found;
  return pass([&](const TNdsConnection& c) { return NamesConnection(name, c); });
}

// Whether DatabaseName names the bound connection (or nothing at all).
bool NamesBoundConnection(const TNdsDataSet& dataSet) {
  if (dataSet.DatabaseName().empty()) return true;
  return dataSet.NdsConnection() != nullptr &&
         NamesConnection(dataSet.DatabaseName(), *dataSet.NdsConnection());
}

}  // namespace

void TNdsDataSet::SetDatabaseName(const std::string& name) {
  CheckClosedForBinding(*this);
  if (name.empty()) {
    databaseName_.clear();
    aliasPath_.clear();
    ResolveDatabasePath();  // brings the table type in line with a bound connection
    return;
  }
  bool taken = false;
  WithConnectionRegistry([&](const std::vector<TNdsConnection*>& connections) {
    TNdsConnection* connection = FindNamedConnection(*this, connections, name);
    if (connection == nullptr) return;
    databaseName_ = name;
    aliasPath_.clear();
    SetNdsConnection(connection);
    taken = true;
  });
  if (taken) return;
  if (IsPathName(name)) {
    databaseName_ = name;
    aliasPath_.clear();
    return;
  }
  const TDataSetAlias alias = ReadAliasForDataSet(name);
  databaseName_ = name;
  if (!alias.found) {
    aliasPath_.clear();
    return;
  }
  aliasPath_ = alias.path;
  SetSourceTableType(alias.tableType);
}

void TNdsDataSet::SetNdsConnection(TNdsConnection* connection) {
  if (Active()) throw ENDSDatabaseError(this, NDS_E_COMPONENT, kTableMustNotBeActive);
  if (connection != connection_) {
    if (connection_ != nullptr) connection_->UnregisterDataSet(this);
    if (connection != nullptr) connection->RegisterDataSet(this);
  }
  connection_ = connection;
  ResolveDatabasePath();
}

std::string TNdsDataSet::ResolveDatabasePath() {
  std::string path;
  if (!aliasPath_.empty()) {
    path = aliasPath_;
  } else if (NamesBoundConnection(*this)) {
    if (connection_ != nullptr) {
      path = connection_->DatabaseDirectory();
      TNdsTableTypes type;
      if (TableTypeOfAliasCode(connection_->AliasTableType(), type) && type != tableType_)
        SetSourceTableType(type);
    }
  } else if (IsPathName(databaseName_)) {
    path = databaseName_;
  } else {
    const TDataSetAlias alias = ReadAliasForDataSet(databaseName_);
    if (alias.found) {
      aliasPath_ = alias.path;
      path = alias.path;
      if (alias.tableType != tableType_) SetSourceTableType(alias.tableType);
    } else {
      path = databaseName_;
    }
  }
  if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

void TNdsDataSet::SetSourceTableType(TNdsTableTypes type) {
  CheckClosedForBinding(*this);
  if (!databaseName_.empty()) {
    if (!IsPathName(databaseName_)) {
      const TDataSetAlias alias = ReadAliasForDataSet(databaseName_);
      if (alias.found && alias.tableType != type)
        throw ENDSDatabaseError(this, NDS_E_COMPONENT, kTableTypeMismatch);
    }
  } else if (connection_ != nullptr) {
    TNdsTableTypes required;
    if (TableTypeOfAliasCode(connection_->AliasTableType(), required) && required != type)
      throw ENDSDatabaseError(this, NDS_E_COMPONENT, kTableTypeMismatch);
  }
  tableType_ = type;
  tableTypeCode_ = EngineTableTypeCode(type);
}

void TNdsDataSet::SetTableName(const std::string& name) {
  CheckClosedForBinding(*this);
  if (!IsLoading() && name != tableName_) indexFiles_->Clear();
  tableName_ = name;
  ReadDictionaryDefaultIndex();
  // The property-change event tells links and marks IndexDefs stale.
  NotifyDataEvent(dataset::dePropertyChange, 0);
}

}  // namespace nds
