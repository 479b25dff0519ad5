// Engine functions of the per-thread last error.
#include <cstdio>

#include "engine/api/api_support.h"

using namespace nce;

extern "C" {

NDSRESULT NdsGetLastError(uint32_t* error, char* text, uint16_t* length) {
  return Guarded("NdsGetLastError", [&] {
    RequireArgument(error, "error number");
    const LastErrorRecord& last = LastError();
    *error = last.number;
    if (length == nullptr) return NDS_SUCCESS;
    // A text longer than the buffer is cut: callers size the buffer once and
    // must still get the number and the start of the text.
    size_t room = *length;
    size_t copied = 0;
    if (text && room) {
      copied = std::min(last.text.size(), room - 1);
      last.text.copy(text, copied);
      text[copied] = '\0';
    }
    *length = static_cast<uint16_t>(copied);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSetLastError(uint32_t error, const char* text) {
  if (uint32_t code = CheckFailpoint("NdsSetLastError")) return code;
  StoreError(error, text ? text : "");
  return error;
}

NDSRESULT NdsShowError(const char* title) {
  return Guarded("NdsShowError", [&] {
    const LastErrorRecord& last = LastError();
    std::fprintf(stderr, "%s: %s\n", title ? title : "Error",
                 last.text.empty() ? "(no error text)" : last.text.c_str());
    return NDS_SUCCESS;
  });
}

}  // extern "C"
