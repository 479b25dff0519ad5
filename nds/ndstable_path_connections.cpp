// The path connection list: engine connections opened on demand for queries
// that name their database by path, shared by every query naming that path.
#include <exception>

#include "nds/ndsdata.h"
#include "nds/ndstable.h"

namespace nds {

TDynamicConnList::~TDynamicConnList() {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& entry : entries_) NdsDisconnect(entry->Handle());
  entries_.clear();
}

NDSHANDLE TDynamicConnList::FindPathConnection(const std::string& path) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& entry : entries_)
    if (entry->Path() == path) return entry->Handle();
  return 0;
}

NDSHANDLE TDynamicConnList::AcquirePathConnection(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  NDSHANDLE handle = 0;
  const NDSRESULT rc = NdsConnect(path.c_str(), &handle);
  CheckEngineCode(nullptr, rc);
  // CheckEngineCode is silent while an error is being built on this thread;
  // a refused connect is still not recorded.
  if (rc != NDS_SUCCESS) return 0;
  try {
    entries_.push_back(std::make_unique<TDynamicConn>(handle, path));
  } catch (const std::exception&) {
    NdsDisconnect(handle);
    return 0;
  }
  return handle;
}

int TDynamicConnList::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(entries_.size());
}

TDynamicConnList& PathConnections() {
  // The engine keeps its handle table to the end of the process, so the
  // connections can still be closed when this list is destroyed at exit.
  static TDynamicConnList list;
  return list;
}

}  // namespace nds
