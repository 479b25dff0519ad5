// Dates and times as the record forms write and read them: Julian day
// numbers and milliseconds of the day on one side, ISO and compact texts on
// the other. The calendar itself is engine/base/dates.h.
#ifndef ENGINE_RECORD_CALENDAR_TEXTS_H
#define ENGINE_RECORD_CALENDAR_TEXTS_H

#include <cstdint>
#include <string>
#include <string_view>

namespace nce {

inline constexpr int64_t kMsPerDay = 86400000;

// Reads a date at the start of `s` (the forms of ParseDatePrefix); `rest`,
// when given, gets what follows it.
bool ParseDate(std::string_view s, int64_t* julian, std::string_view* rest);

// Accepts "HH:MM", "HH:MM:SS" and "HH:MM:SS.fff", optionally followed by
// blanks or "Z".
bool ParseTime(std::string_view s, int64_t* ms);

// A date, optionally followed by a time after blanks or "T".
bool ParseTimestamp(std::string_view s, int64_t* julian, int64_t* ms);

// "YYYY-MM-DD", "YYYYMMDD" and "HH:MM:SS.fff".
std::string IsoDate(int64_t julian);
std::string CompactDate(int64_t julian);
std::string IsoTime(int64_t ms);

// Writes the eight digits "YYYYMMDD" of a day at `out`.
void DateDigits(int64_t julian, uint8_t* out);

}  // namespace nce

#endif  // ENGINE_RECORD_CALENDAR_TEXTS_H
