#include "engine/interchange/dbf/dbf_values.h"

#include <charconv>
#include <cstdio>

#include "engine/base/dates.h"
#include "nce/nce.h"

namespace nce {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(std::string_view field) {
  for (char c : field)
    if (c != ' ' && c != '\0') return false;
  return true;
}

// The parts of a decimal "[+-]digits[.digits]" (either digit run may be
// empty, not both); false for anything else.
struct Decimal {
  bool negative = false;
  std::string_view whole;     // leading zeros kept
  std::string_view fraction;  // trailing zeros kept
};
bool SplitDecimal(std::string_view text, Decimal* d) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) d->negative = text[i++] == '-';
  size_t whole_start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  d->whole = text.substr(whole_start, i - whole_start);
  d->fraction = {};
  if (i < text.size() && text[i] == '.') {
    size_t frac_start = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    d->fraction = text.substr(frac_start, i - frac_start);
  }
  return i == text.size() && !(d->whole.empty() && d->fraction.empty());
}

int TwoDigits(const char* p) {
  return (p[0] - '0') * 10 + (p[1] - '0');
}

bool AllDigits(std::string_view s) {
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

// `v` (not negative) in exactly `width` digits at `p`, zeros before; the
// caller's width holds it. Written by hand into a buffer the caller assigns
// at once: a timestamp takes seven of these, for every record.
char* PutDigits(char* p, uint64_t v, int width) {
  for (int i = width - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
  return p + width;
}

}  // namespace

void FailField(uint32_t code, std::string what) {
  throw FieldError{code, std::move(what)};
}

int64_t JulianDayOf(int year, int month, int day) {
  return JulianFromCivil(CivilDate{year, month, day});
}

void DateOfJulianDay(int64_t julian_day, int* year, int* month, int* day) {
  CivilDate date = CivilFromJulian(julian_day);
  *year = date.year, *month = date.month, *day = date.day;
}

bool IsValidDate(int year, int month, int day) {
  return nce::IsValidDate(CivilDate{year, month, day});
}

bool ReadDecimalField(std::string_view field, std::string* out) {
  size_t begin = 0, end = field.size();
  while (begin < end && (field[begin] == ' ' || field[begin] == '\0')) ++begin;
  while (end > begin && (field[end - 1] == ' ' || field[end - 1] == '\0')) --end;
  if (begin == end) return false;
  std::string_view text = field.substr(begin, end - begin);
  Decimal d;
  if (!SplitDecimal(text, &d))
    FailField(NDS_E_VALUE_INVALID, "'" + std::string(text) + "' is not a number");
  out->clear();
  if (d.negative) out->push_back('-');
  if (d.whole.empty()) {
    out->push_back('0');
  } else {
    out->append(d.whole);
  }
  if (!d.fraction.empty()) {
    out->push_back('.');
    out->append(d.fraction);
  }
  return true;
}

bool ReadDateField(std::string_view field, std::string* out) {
  if (IsBlank(field) || field.find_first_not_of('0') == std::string_view::npos) return false;
  if (field.size() != 8 || !AllDigits(field))
    FailField(NDS_E_VALUE_INVALID, "'" + std::string(field) + "' is not a date (YYYYMMDD)");
  int year = TwoDigits(field.data()) * 100 + TwoDigits(field.data() + 2);
  int month = TwoDigits(field.data() + 4), day = TwoDigits(field.data() + 6);
  if (!IsValidDate(year, month, day))
    FailField(NDS_E_VALUE_INVALID, "'" + std::string(field) + "' is not a date of the calendar");
  const char* p = field.data();
  const char text[10] = {p[0], p[1], p[2], p[3], '-', p[4], p[5], '-', p[6], p[7]};
  out->assign(text, sizeof text);
  return true;
}

void FormatTimestamp(int64_t julian_day, int64_t ms, std::string* out) {
  static const int64_t first = JulianDayOf(1, 1, 1), last = JulianDayOf(9999, 12, 31);
  if (julian_day < first || julian_day > last)
    FailField(NDS_E_VALUE_INVALID,
              "the day number " + std::to_string(julian_day) + " lies outside the years 1 to 9999");
  if (ms < 0 || ms >= kMsPerDay)
    FailField(NDS_E_VALUE_INVALID, "the time " + std::to_string(ms) + " ms lies outside a day");
  int year, month, day;
  DateOfJulianDay(julian_day, &year, &month, &day);
  char text[23];  // YYYY-MM-DD HH:MM:SS.mmm
  char* p = PutDigits(text, year, 4);
  *p++ = '-';
  p = PutDigits(p, month, 2);
  *p++ = '-';
  p = PutDigits(p, day, 2);
  *p++ = ' ';
  p = PutDigits(p, ms / 3600000, 2);
  *p++ = ':';
  p = PutDigits(p, ms / 60000 % 60, 2);
  *p++ = ':';
  p = PutDigits(p, ms / 1000 % 60, 2);
  *p++ = '.';
  PutDigits(p, ms % 1000, 3);
  out->assign(text, sizeof text);
}

void FormatMoney(int64_t scaled, std::string* out) {
  uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : scaled;
  uint64_t whole = magnitude / 10000;
  int whole_digits = 1;
  for (uint64_t rest = whole / 10; rest != 0; rest /= 10) ++whole_digits;
  char text[26];  // sign, 15 digits of the largest amount, point, four decimals
  char* p = text;
  if (scaled < 0) *p++ = '-';
  p = PutDigits(p, whole, whole_digits);
  *p++ = '.';
  p = PutDigits(p, magnitude % 10000, 4);
  out->assign(text, p - text);
}

void WriteDecimalField(std::string_view text, uint32_t width, uint32_t decimals, char* dest) {
  Decimal d;
  if (!SplitDecimal(text, &d))
    FailField(NDS_E_VALUE_INVALID, "'" + std::string(text) + "' is not a number");
  std::string_view whole = d.whole;
  while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
  std::string_view fraction = d.fraction;
  while (fraction.size() > decimals && fraction.back() == '0') fraction.remove_suffix(1);
  if (fraction.size() > decimals)
    FailField(NDS_E_VALUE_TOO_LONG, "'" + std::string(text) +
                                        "' has more decimals than the field's " +
                                        std::to_string(decimals));
  char buf[600];
  size_t n = 0;
  if (d.negative) buf[n++] = '-';
  if (whole.empty()) buf[n++] = '0';
  if (whole.size() + decimals + 3 > sizeof buf)
    FailField(NDS_E_VALUE_TOO_LONG, "the number is longer than an xBase field can hold");
  for (char c : whole) buf[n++] = c;
  if (decimals > 0) {
    buf[n++] = '.';
    for (char c : fraction) buf[n++] = c;
    for (size_t i = fraction.size(); i < decimals; ++i) buf[n++] = '0';
  }
  if (n > width)
    FailField(NDS_E_VALUE_TOO_LONG, "'" + std::string(text) + "' needs " + std::to_string(n) +
                                        " characters, the field holds " + std::to_string(width));
  std::fill(dest, dest + (width - n), ' ');
  std::copy(buf, buf + n, dest + (width - n));
}

void ParseDateText(std::string_view text, int* year, int* month, int* day) {
  bool shaped = text.size() == 10 && text[4] == '-' && text[7] == '-' &&
                AllDigits(text.substr(0, 4)) && AllDigits(text.substr(5, 2)) &&
                AllDigits(text.substr(8, 2));
  if (shaped) {
    *year = TwoDigits(text.data()) * 100 + TwoDigits(text.data() + 2);
    *month = TwoDigits(text.data() + 5);
    *day = TwoDigits(text.data() + 8);
  }
  if (!shaped || !IsValidDate(*year, *month, *day))
    FailField(NDS_E_VALUE_INVALID, "'" + std::string(text) + "' is not a date (YYYY-MM-DD)");
}

void ParseTimestampText(std::string_view text, int64_t* julian_day, int64_t* ms) {
  int year, month, day;
  bool shaped = text.size() >= 19 && (text[10] == ' ' || text[10] == 'T') && text[13] == ':' &&
                text[16] == ':' && AllDigits(text.substr(11, 2)) && AllDigits(text.substr(14, 2)) &&
                AllDigits(text.substr(17, 2));
  std::string_view fraction;
  if (shaped && text.size() > 19) {
    fraction = text.substr(20);
    shaped = text[19] == '.' && !fraction.empty() && AllDigits(fraction);
    while (shaped && fraction.size() > 3 && fraction.back() == '0') fraction.remove_suffix(1);
    if (fraction.size() > 3)
      FailField(
          NDS_E_VALUE_INVALID,
          "'" + std::string(text) + "' is finer than the milliseconds an xBase timestamp holds");
  }
  int hour = shaped ? TwoDigits(text.data() + 11) : 0;
  int minute = shaped ? TwoDigits(text.data() + 14) : 0;
  int second = shaped ? TwoDigits(text.data() + 17) : 0;
  if (!shaped || hour > 23 || minute > 59 || second > 59)
    FailField(NDS_E_VALUE_INVALID,
              "'" + std::string(text) + "' is not a timestamp (YYYY-MM-DD HH:MM:SS.mmm)");
  ParseDateText(text.substr(0, 10), &year, &month, &day);
  int64_t millis = 0;
  for (size_t i = 0; i < 3; ++i)
    millis = millis * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  *julian_day = JulianDayOf(year, month, day);
  *ms = ((hour * 60 + minute) * 60 + second) * int64_t{1000} + millis;
}

int64_t ParseMoneyText(std::string_view text) {
  Decimal d;
  if (!SplitDecimal(text, &d))
    FailField(NDS_E_VALUE_INVALID, "'" + std::string(text) + "' is not a number");
  std::string_view fraction = d.fraction;
  while (fraction.size() > 4 && fraction.back() == '0') fraction.remove_suffix(1);
  if (fraction.size() > 4)
    FailField(NDS_E_VALUE_TOO_LONG, "'" + std::string(text) + "' has more than 4 decimals");
  // Accumulated as a negative number, which reaches the int64 minimum too.
  int64_t value = 0;
  bool overflow = false;
  auto push = [&](char c) {
    overflow = overflow || __builtin_mul_overflow(value, 10, &value) ||
               __builtin_sub_overflow(value, c - '0', &value);
  };
  for (char c : d.whole) push(c);
  for (size_t i = 0; i < 4; ++i) push(i < fraction.size() ? fraction[i] : '0');
  if (!d.negative) overflow = overflow || __builtin_mul_overflow(value, -1, &value);
  if (overflow)
    FailField(NDS_E_VALUE_TOO_LONG, "'" + std::string(text) + "' is beyond the currency range");
  return value;
}

}  // namespace nce
