#include "engine/record/field_values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "engine/base/dates.h"
#include "engine/base/errors.h"
#include "engine/record/calendar_texts.h"
#include "engine/record/image_bytes.h"
#include "engine/record/stored_values.h"
#include "nce/nce.h"

namespace nce {

namespace {

[[noreturn]] void Misfit(uint32_t number, const FieldDesc& field, const std::string& what) {
  throw EngineError(number, "Value does not fit column \"" + field.name + "\": " + what);
}

}  // namespace

void TooLong(const FieldDesc& f, const std::string& what) {
  Misfit(NDS_E_VALUE_TOO_LONG, f, what);
}

void NotAValue(const FieldDesc& f, const std::string& what) {
  Misfit(NDS_E_VALUE_INVALID, f, what);
}

Value DateValue(const FieldDesc& f, int64_t julian) {
  if (julian < kFirstJulianDay || julian > kLastJulianDay)
    TooLong(f, "Julian day " + std::to_string(julian) + " is not a date of years 1 to 9999");
  return Value::Text(IsoDate(julian));
}

Value NumericValue(const FieldDesc& f, std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty()) return Value::Null();
  std::string copy(t);
  if (f.shape.decimals == 0) {
    int64_t i;
    auto [end, ec] = std::from_chars(copy.data(), copy.data() + copy.size(), i);
    if (ec == std::errc() && end == copy.data() + copy.size()) {
      if (copy.size() > f.shape.length) TooLong(f, "\"" + copy + "\" is too wide");
      return Value::Integer(i);
    }
  }
  char* end = nullptr;
  double d = std::strtod(copy.c_str(), &end);
  if (!end || *end != '\0' || !std::isfinite(d)) NotAValue(f, "\"" + copy + "\" is not a number");
  std::string fitted;
  if (!NumericText(f, d, &fitted))
    TooLong(f,
            "\"" + copy + "\" needs more than " + std::to_string(f.shape.length) + " characters");
  if (f.shape.decimals == 0) {
    if (!(std::fabs(d) < 9.2e18)) TooLong(f, "\"" + copy + "\" is too large for a whole number");
    return Value::Integer(std::llround(d));
  }
  return Value::Real(d);
}

Value IntegerValue(const FieldDesc& f, int64_t v, int64_t low, int64_t high) {
  if (v < low || v > high)
    TooLong(f, std::to_string(v) + " lies outside " + std::to_string(low) + " to " +
                   std::to_string(high));
  return Value::Integer(v);
}

Value TimeValue(const FieldDesc& f, int64_t ms) {
  if (ms < 0 || ms >= kMsPerDay) TooLong(f, std::to_string(ms) + " ms is not a time of day");
  return Value::Text(IsoTime(ms));
}

Value TimestampValue(const FieldDesc& f, int64_t julian, int64_t ms) {
  if (ms < 0 || ms >= kMsPerDay) TooLong(f, std::to_string(ms) + " ms is not a time of day");
  Value date = DateValue(f, julian);
  return Value::Text(date.bytes + " " + IsoTime(ms));
}

}  // namespace nce
