// The datasets' alias reader: an alias of nds.ini's section "Databases" to a
// path and a TNdsTableTypes value, and the rule that tells paths from aliases.
#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

bool IsPathName(const std::string& name) {
  return name.find_first_of("/\\") != std::string::npos;
}

TDataSetAlias ReadAliasForDataSet(const std::string& alias) {
  const TAliasValue value =
      SplitAliasValue(ReadProfileString(LocateConfigFile(), "Databases", alias));
  TDataSetAlias result;
  result.path = value.path;
  result.found = !result.path.empty();
  switch (value.typeLetter) {
    case 'N':
    case 'n':
      result.tableType = ttNdsNTX;
      break;
    case 'C':
    case 'c':
      result.tableType = ttNdsCDX;
      break;
    default:
      result.tableType = ttNdsNDT;
  }
  return result;
}

}  // namespace nds
