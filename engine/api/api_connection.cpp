// Engine functions of connections and server information.
#include <unistd.h>

#include "engine/api/api_support.h"
#include "engine/base/settings.h"
#include "engine/dictionary/dictionary_connect.h"
#include "engine/storage/open_connection.h"
#include "engine/storage/store_version.h"

using namespace nce;

namespace {

// Closes the statements and cursors still open on `connection`.
void CloseChildren(Connection& connection) REQUIRES(connection.mutex()) {
  for (NDSHANDLE child : connection.TakeChildren()) {
    std::shared_ptr<Object> object = HandleTable::Instance().Remove(child);
    if (object && (object->kind() == ObjectKind::kCursor || object->kind() == ObjectKind::kTable)) {
      auto cursor = std::static_pointer_cast<Cursor>(object);
      cursor->writer.WriteOrCancelOnClose();  // edits are not lost with the connection
      cursor->Release();
    }
  }
}

// Opens a connection on the database at `path` and hands out its handle.
NDSRESULT ConnectTo(const char* path, uint16_t server_types, const char* user_name,
                    const char* password, NDSHANDLE* connection) {
  RequireArgument(connection, "connection handle");
  *connection = 0;
  RequireArgument(path, "server path");
  const std::string user = user_name ? user_name : "";
  std::shared_ptr<Connection> object =
      nce::OpenConnection(path, server_types, user, g_busy_timeout_ms.load());
  // A dictionary's rights and links hold for the whole connection.
  if (object->location().dictionary) ConnectDictionary(*object, user, password ? password : "");
  *connection = HandleTable::Instance().Add(object);
  return NDS_SUCCESS;
}

}  // namespace

extern "C" {

NDSRESULT NdsConnect60(const char* serverPath, uint16_t serverTypes, const char* userName,
                       const char* password, uint32_t /*options*/, NDSHANDLE* connection) {
  return Guarded("NdsConnect60", [&] {
    return ConnectTo(serverPath, serverTypes, userName, password, connection);
  });
}

NDSRESULT NdsConnect(const char* serverPath, NDSHANDLE* connection) {
  return Guarded("NdsConnect",
                 [&] { return ConnectTo(serverPath, NDS_LOCAL_SERVER, "", "", connection); });
}

NDSRESULT NdsDisconnect(NDSHANDLE handle) {
  return Guarded("NdsDisconnect", [&] {
    auto connection = HandleTable::Instance().FindAs<Connection>(handle, ObjectKind::kConnection);
    if (!connection)
      throw EngineError(NDS_E_NOT_CONNECTED,
                        "Handle " + std::to_string(handle) + " is not a connection.");
    RecursiveLockGuard lock(connection->mutex());
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
    RecursiveLockGuard lock(connection->mutex());
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
    *connectionType = connection->session().Remote() ? NDS_CONNECTION_REMOTE : NDS_CONNECTION_LOCAL;
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
