// Statements that manage a data dictionary, run by the engine itself:
//
//   CREATE USER name [PASSWORD 'pw']        ALTER USER name PASSWORD 'pw'
//   DROP USER name                          CREATE GROUP name   DROP GROUP name
//   ADD USER name TO GROUP group            REMOVE USER name FROM GROUP group
//   GRANT right[, ...] ON table [(column, ...)] TO user_or_group
//   REVOKE right[, ...] ON table [(column, ...)] FROM user_or_group
//       (rights: SELECT, UPDATE, INSERT, DELETE, ALL)
//   CREATE LINK name PATH 'path'            DROP LINK name
//   ALTER TABLE table SET DEFAULT INDEX order   ALTER TABLE table DROP DEFAULT INDEX
//
// They need a data dictionary connection whose user administers it (see
// dictionary_rights.h).
#ifndef ENGINE_DICTIONARY_DICTIONARY_SQL_H
#define ENGINE_DICTIONARY_DICTIONARY_SQL_H

#include <string_view>

namespace nce {

class Connection;
class StoreSession;

bool IsDictionaryStatement(std::string_view sql);
// Runs one such statement (on a server, as RunMirroredDictionaryStatement);
// throws EngineError (NDS_E_RIGHTS for a user who does not administer the
// dictionary).
void RunDictionaryStatement(Connection& connection, std::string_view sql);
// The same on the dictionary's rows in `session` (a SQLite store, or the
// mirror of a server's dictionary), leaving the connection's rights as they
// were.
void RunDictionaryStatementOn(Connection& connection, StoreSession& session, std::string_view sql);

}  // namespace nce

#endif  // ENGINE_DICTIONARY_DICTIONARY_SQL_H
