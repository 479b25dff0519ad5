// The datasets' alias reader: an alias of nds.ini's section "Databases" to a
// path and a TNdsTableTypes value, and the rule that tells paths from aliases.
#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds {

bool IsPathName(const std::string& name) {
  return name.find_first_of("/\\") != std::string::npos;
}

// The same nds.ini entry the connection reads; only the table type is told
// apart differently: anything but N or C means NDT here.
TDataSetAlias ReadAliasForDataSet(const std::string& alias) {
  const TConnectionAlias read = ReadAliasForConnection(alias);
  TDataSetAlias result;
  result.found = read.found;
  result.path = read.path;
  result.tableType = read.tableType == kAliasTypeNTX   ? ttNdsNTX
                     : read.tableType == kAliasTypeCDX ? ttNdsCDX
                                                       : ttNdsNDT;
  return result;
}

}  // namespace nds
