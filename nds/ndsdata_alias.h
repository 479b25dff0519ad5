// The aliases of nds.ini as datasets read them.
#ifndef NDS_NDSDATA_ALIAS_H_
#define NDS_NDSDATA_ALIAS_H_

#include <string>

#include "nds/ndsdata_types.h"

namespace nds {

// True when `name` contains "/" or "\": a dataset's DatabaseName of that form
// is a path, not an alias.
bool IsPathName(const std::string& name);

// What ReadAliasForDataSet found: `found` when the path is not empty; the
// table type is ttNdsNTX for ";N", ttNdsCDX for ";C", ttNdsNDT otherwise.
struct TDataSetAlias {
  bool found = false;
  std::string path;
  TNdsTableTypes tableType = ttNdsNDT;
};
TDataSetAlias ReadAliasForDataSet(const std::string& alias);

}  // namespace nds

#endif  // NDS_NDSDATA_ALIAS_H_
