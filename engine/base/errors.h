// The calling thread's last engine error, and the helpers every engine
// function uses to report a failure.
#ifndef ENGINE_BASE_ERRORS_H
#define ENGINE_BASE_ERRORS_H

#include <cstdint>
#include <string>
#include <string_view>

#include "nce/nce.h"

namespace nce {

struct LastErrorRecord {
  uint32_t number = 0;  // 0 while no failure has been recorded on this thread
  std::string text;     // "Error <number>: ..." as NdsGetLastError hands it out
};

// Records a failure as this thread's last error and returns its number, so a
// function can end with `return Fail(...)`. The text gets the engine's
// "Error <n>:" prefix unless it already carries one.
NDSRESULT Fail(uint32_t number, std::string_view text);

// Records a caller's own error exactly as given (NdsSetLastError).
void StoreError(uint32_t number, std::string_view text);

// The calling thread's last error.
const LastErrorRecord& LastError();

// Engine error thrown inside the engine and turned into a return code at the
// C boundary (see api_guard.h).
class EngineError {
 public:
  EngineError(uint32_t number, std::string text) : number_(number), text_(std::move(text)) {}
  uint32_t number() const { return number_; }
  const std::string& text() const { return text_; }

 private:
  uint32_t number_;   // engine error number
  std::string text_;  // what went wrong, without the "Error n:" prefix
};

}  // namespace nce

#endif  // ENGINE_BASE_ERRORS_H
