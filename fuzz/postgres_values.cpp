// Fuzzes the texts by which values pass between the engine and the server.
// Any text read as a time or timestamp comes back as written or with zeros
// added after its decimals (and the point before them), nothing else
// changed; eight bytes read as a double and sent as numeric text read back
// as the very same double.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/storage/postgres/postgres_value_texts.h"

namespace {

void ReadTime(std::string_view text, bool timestamp) {
  std::string engine = nce::EngineTimeText(text, timestamp);
  if (engine.compare(0, text.size(), text) != 0) std::abort();
  for (size_t i = text.size(); i < engine.size(); ++i)
    if (engine[i] != '0' && !(i == text.size() && engine[i] == '.')) std::abort();
}

void SendReal(const uint8_t* data) {
  double real;
  std::memcpy(&real, data, sizeof real);
  char text[nce::kMaxExactNumericText + 1] = {};
  size_t length = nce::ExactNumericText(real, text);
  if (length == 0) return;  // sent as the binary double itself
  if (length > nce::kMaxExactNumericText || std::strlen(text) != length) std::abort();
  char* end = nullptr;
  double back = std::strtod(text, &end);
  if (*end != '\0' || std::memcmp(&back, &real, sizeof real) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadTime(text, data[0] % 2 == 1);
  if (size >= 9) SendReal(data + 1);
  return 0;
}
