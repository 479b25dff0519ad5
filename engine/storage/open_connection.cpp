#include "engine/storage/open_connection.h"

#include "engine/base/errors.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/store.h"

namespace nce {

std::shared_ptr<Connection> OpenConnection(const std::string& path, uint16_t server_types,
                                           const std::string& user, int busy_timeout_ms) {
  if (PostgresSession::IsServerPath(path)) {
    if ((server_types & NDS_REMOTE_SERVER) == 0)
      throw EngineError(NDS_E_REMOTE_SERVER,
                        "The server path names a PostgreSQL server, but the server type mask " +
                            std::to_string(server_types) + " allows only a local database.");
    // Another user's locks are waited for as long as on a SQLite store.
    std::unique_ptr<PostgresSession> session = PostgresSession::Connect(path, busy_timeout_ms);
    EnsureServerCatalog(*session);
    return std::make_shared<Connection>(std::move(session), path);
  }
  if (server_types != 0 && (server_types & NDS_LOCAL_SERVER) == 0)
    throw EngineError(NDS_E_REMOTE_SERVER,
                      "The server type mask " + std::to_string(server_types) +
                          " asks for a remote server, but the path names a local database; a "
                          "server path starts with postgresql://.");
  StoreLocation location = ResolveStoreLocation(path);
  std::unique_ptr<Store> store = Store::Open(location, busy_timeout_ms);
  return std::make_shared<Connection>(std::move(store), location.dictionary ? user : "");
}

}  // namespace nce
