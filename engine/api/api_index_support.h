// Shared by the engine functions of index orders, keys, scopes and filters.
#ifndef ENGINE_API_API_INDEX_SUPPORT_H
#define ENGINE_API_API_INDEX_SUPPORT_H

#include <mutex>

#include "engine/api/api_support.h"
#include "engine/index/index_cursor.h"

namespace nce {

// Runs `action` on the order of `handle` and its cursor, under the lock of
// the cursor's connection.
template <class Action>
NDSRESULT WithOrder(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    std::shared_ptr<IndexOrder> order = RequireOrder(handle);
    std::shared_ptr<Cursor> cursor = order->cursor();
    RecursiveLockGuard lock(cursor->connection().mutex());
    cursor->connection().RequireOpen();
    return action(*order, *cursor);
  });
}

// What a navigation handle walks: its cursor and, for an order handle, the
// order (null for a cursor handle, which walks in record-number order).
struct NavigationTarget {
  Cursor* cursor = nullptr;
  IndexOrder* order = nullptr;
};

// The target of `handle`. A walk calls several moving functions per record on
// one handle, so each thread remembers the handle it resolved last, as
// CursorOf does: while no handle has been removed since, the handle table
// still holds that cursor and order, so the pointers are valid.
inline NavigationTarget NavigationOf(NDSHANDLE handle) {
  struct Remembered {
    NDSHANDLE handle = 0;
    uint64_t removals = 0;
    NavigationTarget target;
  };
  // Initial-exec: a fixed offset from the thread pointer instead of a call
  // to __tls_get_addr on every engine function of a walk.
  thread_local Remembered last __attribute__((tls_model("initial-exec")));
  uint64_t removals = HandleTable::Instance().removals();
  if (last.target.cursor == nullptr || last.handle != handle || last.removals != removals) {
    std::shared_ptr<Cursor> cursor = NavigationCursor(handle);  // throws on a wrong handle
    std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
    last.target.cursor = cursor.get();
    last.target.order = object && object->kind() == ObjectKind::kIndexOrder
                            ? static_cast<IndexOrder*>(object.get())
                            : nullptr;
    last.handle = handle;
    last.removals = removals;
  }
  return last.target;
}

// Runs `action` on a cursor reached through a cursor or an order handle,
// which decides the order the cursor walks in (see NavigationCursor).
template <class Action>
NDSRESULT WithNavigation(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    NavigationTarget target = NavigationOf(handle);
    Cursor& cursor = *target.cursor;
    RecursiveLockGuard lock(cursor.connection().mutex());
    cursor.connection().RequireOpen();
    // Switching orders rebuilds the walk's conditions; a walk that stays in
    // one order skips it (and, once the orders are loaded, OrdersOf too).
    const CursorOrders* orders = cursor.orders.get();
    const IndexOrder* active =
        orders != nullptr && orders->loaded ? orders->active.get() : OrdersOf(cursor).active.get();
    if (active != target.order) UseOrder(cursor, target.order ? RequireOrder(handle) : nullptr);
    return action(cursor);
  });
}

// Runs `action` on the cursor of a cursor or order handle without changing
// the order it walks in.
template <class Action>
NDSRESULT WithAnyCursor(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    std::shared_ptr<Cursor> cursor = NavigationCursor(handle);
    RecursiveLockGuard lock(cursor->connection().mutex());
    cursor->connection().RequireOpen();
    return action(*cursor);
  });
}

}  // namespace nce

#endif  // ENGINE_API_API_INDEX_SUPPORT_H
