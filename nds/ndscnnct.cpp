// TNdsConnection: construction, destruction, loading, the dataset registry,
// the process-wide connection registry and the small state queries.
#include "nds/ndscnnct.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>

namespace nds {

namespace {

// The connection registry lives from the first connection's construction to
// the end of the process. It is never freed, so that a connection destroyed
// during program end (after static destructors ran) still finds it.
struct ConnectionRegistry {
  std::mutex lock;
  std::vector<TNdsConnection*> connections;  // not owned, in order of construction
};

std::atomic<ConnectionRegistry*> g_registry{nullptr};
std::once_flag g_registryOnce;

ConnectionRegistry& Registry() {
  std::call_once(g_registryOnce, [] { g_registry.store(new ConnectionRegistry); });
  return *g_registry.load();
}

std::unique_ptr<dataset::TStringList> NewUserGroupList() {
  try {
    return std::make_unique<dataset::TStringList>();
  } catch (const std::bad_alloc&) {
    throw dataset::Exception("Error allocating internal group list.");
  }
}

}  // namespace

bool ConnectionRegistryExists() {
  return g_registry.load() != nullptr;
}

void WithConnectionRegistry(const std::function<void(const std::vector<TNdsConnection*>&)>& visit) {
  if (!ConnectionRegistryExists()) {
    visit({});
    return;
  }
  ConnectionRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  visit(registry.connections);
}

TNdsConnection::TNdsConnection(dataset::TComponent* owner)
    : TComponent(owner),
      creatingThread_(std::this_thread::get_id()),
      // Created before the connection enters the registry, so that a failure
      // here leaves no registry entry behind.
      userGroups_(NewUserGroupList()) {
  ConnectionRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.connections.push_back(this);
}

TNdsConnection::~TNdsConnection() {
  // A destructor cannot report a failure: every step below is carried out
  // even when an earlier one fails, so that the engine connection is closed
  // and the registry never keeps a dangling entry.
  if (isConnected_) {
    DetachDataSetsOnDestroy();
    try {
      CloseCachedStatements();
    } catch (const std::exception&) {
    }
    // 5024: the engine connection is already gone, which is what we want.
    NdsDisconnect(handle_);
    try {
      DoDisconnect();
    } catch (const std::exception&) {
    }
    handle_ = 0;
    isConnected_ = false;
  } else {
    DetachDataSetsOnDestroy();
  }

  ConnectionRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto& list = registry.connections;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TNdsConnection::Loaded() {
  TComponent::Loaded();
  if (connectAfterLoad_ && !isConnected_) {
    connectAfterLoad_ = false;
    SetIsConnected(true);
  }
}

std::string TNdsConnection::ConnectPath() const {
  return connectPath_;
}

NDSHANDLE TNdsConnection::ConnectionHandle() const {
  return isConnected_ ? handle_ : 0;
}

std::string TNdsConnection::ServerPath() const {
  return connectPath_.empty() ? aliasPath_ : connectPath_;
}

std::string TNdsConnection::DatabaseDirectory() const {
  std::string path = ServerPath();
  const std::size_t n = path.size();
  if (n <= 4 || path[n - 4] != '.') return path;
  std::string ext = path.substr(n - 3);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (ext != "NDD") return path;

  auto slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  if (slash == std::string::npos) return ".\\";
  // A dictionary in the root directory keeps the root, not an empty path.
  path.erase(slash == 0 ? 1 : slash);
  return path;
}

bool TNdsConnection::TransactionIsActive() const {
  CheckConnected();
  return transactionActive_;
}

TNdsDataSet* TNdsConnection::RegisteredDataSet(int index) const {
  if (index < 0 || index >= RegisteredDataSetCount())
    throw dataset::EListError("List index out of bounds (" + std::to_string(index) + ")");
  return dataSets_[static_cast<std::size_t>(index)];
}

int TNdsConnection::RegisteredDataSetCount() const {
  return static_cast<int>(dataSets_.size());
}

void TNdsConnection::RegisterDataSet(TNdsDataSet* dataSet) {
  dataSets_.push_back(dataSet);
}

void TNdsConnection::UnregisterDataSet(TNdsDataSet* dataSet) {
  auto it = std::find(dataSets_.begin(), dataSets_.end(), dataSet);
  if (it != dataSets_.end()) dataSets_.erase(it);
}

void TNdsConnection::CheckConnected() const {
  if (!isConnected_) throw NdsConnectionError(kNoConnectionMessage);
}

void TNdsConnection::FireEvent(const dataset::TNotifyEvent& event) {
  if (event) event(this);
}

void TNdsConnection::DoAfterCommit() {
  FireEvent(AfterCommit);
}
void TNdsConnection::DoBeforeCommit() {
  FireEvent(BeforeCommit);
}
void TNdsConnection::DoAfterRollback() {
  FireEvent(AfterRollback);
}
void TNdsConnection::DoBeforeRollback() {
  FireEvent(BeforeRollback);
}
void TNdsConnection::DoConnect() {
  FireEvent(OnConnect);
}
void TNdsConnection::DoDisconnect() {
  FireEvent(OnDisconnect);
}

}  // namespace nds
