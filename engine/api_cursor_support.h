// Shared by the engine functions that work on a cursor's records.
#ifndef ENGINE_API_CURSOR_SUPPORT_H
#define ENGINE_API_CURSOR_SUPPORT_H

#include <mutex>

#include "engine/api_support.h"
#include "engine/sql_text.h"
#include "engine/values.h"

namespace nce {

// Runs `action` on the cursor of `handle` under its connection's lock.
template <class Action>
NDSRESULT WithCursor(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    std::shared_ptr<Cursor> cursor = RequireCursor(handle);
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
