// Calendar arithmetic of the engine: Julian day numbers (proleptic
// Gregorian calendar; 1 January 2000 is day 2 451 545) and the date texts the
// engine reads and writes.
#ifndef ENGINE_BASE_DATES_H
#define ENGINE_BASE_DATES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nce {

struct CivilDate {
  int year = 0;   // 1 .. 9999
  int month = 0;  // 1 .. 12
  int day = 0;    // 1 .. days of the month
};

int64_t JulianFromCivil(const CivilDate& date);
CivilDate CivilFromJulian(int64_t julian);

// True for a date of years 1 to 9999 that the calendar has.
bool IsValidDate(const CivilDate& date);

// IsValidDate and JulianFromCivil in one step: false, with *julian
// untouched, for a date the calendar does not have.
bool JulianOfValidDate(const CivilDate& date, int64_t* julian);

// Reads a date at the start of `text`: "YYYY-MM-DD", else "YYYYMMDD", else
// "MM/DD/YYYY"; `rest` (when given) gets what follows it. nullopt when the
// text does not start with one of these forms or the date is impossible.
std::optional<CivilDate> ParseDatePrefix(std::string_view text, std::string_view* rest);

// Reads "YYYYMMDD", "YYYY-MM-DD" or "MM/DD/YYYY" (surrounding blanks
// allowed). nullopt for anything else, including impossible dates.
std::optional<CivilDate> ParseDateText(std::string_view text);

// True when the text holds nothing but blanks: the empty date.
bool IsBlankDate(std::string_view text);

// "YYYYMMDD" and "YYYY-MM-DD" forms.
std::string CompactDateText(const CivilDate& date);
std::string IsoDateText(const CivilDate& date);

// Julian day numbers the calendar functions accept (0001-01-01 .. 9999-12-31).
inline constexpr int64_t kFirstJulianDay = 1721426;
inline constexpr int64_t kLastJulianDay = 5373484;

}  // namespace nce

#endif  // ENGINE_BASE_DATES_H
