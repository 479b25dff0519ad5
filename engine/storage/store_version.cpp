#include "engine/storage/store_version.h"

#include <sqlite3.h>

namespace nce {

const char* LocalStoreLibrary() {
  return "SQLite " SQLITE_VERSION;
}

}  // namespace nce
