#include "engine/storage/postgres/postgres_value_texts.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace nce {
namespace {

// The significant digits the server keeps when it turns a double into a
// numeric (it prints the double with 15 of them).
constexpr int kServerNumericDigits = 15;

// The significant digits of the number text `text` (as std::to_chars writes
// it): those from the first non-zero digit to the last, before any exponent.
int SignificantDigits(std::string_view text) {
  int digits = 0, first = -1, last = -1;
  for (char c : text) {
    if (c == 'e') break;
    if (c < '0' || c > '9') continue;
    if (c != '0') {
      if (first < 0) first = digits;
      last = digits;
    }
    ++digits;
  }
  return first < 0 ? 0 : last - first + 1;
}

// Whether `text` holds digits where `form` has '9' and the same character
// elsewhere.
bool HasForm(std::string_view text, std::string_view form) {
  if (text.size() != form.size()) return false;
  for (size_t i = 0; i < form.size(); ++i)
    if (form[i] == '9' ? text[i] < '0' || text[i] > '9' : text[i] != form[i]) return false;
  return true;
}

}  // namespace

size_t ExactNumericText(double real, char* out) {
  char* last = out + kMaxExactNumericText;
  // NaN and the infinities become numeric's own; no numeric is -0.
  if (!std::isfinite(real) || real == 0) return 0;
  double magnitude = std::abs(real);
  if (magnitude >= 0x1p53 && magnitude < 0x1p63) {
    // A whole number beyond the doubles' exact integers: its own digits,
    // which a whole-number field keeps as SQLite does (2^60 is
    // 1152921504606846976, not 1152921504606847000).
    return static_cast<size_t>(std::to_chars(out, last, static_cast<int64_t>(real)).ptr - out);
  }
  // Beyond 2^63 in scientific form: written out, -2^63 would be the smallest
  // 64-bit integer, which SQLite, keeping such a real as a real, refuses.
  char* end = magnitude >= 0x1p63
                  ? std::to_chars(out, last, real, std::chars_format::scientific).ptr
                  : std::to_chars(out, last, real).ptr;
  if (SignificantDigits(std::string_view(out, static_cast<size_t>(end - out))) <=
      kServerNumericDigits)
    return 0;
  return static_cast<size_t>(end - out);
}

std::string EngineTimeText(std::string_view text, bool timestamp) {
  std::string_view form = timestamp ? "9999-99-99 99:99:99" : "99:99:99";
  if (text.size() < form.size() || !HasForm(text.substr(0, form.size()), form))
    return std::string(text);
  std::string_view fraction = text.substr(form.size());
  if (!fraction.empty()) {
    // '.' and one to three digits
    if (fraction.size() < 2 || fraction.size() > 4 ||
        !HasForm(fraction, std::string_view(".999", fraction.size())))
      return std::string(text);
    fraction.remove_prefix(1);
  }
  std::string engine(text.substr(0, form.size()));
  engine += '.';
  engine += fraction;
  engine.append(3 - fraction.size(), '0');
  return engine;
}

}  // namespace nce
