// The server kinds a connection may ask the engine for, and the set of them
// that TNdsConnection publishes as NdsServerTypes.
#ifndef NDS_NDSSET_H_
#define NDS_NDSSET_H_

#include <cstdint>

#include "dataset/set.h"

namespace nds {

// Members of the published set, in declaration order: as set members their
// stored bit values are 1, 2 and 4. The engine's server type mask numbers
// them differently (see EngineServerTypeMask).
enum TNdsServerType { stNDS_REMOTE, stNDS_LOCAL, stNDS_AIS };

using TNdsServerTypes = dataset::TSet<TNdsServerType>;

// The engine's server type mask for NdsConnect60: local 1, remote 2, AIS 4,
// summed over the members present. The empty set gives 0.
constexpr std::uint16_t EngineServerTypeMask(TNdsServerTypes types) {
  std::uint16_t mask = 0;
  if (types.Contains(stNDS_LOCAL)) mask += 1;
  if (types.Contains(stNDS_REMOTE)) mask += 2;
  if (types.Contains(stNDS_AIS)) mask += 4;
  return mask;
}

}  // namespace nds

#endif  // NDS_NDSSET_H_
