// A table with a field of every engine type, and values its fields cannot
// hold, with the engine error each is refused with: shared by the suites
// that check the guards of the SQLite store and of the PostgreSQL server, so
// that a misfit added here is checked on both.
#ifndef TESTS_SUPPORT_TYPE_MISFITS_H
#define TESTS_SUPPORT_TYPE_MISFITS_H

#include <cstdint>
#include <vector>

#include "nce/nce.h"

namespace test_support {

inline constexpr const char* kAllTypes =
    "CREATE TABLE b (c CHAR(5), ci CICHAR(3), s SHORTINT, i INTEGER, d DATE, l LOGICAL, "
    "n NUMERIC(5,2), tm TIME, ts TIMESTAMP, f DOUBLE, m MONEY, r RAW(2), a AUTOINC, "
    "cd COMPACTDATE)";

struct TypeMisfit {
  const char* column;
  const char* value;  // SQL literal
  uint32_t error;
};

// Values no field of kAllTypes can hold or give back as written.
inline const std::vector<TypeMisfit> kMisfits = {
    {"c", "'abcdefghij'", NDS_E_VALUE_TOO_LONG},
    {"ci", "'abcd'", NDS_E_VALUE_TOO_LONG},
    {"s", "100000", NDS_E_VALUE_TOO_LONG},
    {"s", "70000", NDS_E_VALUE_TOO_LONG},
    {"s", "-32768", NDS_E_VALUE_TOO_LONG},
    {"s", "1.5", NDS_E_VALUE_INVALID},
    {"i", "99999999999", NDS_E_VALUE_TOO_LONG},
    {"i", "-2147483648", NDS_E_VALUE_TOO_LONG},
    {"i", "'abc'", NDS_E_VALUE_INVALID},
    {"d", "'2024-13-45'", NDS_E_VALUE_INVALID},
    {"d", "'2023-02-29'", NDS_E_VALUE_INVALID},
    {"d", "'0000-12-31'", NDS_E_VALUE_INVALID},
    {"d", "'2024-3-05'", NDS_E_VALUE_INVALID},
    {"d", "'2024-03-05 '", NDS_E_VALUE_INVALID},
    {"d", "'2460000.5'", NDS_E_VALUE_INVALID},
    {"ts", "'2024-03-05T10:00:00x'", NDS_E_VALUE_INVALID},
    {"d", "20240305", NDS_E_VALUE_INVALID},
    {"l", "'maybe'", NDS_E_VALUE_INVALID},
    {"l", "2", NDS_E_VALUE_INVALID},
    {"n", "12345.678", NDS_E_VALUE_TOO_LONG},
    {"n", "1000", NDS_E_VALUE_TOO_LONG},
    {"n", "'abc'", NDS_E_VALUE_INVALID},
    {"tm", "'24:00:00'", NDS_E_VALUE_INVALID},
    {"tm", "'12:61'", NDS_E_VALUE_INVALID},
    {"ts", "'2024-02-30 10:00:00'", NDS_E_VALUE_INVALID},
    {"ts", "'2024-02-03 10:00:00 and more'", NDS_E_VALUE_INVALID},
    {"f", "'abc'", NDS_E_VALUE_INVALID},
    {"f", "1e999", NDS_E_VALUE_INVALID},
    {"m", "'ten'", NDS_E_VALUE_INVALID},
    {"r", "x'010203'", NDS_E_VALUE_TOO_LONG},
    {"a", "-1", NDS_E_VALUE_TOO_LONG},
    {"cd", "'2024-04-31'", NDS_E_VALUE_INVALID},
};

}  // namespace test_support

#endif  // TESTS_SUPPORT_TYPE_MISFITS_H
