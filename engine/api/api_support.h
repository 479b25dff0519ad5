// What every engine function shares at the C boundary: the failpoint check,
// turning exceptions into return codes, finding objects by handle, and
// copying texts into callers' buffers.
#ifndef ENGINE_API_API_SUPPORT_H
#define ENGINE_API_API_SUPPORT_H

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

#include "engine/base/errors.h"
#include "engine/base/failpoints.h"
#include "engine/base/handles.h"
#include "engine/cursor/cursor.h"
#include "engine/sql/statement.h"
#include "engine/storage/connection.h"
#include "nce/nce.h"

namespace nce {

// Runs `body` for engine function `function`: an armed failpoint answers
// first; an EngineError or any other exception becomes the return code and
// the thread's last error.
template <class Body>
NDSRESULT Guarded(const char* function, Body&& body) {
  if (uint32_t code = CheckFailpoint(function)) return code;
  try {
    return body();
  } catch (const EngineError& error) {
    return Fail(error.number(), error.text());
  } catch (const std::bad_alloc&) {
    return Fail(NDS_E_MEMORY, "The engine ran out of memory.");
  } catch (const std::exception& error) {
    return Fail(NDS_E_GENERAL, error.what());
  }
}

// The answer of a function that a later version of the engine will offer.
NDSRESULT NotSupportedYet(const char* function);

// Objects by handle; each throws a clear EngineError when the handle is not
// an object of that kind.
std::shared_ptr<Connection> RequireConnection(NDSHANDLE handle);
std::shared_ptr<Statement> RequireStatement(NDSHANDLE handle);
std::shared_ptr<Cursor> RequireCursor(NDSHANDLE handle);  // static or table cursor

// Throws NDS_E_INVALID_ARGUMENT naming `what`.
[[noreturn]] void ThrowMissingArgument(const char* what);

// Throws NDS_E_INVALID_ARGUMENT when `pointer` is null. Inline: a walk's
// engine call checks several of its pointers at every record.
inline void RequireArgument(const void* pointer, const char* what) {
  if (pointer == nullptr) [[unlikely]]
    ThrowMissingArgument(what);
}

// Copies `text` into the caller's buffer of *length bytes (zero-terminated
// when there is room) and writes the text's length back. A buffer too small
// gets what fits and the call answers NDS_E_INSUFFICIENT_BUFFER.
template <class Length>
NDSRESULT CopyOut(std::string_view text, char* buffer, Length* length) {
  RequireArgument(length, "length");
  size_t room = *length;
  *length = static_cast<Length>(std::min<size_t>(text.size(), static_cast<Length>(~Length(0))));
  if (buffer == nullptr || room <= text.size()) {
    if (buffer && room) {
      text.copy(buffer, room - 1);
      buffer[room - 1] = '\0';
    }
    throw EngineError(NDS_E_INSUFFICIENT_BUFFER,
                      "The buffer of " + std::to_string(room) + " bytes cannot hold the " +
                          std::to_string(text.size()) + " characters of the answer.");
  }
  text.copy(buffer, text.size());
  buffer[text.size()] = '\0';
  return NDS_SUCCESS;
}

}  // namespace nce

#endif  // ENGINE_API_API_SUPPORT_H
