#include "engine/base/money.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace nce {

MoneyParse ParseMoney(std::string_view text, int64_t* scaled) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // The image form's null is the smallest 64-bit value, so the range is
  // symmetric: at most this many ten-thousandths either way.
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t units = 0;  // ten-thousandths, without sign
  size_t digits = 0, decimals = 0;
  bool point = false, too_large = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return MoneyParse::kNotAnAmount;
    ++digits;
    int digit = c - '0';
    if (point) {
      if (++decimals > 4) {
        if (digit != 0) return MoneyParse::kTooManyDecimals;
        continue;  // trailing zeros change nothing
      }
      units += static_cast<uint64_t>(digit) * (decimals == 1   ? 1000
                                               : decimals == 2 ? 100
                                               : decimals == 3 ? 10
                                                               : 1);
    } else {
      if (units > kMax / 10) {
        too_large = true;
      } else if (!too_large) {
        units = units * 10 + static_cast<uint64_t>(digit) * 10000;
        too_large = units > kMax;
      }
    }
  }
  if (digits == 0) return MoneyParse::kNotAnAmount;
  if (too_large || units > kMax) return MoneyParse::kOutOfRange;
  *scaled = negative ? -static_cast<int64_t>(units) : static_cast<int64_t>(units);
  return MoneyParse::kOk;
}

std::string MoneyText(int64_t scaled) {
  uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : scaled;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%llu.%04llu", scaled < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 10000),
                static_cast<unsigned long long>(magnitude % 10000));
  return buf;
}

Value MoneyValue(int64_t scaled) {
  if (scaled % 10000 == 0) return Value::Integer(scaled / 10000);
  if (std::fabs(static_cast<double>(scaled)) < kMoneyRealLimit * 10000)
    return Value::Real(static_cast<double>(scaled) / 10000.0);
  return Value::Text(MoneyText(scaled));
}

bool MoneyFromValue(const Value& value, int64_t* scaled) {
  switch (value.kind) {
    case Value::Kind::kInteger:
      if (value.integer < -kMoneyWholeLimit || value.integer > kMoneyWholeLimit) return false;
      *scaled = value.integer * 10000;
      return true;
    case Value::Kind::kReal: {
      if (!std::isfinite(value.real)) return false;
      if (std::fabs(value.real) < kMoneyRealLimit) {
        *scaled = std::llround(value.real * 10000.0);
        return true;
      }
      // Beyond 1e11 a double's fifteen digits leave at most three decimals;
      // its shortest decimal text is the amount it stands for.
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", value.real);
      return ParseMoney(buf, scaled) == MoneyParse::kOk;
    }
    case Value::Kind::kText:
      return ParseMoney(value.bytes, scaled) == MoneyParse::kOk;
    default:
      return false;
  }
}

}  // namespace nce
