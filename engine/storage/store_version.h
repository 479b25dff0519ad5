// The name and version of the library that keeps a local store, for the
// engine's description of itself (NdsGetVersion).
#ifndef ENGINE_STORAGE_STORE_VERSION_H
#define ENGINE_STORAGE_STORE_VERSION_H

namespace nce {

// "SQLite <version>", the version the engine was built against.
const char* LocalStoreLibrary();

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_VERSION_H
