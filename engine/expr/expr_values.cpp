#include "engine/expr/expr_values.h"

#include <cctype>
#include <cstdio>

#include "engine/base/dates.h"

namespace nce {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// Reads up to `most` digits at `pos`; false when there is none.
bool ReadNumber(std::string_view text, size_t& pos, size_t most, int& value) {
  size_t start = pos;
  value = 0;
  while (pos < text.size() && pos - start < most &&
         std::isdigit(static_cast<unsigned char>(text[pos])))
    value = value * 10 + (text[pos++] - '0');
  return pos > start;
}

}  // namespace

std::optional<std::string> StoredDate(std::string_view given) {
  std::string_view text = Trim(given);
  // "  /  /    " is how an empty date shows.
  if (text.find_first_not_of(" /-.") == std::string_view::npos) return std::string();
  if (std::optional<CivilDate> date = ParseDateText(text)) return IsoDateText(*date);
  // M/D/YYYY with one-digit month or day.
  size_t pos = 0;
  int m, d, y;
  if (!ReadNumber(text, pos, 2, m) || pos >= text.size() || text[pos++] != '/') return std::nullopt;
  if (!ReadNumber(text, pos, 2, d) || pos >= text.size() || text[pos++] != '/') return std::nullopt;
  if (!ReadNumber(text, pos, 4, y) || pos != text.size()) return std::nullopt;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", y, m, d);
  if (std::optional<CivilDate> date = ParseDateText(buffer)) return IsoDateText(*date);
  return std::nullopt;
}

std::optional<std::string> StoredTime(std::string_view given) {
  std::string_view text = Trim(given);
  if (text.empty()) return std::string();
  size_t pos = 0;
  int h = 0, m = 0, s = 0, ms = 0;
  if (!ReadNumber(text, pos, 2, h) || pos >= text.size() || text[pos++] != ':') return std::nullopt;
  if (!ReadNumber(text, pos, 2, m)) return std::nullopt;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ReadNumber(text, pos, 2, s)) return std::nullopt;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      size_t start = pos;
      if (!ReadNumber(text, pos, 3, ms)) return std::nullopt;
      for (size_t digits = pos - start; digits < 3; ++digits) ms *= 10;
    }
  }
  std::string_view rest = Trim(text.substr(pos));
  if (!rest.empty()) {
    std::string upper;
    for (char c : rest) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if ((upper != "AM" && upper != "PM") || h < 1 || h > 12) return std::nullopt;
    if (upper == "AM" && h == 12) h = 0;
    if (upper == "PM" && h != 12) h += 12;
  }
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", h, m, s, ms);
  return std::string(buffer);
}

std::optional<std::string> StoredTimestamp(std::string_view given) {
  std::string_view text = Trim(given);
  if (text.empty()) return std::string();
  size_t blank = text.find_first_of(" T");
  std::optional<std::string> date = StoredDate(text.substr(0, blank));
  if (!date || date->empty()) return std::nullopt;
  if (blank == std::string_view::npos) return *date + " 00:00:00.000";
  std::optional<std::string> time = StoredTime(text.substr(blank + 1));
  if (!time) return std::nullopt;
  return *date + " " + (time->empty() ? "00:00:00.000" : *time);
}

}  // namespace nce
