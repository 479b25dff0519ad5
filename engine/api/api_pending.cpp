// Engine functions this version of the engine does not offer yet. Each
// answers NDS_E_NOT_SUPPORTED with a text naming itself, so a caller gets a
// clear engine error instead of a crash or a silent no-op.
#include "engine/api/api_support.h"

using namespace nce;

extern "C" {}  // extern "C"
