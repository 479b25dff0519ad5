// Server information and catalogue queries of TNdsConnection: thin uses of
// the engine's server, table search and data dictionary calls.
#include <cstring>
#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// Buffer lengths handed to the engine; each buffer has one byte more for the
// terminating zero.
constexpr std::uint16_t kServerNameLength = 255;
constexpr std::uint16_t kTableNameLength = 260;
constexpr std::uint16_t kObjectNameLength = 200;
constexpr std::uint16_t kLinkInfoLength = 664;
constexpr std::uint16_t kDateTextLength = 69;

// Dictionary find handles start as -1 so that "no handle" is told apart.
constexpr NDSHANDLE kNoFindHandle = 0xFFFFFFFFu;

std::string TextOf(const char* buffer, std::size_t capacity) {
  return std::string(buffer, ::strnlen(buffer, capacity));
}

// Runs `close` when the scope ends, also when a listing fails.
template <typename Close>
class ScopeExit {
 public:
  explicit ScopeExit(Close close) : close_(close) {}
  ~ScopeExit() { close_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Close close_;
};

int DecimalField(const std::string& text, std::size_t pos, std::size_t length) {
  const std::string digits = text.substr(pos, length);
  if (digits.size() != length || digits.find_first_not_of("0123456789") != std::string::npos)
    throw dataset::EConvertError("'" + digits + "' is not a valid integer value");
  return std::stoi(digits);
}

}  // namespace

std::string TNdsConnection::ServerTypeText() {
  if (!isConnected_) return {};
  std::uint16_t type = 0;
  if (const NDSRESULT rc = NdsGetConnectionType(handle_, &type); rc != NDS_SUCCESS)
    throw NdsError(rc);
  switch (type) {
    case NDS_CONNECTION_LOCAL:
      return "Local";
    case NDS_CONNECTION_REMOTE:
      return "Remote";
    case NDS_CONNECTION_INTERNET:
      return "Internet";
    default:
      return {};
  }
}

std::string TNdsConnection::ServerName() {
  if (!isConnected_) throw NdsConnectionError("Must be connected to get Nimbus server name.");
  char name[kServerNameLength + 1] = {};
  std::uint16_t length = kServerNameLength;
  if (const NDSRESULT rc = NdsGetServerName(handle_, name, &length); rc != NDS_SUCCESS)
    throw NdsError(rc);
  return TextOf(name, kServerNameLength);
}

bool TNdsConnection::ConnectionAlive() {
  if (!isConnected_) return false;
  std::uint16_t alive = 0;
  if (const NDSRESULT rc = NdsIsConnectionAlive(handle_, &alive); rc != NDS_SUCCESS)
    throw NdsError(rc);
  return alive != 0;
}

dataset::TStringList* TNdsConnection::UserGroups() {
  if (!userGroupsRead_) ReadUserGroups();
  return userGroups_.get();
}

std::string TNdsConnection::UserGroupsText() {
  if (!userGroupsRead_) ReadUserGroups();
  return userGroupsText_;
}

void TNdsConnection::ReadUserGroups() {
  userGroups_->Clear();
  userGroupsText_.clear();
  if (!isDictionaryConnection_ || !isConnected_) return;

  std::uint16_t length = 0;
  NDSRESULT rc = NdsDDGetUserProperty(handle_, username_.c_str(), NDS_DD_USER_GROUP_MEMBERSHIP,
                                      nullptr, &length);
  // 5005 answers the length; 5138 says the user has no groups property.
  if (rc != NDS_SUCCESS && rc != NDS_E_INSUFFICIENT_BUFFER && rc != NDS_E_PROPERTY_NOT_SET)
    CheckEngineCode(nullptr, rc);
  if (length == 0) return;  // the read flag stays clear: the next use asks again

  // The length the engine answers leaves out the terminating zero.
  std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
  std::uint16_t size = static_cast<std::uint16_t>(buffer.size() > 0xFFFF ? 0xFFFF : buffer.size());
  CheckEngineCode(nullptr,
                  NdsDDGetUserProperty(handle_, username_.c_str(), NDS_DD_USER_GROUP_MEMBERSHIP,
                                       buffer.data(), &size));
  const std::string text = TextOf(buffer.data(), std::min<std::size_t>(size, buffer.size()));

  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) userGroups_->Add(text.substr(start, end - start));
    start = end + 1;
  }
  userGroupsText_ = text;
  userGroupsRead_ = true;
}

std::string TableSearchText(const std::string& serverPath, std::uint8_t aliasTableType,
                            bool dictionary, const std::string& fileMask) {
  if (dictionary) return {};
  std::string directory = serverPath;
  if (!directory.empty() && (directory.back() == '/' || directory.back() == '\\'))
    directory.pop_back();
  std::string pattern;
  switch (aliasTableType) {
    case kAliasTypeUnspecified:
      pattern = fileMask;
      break;
    case kAliasTypeNDT:
      pattern = "*.ndt";
      break;
    default:
      pattern = "*.dbf";
      break;
  }
  return directory + "\\" + pattern;
}

void AppendSemicolonEndedParts(const std::string& text, dataset::TStrings& list) {
  std::size_t start = 0;
  for (std::size_t semicolon = text.find(';'); semicolon != std::string::npos;
       semicolon = text.find(';', start)) {
    list.Add(text.substr(start, semicolon - start));
    start = semicolon + 1;
  }
}

void TNdsConnection::GetTableNames(dataset::TStrings* list, const std::string& fileMask) {
  CheckConnected();
  if (list == nullptr) return;
  const std::string search =
      TableSearchText(ServerPath(), aliasTableType_, isDictionaryConnection_, fileMask);

  char name[kTableNameLength + 1] = {};
  std::uint16_t length = kTableNameLength;
  NDSHANDLE find = 0;
  NDSRESULT rc = NdsFindFirstTable(handle_, search.c_str(), name, &length, &find);
  const NDSHANDLE connection = handle_;
  ScopeExit closeFind([&] {
    if (find != 0) NdsFindClose(connection, find);
  });
  while (rc != NDS_E_NO_MORE_TABLES) {
    if (rc != NDS_SUCCESS) throw NdsError(rc);
    list->Add(TextOf(name, kTableNameLength));
    std::memset(name, 0, sizeof name);
    length = kTableNameLength;
    rc = NdsFindNextTable(handle_, find, name, &length);
  }
}

void TNdsConnection::GetTableNamePairs(dataset::TStrings* first, dataset::TStrings* second,
                                       const std::string& fileMask) {
  CheckConnected();
  const std::string search =
      TableSearchText(ServerPath(), aliasTableType_, isDictionaryConnection_, fileMask);

  char name1[kTableNameLength + 1] = {};
  char name2[kTableNameLength + 1] = {};
  std::uint16_t length1 = kTableNameLength;
  std::uint16_t length2 = kTableNameLength;
  NDSHANDLE find = 0;
  NDSRESULT rc =
      NdsFindFirstTable62(handle_, search.c_str(), name1, &length1, name2, &length2, &find);
  const NDSHANDLE connection = handle_;
  ScopeExit closeFind([&] {
    if (find != 0) NdsFindClose(connection, find);
  });
  while (rc != NDS_E_NO_MORE_TABLES) {
    if (rc != NDS_SUCCESS) throw NdsError(rc);
    if (first != nullptr) first->Add(TextOf(name1, kTableNameLength));
    if (second != nullptr) second->Add(TextOf(name2, kTableNameLength));
    std::memset(name1, 0, sizeof name1);
    std::memset(name2, 0, sizeof name2);
    length1 = kTableNameLength;
    length2 = kTableNameLength;
    rc = NdsFindNextTable62(handle_, find, name1, &length1, name2, &length2);
  }
}

void TNdsConnection::GetDictionaryObjectNames(dataset::TStrings* list) {
  if (!isConnected_) SetIsConnected(true);
  if (list == nullptr || !isDictionaryConnection_) return;

  char name[kObjectNameLength + 1] = {};
  std::uint16_t length = kObjectNameLength;
  NDSHANDLE find = kNoFindHandle;
  NDSRESULT rc = NdsDDFindFirstObject(handle_, NDS_DD_TABLE_LIST, "", name, &length, &find);
  const NDSHANDLE connection = handle_;
  ScopeExit closeFind([&] {
    if (find != kNoFindHandle) NdsDDFindClose(connection, find);
  });
  while (rc != NDS_E_NO_MORE_OBJECTS) {
    CheckEngineCode(nullptr, rc);
    if (rc != NDS_SUCCESS) return;  // muted while an error is being built
    list->Add(TextOf(name, kObjectNameLength));
    std::memset(name, 0, sizeof name);
    length = kObjectNameLength;
    rc = NdsDDFindNextObject(handle_, find, name, &length);
  }
}

std::uint16_t TNdsConnection::ActiveLinkCount() {
  std::uint16_t count = 0;
  CheckEngineCode(nullptr, NdsGetNumActiveLinks(ConnectionHandle(), &count));
  return count;
}

void TNdsConnection::GetActiveLinkInfo(std::uint16_t index, dataset::TStrings* list) {
  if (list == nullptr) return;
  char info[kLinkInfoLength + 1] = {};
  std::uint16_t length = kLinkInfoLength;
  CheckEngineCode(nullptr, NdsGetActiveLinkInfo(ConnectionHandle(), index, info, &length));
  AppendSemicolonEndedParts(std::string(info, std::min<std::size_t>(length, kLinkInfoLength)),
                            *list);
}

dataset::TDateTime TNdsConnection::ServerTime() {
  if (!isConnected_) SetIsConnected(true);
  char date[kDateTextLength + 1] = {};
  char time[kDateTextLength + 1] = {};
  std::uint16_t dateLength = kDateTextLength;
  std::uint16_t timeLength = kDateTextLength;
  std::int32_t milliseconds = 0;
  CheckEngineCode(nullptr,
                  NdsGetServerTime(handle_, date, &dateLength, &milliseconds, time, &timeLength));
  double julian = 0;
  CheckEngineCode(nullptr, NdsConvertDateToJulian(handle_, date, dateLength, &julian));
  char converted[kDateTextLength + 1] = {};
  std::uint16_t convertedLength = kDateTextLength;
  CheckEngineCode(nullptr, NdsConvertJulianToString(julian, converted, &convertedLength));

  // The converted text reads YYYYMMDD.
  const std::string text = TextOf(converted, kDateTextLength);
  const dataset::TDateTime day = dataset::EncodeDate(
      DecimalField(text, 0, 4), DecimalField(text, 4, 2), DecimalField(text, 6, 2));
  return day + static_cast<double>(milliseconds) / static_cast<double>(dataset::kMSecsPerDay);
}

void TNdsConnection::CloseCachedTables() {
  if (isConnected_) CheckEngineCode(nullptr, NdsCloseCachedTables(handle_));
}

}  // namespace nds
