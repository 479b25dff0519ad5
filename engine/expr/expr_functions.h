// SQL functions the engine registers on every store connection: the index
// key function and the helpers that translated expressions call. Keys are
// byte strings whose byte order is the key order, so that an SQLite index on
// nce_key(...) walks records in the order of the engine's key expression.
#ifndef ENGINE_EXPR_EXPR_FUNCTIONS_H
#define ENGINE_EXPR_EXPR_FUNCTIONS_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The key input of an SQLite value (NULL, number, text or blob bytes).
KeyInput KeyInputOf(sqlite3_value* value);

// Appends the key bytes of `input` for `shape`.
void AppendKeyBytes(std::string& key, const KeySegmentSpec& shape, const KeyInput& input);

// The smallest byte string greater than every string that begins with
// `prefix`; empty when there is none (the prefix is all 0xFF bytes).
std::string PrefixSuccessor(std::string_view prefix);

// Registers nce_key, nce_contains, nce_ctod, nce_ctot, nce_ctots, nce_mod and
// nce_pow on `db`. Throws EngineError on failure.
void RegisterExpressionFunctions(sqlite3* db);

// CONTAINS: whether `text` holds the words of `pattern` ("a AND b", "a OR
// b", "NOT a", quoted phrases, '*' as a wildcard at either end of a word);
// letter case does not count.
bool ContainsWords(std::string_view text, std::string_view pattern);

}  // namespace nce

#endif  // ENGINE_EXPR_EXPR_FUNCTIONS_H
