// The texts by which values pass between the engine and the server where
// the server's own forms would change them: reals sent as numeric text,
// and times and timestamps read back in the engine's form. Apart from
// libpq, so that they can be fuzzed alone.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_VALUE_TEXTS_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_VALUE_TEXTS_H

#include <cstddef>
#include <string>
#include <string_view>

namespace nce {

// The longest text ExactNumericText writes: -2.2250738585072014e-308.
inline constexpr size_t kMaxExactNumericText = 24;

// The numeric text that gives `real` exactly to a column of any number type,
// written to `out` (at least kMaxExactNumericText bytes, not terminated);
// its length, or 0 where the server's own conversion of the double as a
// double precision does so already (see postgres_values.h).
size_t ExactNumericText(double real, char* out);

// A time ('HH:MM:SS[.ffffff]') or, when `timestamp`, a timestamp
// ('YYYY-MM-DD HH:MM:SS[.ffffff]') as the server writes it, as the engine
// keeps it: with exactly three decimals ('10:00:00.5' becomes
// '10:00:00.500'). A finer time keeps its digits, and a text of any other
// form (BC, infinity, a year beyond 9999) stays as the server wrote it:
// neither is rounded or made up.
std::string EngineTimeText(std::string_view text, bool timestamp);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_VALUE_TEXTS_H
