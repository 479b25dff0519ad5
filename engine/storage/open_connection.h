// Opening a connection: the one place that chooses the store, by the path.
// Everything above works through the connection's session and its dialect.
#ifndef ENGINE_STORAGE_OPEN_CONNECTION_H
#define ENGINE_STORAGE_OPEN_CONNECTION_H

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/connection.h"

namespace nce {

// Opens a connection on the database `path` names: a directory or data
// dictionary (.ndd) of a SQLite store, or the URI of a database on a
// PostgreSQL server (postgresql://..., whose catalog is made on the first
// connect). `server_types` is the connect call's mask of kinds allowed (0:
// any); a path of a kind it refuses fails with NDS_E_REMOTE_SERVER. `user`
// is the user a dictionary connection is made for. Writers wait up to
// `busy_timeout_ms` for another's lock. Throws as the stores' opens do.
std::shared_ptr<Connection> OpenConnection(const std::string& path, uint16_t server_types,
                                           const std::string& user, int busy_timeout_ms);

}  // namespace nce

#endif  // ENGINE_STORAGE_OPEN_CONNECTION_H
