// NdsError: an engine call of the connection failed; its message is the
// engine's text for its last error.
#include <cstring>
#include <string>

#include "nds/ndscnnct.h"

namespace nds {

std::string EngineLastErrorText(NDSRESULT engineCode) {
  // One byte more than the length handed to the engine, so that the text is
  // terminated even when the engine fills the whole length.
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  std::uint32_t number = engineCode;
  std::uint16_t length = NDS_MAX_ERROR_LEN;
  if (NdsGetLastError(&number, text, &length) != NDS_SUCCESS) {
    NdsShowError("Nds Exception Error");
    return {};
  }
  return std::string(text, ::strnlen(text, NDS_MAX_ERROR_LEN));
}

NdsError::NdsError(NDSRESULT engineCode) : Exception(EngineLastErrorText(engineCode)) {}

}  // namespace nds
