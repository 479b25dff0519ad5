#include "engine/base/handles.h"

namespace nce {

HandleTable& HandleTable::Instance() {
  static HandleTable* table = new HandleTable;  // lives until the process ends
  return *table;
}

NDSHANDLE HandleTable::Add(std::shared_ptr<Object> object) {
  MutexLock lock(mutex_);
  NDSHANDLE handle;
  do {
    handle = next_++;
    if (next_ == 0 || next_ == 0xFFFFFFFFu) next_ = 0x100;
  } while (objects_.count(handle) != 0);
  object->set_handle(handle);
  objects_.emplace(handle, std::move(object));
  return handle;
}

std::shared_ptr<Object> HandleTable::Find(NDSHANDLE handle) const {
  MutexLock lock(mutex_);
  auto it = objects_.find(handle);
  return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<Object> HandleTable::Remove(NDSHANDLE handle) {
  MutexLock lock(mutex_);
  auto it = objects_.find(handle);
  if (it == objects_.end()) return nullptr;
  std::shared_ptr<Object> object = std::move(it->second);
  objects_.erase(it);
  removals_.fetch_add(1, std::memory_order_acq_rel);
  return object;
}

size_t HandleTable::Count() const {
  MutexLock lock(mutex_);
  return objects_.size();
}

}  // namespace nce
