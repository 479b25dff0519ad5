// A record file that names no SQLite itself but includes a header that
// does: the layer check must refuse it (EngineLayers.RefusesSqliteReachedThroughIncludes).
#include "engine/base/opens_sqlite.h"
