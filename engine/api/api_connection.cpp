// Engine functions of connections and server information.
#include <unistd.h>

#include "engine/api/api_support.h"
#include "engine/base/settings.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_server.h"
#include "engine/dictionary/dictionary_users.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_session.h"
#include "engine/storage/store.h"
#include "engine/storage/store_version.h"

using namespace nce;

namespace {

// Closes the statements and cursors still open on `connection`.
void CloseChildren(Connection& connection) {
  for (NDSHANDLE child : connection.TakeChildren()) {
    std::shared_ptr<Object> object = HandleTable::Instance().Remove(child);
    if (object && (object->kind() == ObjectKind::kCursor || object->kind() == ObjectKind::kTable)) {
      auto cursor = std::static_pointer_cast<Cursor>(object);
      cursor->walk.WriteOrCancelOnClose(*cursor);  // edits are not lost with the connection
      cursor->Release();
    }
  }
}

// Opens a connection on the database at `path` and hands out its handle.
NDSRESULT OpenConnection(const char* path, uint16_t server_types, const char* user_name,
                         const char* password, NDSHANDLE* connection) {
  RequireArgument(connection, "connection handle");
  *connection = 0;
  RequireArgument(path, "server path");
  if (PostgresSession::IsServerPath(path)) {
    if ((server_types & NDS_REMOTE_SERVER) == 0)
      throw EngineError(NDS_E_REMOTE_SERVER,
                        "The server path names a PostgreSQL server, but the server type mask " +
                            std::to_string(server_types) + " allows only a local database.");
    std::unique_ptr<PostgresSession> session = PostgresSession::Connect(path);
    // Another user's locks are waited for as long as on a SQLite store.
    session->SetLockTimeout(g_busy_timeout_ms.load());
    EnsureServerCatalog(*session);
    auto object = std::make_shared<Connection>(std::move(session), path);
    // Every server database is a dictionary: its catalog holds one.
    OnServerDictionaryConnect(*object, user_name ? user_name : "", password ? password : "");
    *connection = HandleTable::Instance().Add(object);
    return NDS_SUCCESS;
  }
  if (server_types != 0 && (server_types & NDS_LOCAL_SERVER) == 0)
    throw EngineError(NDS_E_REMOTE_SERVER,
                      "The server type mask " + std::to_string(server_types) +
                          " asks for a remote server, but the path names a local database; a "
                          "server path starts with postgresql://.");
  StoreLocation location = ResolveStoreLocation(path);
  std::unique_ptr<Store> store = Store::Open(location, g_busy_timeout_ms.load());
  std::string user = user_name ? user_name : "";
  auto object = std::make_shared<Connection>(std::move(store), location.dictionary ? user : "");
  bool has_users = location.dictionary && DictionaryHasUsers(object->session());
  if (has_users) CheckDictionaryLogin(object->session(), user, password ? password : "");
  // A dictionary's rights and links hold for the whole connection.
  if (location.dictionary) OnDictionaryConnect(*object, !has_users);
  *connection = HandleTable::Instance().Add(object);
  return NDS_SUCCESS;
}

}  // namespace

extern "C" {

NDSRESULT NdsConnect60(const char* serverPath, uint16_t serverTypes, const char* userName,
                       const char* password, uint32_t /*options*/, NDSHANDLE* connection) {
  return Guarded("NdsConnect60", [&] {
    return OpenConnection(serverPath, serverTypes, userName, password, connection);
  });
}

NDSRESULT NdsConnect(const char* serverPath, NDSHANDLE* connection) {
  return Guarded("NdsConnect",
                 [&] { return OpenConnection(serverPath, NDS_LOCAL_SERVER, "", "", connection); });
}

NDSRESULT NdsDisconnect(NDSHANDLE handle) {
  return Guarded("NdsDisconnect", [&] {
    auto connection = HandleTable::Instance().FindAs<Connection>(handle, ObjectKind::kConnection);
    if (!connection)
      throw EngineError(NDS_E_NOT_CONNECTED,
                        "Handle " + std::to_string(handle) + " is not a connection.");
    std::lock_guard lock(connection->mutex());
    CloseChildren(*connection);
    connection->Close();  // an open transaction is rolled back
    HandleTable::Instance().Remove(handle);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsIsConnectionAlive(NDSHANDLE handle, uint16_t* alive) {
  return Guarded("NdsIsConnectionAlive", [&] {
    RequireArgument(alive, "answer");
    auto connection = RequireConnection(handle);
    std::lock_guard lock(connection->mutex());
    // The store answers a trivial query while its file or server is reachable.
    StoreSession& session = connection->session();  // throws once the connection is closed
    try {
      session.Execute("SELECT 1");
      *alive = 1;
    } catch (const EngineError&) {
      *alive = 0;
    }
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetConnectionType(NDSHANDLE handle, uint16_t* connectionType) {
  return Guarded("NdsGetConnectionType", [&] {
    RequireArgument(connectionType, "connection type");
    auto connection = RequireConnection(handle);
    *connectionType = connection->server() ? NDS_CONNECTION_REMOTE : NDS_CONNECTION_LOCAL;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetServerName(NDSHANDLE handle, char* name, uint16_t* length) {
  return Guarded("NdsGetServerName", [&] {
    RequireConnection(handle);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    return CopyOut(host, name, length);
  });
}

NDSRESULT NdsGetVersion(uint32_t* major, uint32_t* minor, char* letter, char* description,
                        uint16_t* descriptionLength) {
  return Guarded("NdsGetVersion", [&] {
    if (major) *major = 1;
    if (minor) *minor = 0;
    if (letter) *letter = ' ';
    if (description && descriptionLength && *descriptionLength)
      return CopyOut(std::string("Volantra client engine over ") + LocalStoreLibrary(), description,
                     descriptionLength);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetHandleType(NDSHANDLE handle, uint16_t* handleType) {
  return Guarded("NdsGetHandleType", [&] {
    RequireArgument(handleType, "handle type");
    std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
    if (!object)
      throw EngineError(NDS_E_INVALID_HANDLE,
                        "Handle " + std::to_string(handle) + " is not known.");
    *handleType = static_cast<uint16_t>(object->kind());
    return NDS_SUCCESS;
  });
}

}  // extern "C"
