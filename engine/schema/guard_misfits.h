// What a type guard says about a value its field cannot hold, and the
// refusal's text built from it: one wording for every store, so that the
// SQLite store's guards and the PostgreSQL server's refuse a value with the
// same words.
#ifndef ENGINE_SCHEMA_GUARD_MISFITS_H
#define ENGINE_SCHEMA_GUARD_MISFITS_H

#include <cstdint>
#include <string>

namespace nce::misfit {

inline constexpr const char* kNotNumber = "not a number";
inline constexpr const char* kNotWholeNumber = "not a whole number";
inline constexpr const char* kNotDate = "not a date of years 1 to 9999 (YYYY-MM-DD)";
inline constexpr const char* kNotTime = "not a time of day (HH:MM:SS.fff)";
inline constexpr const char* kNotTimestamp = "not a timestamp (YYYY-MM-DD HH:MM:SS.fff)";
inline constexpr const char* kNotLogical = "not a logical value (1 for true, 0 for false)";
inline constexpr const char* kNotFinite = "not a finite number";
inline constexpr const char* kNotMoney = "not an amount of money";
inline constexpr const char* kMoneyDecimals = "the amount has more than four decimals";
inline constexpr const char* kMoneyBeyond = "the amount lies beyond what money holds";
inline constexpr const char* kMoneyRealDigits =
    "an amount of 1e11 or more with decimals has more digits than an SQL number keeps; "
    "give it as text, such as '123456789012.3456'";

inline std::string LongerThanBytes(uint32_t length) {
  return "longer than the field's " + std::to_string(length) + " bytes";
}
inline std::string NeedsMoreCharacters(uint32_t length) {
  return "needs more than " + std::to_string(length) + " characters";
}
inline std::string Outside(int64_t low, int64_t high) {
  return "the value lies outside " + std::to_string(low) + " to " + std::to_string(high);
}

// What the engine's error says when a value does not fit `column`.
inline std::string RefusalText(const std::string& column, const std::string& what) {
  return "Value does not fit column \"" + column + "\": " + what;
}

// The refusal as a guard raises it: the engine error's number first, which
// the SQLite error translation reads off again.
inline std::string Refusal(uint32_t number, const std::string& column, const std::string& what) {
  return "NCE-" + std::to_string(number) + ": " + RefusalText(column, what);
}

}  // namespace nce::misfit

#endif  // ENGINE_SCHEMA_GUARD_MISFITS_H
