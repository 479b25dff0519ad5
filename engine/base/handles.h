// The one handle table of the engine: every object a caller can name
// (connection, cursor, index order, statement, find handle) gets a 32-bit
// handle here. Handles are not reused until the 32-bit counter wraps, so a closed
// handle stays unknown instead of naming some later object.
#ifndef ENGINE_BASE_HANDLES_H
#define ENGINE_BASE_HANDLES_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/base/thread_annotations.h"
#include "nce/nce.h"

namespace nce {

// Kinds of objects, with the numbers NdsGetHandleType answers.
enum class ObjectKind : uint16_t {
  kConnection = NDS_HANDLE_CONNECTION,
  kTable = NDS_HANDLE_TABLE,
  kIndexOrder = NDS_HANDLE_INDEX_ORDER,
  kStatement = NDS_HANDLE_STATEMENT,
  kCursor = NDS_HANDLE_CURSOR,
  kFind = NDS_HANDLE_FIND,
};

// Base of every object named by a handle.
class Object {
 public:
  explicit Object(ObjectKind kind) : kind_(kind) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  ObjectKind kind() const { return kind_; }
  NDSHANDLE handle() const { return handle_; }
  void set_handle(NDSHANDLE handle) { handle_ = handle; }

 private:
  ObjectKind kind_;
  NDSHANDLE handle_ = 0;  // assigned by the handle table
};

class HandleTable {
 public:
  static HandleTable& Instance();

  // Registers `object` and returns its new handle.
  NDSHANDLE Add(std::shared_ptr<Object> object);
  // The object of `handle`, or null when the handle is unknown.
  std::shared_ptr<Object> Find(NDSHANDLE handle) const;
  // The object of `handle` when it is of kind `kind`, else null.
  template <class T>
  std::shared_ptr<T> FindAs(NDSHANDLE handle, ObjectKind kind) const {
    std::shared_ptr<Object> object = Find(handle);
    if (!object || object->kind() != kind) return nullptr;
    return std::static_pointer_cast<T>(object);
  }
  // Forgets `handle`; returns its object (null when unknown) so the caller
  // can release it outside the table's lock.
  std::shared_ptr<Object> Remove(NDSHANDLE handle);
  size_t Count() const;
  // Grows with every removal: a cache of lookups made at an earlier count
  // may name objects that are gone.
  uint64_t removals() const { return removals_.load(std::memory_order_acquire); }

 private:
  HandleTable() = default;

  mutable Mutex mutex_;
  // Live handles.
  std::unordered_map<NDSHANDLE, std::shared_ptr<Object>> objects_ GUARDED_BY(mutex_);
  // Next handle to give; small values stay free for ordinals.
  NDSHANDLE next_ GUARDED_BY(mutex_) = 0x100;
  std::atomic<uint64_t> removals_{0};  // handles removed so far
};

}  // namespace nce

#endif  // ENGINE_BASE_HANDLES_H
