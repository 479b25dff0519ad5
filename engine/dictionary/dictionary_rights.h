// The rights of a data dictionary: groups of users, the rights granted on
// tables and columns, table properties and links to other dictionaries,
// kept in catalog tables of the dictionary's store (catalog_schema.h).
// A table on which nothing is granted is open to every user; once something
// is granted on it, a user has what is granted to him or to his groups.
// Reading stays open unless a read right is revoked: a column whose read
// right is revoked from the user or his groups (and not granted to any of
// them) reads as NULL in queries, and statements that write refuse to read
// it. A revoke or grant on a column decides over one on the whole table.
// Data definition (ALTER, DROP, indexes and triggers of a table) needs the
// ALTER right on a restricted table; creating tables needs CREATE on the
// database once anything is granted or revoked on it (ON DATABASE).
// Members of the group ADMIN have every right and manage the dictionary;
// no one else changes the rows of its users, groups, rights, properties or
// links, plain SQL on those tables included.
// Connections follow an administrator's changes at their next statement.
#ifndef ENGINE_DICTIONARY_DICTIONARY_RIGHTS_H
#define ENGINE_DICTIONARY_DICTIONARY_RIGHTS_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/sqlite_authorizer.h"

namespace nce {

class Connection;
class DictionaryMirror;
class StoreSession;

// Right bits, as column permissions report them (NDS_COLUMN_*), plus delete
// and data definition; stored in _nce_rights.rights with kReadRevoked.
inline constexpr uint8_t kRightRead = 0x01;
inline constexpr uint8_t kRightUpdate = 0x02;
inline constexpr uint8_t kRightInsert = 0x04;
inline constexpr uint8_t kRightDelete = 0x08;
inline constexpr uint8_t kRightAlter = 0x10;  // data definition; on the database: CREATE
inline constexpr uint8_t kAllRights = 0x1F;
// Stored only: the read right was revoked (reading is open unless revoked).
inline constexpr uint8_t kReadRevoked = 0x20;

// The table name under which rights on the database itself are stored.
inline constexpr const char* kDatabaseObject = "";

// Name of the group whose members administer a dictionary.
inline constexpr const char* kAdminGroup = "ADMIN";

// What one dictionary connection may do, read when it connects and again
// whenever the dictionary's rights counter has moved on (FollowRightsChanges).
// As the authorizer of the connection's store it enforces the rights on
// every statement (Authorize).
struct DictionaryState : StoreAuthorizer {
  std::string user;            // the connection's user
  bool administrator = false;  // member of ADMIN, or trusted
  bool trusted = false;        // connected while the dictionary had no users
  int64_t version = -1;        // the dictionary's rights counter when read
  // The engine function (the connection lock's takings()) that last compared
  // the counter on a server; 0: none since the rights were read.
  uint64_t compared_in = 0;
  // Read decisions: granted beats revoked beats nothing said.
  enum class Read : int8_t { kUnsaid = 0, kRevoked = 1, kGranted = 2 };
  struct TableRights {
    uint8_t table = 0;                         // granted on the table (and on any of its columns)
    uint8_t whole = 0;                         // granted on the table as a whole
    std::map<std::string, uint8_t> columns;    // upper-cased column -> granted on it
    bool restricted = false;                   // something is granted on the table
    std::set<std::string> restricted_columns;  // columns with grants of their own
    Read whole_read = Read::kUnsaid;           // read right on the table as a whole
    std::map<std::string, Read> column_read;   // upper-cased column -> its read right
  };
  std::map<std::string, TableRights> tables;               // upper-cased table name
  std::vector<std::pair<std::string, std::string>> links;  // attached links: name, path
  // On a server: the in-memory copy of the dictionary and of the server's
  // tables that the rights are read and checked in (dictionary_mirror.h).
  std::shared_ptr<DictionaryMirror> mirror;
  // Set while a statement that writes is prepared: hidden columns refuse it
  // instead of reading NULL (see RefuseHiddenReads).
  bool refuse_hidden_reads = false;
  // Set while the engine defines its own objects (type guards, catalog) in
  // the course of a statement already authorized (see EngineDefinitions).
  bool engine_definitions = false;

  uint8_t RightsOnTable(const std::string& table) const;
  uint8_t RightsOnColumn(const std::string& table, const std::string& column) const;
  bool MayRead(const std::string& table, const std::string& column) const;
  // Data definition on `table`; kDatabaseObject for creating new tables.
  bool MayDefine(const std::string& table) const;

  // The engine's catalog and the work of its own triggers (numbering, type
  // guards, lock fences) are always allowed.
  Authorization Authorize(const ActionRequest& request) override;
};

// Whether the connection has a data dictionary whose rights are read and
// checked in a mirror of it (dictionary_mirror.h): the dictionary of a
// store that applies no rights itself (a server), chosen at connect.
bool DictionaryMirrored(const Connection& connection);

// The groups of `user` (";"-separated as stored), nullopt for no such user.
std::optional<std::string> UserGroupsText(StoreSession& session, const std::string& user);
// The group names of such a ";"-separated text, empty names left out.
std::vector<std::string> SplitGroups(const std::string& text);

// Reads the rights of `user` from the dictionary's tables in `session` (a
// SQLite store, or a server dictionary's mirror) into a state; `trusted`
// marks a connection made while the dictionary had no users.
std::shared_ptr<DictionaryState> ReadDictionaryState(StoreSession& session, const std::string& user,
                                                     bool trusted);

// Sets up a dictionary connection: its rights, the authorizer that enforces
// them on every statement, and its links attached as schemas.
void OnDictionaryConnect(Connection& connection, bool trusted);

// Reads the rights again (after GRANT, REVOKE and the like). Setting the
// authorizer again expires the connection's prepared statements, so cursors
// prepare theirs anew under the new rights.
void RefreshDictionaryState(Connection& connection);
// Reads the rights again when the dictionary's rights counter has moved on
// since they were read (an administrator changed them on any connection).
// Costs one small query on a dictionary connection, nothing on free tables.
void FollowRightsChanges(Connection& connection);

// While it lives, one flag of the connection's dictionary state that the
// authorizer reads is set; it is put back as it was after. Does nothing on
// free tables.
class ScopedAuthorizerFlag {
 public:
  ScopedAuthorizerFlag(Connection& connection, bool DictionaryState::*flag);
  ~ScopedAuthorizerFlag();
  ScopedAuthorizerFlag(const ScopedAuthorizerFlag&) = delete;
  ScopedAuthorizerFlag& operator=(const ScopedAuthorizerFlag&) = delete;

 private:
  std::shared_ptr<DictionaryState> state_;  // the state the authorizer reads; null on free tables
  bool DictionaryState::*flag_;             // the flag set
  bool before_ = false;                     // its value before
};

// While it lives, a statement prepared on `connection` that reads a column
// hidden from the user fails (NDS_E_RIGHTS) instead of reading NULL: a
// statement that writes must not compute its changes from values the user
// cannot see.
class RefuseHiddenReads : public ScopedAuthorizerFlag {
 public:
  explicit RefuseHiddenReads(Connection& connection)
      : ScopedAuthorizerFlag(connection, &DictionaryState::refuse_hidden_reads) {}
};

// Rights of the connection's user on a table / column: every right on a
// free-table connection.
uint8_t TableRightsOf(const Connection& connection, const std::string& table);
uint8_t ColumnRightsOf(const Connection& connection, const std::string& table,
                       const std::string& column);

// While it lives, data definition on `connection` is the engine's own work
// that follows a statement already authorized (type guards dropped before an
// ALTER TABLE and made again after it, the catalog's sync) and needs no
// right of the user.
class EngineDefinitions : public ScopedAuthorizerFlag {
 public:
  explicit EngineDefinitions(Connection& connection)
      : ScopedAuthorizerFlag(connection, &DictionaryState::engine_definitions) {}
};

// NDS_OPEN_UPDATE_RIGHT and NDS_OPEN_INSERT_RIGHT as far as the user of
// `connection` holds them on `table`. A table open is a statement of the
// connection: it follows rights changes first (FollowRightsChanges).
uint32_t RightsOpenMask(Connection& connection, const std::string& table);

}  // namespace nce

#endif  // ENGINE_DICTIONARY_DICTIONARY_RIGHTS_H
