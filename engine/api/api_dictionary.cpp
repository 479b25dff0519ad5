// Engine functions of the data dictionary: user and table properties,
// object searches, renaming tables, and the dictionary's active links.
#include <algorithm>
#include <optional>

#include "engine/api/api_support.h"
#include "engine/api/find_handle.h"
#include "engine/api/mirrored_table_rename.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/index/index_order.h"
#include "engine/schema/catalog.h"
#include "engine/storage/session_catalog.h"
#include "engine/storage/sqlite_table_rename.h"
#include "engine/storage/store_session.h"

using namespace nce;

namespace {

template <class Action>
NDSRESULT WithDictionary(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    std::shared_ptr<Connection> connection = RequireConnection(handle);
    RecursiveLockGuard lock(connection->mutex());
    if (!connection->dictionary)
      throw EngineError(NDS_E_INVALID_ARGUMENT, "Connection " + std::to_string(handle) +
                                                    " is not a data dictionary connection.");
    // A server's dictionary is read in its connection's mirror.
    StoreSession& session = DictionaryMirrored(*connection) ? MirroredDictionarySession(*connection)
                                                            : connection->session();
    EnsureDictionaryTables(session);
    return action(*connection, session);
  });
}

// The user tables in order of their names, letter case aside.
std::vector<std::string> UserTableNames(StoreSession& session) {
  std::vector<std::string> names = UserTables(session);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return LowerAscii(a) < LowerAscii(b);
  });
  return names;
}

NDSRESULT NextObject(NDSHANDLE connection, NDSHANDLE find, char* name, uint16_t* length) {
  auto search = HandleTable::Instance().FindAs<FindHandle>(find, ObjectKind::kFind);
  if (!search || search->connection() != connection)
    throw EngineError(NDS_E_INVALID_HANDLE,
                      "Handle " + std::to_string(find) + " is not a search of this connection.");
  std::pair<std::string, std::string> names;
  if (!search->Next(&names))
    throw EngineError(NDS_E_NO_MORE_OBJECTS, "No more dictionary objects.");
  return CopyOut(names.first, name, length);
}

// Ends a failed rename's own transaction, or its savepoint in the caller's.
// Each step is tried whatever the one before did; their failures are left
// out, the one being thrown says more.
void UndoRename(StoreSession& session, bool own) {
  auto attempt = [&session](const char* sql) {
    try {
      session.Execute(sql);
    } catch (const EngineError&) {
    }
  };
  if (own) return attempt("ROLLBACK");
  attempt("ROLLBACK TO _nce_rename");
  attempt("RELEASE _nce_rename");
}

// Moves what the engine keeps under a table's name to its new name.
void RenameTable(Connection& connection, const std::string& from, const std::string& to) {
  StoreSession& session = connection.session();
  std::optional<TableDesc> table = DescribeTable(session, from);
  if (!table || IsReservedName(table->name))
    throw EngineError(NDS_E_INVALID_TABLE, "The table " + from + " does not exist.");
  if (to.empty() || IsReservedName(to))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "'" + to + "' cannot name a table.");
  if (DescribeTable(session, to))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "A table named " + to + " exists already.");
  const std::string old_name = table->name;
  const bool own = !session.InTransaction();
  session.Execute(own ? "BEGIN IMMEDIATE" : "SAVEPOINT _nce_rename");
  try {
    MoveSqliteTable(session, old_name, to);
    RenameOrdersOfTable(session, old_name, to);
    SyncCatalog(session, table->table_type);
    session.Execute(own ? "COMMIT" : "RELEASE _nce_rename");
  } catch (...) {
    UndoRename(session, own);
    throw;
  }
}

}  // namespace

extern "C" {

NDSRESULT NdsDDGetUserProperty(NDSHANDLE handle, const char* userName, uint16_t property,
                               void* buffer, uint16_t* length) {
  return WithDictionary("NdsDDGetUserProperty", handle, [&](Connection&, StoreSession& session) {
    RequireArgument(userName, "user name");
    if (property != NDS_DD_USER_GROUP_MEMBERSHIP)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown user property " + std::to_string(property) + ".");
    std::optional<std::string> groups = UserGroupsText(session, userName);
    if (!groups)
      throw EngineError(NDS_E_INVALID_ARGUMENT,
                        std::string("The dictionary has no user ") + userName + ".");
    if (groups->empty())
      throw EngineError(NDS_E_PROPERTY_NOT_SET,
                        std::string("The user ") + userName + " belongs to no group.");
    return CopyOut(*groups, static_cast<char*>(buffer), length);
  });
}

NDSRESULT NdsDDGetTableProperty(NDSHANDLE handle, const char* tableName, uint16_t property,
                                void* buffer, uint16_t* length) {
  return WithDictionary("NdsDDGetTableProperty", handle, [&](Connection&, StoreSession& session) {
    RequireArgument(tableName, "table name");
    if (property != NDS_DD_TABLE_DEFAULT_INDEX)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown table property " + std::to_string(property) + ".");
    std::optional<TableDesc> table = DescribeTable(session, tableName);
    if (!table || IsReservedName(table->name))
      throw EngineError(NDS_E_INVALID_TABLE,
                        std::string("The table ") + tableName + " does not exist.");
    auto read = session.Prepare(
        "SELECT value FROM _nce_table_properties WHERE table_name = ?1 AND property = ?2");
    read->Bind(1, Value::Text(table->name));
    read->Bind(2, Value::Integer(property));
    if (!read->Step())
      throw EngineError(NDS_E_PROPERTY_NOT_SET,
                        "The table " + table->name + " has no default index.");
    return CopyOut(read->Column(0).bytes, static_cast<char*>(buffer), length);
  });
}

NDSRESULT NdsDDFindFirstObject(NDSHANDLE handle, uint16_t objectKind, const char* /*parentName*/,
                               char* name, uint16_t* length, NDSHANDLE* find) {
  return WithDictionary("NdsDDFindFirstObject", handle, [&](Connection&, StoreSession& session) {
    RequireArgument(find, "find handle");
    *find = 0;
    std::vector<std::pair<std::string, std::string>> names;
    if (objectKind == NDS_DD_TABLE_LIST || objectKind == NDS_DD_TABLE_OBJECT) {
      for (const std::string& table : UserTableNames(session)) names.emplace_back(table, table);
    } else if (objectKind == NDS_DD_USER_OBJECT) {
      auto read = session.Prepare("SELECT name FROM _nce_users ORDER BY name COLLATE NOCASE");
      while (read->Step()) names.emplace_back(read->Column(0).bytes, read->Column(0).bytes);
    } else {
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown dictionary object kind " + std::to_string(objectKind) + ".");
    }
    if (names.empty())
      throw EngineError(NDS_E_NO_MORE_OBJECTS, "The dictionary has no such objects.");
    auto search = std::make_shared<FindHandle>(handle, std::move(names));
    NDSHANDLE id = HandleTable::Instance().Add(search);
    *find = id;
    return NextObject(handle, id, name, length);
  });
}

NDSRESULT NdsDDFindNextObject(NDSHANDLE handle, NDSHANDLE find, char* name, uint16_t* length) {
  return WithDictionary("NdsDDFindNextObject", handle, [&](Connection&, StoreSession&) {
    return NextObject(handle, find, name, length);
  });
}

NDSRESULT NdsDDFindClose(NDSHANDLE handle, NDSHANDLE find) {
  return Guarded("NdsDDFindClose", [&] {
    RequireConnection(handle);
    auto search = HandleTable::Instance().FindAs<FindHandle>(find, ObjectKind::kFind);
    if (!search || search->connection() != handle)
      throw EngineError(NDS_E_INVALID_HANDLE,
                        "Handle " + std::to_string(find) + " is not a search of this connection.");
    HandleTable::Instance().Remove(find);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsDDRenameObject(NDSHANDLE handle, const char* objectName, const char* newName,
                            uint16_t objectType, uint32_t options) {
  return WithDictionary(
      "NdsDDRenameObject", handle, [&](Connection& connection, StoreSession& session) {
        RequireArgument(objectName, "object name");
        RequireArgument(newName, "new name");
        if (objectType != NDS_DD_TABLE_OBJECT)
          throw EngineError(NDS_E_INVALID_OPTION,
                            "Only tables (object type 1) can be renamed, not type " +
                                std::to_string(objectType) + ".");
        if (options != 0) throw EngineError(NDS_E_INVALID_OPTION, "Rename options must be 0.");
        if (!connection.dictionary || !connection.dictionary->administrator)
          throw EngineError(
              NDS_E_RIGHTS,
              "Only members of the group ADMIN may rename tables of this dictionary.");
        if (DictionaryMirrored(connection))
          RenameMirroredTable(connection, session, objectName, newName);
        else
          RenameTable(connection, objectName, newName);
        return NDS_SUCCESS;
      });
}

NDSRESULT NdsGetNumActiveLinks(NDSHANDLE handle, uint16_t* count) {
  return Guarded("NdsGetNumActiveLinks", [&] {
    RequireArgument(count, "count");
    std::shared_ptr<Connection> connection = RequireConnection(handle);
    RecursiveLockGuard lock(connection->mutex());
    *count =
        connection->dictionary ? static_cast<uint16_t>(connection->dictionary->links.size()) : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetActiveLinkInfo(NDSHANDLE handle, uint16_t index, char* info, uint16_t* length) {
  return Guarded("NdsGetActiveLinkInfo", [&] {
    std::shared_ptr<Connection> connection = RequireConnection(handle);
    RecursiveLockGuard lock(connection->mutex());
    size_t count = connection->dictionary ? connection->dictionary->links.size() : 0;
    if (index < 1 || index > count)
      throw EngineError(NDS_E_INVALID_ARGUMENT, "Active link " + std::to_string(index) +
                                                    " does not exist; there are " +
                                                    std::to_string(count) + ".");
    const auto& [name, path] = connection->dictionary->links[index - 1];
    // Parts each closed by ';': the link's name and the path it leads to.
    return CopyOut(name + ";" + path + ";", info, length);
  });
}

}  // extern "C"
