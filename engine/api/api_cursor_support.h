// Shared by the engine functions that work on a cursor's records.
#ifndef ENGINE_API_API_CURSOR_SUPPORT_H
#define ENGINE_API_API_CURSOR_SUPPORT_H

#include <mutex>

#include "engine/api/api_support.h"
#include "engine/base/sql_text.h"
#include "engine/base/values.h"
#include "engine/cursor/cursor_fields.h"

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
  // Initial-exec: a fixed offset from the thread pointer instead of a call
  // to __tls_get_addr on every engine function of a walk.
  thread_local Remembered last __attribute__((tls_model("initial-exec")));
  uint64_t removals = HandleTable::Instance().removals();
  if (last.cursor == nullptr || last.handle != handle || last.removals != removals) {
    std::shared_ptr<Cursor> found = RequireCursor(handle);
    last.cursor = found.get();
    last.handle = handle;
    last.removals = removals;
  }
  return *last.cursor;
}

// Runs `action` on the cursor of `handle` under its connection's lock. An
// action that uses what the lock guards says it holds it with AssertHeld:
// clang's analysis does not carry the lock into the lambda.
template <class Action>
NDSRESULT WithCursor(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    Cursor* cursor = &CursorOf(handle);
    RecursiveLockGuard lock(cursor->connection().mutex());
    cursor->connection().RequireOpen();
    return action(*cursor);
  });
}

template <class T>
T& OutArg(T* place, const char* what) {
  RequireArgument(place, what);
  return *place;
}

// Writes the bookmark of the current record (its record number, 4 bytes)
// into `bookmark` of *length bytes and the bookmark's length into *length.
// Throws NDS_E_NO_CURRENT_RECORD off a record and NDS_E_INSUFFICIENT_BUFFER
// when the room is too small.
void WriteBookmark(const Cursor& cursor, void* bookmark, uint32_t* length);

}  // namespace nce

#endif  // ENGINE_API_API_CURSOR_SUPPORT_H
