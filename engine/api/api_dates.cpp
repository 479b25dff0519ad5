// Engine functions converting between date texts and Julian day numbers.
#include <cmath>

#include "engine/api/api_support.h"
#include "engine/base/dates.h"

using namespace nce;

namespace {

double JulianOfText(const char* date, uint16_t length) {
  RequireArgument(date, "date text");
  std::string_view text(date, length);
  if (size_t zero = text.find('\0'); zero != std::string_view::npos) text = text.substr(0, zero);
  if (IsBlankDate(text)) return 0;  // the empty date
  std::optional<CivilDate> civil = ParseDateText(text);
  if (!civil)
    throw EngineError(
        NDS_E_INVALID_ARGUMENT,
        "'" + std::string(text) + "' is not a date (expected YYYYMMDD, YYYY-MM-DD or MM/DD/YYYY).");
  return static_cast<double>(JulianFromCivil(*civil));
}

}  // namespace

extern "C" {

NDSRESULT NdsConvertStringToJulian(const char* date, uint16_t length, double* julian) {
  return Guarded("NdsConvertStringToJulian", [&] {
    RequireArgument(julian, "Julian day");
    *julian = 0;
    *julian = JulianOfText(date, length);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsConvertDateToJulian(NDSHANDLE connection, const char* date, uint16_t length,
                                 double* julian) {
  return Guarded("NdsConvertDateToJulian", [&] {
    RequireArgument(julian, "Julian day");
    *julian = 0;
    if (connection != 0) RequireConnection(connection);
    *julian = JulianOfText(date, length);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsConvertJulianToString(double julian, char* date, uint16_t* length) {
  return Guarded("NdsConvertJulianToString", [&] {
    double day = std::floor(julian);
    if (julian == 0) return CopyOut("        ", date, length);  // the empty date
    if (!(day >= kFirstJulianDay && day <= kLastJulianDay))
      throw EngineError(NDS_E_INVALID_ARGUMENT, "Julian day " + std::to_string(julian) +
                                                    " lies outside the years 1 to 9999.");
    return CopyOut(CompactDateText(CivilFromJulian(static_cast<int64_t>(day))), date, length);
  });
}

}  // extern "C"
