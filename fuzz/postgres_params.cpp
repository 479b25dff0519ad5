// Fuzzes the translation of ?N markers into PostgreSQL's $N: any text is
// translated without a crash into a text that differs only where a '?'
// before a digit became '$', a blob literal X'hex' became '\xhex'::bytea,
// and TRUE or FALSE became '1' or '0'; and nothing inside a string literal or a quoted identifier
// is ever a marker or a blob literal.
#include "engine/storage/postgres/postgres_params.h"

#include <cctype>
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
  long markers = 0;
  size_t i = 0, j = 0;  // in text, in out.sql
  while (i < text.size()) {
    if (j >= out.sql.size()) std::abort();
    if (out.sql[j] == text[i]) {
      ++i, ++j;
    } else if (text[i] == '?' && out.sql[j] == '$' && i + 1 < text.size() && text[i + 1] >= '0' &&
               text[i + 1] <= '9') {
      ++i, ++j, ++markers;
    } else if ((text[i] == 'x' || text[i] == 'X') && out.sql.compare(j, 3, "'\\x") == 0) {
      size_t close = text.find('\'', i + 2);
      if (i + 1 >= text.size() || text[i + 1] != '\'' || close == std::string_view::npos)
        std::abort();
      std::string_view hex = text.substr(i + 2, close - i - 2);
      std::string want = "'\\x" + std::string(hex) + "'::bytea";
      if (hex.size() % 2 != 0 || out.sql.compare(j, want.size(), want) != 0) std::abort();
      for (char h : hex)
        if (!std::isxdigit(static_cast<unsigned char>(h))) std::abort();
      i = close + 1, j += want.size();
    } else if (auto word = text.substr(i, 5);
               (word.size() >= 4 && out.sql.compare(j, 3, "'1'") == 0 &&
                std::tolower(word[0]) == 't') ||
               (word.size() == 5 && out.sql.compare(j, 3, "'0'") == 0 &&
                std::tolower(word[0]) == 'f')) {
      // TRUE or FALSE as the untyped '1' or '0'.
      const bool yes = std::tolower(word[0]) == 't';
      for (size_t k = 0; k < (yes ? 4u : 5u); ++k)
        if (std::toupper(static_cast<unsigned char>(word[k])) != (yes ? "TRUE" : "FALSE")[k])
          std::abort();
      i += yes ? 4 : 5, j += 3;
    } else {
      std::abort();
    }
  }
  if (j != out.sql.size()) std::abort();
  if (markers == 0 && out.max_parameter != 0) std::abort();
  if (out.max_parameter > nce::kMaxPostgresParameter + 1) std::abort();
  for (char quote : {'\'', '"'}) {
    std::string quoted = Quoted(text, quote);
    if (nce::TranslateParameters(quoted).sql != quoted) std::abort();
  }
  return 0;
}
