// Fuzzes the engine's parameter marker scanner: any text is scanned without
// a crash; the rewritten text holds one ?N per marker found, and a text
// without '?' or ':' comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/sql/sql_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  nce::MarkedStatement marked = nce::MarkParameters(text, 1);
  for (const std::string& marker : marked.markers)
    if (marker.empty() || (marker[0] != '?' && marker[0] != ':')) std::abort();
  if (text.find_first_of("?:") == std::string_view::npos &&
      (marked.sql != text || !marked.markers.empty()))
    std::abort();
  // The rewritten text is scanned again: its markers are exactly ?1 .. ?n.
  nce::MarkedStatement again = nce::MarkParameters(marked.sql, 1);
  if (again.markers.size() != marked.markers.size()) std::abort();
  for (size_t i = 0; i < again.markers.size(); ++i)
    if (again.markers[i] != "?" + std::to_string(i + 1)) std::abort();
  return 0;
}
