// Fuzzes the engine's rewrites of a statement's text before a store sees it.
//
// MarkParameters may change the markers alone: each becomes ?N, a text
// without '?' or ':' comes back unchanged, and the rewritten text, scanned
// again, holds exactly the markers ?1 .. ?n. It never touches a number.
//
// ColumnLongDecimalsAsText (SQLite's statements) may only put quotes around
// a decimal literal of more significant digits than a double keeps (an
// optional sign, digits, a point, digits): taking those quotes out gives
// the text back, and every other character, markers included, stays as it
// was. Which literals it quotes (those a column receives whole) is checked
// by the tests; a quoted text must never be one that was not a literal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/sql/long_decimals.h"
#include "engine/sql/sql_script.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether `literal` is a long decimal as ColumnLongDecimalsAsText quotes one.
bool IsLongDecimalLiteral(std::string_view literal) {
  if (!literal.empty() && (literal[0] == '-' || literal[0] == '+')) literal.remove_prefix(1);
  size_t point = literal.find('.');
  if (point == std::string_view::npos) return false;
  size_t significant = 0;
  bool leading = true;
  std::string_view fraction = literal.substr(point + 1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  for (size_t i = 0; i < literal.size(); ++i) {
    if (i == point) continue;
    if (!IsDigit(literal[i])) return false;
    if (i > point && i > point + fraction.size()) continue;  // trailing zeros
    if (leading && literal[i] == '0') continue;
    leading = false;
    ++significant;
  }
  return significant > nce::kDoubleDigits;
}

void CheckMarkers(std::string_view text) {
  nce::MarkedStatement marked = nce::MarkParameters(text, 1);
  for (const std::string& marker : marked.markers)
    if (marker.empty() || (marker[0] != '?' && marker[0] != ':')) std::abort();
  if (text.find_first_of("?:") == std::string_view::npos &&
      (marked.sql != text || !marked.markers.empty()))
    std::abort();
  nce::MarkedStatement again = nce::MarkParameters(marked.sql, 1);
  if (again.markers.size() != marked.markers.size()) std::abort();
  for (size_t i = 0; i < again.markers.size(); ++i)
    if (again.markers[i] != "?" + std::to_string(i + 1)) std::abort();
}

void CheckLongDecimals(std::string_view text) {
  std::string out = nce::ColumnLongDecimalsAsText(text);
  size_t i = 0, j = 0;  // in text, in out
  while (i < text.size() || j < out.size()) {
    if (i < text.size() && j < out.size() && text[i] == out[j] && out[j] != '\'') {
      ++i, ++j;
      continue;
    }
    if (j < out.size() && out[j] == '\'' && i < text.size() && text[i] == '\'') {
      // A quote of the text, or an added quote before a literal: an added
      // one encloses a literal, which never starts with a quote.
      ++i, ++j;
      continue;
    }
    if (j >= out.size() || out[j] != '\'') std::abort();
    size_t close = out.find('\'', j + 1);
    if (close == std::string::npos) std::abort();
    std::string_view literal = std::string_view(out).substr(j + 1, close - j - 1);
    if (!IsLongDecimalLiteral(literal) || text.substr(i, literal.size()) != literal) std::abort();
    i += literal.size();
    j = close + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckMarkers(text);
  CheckLongDecimals(text);
  CheckLongDecimals(nce::MarkParameters(text, 1).sql);
  return 0;
}
