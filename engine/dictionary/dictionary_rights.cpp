#include "engine/dictionary/dictionary_rights.h"

#include <optional>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"
#include "engine/storage/session_catalog.h"
#include "engine/storage/sqlite_authorizer.h"
#include "engine/storage/store.h"
#include "engine/storage/store_session.h"
#include "nce/nce.h"

namespace nce {
namespace {

// The engine's catalog and SQLite's own tables.
bool IsEngineName(const char* name) {
  return name && IsReservedName(name);
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
Authorization AuthorizeChange(const DictionaryState& state, StoreAction action, const char* table,
                              const char* column) {
  uint8_t needed = action == StoreAction::kInsert   ? kRightInsert
                   : action == StoreAction::kUpdate ? kRightUpdate
                                                    : kRightDelete;
  uint8_t granted = action == StoreAction::kUpdate && column ? state.RightsOnColumn(table, column)
                                                             : state.RightsOnTable(table);
  return (granted & needed) ? Authorization::kAllow : Authorization::kDeny;
}

// The table a data-definition action concerns: kDatabaseObject for new
// tables and views; null for actions that need no right (temporary objects,
// the engine's own tables, anything that defines nothing).
const char* DefinedTable(const ActionRequest& request) {
  switch (request.action) {
    case StoreAction::kCreateTable:
    case StoreAction::kCreateView:
    case StoreAction::kCreateVirtualTable:
      return IsEngineName(request.first) ? nullptr : kDatabaseObject;
    case StoreAction::kDropTable:
    case StoreAction::kDropView:
    case StoreAction::kDropVirtualTable:
      return request.first;
    case StoreAction::kCreateIndex:
    case StoreAction::kDropIndex:
    case StoreAction::kCreateTrigger:
    case StoreAction::kDropTrigger:
      return request.second;
    case StoreAction::kAlterTable:  // first is the schema
      return request.first && EqualsNoCase(request.first, "temp") ? nullptr : request.second;
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

Authorization DictionaryState::Authorize(const ActionRequest& request) {
  const char* table = request.first;
  if (request.trigger && std::string_view(request.trigger).rfind("_nce_", 0) == 0)
    return Authorization::kAllow;
  switch (request.action) {
    case StoreAction::kInsert:
    case StoreAction::kUpdate:
    case StoreAction::kDelete:
      if (table && IsDictionaryTable(table) && !administrator) return Authorization::kDeny;
      if (!table || IsEngineName(table)) return Authorization::kAllow;
      return AuthorizeChange(*this, request.action, table, request.second);
    case StoreAction::kRead:
      if (!table || !request.second || IsEngineName(table) || MayRead(table, request.second))
        return Authorization::kAllow;
      return refuse_hidden_reads ? Authorization::kDeny : Authorization::kIgnore;
    default:
      break;
  }
  const char* defined = DefinedTable(request);
  if (!defined || IsEngineName(defined) || engine_definitions) return Authorization::kAllow;
  return MayDefine(defined) ? Authorization::kAllow : Authorization::kDeny;
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

std::optional<std::string> UserGroupsText(StoreSession& session, const std::string& user) {
  auto read = session.Prepare("SELECT groups FROM _nce_users WHERE name = ?1");
  read->Bind(1, Value::Text(user));
  if (!read->Step()) return std::nullopt;
  return read->Column(0).bytes;
}

std::shared_ptr<DictionaryState> ReadDictionaryState(StoreSession& session, const std::string& user,
                                                     bool trusted) {
  EnsureDictionaryTables(session);
  auto state = std::make_shared<DictionaryState>();
  state->user = user;
  std::set<std::string> grantees = {UpperAscii(user)};
  for (const std::string& group : SplitGroups(UserGroupsText(session, user).value_or(""))) {
    grantees.insert(UpperAscii(group));
    if (EqualsNoCase(group, kAdminGroup)) state->administrator = true;
  }
  state->trusted = trusted;
  state->administrator = state->administrator || trusted;
  state->version = RightsVersion(session);  // before the rights: a change in between is read again
  auto rights = session.Prepare("SELECT grantee, table_name, column_name, rights FROM _nce_rights");
  while (rights->Step()) {
    DictionaryState::TableRights& table = state->tables[UpperAscii(rights->Column(1).bytes)];
    table.restricted = true;
    std::string column = UpperAscii(rights->Column(2).bytes);
    if (!column.empty()) table.restricted_columns.insert(column);
    if (!grantees.count(UpperAscii(rights->Column(0).bytes))) continue;
    uint8_t stored = static_cast<uint8_t>(rights->Column(3).integer);
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
    auto read = session.Prepare(
        "SELECT rights FROM _nce_rights WHERE table_name = ?1 AND column_name = '' AND "
        "grantee = ?2");
    for (const std::string& grantee : grantees) {
      read->Reset();
      read->Bind(1, Value::Text(name));
      read->Bind(2, Value::Text(grantee));
      while (read->Step()) whole |= static_cast<uint8_t>(read->Column(0).integer) & kAllRights;
    }
    for (const std::string& column : table.restricted_columns) table.columns[column] |= whole;
  }
  return state;
}

void OnDictionaryConnect(Connection& connection, bool trusted) {
  StoreSession& session = connection.session();
  connection.dictionary = ReadDictionaryState(session, connection.user_name(), trusted);
  SetStoreAuthorizer(session, connection.dictionary.get());
  std::vector<std::pair<std::string, std::string>> links;
  {
    auto read = session.Prepare("SELECT name, path FROM _nce_links ORDER BY name");
    while (read->Step()) links.emplace_back(read->Column(0).bytes, read->Column(1).bytes);
  }
  for (const auto& [name, path] : links) {
    try {
      StoreLocation location = ResolveStoreLocation(path);
      session.Execute("ATTACH DATABASE " + QuoteLiteral(location.store_file) + " AS " +
                      QuoteIdentifier(name));
      connection.dictionary->links.emplace_back(name, path);
    } catch (const EngineError&) {
      // A link whose dictionary cannot be reached stays inactive.
    }
  }
}

bool DictionaryMirrored(const Connection& connection) {
  return connection.dictionary && connection.dictionary->mirror;
}

void RefreshDictionaryState(Connection& connection) {
  if (!connection.dictionary) return;
  if (DictionaryMirrored(connection)) return RefreshMirroredDictionaryState(connection);
  auto fresh = ReadDictionaryState(connection.session(), connection.dictionary->user,
                                   connection.dictionary->trusted);
  fresh->links = connection.dictionary->links;
  connection.dictionary = fresh;
  SetStoreAuthorizer(connection.session(), connection.dictionary.get());
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
  if (DictionaryMirrored(connection)) return FollowMirroredRightsChanges(connection);
  if (RightsVersion(connection.session()) != connection.dictionary->version)
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
