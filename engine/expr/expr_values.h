// Reading the date and time texts of the expression language (CTOD, CTOT,
// CTOTS) into the forms the store keeps.
#ifndef ENGINE_EXPR_EXPR_VALUES_H
#define ENGINE_EXPR_EXPR_VALUES_H

#include <optional>
#include <string>
#include <string_view>

namespace nce {

// "YYYYMMDD", "YYYY-MM-DD", "MM/DD/YYYY" (also M/D/YYYY) -> "YYYY-MM-DD";
// a blank text gives "" (the empty date); nullopt when it is no date.
std::optional<std::string> StoredDate(std::string_view text);
// "HH:MM[:SS[.mmm]]" with an optional AM/PM -> "HH:MM:SS.mmm".
std::optional<std::string> StoredTime(std::string_view text);
// A date text, a blank and a time text -> "YYYY-MM-DD HH:MM:SS.mmm".
std::optional<std::string> StoredTimestamp(std::string_view text);

}  // namespace nce

#endif  // ENGINE_EXPR_EXPR_VALUES_H
