// Sessions on SQLite databases the engine opens for work of its own rather
// than for a connection: a private in-memory database (a server dictionary's
// mirror), and a store file reached outside any connection (test support
// that writes a dictionary's users).
#ifndef ENGINE_STORAGE_PRIVATE_SESSION_H
#define ENGINE_STORAGE_PRIVATE_SESSION_H

#include <memory>
#include <string>

#include "engine/storage/store_session.h"

namespace nce {

// A new, empty in-memory database that closes with its session; throws
// NDS_E_MEMORY when SQLite cannot open one.
std::unique_ptr<StoreSession> OpenMemorySession();

// The existing SQLite file `path`, opened to read and write and closed with
// its session; throws NDS_E_INVALID_PATH when it cannot be (a missing file
// included: it is not created).
std::unique_ptr<StoreSession> OpenExistingFileSession(const std::string& path);

}  // namespace nce

#endif  // ENGINE_STORAGE_PRIVATE_SESSION_H
