// The query unit: TNdsQuery and its data link, and the path connection list,
// which gives queries that name their database by path in DatabaseName an
// engine connection shared by every query naming the same path.
#ifndef NDS_NDSTABLE_H_
#define NDS_NDSTABLE_H_

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "nds/nce.h"

namespace nds {

// ---------------------------------------------------------------------------
// Path connections.

// One engine connection opened for a path.
class TDynamicConn : public dataset::TObject {
 public:
  TDynamicConn(NDSHANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  NDSHANDLE Handle() const { return handle_; }
  const std::string& Path() const { return path_; }

 private:
  NDSHANDLE handle_;  // the open engine connection
  std::string path_;  // the path it was opened with, unchanged
};

// Engine connections opened on demand, one per distinct path, in order of
// opening. Entries are never removed before the list is destroyed, which
// closes them all. Every operation is serialised by the list's lock.
class TDynamicConnList : public dataset::TObject {
 public:
  TDynamicConnList() = default;
  // Disconnects every entry. A disconnect the engine refuses cannot be
  // reported from here; the remaining entries are still disconnected.
  ~TDynamicConnList() override;

  // The handle of the first entry whose path equals `path` exactly (letter
  // case included: on this platform paths differing in case name different
  // databases); 0 when there is none.
  NDSHANDLE FindPathConnection(const std::string& path) const;

  // Opens a new engine connection for `path` and records it; raises
  // ENDSDatabaseError when the engine refuses. Returns 0 when the entry
  // could not be recorded (the new connection is closed again). Does not
  // look for an existing entry: callers call FindPathConnection first.
  NDSHANDLE AcquirePathConnection(const std::string& path);

  // Number of entries (for diagnostics and tests).
  int Count() const;

 private:
  mutable std::mutex lock_;                            // guards entries_
  std::vector<std::unique_ptr<TDynamicConn>> entries_;  // in order of opening
};

// The process's one path connection list, created on first use and destroyed
// at program end.
TDynamicConnList& PathConnections();

}  // namespace nds

#endif  // NDS_NDSTABLE_H_
