#include "dataset/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "dataset/exceptions.h"
#include "dataset/text.h"

namespace dataset {

namespace {

constexpr int kMonthDays[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
// The days of a year before the first of each month, for plain and leap years.
constexpr int kDaysBeforeMonth[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

// Milliseconds since TDateTime day 0, rounded half away from zero; false when
// the value is not finite or too large to count.
bool ToMSecs(TDateTime value, int64_t& msecs) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return false;
  double m = value * static_cast<double>(kMSecsPerDay);
  msecs = static_cast<int64_t>(m >= 0 ? m + 0.5 : m - 0.5);
  return true;
}

std::string Two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

// Reads an unsigned decimal of 1 to `max_digits` digits at s[i].
bool ReadNumber(std::string_view s, size_t& i, size_t max_digits, int& value) {
  size_t start = i;
  value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < max_digits)
    value = value * 10 + (s[i++] - '0');
  return i > start;
}

bool ParseDate(std::string_view s, TDateTime& value) {
  size_t i = 0;
  int y, m, d;
  if (!ReadNumber(s, i, 4, y)) return false;
  if (i >= s.size()) return false;
  char sep = s[i];
  if (sep != '-' && sep != '/' && sep != '.') return false;
  ++i;
  if (!ReadNumber(s, i, 2, m) || i >= s.size() || s[i++] != sep) return false;
  if (!ReadNumber(s, i, 2, d) || i != s.size()) return false;
  return TryEncodeDate(y, m, d, value);
}

bool ParseTime(std::string_view s, TDateTime& value) {
  size_t i = 0;
  int h, n, sec = 0, ms = 0;
  if (!ReadNumber(s, i, 2, h) || i >= s.size() || s[i++] != ':') return false;
  if (!ReadNumber(s, i, 2, n)) return false;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (!ReadNumber(s, i, 2, sec)) return false;
    if (i < s.size() && s[i] == '.') {
      ++i;
      size_t start = i;
      if (!ReadNumber(s, i, 3, ms)) return false;
      for (size_t k = i - start; k < 3; ++k) ms *= 10;  // ".5" is 500 ms
    }
  }
  if (i != s.size()) return false;
  return TryEncodeTime(h, n, sec, ms, value);
}

// Linear day count (no special handling before day 0) <-> TDateTime.
double ToLinear(TDateTime value) {
  TTimeStamp ts = DateTimeToTimeStamp(value);
  return static_cast<double>(ts.Date - kDateDelta) + static_cast<double>(ts.Time) / kMSecsPerDay;
}

TDateTime FromLinear(double linear) {
  double day = std::floor(linear);
  double frac = linear - day;
  return day >= 0 ? day + frac : day - frac;
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kMonthDays[IsLeapYear(year) ? 1 : 0][month];
}

bool DateToDayNumber(int year, int month, int day, int32_t& day_number) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const int leap = IsLeapYear(year) ? 1 : 0;
  if (day > kMonthDays[leap][month]) return false;
  const int32_t d = kDaysBeforeMonth[leap][month] + day;
  const int32_t y = year - 1;
  day_number = y * 365 + y / 4 - y / 100 + y / 400 + d;
  return true;
}

bool DayNumberToDate(int32_t day_number, int& year, int& month, int& day) {
  if (day_number < 1) {
    year = month = day = 0;
    return false;
  }
  constexpr int32_t kD1 = 365, kD4 = kD1 * 4 + 1, kD100 = kD4 * 25 - 1, kD400 = kD100 * 4 + 1;
  int32_t t = day_number - 1;
  int y = 1;
  y += 400 * (t / kD400);
  t %= kD400;
  int32_t i = t / kD100, d = t % kD100;
  if (i == 4) {  // the last day of a 400-year cycle
    --i;
    d += kD100;
  }
  y += i * 100;
  i = d / kD4;
  d %= kD4;
  y += i * 4;
  i = d / kD1;
  d %= kD1;
  if (i == 4) {  // the last day of a leap cycle
    --i;
    d += kD1;
  }
  y += i;
  int m = 1;
  while (d >= DaysInMonth(y, m)) d -= DaysInMonth(y, m++);
  year = y;
  month = m;
  day = d + 1;
  return true;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
  int32_t n;
  if (!DateToDayNumber(year, month, day, n)) return false;
  value = static_cast<double>(n - kDateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime v;
  if (!TryEncodeDate(year, month, day, v)) throw EConvertError("Invalid argument to date encode");
  return v;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  int64_t ms = ((hour * 60 + minute) * 60 + second) * 1000LL + msec;
  value = static_cast<double>(ms) / kMSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime v;
  if (!TryEncodeTime(hour, minute, second, msec, v))
    throw EConvertError("Invalid argument to time encode");
  return v;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  int64_t ms;
  if (!ToMSecs(value, ms)) throw EConvertError("Invalid date-time value " + FloatToStr(value));
  int64_t abs_ms = ms < 0 ? -ms : ms;
  TTimeStamp ts;
  ts.Time = static_cast<int32_t>(abs_ms % kMSecsPerDay);
  ts.Date = static_cast<int32_t>(kDateDelta + ms / kMSecsPerDay);  // '/' truncates toward zero
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  if (stamp.Time < 0 || stamp.Time >= kMSecsPerDay || stamp.Date <= 0) {
    // Out of line: the message's set-up would cost every conversion its frame.
    const auto refuse = [&stamp]() __attribute__((noinline, cold)) {
      throw EConvertError("'" + std::to_string(stamp.Date) + "." + std::to_string(stamp.Time) +
                          "' is not a valid timestamp");
    };
    refuse();
  }
  int64_t days = static_cast<int64_t>(stamp.Date) - kDateDelta;
  double frac = static_cast<double>(stamp.Time) / kMSecsPerDay;
  return days < 0 ? static_cast<double>(days) - frac : static_cast<double>(days) + frac;
}

double TimeStampToMSecs(const TTimeStamp& stamp) {
  return static_cast<double>(stamp.Date) * kMSecsPerDay + stamp.Time;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
  if (!std::isfinite(msecs) || msecs < 0 || msecs > 1.0e18)
    throw EConvertError("Invalid millisecond count " + FloatToStr(msecs));
  int64_t total = static_cast<int64_t>(msecs);
  TTimeStamp ts;
  ts.Date = static_cast<int32_t>(total / kMSecsPerDay);
  ts.Time = static_cast<int32_t>(total % kMSecsPerDay);
  return ts;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  DayNumberToDate(DateTimeToTimeStamp(value).Date, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
  int32_t t = DateTimeToTimeStamp(value).Time;
  msec = t % 1000;
  t /= 1000;
  second = t % 60;
  t /= 60;
  minute = t % 60;
  hour = t / 60;
}

int DayOfWeek(TDateTime value) {
  return DateTimeToTimeStamp(value).Date % 7 + 1;
}

int32_t DateTimeToJulianDay(TDateTime value) {
  double day = std::trunc(value) + kJulianDayOfDateTime0;
  if (!std::isfinite(day) || day < INT32_MIN || day > INT32_MAX)
    throw ERangeError("Range check error");
  return static_cast<int32_t>(day);
}

int32_t DateTimeToTimeMSecs(TDateTime value) {
  if (!std::isfinite(value)) throw ERangeError("Range check error");
  double ms = std::nearbyint((value - std::trunc(value)) * static_cast<double>(kMSecsPerDay));
  return static_cast<int32_t>(ms);
}

TDateTime JulianDayToDateTime(double julian_day) {
  double n = std::trunc(julian_day) - kJulianDayOfDay0;
  if (!std::isfinite(n) || n < 1 || n > INT32_MAX) throw ERangeError("Range check error");
  return TimeStampToDateTime({0, static_cast<int32_t>(n)});
}

double DateTimeToJulianDate(TDateTime value) {
  return ToLinear(value) + 2415018.5;
}

TDateTime JulianDateToDateTime(double julian_date) {
  return FromLinear(julian_date - 2415018.5);
}

std::string DateToStr(TDateTime value) {
  int y, m, d;
  DecodeDate(value, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::string TimeToStr(TDateTime value) {
  int h, n, s, ms;
  DecodeTime(value, h, n, s, ms);
  std::string out = Two(h) + ":" + Two(n) + ":" + Two(s);
  if (ms != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%03d", ms);
    out += buf;
  }
  return out;
}

std::string DateTimeToStr(TDateTime value) {
  std::string out = DateToStr(value);
  if (DateTimeToTimeStamp(value).Time != 0) out += " " + TimeToStr(value);
  return out;
}

TDateTime StrToDate(std::string_view s) {
  TDateTime v;
  if (!ParseDate(TrimView(s), v))
    throw EConvertError("'" + std::string(s) + "' is not a valid date");
  return v;
}

TDateTime StrToTime(std::string_view s) {
  TDateTime v;
  if (!ParseTime(TrimView(s), v))
    throw EConvertError("'" + std::string(s) + "' is not a valid time");
  return v;
}

bool TryStrToDateTime(std::string_view s, TDateTime& value) {
  std::string_view t = TrimView(s);
  size_t space = t.find(' ');
  if (space == std::string_view::npos) {
    return ParseDate(t, value) || ParseTime(t, value);
  }
  TDateTime date, time;
  if (!ParseDate(t.substr(0, space), date) || !ParseTime(TrimView(t.substr(space + 1)), time))
    return false;
  value = date < 0 ? date - time : date + time;
  return true;
}

TDateTime StrToDateTime(std::string_view s) {
  TDateTime v;
  if (!TryStrToDateTime(s, v))
    throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
  return v;
}

TDateTime Now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  TDateTime date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return date + EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), ms);
}

TDateTime Date() {
  return std::trunc(Now());
}

TDateTime Time() {
  TDateTime n = Now();
  return n - std::trunc(n);
}

}  // namespace dataset
