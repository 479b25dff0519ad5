// Types and constants the cursor dataset's units share: table types, the
// handle a component holds while it has no engine object, the enumerations
// of the stored table options and the engine codes they travel as.
#ifndef NDS_NDSDATA_TYPES_H_
#define NDS_NDSDATA_TYPES_H_

#include <cstdint>

#include "nds/nce.h"

namespace nds {

// Table types of a dataset (ordinals 0 to 3), as SourceTableType publishes them.
enum TNdsTableTypes { ttNdsCDX, ttNdsNTX, ttNdsNDT, ttNdsDefault };

// Datasets and queries hold this value while they have no engine object of
// a kind (the engine itself never gives 0 as a handle).
inline constexpr NDSHANDLE kNoHandle = static_cast<NDSHANDLE>(-1);

// The refusal of settings that may change only while the dataset is closed.
inline constexpr const char kTableMustNotBeActive[] = "Table must not be Active.";

// How the active order is chosen.
enum class TNdsIndexKind { Natural, ByName, ByFields, DictionaryDefault };

// Stored enumerations of the cursor dataset and its table options.
enum TNdsLockTypes : std::uint8_t { Proprietary, Compatible };
enum TNdsCharTypes : std::uint8_t { ANSI, OEM };
enum TNdsRespectFilters : std::uint8_t { IGNORE_WHEN_COUNTING, RESPECT_WHEN_COUNTING };
enum TNdsRespectScopes : std::uint8_t { IGNORE_SCOPES_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING };
enum TNdsRecordCacheTypes : std::uint8_t { rcNone, rcStandard, rcAggressive };
enum TNdsAOFTypes : std::uint8_t { atDynamic, atKeySet, atFixed };
enum TNdsRecordLockingModes : std::uint8_t { lmPessimistic, lmOptimistic };
enum TNdsSequencedLevel : std::uint8_t { slStandard, slExact };
// Index page sizes, 0 to 8192; 0 when unknown.
using TNdsIndexPageSizes = std::uint16_t;

// The engine's numbering of a table type setting: CDX 2, NTX 1, NDT and
// Default 3 (used at open and by the provider's statements).
std::uint16_t EngineTableTypeCode(TNdsTableTypes type);

// Statement option codes (NdsStmtSet*) of the table option values.
std::uint16_t EngineLockTypeCode(TNdsLockTypes type);  // Proprietary 1, Compatible 0
std::uint16_t EngineCharTypeCode(TNdsCharTypes type);  // ANSI 1, OEM 2
std::uint16_t EngineRightsCode(bool rightsCheck);      // true 1, false 2

}  // namespace nds

#endif  // NDS_NDSDATA_TYPES_H_
