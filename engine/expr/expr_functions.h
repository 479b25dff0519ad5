// What the engine's SQL functions compute, whichever store calls them: the
// index key function nce_key and the helpers that translated expressions
// call. Keys are byte strings whose byte order is the key order, so that an
// index on nce_key(...) walks records in the order of the engine's key
// expression. The stores register the functions (SQLite:
// engine/storage/sqlite_functions.h; a server: with its catalog).
#ifndef ENGINE_EXPR_EXPR_FUNCTIONS_H
#define ENGINE_EXPR_EXPR_FUNCTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/stored_view.h"

namespace nce {

// One segment of a key: its type letter (see KeyTypeLetter) and, for
// strings, its width. Widths of the others are fixed: N 8, D 4, T 4, Z 8, L 1.
struct KeySegmentSpec {
  char type = 'S';
  uint32_t width = 0;
};

// "S20;N;D" <-> segment shapes; ParseKeySpec throws on a malformed text.
std::string KeySpecText(const std::vector<KeySegmentSpec>& shapes);
std::vector<KeySegmentSpec> ParseKeySpec(std::string_view text);
uint32_t KeySegmentWidth(const KeySegmentSpec& shape);

// A value to put into a key segment.
struct KeyInput {
  enum class Kind { kNull, kNumber, kText } kind = Kind::kNull;
  double number = 0;
  std::string text;
};

// The key input of a stored value (NULL, number, text or blob bytes).
KeyInput KeyInputOf(const StoredView& value);

// Appends the key bytes of `input` for `shape`.
void AppendKeyBytes(std::string& key, const KeySegmentSpec& shape, const KeyInput& input);

// The smallest byte string greater than every string that begins with
// `prefix`; empty when there is none (the prefix is all 0xFF bytes).
std::string PrefixSuccessor(std::string_view prefix);

// nce_mod: the remainder of a / b with the sign of b; none when b is 0.
std::optional<double> Modulo(double a, double b);

// nce_pow: base raised to exponent; none when the result is not finite.
std::optional<double> Power(double base, double exponent);

// CONTAINS: whether `text` holds the words of `pattern` ("a AND b", "a OR
// b", "NOT a", quoted phrases, '*' as a wildcard at either end of a word);
// letter case does not count.
bool ContainsWords(std::string_view text, std::string_view pattern);

}  // namespace nce

#endif  // ENGINE_EXPR_EXPR_FUNCTIONS_H
