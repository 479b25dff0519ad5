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
    std::lock_guard lock(cursor->connection().mutex());
    cursor->connection().db();  // throws once the connection is closed
    return action(*order, *cursor);
  });
}

// Runs `action` on a cursor reached through a cursor or an order handle,
// which decides the order the cursor walks in (see NavigationCursor).
template <class Action>
NDSRESULT WithNavigation(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
    std::shared_ptr<Cursor> cursor = NavigationCursor(handle);
    std::lock_guard lock(cursor->connection().mutex());
    cursor->connection().db();
    std::shared_ptr<IndexOrder> order;
    if (object->kind() == ObjectKind::kIndexOrder)
      order = std::static_pointer_cast<IndexOrder>(object);
    UseOrder(*cursor, order);
    return action(*cursor);
  });
}

// Runs `action` on the cursor of a cursor or order handle without changing
// the order it walks in.
template <class Action>
NDSRESULT WithAnyCursor(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    std::shared_ptr<Cursor> cursor = NavigationCursor(handle);
    std::lock_guard lock(cursor->connection().mutex());
    cursor->connection().db();
    return action(*cursor);
  });
}

}  // namespace nce

#endif  // ENGINE_API_API_INDEX_SUPPORT_H
