// Fuzzes the reading of the engine's options out of a server URI: any text
// is split or refused with NDS_E_INVALID_PATH, never a crash; what libpq is
// given is the text with statement_timeout parameters taken out, no longer
// than the text, and holds no statement_timeout parameter of its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/base/errors.h"
#include "engine/storage/postgres/postgres_uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string uri(reinterpret_cast<const char*>(data), size);
  nce::ServerUri read;
  try {
    read = nce::ReadServerUri(uri);
  } catch (const nce::EngineError& error) {
    if (error.number() != NDS_E_INVALID_PATH) std::abort();
    return 0;
  }
  if (read.libpq_uri.size() > uri.size() || read.statement_timeout_ms < 0) std::abort();
  if (uri.find("statement_timeout") == std::string::npos && read.libpq_uri != uri) std::abort();
  const size_t query = read.libpq_uri.find('?');
  if (query == std::string::npos) return 0;
  std::string_view rest = std::string_view(read.libpq_uri).substr(query + 1);
  for (size_t amp = 0; amp != std::string_view::npos; rest.remove_prefix(amp + 1)) {
    amp = rest.find('&');
    const std::string_view parameter = rest.substr(0, amp);
    if (parameter.substr(0, parameter.find('=')) == "statement_timeout") std::abort();
    if (amp == std::string_view::npos) break;
  }
  return 0;
}
