// Reading stored values as what a field shows: a number, a whole number, a
// day or a time of day, and writing numbers as the right-aligned fixed-point
// text of numeric fields. Each reader returns false when the value is not
// of that kind.
#ifndef ENGINE_RECORD_STORED_VALUES_H
#define ENGINE_RECORD_STORED_VALUES_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/base/values.h"
#include "engine/schema/catalog.h"

namespace nce {

bool AsNumber(const Value& v, double* out);
bool AsInteger(const Value& v, int64_t* out);
bool AsDate(const Value& v, int64_t* julian);
bool AsTime(const Value& v, int64_t* ms);

// Right-aligned fixed-point text of `value` with `decimals` places in
// `width` characters at `out`; false (nothing written) when it does not fit.
// Formats digits directly and inline, as record images are built for every
// row a cursor reads; values beyond 15 significant digits go through printf.
inline bool FixedText(double value, int decimals, uint32_t width, char* out) {
  static const double kScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  double scaled = decimals < 10 ? value * kScale[decimals] : 1e300;
  // Blanks first (a fixed size, so a few stores): the digits written at the
  // end then stand right-aligned behind them, and one copy of the last
  // `width` bytes is the field.
  char buf[64];
  std::memset(buf, ' ', sizeof buf);
  const char* text;
  int n;
  if (std::fabs(scaled) < 9e15) {
    // Rounded half away from zero, as llround does; below 2^53 the
    // truncated value and the remainder are exact.
    int64_t units = static_cast<int64_t>(scaled);
    const double rest = scaled - static_cast<double>(units);
    if (rest >= 0.5)
      ++units;
    else if (rest <= -0.5)
      --units;
    bool negative = units < 0;
    uint64_t magnitude = negative ? static_cast<uint64_t>(-units) : static_cast<uint64_t>(units);
    // Written from the last digit backwards: the decimals, the point, then
    // at least one integer digit.
    // Two digits a division where there are two to write.
    static constexpr char kPairs[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
        "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
        "888990919293949596979899";
    auto put_pair = [&](char* at, uint64_t pair) { std::memcpy(at, kPairs + 2 * pair, 2); };
    char* p = buf + sizeof buf;
    int left = decimals;
    for (; left >= 2; left -= 2) {
      p -= 2;
      put_pair(p, magnitude % 100);
      magnitude /= 100;
    }
    if (left == 1) {
      *--p = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    }
    if (decimals > 0) *--p = '.';
    for (; magnitude >= 100; magnitude /= 100) {
      p -= 2;
      put_pair(p, magnitude % 100);
    }
    if (magnitude >= 10) {
      p -= 2;
      put_pair(p, magnitude);
    } else {
      *--p = static_cast<char>('0' + magnitude);
    }
    if (negative) *--p = '-';
    text = p;
    n = static_cast<int>(buf + sizeof buf - p);
  } else {
    n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    if (n < 0 || n >= static_cast<int>(sizeof buf)) return false;
    text = buf;
  }
  if (static_cast<uint32_t>(n) > width) return false;
  if (text + n == buf + sizeof buf && width <= sizeof buf) {
    const char* from = buf + sizeof buf - width;
    if (width >= 8 && width <= 16) {
      // Most numeric fields: two overlapping copies of a fixed size, which
      // the compiler writes as two moves instead of a library call.
      std::memcpy(out, from, 8);
      std::memcpy(out + width - 8, from + width - 8, 8);
    } else {
      std::memcpy(out, from, width);
    }
    return true;
  }
  std::memset(out, ' ', width - n);
  std::memcpy(out + (width - n), text, n);
  return true;
}

// FixedText for a whole number, exact for all 64-bit values.
bool FixedInteger(int64_t value, int decimals, uint32_t width, char* out);

// FixedText in the numeric field's size and decimals.
bool NumericText(const FieldDesc& f, double value, std::string* out);

}  // namespace nce

#endif  // ENGINE_RECORD_STORED_VALUES_H
