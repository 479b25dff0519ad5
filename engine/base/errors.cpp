#include "engine/base/errors.h"

namespace nce {
namespace {
thread_local LastErrorRecord t_last_error;
}

void StoreError(uint32_t number, std::string_view text) {
  t_last_error.number = number;
  t_last_error.text.assign(text);
}

NDSRESULT Fail(uint32_t number, std::string_view text) {
  std::string prefix = "Error " + std::to_string(number) + ":";
  if (text.substr(0, prefix.size()) == prefix) {
    StoreError(number, text);
  } else {
    StoreError(number, prefix + " " + std::string(text));
  }
  return number;
}

const LastErrorRecord& LastError() {
  return t_last_error;
}

}  // namespace nce
