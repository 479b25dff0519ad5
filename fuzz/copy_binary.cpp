// Fuzzes the binary COPY encoders with texts and reals of any bytes. Every
// numeric they make is well formed (digits below 10000, no zero digit at
// either end, a display scale the server takes) and reads back: the
// server's text of it encodes to the very same bytes. A whole number or a
// real encodes as its text does; a text for any column type is taken or
// refused with EngineError, nothing else.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/base/errors.h"
#include "engine/storage/postgres/postgres_copy_binary.h"

namespace {

using nce::CopyBuffer;
using nce::CopyColumnType;

uint16_t Get16(const char* at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(at[0]) << 8 | static_cast<uint8_t>(at[1]));
}

// The numeric at `at` (`size` bytes) as the server writes it; aborts on a
// malformed one.
std::string NumericText(const char* at, size_t size) {
  if (size < 8) std::abort();
  const int count = Get16(at), weight = static_cast<int16_t>(Get16(at + 2));
  const uint16_t sign = Get16(at + 4), scale = Get16(at + 6);
  if (size != 8 + 2u * count || scale > 0x3FFF) std::abort();
  if (sign == 0xC000) return "NaN";
  if (sign == 0xD000) return "Infinity";
  if (sign == 0xF000) return "-Infinity";
  if (sign != 0 && sign != 0x4000) std::abort();
  std::string digits;  // decimal digits from weight's group down
  for (int i = 0; i < count; ++i) {
    const uint16_t group = Get16(at + 8 + 2 * i);
    if (group >= 10000 || ((i == 0 || i == count - 1) && group == 0)) std::abort();
    char four[5];
    std::snprintf(four, sizeof four, "%04u", group);
    digits += four;
  }
  if (count == 0 && (weight != 0 || sign != 0)) std::abort();
  // Whole digits: the groups of weight 0 and above.
  std::string text = sign == 0x4000 ? "-" : "";
  long whole_digits = 4L * (weight + 1);
  std::string whole, fraction;
  for (long i = 0; i < whole_digits; ++i)
    whole += i < static_cast<long>(digits.size()) ? digits[i] : '0';
  for (long k = whole_digits; k < whole_digits + scale; ++k)
    fraction += k >= 0 && k < static_cast<long>(digits.size()) ? digits[k] : '0';
  // Digits beyond the display scale would be lost.
  for (long k = std::max(0L, whole_digits + scale); k < static_cast<long>(digits.size()); ++k)
    if (digits[k] != '0') std::abort();
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  text += whole.empty() ? "0" : whole;
  if (scale) text += "." + fraction;
  return text;
}

std::string Numeric(std::string_view text, bool* taken) {
  CopyBuffer out;
  *taken = nce::AppendNumericFromText(text, &out);
  return std::string(out.data() ? out.data() : "", out.size());
}

void CheckNumeric(std::string_view text) {
  bool taken = false;
  const std::string bytes = Numeric(text, &taken);
  if (!taken) return;
  const std::string written = NumericText(bytes.data(), bytes.size());
  if (Numeric(written, &taken) != bytes || !taken) std::abort();
}

// The field a value of a numeric column makes, against the field of its text.
void CheckNumberField(const nce::Value& value, std::string_view text) {
  CopyBuffer field;
  nce::AppendCopyBinaryField(CopyColumnType::kNumeric, value, &field);
  bool taken = false;
  const std::string bytes = Numeric(text, &taken);
  if (!taken || field.size() != 4 + bytes.size() ||
      std::memcmp(field.data() + 4, bytes.data(), bytes.size()) != 0)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckNumeric(text);
  for (int type = 0; type <= static_cast<int>(CopyColumnType::kTimestamp); ++type) {
    CopyBuffer out;
    try {
      nce::AppendCopyBinaryField(static_cast<CopyColumnType>(type),
                                 nce::Value::Text(std::string(text)), &out);
    } catch (const nce::EngineError&) {
    }
  }
  if (size >= 8) {
    double real;
    std::memcpy(&real, data, sizeof real);
    char buffer[32];
    std::string_view real_text =
        std::isnan(real) ? "NaN"
        : std::isinf(real)
            ? (real < 0 ? "-Infinity" : "Infinity")
            : std::string_view(buffer,
                               std::to_chars(buffer, buffer + sizeof buffer, real).ptr - buffer);
    CheckNumberField(nce::Value::Real(real), real_text);
    // Amounts as the money fields keep them, whose encoding takes a shortcut.
    int64_t whole;
    std::memcpy(&whole, data, sizeof whole);
    const double amount = static_cast<double>(whole % 1000000000000000) / 10000.0;
    real_text = std::string_view(
        buffer, std::to_chars(buffer, buffer + sizeof buffer, amount).ptr - buffer);
    CheckNumberField(nce::Value::Real(amount), real_text);
    real_text =
        std::string_view(buffer, std::to_chars(buffer, buffer + sizeof buffer, whole).ptr - buffer);
    CheckNumberField(nce::Value::Integer(whole), real_text);
  }
  return 0;
}
