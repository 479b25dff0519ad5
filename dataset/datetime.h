// Dates and times. TDateTime is a floating day count whose day 0 is
// 30 December 1899 and whose fraction is the time of day; before day 0 the
// whole part counts back and the fraction still runs forward from midnight
// (-1.25 is 29 December 1899, 06:00). Alongside it the framework keeps
// day numbers in which 0001-01-01 is day 1 (record buffers), and the
// engine's Julian day numbers.
#ifndef DATASET_DATETIME_H
#define DATASET_DATETIME_H

#include <cstdint>
#include <string>
#include <string_view>

namespace dataset {

using TDateTime = double;

constexpr int64_t kMSecsPerDay = 86400000;
constexpr int32_t kSecsPerDay = 86400;
// Day number (0001-01-01 = day 1) of TDateTime day 0, 1899-12-30.
constexpr int32_t kDateDelta = 693594;
// Julian day number of the framework's day number 0; Julian day number =
// day number + kJulianDayOfDay0.
constexpr int32_t kJulianDayOfDay0 = 1721425;
// Julian day number of TDateTime day 0 (kDateDelta + kJulianDayOfDay0).
constexpr int32_t kJulianDayOfDateTime0 = 2415019;

// A date-time split into a day number (0001-01-01 is day 1) and the
// milliseconds since midnight.
struct TTimeStamp {
  int32_t Time;  // 0 to 86 399 999
  int32_t Date;  // day number, 1 = 0001-01-01
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// Encoding and decoding. Years 1 to 9999. Encode refuses invalid parts with
// EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);
// Decoding rounds to the nearest millisecond.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

// Day numbers (0001-01-01 is day 1).
TTimeStamp DateTimeToTimeStamp(TDateTime value);
// Raises EConvertError for a time outside one day or a day number below 1.
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
// Milliseconds counted from day 0 of the day numbering (the framework's
// date-time value form in record buffers).
double TimeStampToMSecs(const TTimeStamp& stamp);
TTimeStamp MSecsToTimeStamp(double msecs);
// Day number <-> year, month, day (false for a day number below 1 or an
// invalid date).
bool DayNumberToDate(int32_t day_number, int& year, int& month, int& day);
bool DateToDayNumber(int year, int month, int day, int32_t& day_number);

// The engine's forms of a TDateTime (the floating day count as it is:
// truncation toward zero, the time part the signed difference, so values
// before day 0 give negative milliseconds). Results that do not fit 32 bits
// raise ERangeError.
// Julian day number: the value truncated toward zero plus 2 415 019.
int32_t DateTimeToJulianDay(TDateTime value);
// Milliseconds since midnight: (value - trunc(value)) * 86 400 000, rounded
// to the nearest integer, ties to even.
int32_t DateTimeToTimeMSecs(TDateTime value);
// The date of a Julian day number as a TDateTime at midnight.
TDateTime JulianDayToDateTime(double julian_day);
// Astronomical Julian dates (days since noon of 24 November 4714 BC,
// proleptic Gregorian).
double DateTimeToJulianDate(TDateTime value);
TDateTime JulianDateToDateTime(double julian_date);

// Text forms: "yyyy-mm-dd", "hh:nn:ss" (".zzz" added when the milliseconds
// are not zero), and the two joined by a space (the time left out at
// midnight). Parsing accepts those forms, with "/" or "." as date
// separators, and raises EConvertError "'s' is not a valid date" /
// "... valid time" / "... valid date and time".
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);
TDateTime StrToDate(std::string_view s);
TDateTime StrToTime(std::string_view s);
TDateTime StrToDateTime(std::string_view s);
bool TryStrToDateTime(std::string_view s, TDateTime& value);

// The local clock.
TDateTime Now();
TDateTime Date();  // Today at midnight
TDateTime Time();  // Time of day only

}  // namespace dataset

#endif  // DATASET_DATETIME_H
