#include "engine/record/stored_values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/record/calendar_texts.h"
#include "engine/record/image_bytes.h"

namespace nce {

bool AsNumber(const Value& v, double* out) {
  switch (v.kind) {
    case Value::Kind::kInteger:
      *out = static_cast<double>(v.integer);
      return true;
    case Value::Kind::kReal:
      *out = v.real;
      return std::isfinite(v.real);
    case Value::Kind::kText: {
      std::string_view t = Trim(v.bytes);
      if (t.empty()) return false;
      std::string copy(t);
      char* end = nullptr;
      *out = std::strtod(copy.c_str(), &end);
      return end && *end == '\0' && std::isfinite(*out);
    }
    default:
      return false;
  }
}

bool AsInteger(const Value& v, int64_t* out) {
  if (v.kind == Value::Kind::kInteger) {
    *out = v.integer;
    return true;
  }
  double d;
  if (!AsNumber(v, &d) || d < -9.2e18 || d > 9.2e18) return false;
  *out = static_cast<int64_t>(std::llround(d));
  return true;
}

bool AsDate(const Value& v, int64_t* julian) {
  return v.kind == Value::Kind::kText && ParseDate(v.bytes, julian, nullptr);
}

bool AsTime(const Value& v, int64_t* ms) {
  if (v.kind == Value::Kind::kInteger) {
    *ms = v.integer;
    return v.integer >= 0 && v.integer < kMsPerDay;
  }
  return v.kind == Value::Kind::kText && ParseTime(Trim(v.bytes), ms);
}

bool FixedInteger(int64_t value, int decimals, uint32_t width, char* out) {
  std::string text = std::to_string(value);
  if (decimals > 0) {
    text += '.';
    text.append(decimals, '0');
  }
  if (text.size() > width) return false;
  std::memset(out, ' ', width - text.size());
  std::memcpy(out + (width - text.size()), text.data(), text.size());
  return true;
}

bool NumericText(const FieldDesc& f, double value, std::string* out) {
  out->resize(f.shape.length);
  return FixedText(value, f.shape.decimals, f.shape.length, out->data());
}

}  // namespace nce
