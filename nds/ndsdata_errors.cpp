// ENDSDatabaseError and CheckEngineCode: engine failures and component
// refusals of datasets, queries and the path connection list.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "nds/ndsdata.h"

namespace nds {

namespace {

// True while an ENDSDatabaseError is being built on this thread. Engine
// failures met while gathering an error's details must not raise a second
// error in place of the first.
thread_local bool t_buildingError = false;

constexpr std::size_t kMaxColumnNameLength = 900;

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Reads a whole text as a signed 32-bit decimal number (leading blanks and a
// sign allowed); false when it is not one.
bool ParseInt32(const std::string& text, std::int32_t& out) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return false;
  const char* begin = text.c_str() + i;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(begin, &end, 10);
  if (end == begin || *end != '\0' || errno == ERANGE) return false;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max())
    return false;
  // strtoll also skips other white space and accepts "+": keep to what a
  // plain decimal conversion accepts.
  if (*begin != '-' && *begin != '+' && (*begin < '0' || *begin > '9')) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

// Clears the thread's building flag however the building ends.
class BuildingFlagGuard {
 public:
  BuildingFlagGuard() { t_buildingError = true; }
  ~BuildingFlagGuard() { t_buildingError = false; }
  BuildingFlagGuard(const BuildingFlagGuard&) = delete;
  BuildingFlagGuard& operator=(const BuildingFlagGuard&) = delete;
};

}  // namespace

bool IsBuildingDatabaseError() {
  return t_buildingError;
}

std::int32_t SqlNativeCodeOf(const std::string& message) {
  static constexpr std::string_view kSqlError = "ERROR 7200:";
  static constexpr std::string_view kNative = "NATIVEERROR = ";
  const std::string upper = UpperAscii(message);
  if (upper.find(kSqlError) == std::string::npos) return 0;
  const auto at = upper.find(kNative);
  if (at == std::string::npos) return 0;
  std::string number = message.substr(at + kNative.size());
  if (const auto semicolon = number.find(';'); semicolon != std::string::npos)
    number.erase(semicolon);
  std::int32_t value = 0;
  return ParseInt32(number, value) ? value : 0;
}

std::string ColumnNameOf(const std::string& message) {
  static constexpr std::string_view kColumn = "column \"";
  const auto at = message.find(kColumn);
  if (at == std::string::npos) return {};
  std::string name = message.substr(at + kColumn.size(), kMaxColumnNameLength);
  if (const auto quote = name.find('"'); quote != std::string::npos) name.erase(quote);
  return name;
}

ENDSDatabaseError::Built ENDSDatabaseError::Build(const TNdsDataSet* dataSet,
                                                  std::uint32_t engineErrorCode,
                                                  const std::string& message) {
  Built built;
  if (t_buildingError) return built;  // nested: empty message, no details

  BuildingFlagGuard building;
  built.details.engineErrorCode = engineErrorCode;
  try {
    if (dataSet != nullptr) {
      GatherDataSetDetails(*dataSet, built.details);
      if (engineErrorCode >= 5147 && engineErrorCode <= 5149)
        built.details.columnName = ColumnNameOf(message);
    }
    built.details.sqlNativeCode = SqlNativeCodeOf(message);
  } catch (const dataset::Exception&) {
    // The details gathered before the failure stay; the first error is the
    // one reported.
  }
  built.message =
      built.details.dataSetName.empty() ? message : built.details.dataSetName + ": " + message;
  return built;
}

ENDSDatabaseError::ENDSDatabaseError(const TNdsDataSet* dataSet, std::uint32_t engineErrorCode,
                                     const std::string& message)
    : ENDSDatabaseError(Build(dataSet, engineErrorCode, message)) {}

ENDSDatabaseError::ENDSDatabaseError(Built built)
    : EDatabaseError(std::move(built.message)), details_(std::move(built.details)) {}

ENDSDatabaseError::~ENDSDatabaseError() {
  t_buildingError = false;
}

void CheckEngineCode(const TNdsDataSet* dataSet, NDSRESULT code) {
  if (code == NDS_SUCCESS) return;
  if (t_buildingError) return;
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  std::uint32_t number = code;
  std::uint16_t length = NDS_MAX_ERROR_LEN;
  NdsGetLastError(&number, text, &length);
  throw ENDSDatabaseError(dataSet, number, std::string(text, ::strnlen(text, NDS_MAX_ERROR_LEN)));
}

}  // namespace nds
