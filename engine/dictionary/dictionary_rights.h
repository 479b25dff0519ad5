// The rights of a data dictionary: groups of users, the rights granted on
// tables and columns, table properties and links to other dictionaries,
// kept in catalog tables of the dictionary's store (catalog_schema.h).
// A table on which nothing is granted is open to every user; once something
// is granted on it, a user has what is granted to him or to his groups.
// Members of the group ADMIN have every right and manage the dictionary.
#ifndef ENGINE_DICTIONARY_DICTIONARY_RIGHTS_H
#define ENGINE_DICTIONARY_DICTIONARY_RIGHTS_H

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace nce {

class Connection;

// Right bits, as column permissions report them (NDS_COLUMN_*), plus delete.
inline constexpr uint8_t kRightRead = 0x01;
inline constexpr uint8_t kRightUpdate = 0x02;
inline constexpr uint8_t kRightInsert = 0x04;
inline constexpr uint8_t kRightDelete = 0x08;
inline constexpr uint8_t kAllRights = 0x0F;

// Name of the group whose members administer a dictionary.
inline constexpr const char* kAdminGroup = "ADMIN";

// What one dictionary connection may do, read when it connects (and again
// after it changes rights itself).
struct DictionaryState {
  std::string user;            // the connection's user
  bool administrator = false;  // member of ADMIN, or trusted
  bool trusted = false;        // connected while the dictionary had no users
  struct TableRights {
    uint8_t table = 0;                         // granted on the table (and on any of its columns)
    uint8_t whole = 0;                         // granted on the table as a whole
    std::map<std::string, uint8_t> columns;    // upper-cased column -> granted on it
    bool restricted = false;                   // something is granted on the table
    std::set<std::string> restricted_columns;  // columns with grants of their own
  };
  std::map<std::string, TableRights> tables;               // upper-cased table name
  std::vector<std::pair<std::string, std::string>> links;  // attached links: name, path

  uint8_t RightsOnTable(const std::string& table) const;
  uint8_t RightsOnColumn(const std::string& table, const std::string& column) const;
};

// The groups of `user` (";"-separated as stored), nullopt for no such user.
std::optional<std::string> UserGroupsText(sqlite3* db, const std::string& user);
// The group names of such a ";"-separated text, empty names left out.
std::vector<std::string> SplitGroups(const std::string& text);

// Reads the rights of `user` into a state; `trusted` marks a connection
// made while the dictionary had no users.
std::shared_ptr<DictionaryState> ReadDictionaryState(sqlite3* db, const std::string& user,
                                                     bool trusted);

// Sets up a dictionary connection: its rights, the authorizer that enforces
// them on every statement, and its links attached as schemas.
void OnDictionaryConnect(Connection& connection, bool trusted);
// Reads the rights again (after GRANT, REVOKE and the like).
void RefreshDictionaryState(Connection& connection);

// Rights of the connection's user on a table / column: every right on a
// free-table connection.
uint8_t TableRightsOf(const Connection& connection, const std::string& table);
uint8_t ColumnRightsOf(const Connection& connection, const std::string& table,
                       const std::string& column);

// NDS_OPEN_UPDATE_RIGHT and NDS_OPEN_INSERT_RIGHT as far as the user of
// `connection` holds them on `table`.
uint32_t RightsOpenMask(const Connection& connection, const std::string& table);

}  // namespace nce

#endif  // ENGINE_DICTIONARY_DICTIONARY_RIGHTS_H
