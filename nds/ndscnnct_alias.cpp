// The connection's alias reader: an alias of nds.ini's section "Databases"
// to a server path and a table type code.
#include <string>
#include <string_view>

#include "nds/ndscnnct.h"

namespace nds {

TAliasValue SplitAliasValue(std::string_view value) {
  TAliasValue result;
  const auto semicolon = value.find(';');
  if (semicolon == std::string_view::npos) {
    result.path = std::string(value);
    return result;
  }
  result.path = std::string(value.substr(0, semicolon));
  if (semicolon + 1 < value.size()) result.typeLetter = value[semicolon + 1];
  return result;
}

TConnectionAlias ReadAliasForConnection(const std::string& alias) {
  const TAliasValue value =
      SplitAliasValue(ReadProfileString(LocateConfigFile(), "Databases", alias));
  TConnectionAlias result;
  result.path = value.path;
  result.found = !result.path.empty();
  switch (value.typeLetter) {
    case 'N':
    case 'n':
      result.tableType = kAliasTypeNTX;
      break;
    case 'C':
    case 'c':
      result.tableType = kAliasTypeCDX;
      break;
    case 'A':
    case 'a':
      result.tableType = kAliasTypeNDT;
      break;
    default:
      result.tableType = kAliasTypeUnspecified;
  }
  return result;
}

}  // namespace nds
