#include "engine/dictionary/dictionary_rights.h"

#include <optional>

#include "engine/base/errors.h"
#include "engine/storage/sql_error.h"
#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_stmt.h"
#include "engine/dictionary/dictionary_server.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/store.h"
#include "nce/nce.h"

namespace nce {
namespace {

bool IsEngineName(const char* name) {
  if (!name) return false;
  std::string_view text(name);
  return EqualsNoCase(text.substr(0, kReservedPrefix.size()), kReservedPrefix) ||
         EqualsNoCase(text.substr(0, 7), "sqlite_");
}

// The tables that decide who may do what: their rows change through the
// dictionary's statements alone, which only administrators run. (The
// rights counter is left out: moving it on only makes connections read
// the rights again.)
bool IsDictionaryTable(const char* name) {
  for (const char* table :
       {"_nce_users", "_nce_groups", "_nce_rights", "_nce_table_properties", "_nce_links"})
    if (EqualsNoCase(name, table)) return true;
  return false;
}

// Changes of rows: the right for the change on the table or column.
int AuthorizeChange(const DictionaryState& state, int action, const char* table,
                    const char* column) {
  uint8_t needed = action == SQLITE_INSERT   ? kRightInsert
                   : action == SQLITE_UPDATE ? kRightUpdate
                                             : kRightDelete;
  uint8_t granted = action == SQLITE_UPDATE && column ? state.RightsOnColumn(table, column)
                                                      : state.RightsOnTable(table);
  return (granted & needed) ? SQLITE_OK : SQLITE_DENY;
}

// The table a data-definition action concerns: kDatabaseObject for new
// tables and views; null for actions that need no right (temporary objects,
// the engine's own tables, anything that defines nothing).
const char* DefinedTable(int action, const char* arg1, const char* arg2) {
  switch (action) {
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_VTABLE:
      return IsEngineName(arg1) ? nullptr : kDatabaseObject;
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_VTABLE:
      return arg1;
    case SQLITE_CREATE_INDEX:
    case SQLITE_DROP_INDEX:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_DROP_TRIGGER:
      return arg2;
    case SQLITE_ALTER_TABLE:  // arg1 is the schema
      return arg1 && EqualsNoCase(arg1, "temp") ? nullptr : arg2;
    default:
      return nullptr;
  }
}

// Combines read decisions: granted beats revoked beats nothing said.
void NoteRead(DictionaryState::Read& decision, uint8_t stored) {
  if (stored & kRightRead)
    decision = DictionaryState::Read::kGranted;
  else if ((stored & kReadRevoked) && decision == DictionaryState::Read::kUnsaid)
    decision = DictionaryState::Read::kRevoked;
}

}  // namespace

// The engine's catalog and the work of its own triggers (numbering, type
// guards, lock fences) are always allowed.
int AuthorizeDictionaryAction(void* data, int action, const char* arg1, const char* arg2,
                              const char* /*database*/, const char* trigger) {
  const auto* state = static_cast<const DictionaryState*>(data);
  if (trigger && std::string_view(trigger).rfind("_nce_", 0) == 0) return SQLITE_OK;
  if (action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE) {
    if (arg1 && IsDictionaryTable(arg1) && !state->administrator) return SQLITE_DENY;
    if (!arg1 || IsEngineName(arg1)) return SQLITE_OK;
    return AuthorizeChange(*state, action, arg1, arg2);
  }
  if (action == SQLITE_READ) {
    if (!arg1 || !arg2 || IsEngineName(arg1) || state->MayRead(arg1, arg2)) return SQLITE_OK;
    return state->refuse_hidden_reads ? SQLITE_DENY : SQLITE_IGNORE;
  }
  const char* table = DefinedTable(action, arg1, arg2);
  if (!table || IsEngineName(table) || state->engine_definitions) return SQLITE_OK;
  return state->MayDefine(table) ? SQLITE_OK : SQLITE_DENY;
}

std::vector<std::string> SplitGroups(const std::string& text) {
  std::vector<std::string> groups;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) groups.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return groups;
}

uint8_t DictionaryState::RightsOnTable(const std::string& table) const {
  if (administrator) return kAllRights;
  auto it = tables.find(UpperAscii(table));
  if (it == tables.end() || !it->second.restricted) return kAllRights;
  // Reading is open unless revoked on the table as a whole.
  return it->second.table | (it->second.whole_read == Read::kRevoked ? 0 : kRightRead);
}

uint8_t DictionaryState::RightsOnColumn(const std::string& table, const std::string& column) const {
  if (administrator) return kAllRights;
  auto it = tables.find(UpperAscii(table));
  if (it == tables.end() || !it->second.restricted) return kAllRights;
  const TableRights& rights = it->second;
  std::string name = UpperAscii(column);
  uint8_t read = MayRead(table, column) ? kRightRead : 0;
  if (!rights.restricted_columns.count(name)) return (rights.whole & ~kRightRead) | read;
  auto granted = rights.columns.find(name);
  uint8_t bits = granted == rights.columns.end() ? 0 : granted->second;
  return (bits & ~kRightRead) | read;
}

bool DictionaryState::MayRead(const std::string& table, const std::string& column) const {
  if (administrator) return true;
  auto it = tables.find(UpperAscii(table));
  if (it == tables.end()) return true;
  auto decided = it->second.column_read.find(UpperAscii(column));
  Read read = decided != it->second.column_read.end() && decided->second != Read::kUnsaid
                  ? decided->second
                  : it->second.whole_read;
  return read != Read::kRevoked;
}

bool DictionaryState::MayDefine(const std::string& table) const {
  if (administrator) return true;
  auto it = tables.find(UpperAscii(table));
  if (it == tables.end() || !it->second.restricted) return true;
  return (it->second.whole & kRightAlter) != 0;
}

std::optional<std::string> UserGroupsText(sqlite3* db, const std::string& user) {
  SqliteStmt stmt(db, "SELECT groups FROM _nce_users WHERE name = ?1");
  stmt.Bind(1, user);
  if (!stmt.Step()) return std::nullopt;
  return stmt.Text(0);
}

std::shared_ptr<DictionaryState> ReadDictionaryState(sqlite3* db, const std::string& user,
                                                     bool trusted) {
  EnsureDictionaryTables(db);
  auto state = std::make_shared<DictionaryState>();
  state->user = user;
  std::set<std::string> grantees = {UpperAscii(user)};
  for (const std::string& group : SplitGroups(UserGroupsText(db, user).value_or(""))) {
    grantees.insert(UpperAscii(group));
    if (EqualsNoCase(group, kAdminGroup)) state->administrator = true;
  }
  state->trusted = trusted;
  state->administrator = state->administrator || trusted;
  state->version = RightsVersion(db);  // before the rights: a change in between is read again
  SqliteStmt rights(db, "SELECT grantee, table_name, column_name, rights FROM _nce_rights");
  while (rights.Step()) {
    DictionaryState::TableRights& table = state->tables[UpperAscii(rights.Text(1))];
    table.restricted = true;
    std::string column = UpperAscii(rights.Text(2));
    if (!column.empty()) table.restricted_columns.insert(column);
    if (!grantees.count(UpperAscii(rights.Text(0)))) continue;
    uint8_t stored = static_cast<uint8_t>(rights.Int(3));
    uint8_t bits = stored & kAllRights;
    if (column.empty()) {
      table.table |= bits;
      table.whole |= bits;
      NoteRead(table.whole_read, stored);
    } else {
      table.columns[column] |= bits;
      NoteRead(table.column_read[column], stored);
      table.table |= bits & (kRightUpdate | kRightInsert);  // some column may change
    }
  }
  // A table-wide grant holds for every column with grants of its own too.
  for (auto& [name, table] : state->tables) {
    uint8_t whole = 0;
    SqliteStmt stmt(db,
                    "SELECT rights FROM _nce_rights WHERE table_name = ?1 AND column_name = '' AND "
                    "grantee = ?2");
    for (const std::string& grantee : grantees) {
      stmt.Reset();
      stmt.Bind(1, name).Bind(2, grantee);
      while (stmt.Step()) whole |= static_cast<uint8_t>(stmt.Int(0)) & kAllRights;
    }
    for (const std::string& column : table.restricted_columns) table.columns[column] |= whole;
  }
  return state;
}

void OnDictionaryConnect(Connection& connection, bool trusted) {
  sqlite3* db = connection.db();
  connection.dictionary = ReadDictionaryState(db, connection.user_name(), trusted);
  sqlite3_set_authorizer(db, AuthorizeDictionaryAction, connection.dictionary.get());
  std::vector<std::pair<std::string, std::string>> links;
  {
    SqliteStmt read(db, "SELECT name, path FROM _nce_links ORDER BY name");
    while (read.Step()) links.emplace_back(read.Text(0), read.Text(1));
  }
  for (const auto& [name, path] : links) {
    try {
      StoreLocation location = ResolveStoreLocation(path);
      ExecSql(db, ("ATTACH DATABASE " + QuoteLiteral(location.store_file) + " AS " +
                   QuoteIdentifier(name))
                      .c_str());
      connection.dictionary->links.emplace_back(name, path);
    } catch (const EngineError&) {
      // A link whose dictionary cannot be reached stays inactive.
    }
  }
}

void RefreshDictionaryState(Connection& connection) {
  if (!connection.dictionary) return;
  if (connection.server()) return RefreshServerDictionaryState(connection);
  auto fresh = ReadDictionaryState(connection.db(), connection.dictionary->user,
                                   connection.dictionary->trusted);
  fresh->links = connection.dictionary->links;
  connection.dictionary = fresh;
  sqlite3_set_authorizer(connection.db(), AuthorizeDictionaryAction, connection.dictionary.get());
}

uint8_t TableRightsOf(const Connection& connection, const std::string& table) {
  return connection.dictionary ? connection.dictionary->RightsOnTable(table) : kAllRights;
}

uint8_t ColumnRightsOf(const Connection& connection, const std::string& table,
                       const std::string& column) {
  return connection.dictionary ? connection.dictionary->RightsOnColumn(table, column) : kAllRights;
}

void FollowRightsChanges(Connection& connection) {
  if (!connection.dictionary) return;
  if (connection.server()) return FollowServerRightsChanges(connection);
  if (RightsVersion(connection.db()) != connection.dictionary->version)
    RefreshDictionaryState(connection);
}

ScopedAuthorizerFlag::ScopedAuthorizerFlag(Connection& connection, bool DictionaryState::*flag)
    : state_(connection.dictionary), flag_(flag) {
  if (!state_) return;
  before_ = (*state_).*flag_;
  (*state_).*flag_ = true;
}

ScopedAuthorizerFlag::~ScopedAuthorizerFlag() {
  if (state_) (*state_).*flag_ = before_;
}

uint32_t RightsOpenMask(Connection& connection, const std::string& table) {
  FollowRightsChanges(connection);
  uint8_t rights = TableRightsOf(connection, table);
  uint32_t mask = ~static_cast<uint32_t>(NDS_OPEN_UPDATE_RIGHT | NDS_OPEN_INSERT_RIGHT);
  if (rights & kRightUpdate) mask |= NDS_OPEN_UPDATE_RIGHT;
  if (rights & kRightInsert) mask |= NDS_OPEN_INSERT_RIGHT;
  return mask;
}

}  // namespace nce
