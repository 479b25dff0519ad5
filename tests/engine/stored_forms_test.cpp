// Decimals of an import against the double a numeric field keeps: every
// accepted decimal becomes the double nearest it (the one strtod gives), and
// every decimal the field cannot give back exactly is refused.
#include "engine/interchange/stored_forms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "engine/base/errors.h"

namespace nce_test {
namespace {

using nce::Value;

nce::TableColumn Numeric(uint32_t length, uint8_t decimals) {
  return {"n", nce::FieldSpec{NDS_NUMERIC, length, decimals}, true};
}

// The stored value of `text`, or the refusal's number.
std::string Stored(const nce::TableColumn& column, const std::string& text) {
  Value v = Value::Text(text);
  try {
    nce::ToStoredForm(column, v, &v);
  } catch (const nce::EngineError& e) {
    return "refused " + std::to_string(e.number());
  }
  char out[64];
  if (v.kind == Value::Kind::kInteger) return std::to_string(v.integer);
  std::snprintf(out, sizeof out, "%a", v.real);
  return out;
}

std::string Nearest(const std::string& text) {
  char out[64];
  std::snprintf(out, sizeof out, "%a", std::strtod(text.c_str(), nullptr));
  return out;
}

TEST(StoredForms, DecimalsBecomeTheNearestDoubleOrAreRefused) {
  const std::string too_long = "refused " + std::to_string(NDS_E_VALUE_TOO_LONG);
  const std::string invalid = "refused " + std::to_string(NDS_E_VALUE_INVALID);
  // Random decimals of up to 15 significant digits at 0 to 6 decimals.
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    size_t decimals = random() % 7;
    uint64_t digits = random() % 1000000000000000ull >> (random() % 50);
    std::string text = std::to_string(digits);
    if (decimals) {
      text.insert(0, decimals + 1 > text.size() ? decimals + 1 - text.size() : 0, '0');
      text.insert(text.size() - decimals, ".");
    }
    if (digits != 0 && random() % 2) text.insert(0, "-");
    SCOPED_TRACE(text);
    std::string stored = Stored(Numeric(20, static_cast<uint8_t>(decimals)), text);
    if (decimals == 0)
      EXPECT_EQ(stored, std::to_string(std::strtoll(text.c_str(), nullptr, 10)));
    else
      EXPECT_EQ(stored, Nearest(text));
  }
  // Written forms, zeros, signs and the edges of the field.
  EXPECT_EQ(Stored(Numeric(8, 2), "+007.5"), Nearest("7.5"));
  EXPECT_EQ(Stored(Numeric(8, 2), "-0.00"), Nearest("0"));
  EXPECT_EQ(Stored(Numeric(8, 2), ".5"), Nearest("0.5"));
  EXPECT_EQ(Stored(Numeric(8, 2), "1.2500"), Nearest("1.25"));
  EXPECT_EQ(Stored(Numeric(5, 2), "-9.99"), Nearest("-9.99"));
  EXPECT_EQ(Stored(Numeric(5, 2), "-10.00"), too_long) << "six characters in a field of five";
  EXPECT_EQ(Stored(Numeric(8, 2), "1.234"), too_long);
  EXPECT_EQ(Stored(Numeric(20, 2), "1234567890123456.78"), too_long) << "a double keeps .75";
  EXPECT_EQ(Stored(Numeric(20, 0), "1234567890123456789"), "1234567890123456789");
  EXPECT_EQ(Stored(Numeric(20, 4), "0.000000000000001"), too_long);
  for (const char* bad : {"", "-", ".", "1.2.3", "1e5", " 1", "0x10"})
    EXPECT_EQ(Stored(Numeric(8, 2), bad), invalid) << "'" << bad << "'";
}

}  // namespace
}  // namespace nce_test
