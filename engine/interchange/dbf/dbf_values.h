// Conversions between the bytes of xBase fields and the interchange forms
// of table_rows.h that do not depend on a file: decimal text of N and F
// fields, YYYYMMDD dates, Julian day numbers of Visual FoxPro and dBase 7
// timestamps, and currency scaled by 10,000. Every conversion is exact;
// one that cannot be throws FieldError, which the reader and the writer
// turn into an EngineError naming the file, the record and the field.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_VALUES_H
#define ENGINE_INTERCHANGE_DBF_DBF_VALUES_H

#include <cstdint>
#include <string>
#include <string_view>

namespace nce {

// A value that does not convert: its error number (NDS_E_VALUE_INVALID,
// NDS_E_VALUE_TOO_LONG, NDS_E_BAD_FILE) and what is wrong with it.
struct FieldError {
  uint32_t code;
  std::string what;
};
[[noreturn]] void FailField(uint32_t code, std::string what);

// Days and milliseconds in a day.
constexpr int64_t kMsPerDay = 86400000;

// The Julian day number of a date of the proleptic Gregorian calendar
// (2440588 is 1970-01-01), and back: the engine's calendar (base/dates.h)
// in the parts the codecs take.
int64_t JulianDayOf(int year, int month, int day);
void DateOfJulianDay(int64_t julian_day, int* year, int* month, int* day);
bool IsValidDate(int year, int month, int day);

// Reading, into `*out` (assigned, so that its capacity is reused). The
// Read* functions return false for a blank field (its value is NULL).
//   N, F: the decimal as written, blanks off; "+1" "1." ".5" become "1" "1"
//   "0.5". Anything but a sign, digits and one point is refused.
bool ReadDecimalField(std::string_view field, std::string* out);
//   D: "YYYYMMDD" to "YYYY-MM-DD"; blanks, zeros or NULs are NULL.
bool ReadDateField(std::string_view field, std::string* out);
// "YYYY-MM-DD HH:MM:SS.mmm" of a Julian day and the milliseconds into it;
// refuses days outside the years 1 to 9999 and times past the day's end.
void FormatTimestamp(int64_t julian_day, int64_t ms, std::string* out);
// Currency scaled by 10,000 as exact text with four decimals.
void FormatMoney(int64_t scaled, std::string* out);

// Writing.
//   A decimal (text of the interchange form) right-aligned in `width`
//   bytes at `dest` with exactly `decimals` decimals: fewer are filled with
//   zeros, more are refused unless they are zeros; NDS_E_VALUE_TOO_LONG
//   when it does not fit.
void WriteDecimalField(std::string_view text, uint32_t width, uint32_t decimals, char* dest);
//   "YYYY-MM-DD" to its year, month and day.
void ParseDateText(std::string_view text, int* year, int* month, int* day);
//   "YYYY-MM-DD HH:MM:SS[.mmm]" to a Julian day and milliseconds.
void ParseTimestampText(std::string_view text, int64_t* julian_day, int64_t* ms);
//   An exact decimal of at most four decimals (further zeros allowed) to
//   currency scaled by 10,000.
int64_t ParseMoneyText(std::string_view text);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_VALUES_H
