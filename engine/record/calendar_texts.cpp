#include "engine/record/calendar_texts.h"

#include <cstdio>
#include <optional>

#include "engine/base/dates.h"
#include "engine/record/image_bytes.h"

namespace nce {

namespace {

// Reads exactly `count` digits at `pos`.
bool ReadDigits(std::string_view s, size_t pos, size_t count, int* out) {
  if (pos + count > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

}  // namespace

bool ParseDate(std::string_view s, int64_t* julian, std::string_view* rest) {
  std::optional<CivilDate> date = ParseDatePrefix(s, rest);
  if (!date) return false;
  *julian = JulianFromCivil(*date);
  return true;
}

bool ParseTime(std::string_view s, int64_t* ms) {
  int h, m, sec = 0, frac = 0;
  if (!ReadDigits(s, 0, 2, &h) || s.size() < 5 || s[2] != ':' || !ReadDigits(s, 3, 2, &m))
    return false;
  size_t pos = 5;
  if (pos < s.size() && s[pos] == ':') {
    if (!ReadDigits(s, pos + 1, 2, &sec)) return false;
    pos += 3;
    if (pos < s.size() && s[pos] == '.') {
      size_t digits = 0;
      int scale = 100;
      for (++pos; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, ++digits) {
        frac += (s[pos] - '0') * scale;
        scale /= 10;
      }
      if (digits == 0) return false;
    }
  }
  if (!Trim(s.substr(pos)).empty() && Trim(s.substr(pos)) != "Z") return false;
  if (h > 23 || m > 59 || sec > 59) return false;
  *ms = ((h * 60 + m) * 60 + sec) * 1000LL + frac;
  return true;
}

bool ParseTimestamp(std::string_view s, int64_t* julian, int64_t* ms) {
  std::string_view rest;
  if (!ParseDate(s, julian, &rest)) return false;
  rest = Trim(rest);
  if (!rest.empty() && rest.front() == 'T') rest.remove_prefix(1);
  *ms = 0;
  return rest.empty() || ParseTime(rest, ms);
}

std::string IsoDate(int64_t julian) {
  return IsoDateText(CivilFromJulian(julian));
}

std::string CompactDate(int64_t julian) {
  return CompactDateText(CivilFromJulian(julian));
}

std::string IsoTime(int64_t ms) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                static_cast<int>(ms % 1000));
  return buf;
}

void DateDigits(int64_t julian, uint8_t* out) {
  auto [y, m, d] = CivilFromJulian(julian);
  int parts[] = {y / 1000 % 10, y / 100 % 10, y / 10 % 10, y % 10, m / 10, m % 10, d / 10, d % 10};
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>('0' + parts[i]);
}

}  // namespace nce
