// The data dictionary of a store that applies no rights itself (a database
// on a PostgreSQL server; DictionaryMirrored). Its users, groups, rights and
// table properties live in catalog tables of the store, and each connection
// keeps a mirror of them in a private in-memory SQLite database, where the
// SQLite dictionary's own code reads logins and rights and runs the
// dictionary's statements.
//
// Such a store has no authorizer callback, so the mirror also holds an empty
// table with the columns of every table the store shows the connection: a
// statement of a user who does not administer the dictionary is prepared
// there under the rights' authorizer before it is sent. A statement the
// mirror cannot prepare (the store's own dialect) is refused for such a
// user rather than run unchecked. A query that reads a column hidden from
// him reads it as NULL through views made for it (hidden_column_views.h);
// any other statement that reads one is refused, as on SQLite.
#ifndef ENGINE_DICTIONARY_DICTIONARY_MIRROR_H
#define ENGINE_DICTIONARY_DICTIONARY_MIRROR_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nce {

class Connection;
class StoreSession;

// A private in-memory SQLite database holding a server dictionary's rows
// and its tables' shapes. Not copyable: it owns the database.
class DictionaryMirror {
 public:
  DictionaryMirror();  // throws NDS_E_MEMORY when no database can be opened
  ~DictionaryMirror();
  DictionaryMirror(const DictionaryMirror&) = delete;
  DictionaryMirror& operator=(const DictionaryMirror&) = delete;

  StoreSession& session() const { return *session_; }
  // Whether its tables still have the shapes the server's had when read.
  bool shapes_current() const { return shapes_current_; }
  void set_shapes_current(bool current) { shapes_current_ = current; }

 private:
  std::unique_ptr<StoreSession> session_;  // on the private database
  bool shapes_current_ = false;            // see shapes_current()
};

// At connect on a server: reads the dictionary, checks `user` and
// `password` once it has users (NDS_E_LOGIN_FAILED as on SQLite), and gives
// the connection its rights.
void OnMirroredDictionaryConnect(Connection& connection, const std::string& user,
                                 const std::string& password);

// Reads the dictionary's rows and rights again (the server's counter moved).
void RefreshMirroredDictionaryState(Connection& connection);
// Reads them again when another connection changed them since.
void FollowMirroredRightsChanges(Connection& connection);

// The mirror's database with the server's tables as they are now, for the
// dictionary's engine functions (properties, object searches).
StoreSession& MirroredDictionarySession(Connection& connection);

// Takes the lock that serialises the dictionary's writers until the end of
// the session's open transaction.
void LockMirroredDictionary(StoreSession& session);

// Runs one dictionary statement (dictionary_sql.h) inside the caller's
// transaction or savepoint: under a lock that serialises the dictionary's
// writers, on rows read fresh from the server, which then get the result.
void RunMirroredDictionaryStatement(Connection& connection, std::string_view sql);

// Throws NDS_E_RIGHTS unless the connection's user may run `sql` (one
// statement as the server gets it, markers as ?N). Administrators run
// anything. The mirror's tables are read from the server when they may
// have changed since (see ForgetMirroredTableShapes). A `query` (a SELECT)
// may read columns hidden from the user: it gets the tables it reads them
// from, which it must read through HiddenColumnViews; any other statement
// that reads one is refused.
std::vector<std::string> AuthorizeMirroredStatement(Connection& connection, const std::string& sql,
                                                    bool query);
// The server's tables may have changed: at the start of an execution (any
// session may have changed them), and after a statement that changes the
// schema or ends a transaction or savepoint.
void ForgetMirroredTableShapes(Connection& connection);

}  // namespace nce

#endif  // ENGINE_DICTIONARY_DICTIONARY_MIRROR_H
