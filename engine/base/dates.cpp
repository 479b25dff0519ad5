#include "engine/base/dates.h"

#include <cstdio>

namespace nce {
namespace {

bool IsLeap(int year) {
  // Three years in four fail the first test, which is a bit test.
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Reads exactly `count` digits at `pos`.
std::optional<int> Digits(std::string_view text, size_t pos, size_t count) {
  if (pos + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\0')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool IsValidDate(const CivilDate& d) {
  return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= DaysInMonth(d.year, d.month);
}

int64_t JulianFromCivil(const CivilDate& date) {
  // Fliegel and Van Flandern's formula for the Gregorian calendar. For the
  // years and months of valid dates every term is positive, so unsigned
  // arithmetic gives the same days with cheaper divisions (a walk converts
  // one date per date field and record).
  if (date.year >= 1 && date.year <= 9999 && date.month >= 1 && date.month <= 12) {
    const uint32_t a = date.month <= 2 ? 1 : 0;
    const uint32_t yy = static_cast<uint32_t>(date.year) + 4800 - a;
    const uint32_t mm = static_cast<uint32_t>(date.month) + 12 * a - 3;
    return static_cast<int64_t>(date.day) + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 +
           yy / 400 - 32045;
  }
  int64_t y = date.year, m = date.month, d = date.day;
  int64_t a = (14 - m) / 12;
  int64_t yy = y + 4800 - a;
  int64_t mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

bool JulianOfValidDate(const CivilDate& date, int64_t* julian) {
  if (!IsValidDate(date)) return false;
  // JulianFromCivil's unsigned form, whose range tests IsValidDate made.
  const uint32_t a = date.month <= 2 ? 1 : 0;
  const uint32_t yy = static_cast<uint32_t>(date.year) + 4800 - a;
  const uint32_t mm = static_cast<uint32_t>(date.month) + 12 * a - 3;
  *julian = static_cast<int64_t>(date.day) + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 +
            yy / 400 - 32045;
  return true;
}

CivilDate CivilFromJulian(int64_t julian) {
  int64_t a = julian + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  CivilDate date;
  date.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  date.month = static_cast<int>(m + 3 - 12 * (m / 10));
  date.year = static_cast<int>(100 * b + d - 4800 + m / 10);
  return date;
}

std::optional<CivilDate> ParseDateText(std::string_view given) {
  std::string_view text = TrimBlanks(given);
  CivilDate date;
  if (text.size() == 8) {
    auto y = Digits(text, 0, 4), m = Digits(text, 4, 2), d = Digits(text, 6, 2);
    if (!y || !m || !d) return std::nullopt;
    date = {*y, *m, *d};
  } else if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
    auto y = Digits(text, 0, 4), m = Digits(text, 5, 2), d = Digits(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    date = {*y, *m, *d};
  } else if (text.size() == 10 && text[2] == '/' && text[5] == '/') {
    auto m = Digits(text, 0, 2), d = Digits(text, 3, 2), y = Digits(text, 6, 4);
    if (!y || !m || !d) return std::nullopt;
    date = {*y, *m, *d};
  } else {
    return std::nullopt;
  }
  if (!IsValidDate(date)) return std::nullopt;
  return date;
}

std::optional<CivilDate> ParseDatePrefix(std::string_view text, std::string_view* rest) {
  std::optional<int> y, m, d;
  size_t used = 0;
  if (text.size() >= 10 && text[4] == '-' && text[7] == '-') {
    y = Digits(text, 0, 4), m = Digits(text, 5, 2), d = Digits(text, 8, 2);
    used = 10;
  }
  if (!y || !m || !d) {
    y = Digits(text, 0, 4), m = Digits(text, 4, 2), d = Digits(text, 6, 2);
    used = 8;
  }
  if ((!y || !m || !d) && text.size() >= 10 && text[2] == '/' && text[5] == '/') {
    m = Digits(text, 0, 2), d = Digits(text, 3, 2), y = Digits(text, 6, 4);
    used = 10;
  }
  if (!y || !m || !d) return std::nullopt;
  CivilDate date{*y, *m, *d};
  if (!IsValidDate(date)) return std::nullopt;
  if (rest) *rest = text.substr(used);
  return date;
}

bool IsBlankDate(std::string_view text) {
  return TrimBlanks(text).empty();
}

namespace {

// YYYY, MM and DD with `separator` between them (none when 0). Dates of
// years 0 to 9999 are written digit by digit: every date a record reads or
// writes passes here, and snprintf costs several times the rest.
std::string DateDigits(const CivilDate& date, char separator) {
  if (date.year < 0 || date.year > 9999 || date.month < 0 || date.month > 99 || date.day < 0 ||
      date.day > 99) {
    char buffer[40];
    if (separator)
      std::snprintf(buffer, sizeof buffer, "%04d%c%02d%c%02d", date.year, separator, date.month,
                    separator, date.day);
    else
      std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", date.year, date.month, date.day);
    return buffer;
  }
  char text[10];
  size_t n = 0;
  auto put = [&text, &n](int value, int digits) {
    for (int place = digits - 1; place >= 0; --place, value /= 10)
      text[n + place] = static_cast<char>('0' + value % 10);
    n += digits;
  };
  put(date.year, 4);
  if (separator) text[n++] = separator;
  put(date.month, 2);
  if (separator) text[n++] = separator;
  put(date.day, 2);
  return std::string(text, n);
}

}  // namespace

std::string CompactDateText(const CivilDate& date) {
  return DateDigits(date, 0);
}

std::string IsoDateText(const CivilDate& date) {
  return DateDigits(date, '-');
}

}  // namespace nce
