// Fuzzes the translation of ?N markers into PostgreSQL's $N: any text is
// translated without a crash into a text of the same length that differs
// only where a '?' before a digit became '$'; a text without '?' comes back
// unchanged; and nothing inside a string literal or a quoted identifier is
// ever a marker.
#include "engine/storage/postgres/postgres_params.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// `text` inside `quote`s, its own quotes doubled.
std::string Quoted(std::string_view text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    out += c;
    if (c == quote) out += c;
  }
  return out + quote;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  nce::PostgresText out = nce::TranslateParameters(text);
  if (out.sql.size() != text.size()) std::abort();
  long markers = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (out.sql[i] == text[i]) continue;
    if (text[i] != '?' || out.sql[i] != '$' || i + 1 >= text.size() || text[i + 1] < '0' ||
        text[i + 1] > '9')
      std::abort();
    ++markers;
  }
  if (markers == 0 && out.max_parameter != 0) std::abort();
  if (out.max_parameter > nce::kMaxPostgresParameter + 1) std::abort();
  for (char quote : {'\'', '"'}) {
    std::string quoted = Quoted(text, quote);
    if (nce::TranslateParameters(quoted).sql != quoted) std::abort();
  }
  return 0;
}
