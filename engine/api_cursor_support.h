// Shared by the engine functions that work on a cursor's records.
#ifndef ENGINE_API_CURSOR_SUPPORT_H
#define ENGINE_API_CURSOR_SUPPORT_H

#include <mutex>

#include "engine/api_support.h"
#include "engine/sql_text.h"
#include "engine/values.h"

namespace nce {

// The cursor of `handle`. A walk through a table calls several engine
// functions per record on one cursor, so each thread remembers the cursor it
// found last. While no handle at all has been removed since, the handle
// table still holds that cursor, so the remembered pointer is valid (a
// cursor is used by one thread at a time). Nothing is kept alive here.
inline Cursor& CursorOf(NDSHANDLE handle) {
  struct Remembered {
    NDSHANDLE handle = 0;
    uint64_t removals = 0;
    Cursor* cursor = nullptr;
  };
  thread_local Remembered last;
  uint64_t removals = HandleTable::Instance().removals();
  if (last.cursor == nullptr || last.handle != handle || last.removals != removals) {
    std::shared_ptr<Cursor> found = RequireCursor(handle);
    last.cursor = found.get();
    last.handle = handle;
    last.removals = removals;
  }
  return *last.cursor;
}

// Runs `action` on the cursor of `handle` under its connection's lock.
template <class Action>
NDSRESULT WithCursor(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    Cursor* cursor = &CursorOf(handle);
    std::lock_guard lock(cursor->connection().mutex());
    cursor->connection().db();  // throws once the connection is closed
    return action(*cursor);
  });
}

// 0-based index of a field named by name or ordinal; throws NDS_E_INVALID_FIELD.
inline size_t FieldIndex(const Cursor& cursor, NDSFIELD field) {
  FieldRef ref = ReadFieldRef(field);
  const std::vector<FieldDesc>& fields = cursor.desc.fields;
  if (ref.ordinal) {
    if (ref.ordinal > fields.size())
      throw EngineError(NDS_E_INVALID_FIELD, "Field number " + std::to_string(ref.ordinal) +
                                                 " does not exist; the cursor has " +
                                                 std::to_string(fields.size()) + " fields.");
    return ref.ordinal - 1;
  }
  for (size_t i = 0; i < fields.size(); ++i)
    if (EqualsNoCase(fields[i].name, ref.name)) return i;
  throw EngineError(NDS_E_INVALID_FIELD, "The cursor has no field named " + ref.name + ".");
}

template <class T>
T& OutArg(T* place, const char* what) {
  RequireArgument(place, what);
  return *place;
}

}  // namespace nce

#endif  // ENGINE_API_CURSOR_SUPPORT_H
