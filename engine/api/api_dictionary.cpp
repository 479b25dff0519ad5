// Engine functions of the data dictionary: user and table properties,
// object searches, renaming tables, and the dictionary's active links.
#include <optional>

#include "engine/api/api_support.h"
#include "engine/api/find_handle.h"
#include "engine/api/server_table_rename.h"
#include "engine/storage/sql_error.h"
#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_stmt.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_server.h"
#include "engine/index/index_order.h"
#include "engine/schema/catalog.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_catalog_schema.h"

using namespace nce;

namespace {

template <class Action>
NDSRESULT WithDictionary(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    std::shared_ptr<Connection> connection = RequireConnection(handle);
    std::lock_guard lock(connection->mutex());
    if (!connection->location().dictionary && !connection->server())
      throw EngineError(NDS_E_INVALID_ARGUMENT, "Connection " + std::to_string(handle) +
                                                    " is not a data dictionary connection.");
    // A server's dictionary is read in its connection's mirror.
    sqlite3* db = connection->server() ? ServerDictionaryDb(*connection) : connection->db();
    EnsureDictionaryTables(db);
    return action(*connection, db);
  });
}

std::vector<std::string> UserTableNames(sqlite3* db) {
  std::vector<std::string> names;
  SqliteStmt stmt(
      db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name COLLATE NOCASE");
  while (stmt.Step())
    if (!IsReservedName(stmt.Text(0))) names.push_back(stmt.Text(0));
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

// Moves what the engine keeps under a table's name to its new name.
void RenameTable(Connection& connection, const std::string& from, const std::string& to) {
  sqlite3* db = connection.db();
  std::optional<TableDesc> table = DescribeTable(db, from);
  if (!table || IsReservedName(table->name))
    throw EngineError(NDS_E_INVALID_TABLE, "The table " + from + " does not exist.");
  if (to.empty() || IsReservedName(to))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "'" + to + "' cannot name a table.");
  if (DescribeTable(db, to))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "A table named " + to + " exists already.");
  const std::string old_name = table->name;
  bool own = sqlite3_get_autocommit(db);
  ExecSql(db, own ? "BEGIN IMMEDIATE" : "SAVEPOINT _nce_rename");
  try {
    // Numbering triggers carry the table's name; they are made again below.
    std::vector<std::string> triggers;
    {
      SqliteStmt find(
          db,
          "SELECT name FROM sqlite_master WHERE type = 'trigger' AND tbl_name = ?1 COLLATE NOCASE "
          "AND name LIKE '\\_nce\\_%' ESCAPE '\\'");
      find.Bind(1, old_name);
      while (find.Step()) triggers.push_back(find.Text(0));
    }
    for (const std::string& t : triggers)
      ExecSql(db, ("DROP TRIGGER " + QuoteIdentifier(t)).c_str());
    ExecSql(
        db,
        ("ALTER TABLE " + QuoteIdentifier(old_name) + " RENAME TO " + QuoteIdentifier(to)).c_str());
    for (const char* sql :
         {"UPDATE _nce_tables SET name = ?2 WHERE name = ?1",
          "UPDATE _nce_fields SET table_name = ?2 WHERE table_name = ?1",
          "UPDATE _nce_autoinc SET table_name = ?2 WHERE table_name = ?1",
          "UPDATE _nce_rights SET table_name = ?2 WHERE table_name = ?1",
          "UPDATE _nce_table_properties SET table_name = ?2 WHERE table_name = ?1"}) {
      SqliteStmt stmt(db, sql);
      stmt.Bind(1, old_name).Bind(2, to).Run();
    }
    // Tables the cursors make on first use follow when they exist; the
    // deletion marks with their trigger.
    MoveDeletedMarks(db, old_name, to);
    for (const char* table_name : {"_nce_row_versions"}) {
      SqliteStmt exists(db, "SELECT 1 FROM sqlite_master WHERE name = ?1");
      exists.Bind(1, table_name);
      if (!exists.Step()) continue;
      std::string sql = std::string("UPDATE ") + table_name +
                        " SET table_name = CASE WHEN table_name = upper(?1) "
                        "THEN upper(?2) ELSE ?2 END WHERE table_name = ?1 COLLATE NOCASE";
      SqliteStmt stmt(db, sql);
      stmt.Bind(1, old_name).Bind(2, to).Run();
    }
    RenameOrdersOfTable(connection.session(), old_name, to);
    SyncCatalog(db, table->table_type);
    ExecSql(db, own ? "COMMIT" : "RELEASE _nce_rename");
  } catch (...) {
    if (own) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
      sqlite3_exec(db, "ROLLBACK TO _nce_rename", nullptr, nullptr, nullptr);
      sqlite3_exec(db, "RELEASE _nce_rename", nullptr, nullptr, nullptr);
    }
    throw;
  }
}

}  // namespace

extern "C" {

NDSRESULT NdsDDGetUserProperty(NDSHANDLE handle, const char* userName, uint16_t property,
                               void* buffer, uint16_t* length) {
  return WithDictionary("NdsDDGetUserProperty", handle, [&](Connection&, sqlite3* db) {
    RequireArgument(userName, "user name");
    if (property != NDS_DD_USER_GROUP_MEMBERSHIP)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown user property " + std::to_string(property) + ".");
    std::optional<std::string> groups = UserGroupsText(db, userName);
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
  return WithDictionary("NdsDDGetTableProperty", handle, [&](Connection&, sqlite3* db) {
    RequireArgument(tableName, "table name");
    if (property != NDS_DD_TABLE_DEFAULT_INDEX)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown table property " + std::to_string(property) + ".");
    std::optional<TableDesc> table = DescribeTable(db, tableName);
    if (!table || IsReservedName(table->name))
      throw EngineError(NDS_E_INVALID_TABLE,
                        std::string("The table ") + tableName + " does not exist.");
    SqliteStmt stmt(
        db, "SELECT value FROM _nce_table_properties WHERE table_name = ?1 AND property = ?2");
    stmt.Bind(1, table->name).Bind(2, property);
    if (!stmt.Step())
      throw EngineError(NDS_E_PROPERTY_NOT_SET,
                        "The table " + table->name + " has no default index.");
    return CopyOut(stmt.Text(0), static_cast<char*>(buffer), length);
  });
}

NDSRESULT NdsDDFindFirstObject(NDSHANDLE handle, uint16_t objectKind, const char* /*parentName*/,
                               char* name, uint16_t* length, NDSHANDLE* find) {
  return WithDictionary("NdsDDFindFirstObject", handle, [&](Connection&, sqlite3* db) {
    RequireArgument(find, "find handle");
    *find = 0;
    std::vector<std::pair<std::string, std::string>> names;
    if (objectKind == NDS_DD_TABLE_LIST || objectKind == NDS_DD_TABLE_OBJECT) {
      for (const std::string& table : UserTableNames(db)) names.emplace_back(table, table);
    } else if (objectKind == NDS_DD_USER_OBJECT) {
      SqliteStmt stmt(db, "SELECT name FROM _nce_users ORDER BY name COLLATE NOCASE");
      while (stmt.Step()) names.emplace_back(stmt.Text(0), stmt.Text(0));
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
  return WithDictionary("NdsDDFindNextObject", handle, [&](Connection&, sqlite3*) {
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
  return WithDictionary("NdsDDRenameObject", handle, [&](Connection& connection, sqlite3* db) {
    RequireArgument(objectName, "object name");
    RequireArgument(newName, "new name");
    if (objectType != NDS_DD_TABLE_OBJECT)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Only tables (object type 1) can be renamed, not type " +
                            std::to_string(objectType) + ".");
    if (options != 0) throw EngineError(NDS_E_INVALID_OPTION, "Rename options must be 0.");
    if (!connection.dictionary || !connection.dictionary->administrator)
      throw EngineError(NDS_E_RIGHTS,
                        "Only members of the group ADMIN may rename tables of this dictionary.");
    if (connection.server())
      RenameServerTable(connection, db, objectName, newName);
    else
      RenameTable(connection, objectName, newName);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetNumActiveLinks(NDSHANDLE handle, uint16_t* count) {
  return Guarded("NdsGetNumActiveLinks", [&] {
    RequireArgument(count, "count");
    std::shared_ptr<Connection> connection = RequireConnection(handle);
    std::lock_guard lock(connection->mutex());
    *count =
        connection->dictionary ? static_cast<uint16_t>(connection->dictionary->links.size()) : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetActiveLinkInfo(NDSHANDLE handle, uint16_t index, char* info, uint16_t* length) {
  return Guarded("NdsGetActiveLinkInfo", [&] {
    std::shared_ptr<Connection> connection = RequireConnection(handle);
    std::lock_guard lock(connection->mutex());
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
