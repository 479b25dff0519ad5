#include "engine/dictionary/dictionary_sql.h"

#include <cctype>
#include <string>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/dictionary/dictionary_users.h"
#include "engine/schema/catalog.h"
#include "engine/storage/connection.h"
#include "engine/storage/session_catalog.h"
#include "engine/storage/store.h"
#include "engine/storage/store_session.h"

namespace nce {
namespace {

// Words, quoted texts and punctuation of a statement.
struct Token {
  std::string text;     // word or the text inside quotes
  bool quoted = false;  // '...' or "..."
};

std::vector<Token> Tokens(std::string_view sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c)) || c == ';') {
      ++i;
    } else if (c == '\'' || c == '"' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t end = sql.find(close, i + 1);
      if (end == std::string_view::npos)
        throw EngineError(NDS_E_SQL, "SQL error: NativeError = 1; a quoted text is not closed");
      tokens.push_back({std::string(sql.substr(i + 1, end - i - 1)), c == '\''});
      i = end + 1;
    } else if (c == ',' || c == '(' || c == ')') {
      tokens.push_back({std::string(1, c), false});
      ++i;
    } else {
      size_t end = i;
      while (end < sql.size() && !std::isspace(static_cast<unsigned char>(sql[end])) &&
             sql[end] != ',' && sql[end] != '(' && sql[end] != ')' && sql[end] != ';')
        ++end;
      tokens.push_back({std::string(sql.substr(i, end - i)), false});
      i = end;
    }
  }
  return tokens;
}

class Statement {
 public:
  explicit Statement(std::string_view sql) : tokens_(Tokens(sql)) {}

  bool Is(size_t at, const char* word) const {
    return at < tokens_.size() && !tokens_[at].quoted && EqualsNoCase(tokens_[at].text, word);
  }
  bool Starts(std::initializer_list<const char*> words) const {
    size_t i = 0;
    for (const char* w : words)
      if (!Is(i++, w)) return false;
    return true;
  }
  bool Next(const char* word) {
    if (!Is(pos_, word)) return false;
    ++pos_;
    return true;
  }
  void Expect(const char* word) {
    if (!Next(word)) Malformed(std::string(word) + " expected");
  }
  std::string Name(const char* what) {
    if (pos_ >= tokens_.size() || tokens_[pos_].text == "," || tokens_[pos_].text == "(" ||
        tokens_[pos_].text == ")")
      Malformed(std::string(what) + " expected");
    return tokens_[pos_++].text;
  }
  std::string Text(const char* what) {
    if (pos_ >= tokens_.size() || !tokens_[pos_].quoted)
      Malformed(std::string(what) + " expected in quotes");
    return tokens_[pos_++].text;
  }
  void Skip(size_t n) { pos_ += n; }
  bool AtEnd() const { return pos_ >= tokens_.size(); }
  void End() {
    if (!AtEnd()) Malformed("unexpected " + tokens_[pos_].text);
  }
  [[noreturn]] static void Malformed(const std::string& what) {
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 1; " + what);
  }

 private:
  std::vector<Token> tokens_;
  size_t pos_ = 0;
};

void RequireAdministrator(const Connection& connection) {
  if (!connection.dictionary)
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      "Users, groups, rights and links belong to a data dictionary (.ndd); this "
                      "connection has none.");
  if (!connection.dictionary || !connection.dictionary->administrator)
    throw EngineError(NDS_E_RIGHTS,
                      "Only members of the group " + std::string(kAdminGroup) +
                          " may change users, groups, rights and links of this dictionary.");
}

bool Exists(StoreSession& session, const char* sql, const std::string& name) {
  auto read = session.Prepare(sql);
  read->Bind(1, Value::Text(name));
  return read->Step();
}

// Runs one statement that writes, `values` bound to ?1, ?2 ...; returns the
// rows it changed.
int64_t Write(StoreSession& session, const char* sql, std::initializer_list<Value> values) {
  auto write = session.Prepare(sql);
  int index = 0;
  for (const Value& value : values) write->Bind(++index, value);
  write->Step();
  return write->RowsChanged();
}

void RequireUser(StoreSession& session, const std::string& user) {
  if (!Exists(session, "SELECT 1 FROM _nce_users WHERE name = ?1", user))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "The dictionary has no user " + user + ".");
}

void RequireTable(StoreSession& session, const std::string& table) {
  std::optional<TableDesc> desc = DescribeTable(session, table);
  if (!desc || IsReservedName(desc->name))
    throw EngineError(NDS_E_INVALID_TABLE, "The table " + table + " does not exist.");
}

void WriteGroups(StoreSession& session, const std::string& user,
                 const std::vector<std::string>& groups) {
  std::string text;
  for (const std::string& g : groups) text += (text.empty() ? "" : ";") + g;
  Write(session, "UPDATE _nce_users SET groups = ?2 WHERE name = ?1",
        {Value::Text(user), Value::Text(text)});
}

uint8_t RightBits(Statement& s) {
  uint8_t bits = 0;
  do {
    std::string right = UpperAscii(s.Name("a right"));
    if (right == "SELECT" || right == "READ")
      bits |= kRightRead;
    else if (right == "UPDATE")
      bits |= kRightUpdate;
    else if (right == "INSERT")
      bits |= kRightInsert;
    else if (right == "DELETE")
      bits |= kRightDelete;
    else if (right == "ALTER" || right == "CREATE")
      bits |= kRightAlter;
    else if (right == "ALL")
      bits |= kAllRights;
    else
      Statement::Malformed("unknown right " + right);
  } while (s.Next(","));
  return bits;
}

void GrantOrRevoke(StoreSession& session, Statement& s, bool grant) {
  uint8_t bits = RightBits(s);
  s.Expect("ON");
  std::string table = kDatabaseObject;
  std::vector<std::string> columns;
  if (!s.Next("DATABASE")) {
    table = s.Name("table name");
    RequireTable(session, table);
    if (s.Next("(")) {
      do columns.push_back(s.Name("column name"));
      while (s.Next(","));
      s.Expect(")");
    }
  } else if (bits != kRightAlter) {
    Statement::Malformed("only CREATE is granted or revoked on the database");
  }
  if (columns.empty()) columns.push_back("");
  s.Expect(grant ? "TO" : "FROM");
  std::string grantee = s.Name("user or group");
  s.End();
  if (!Exists(session, "SELECT 1 FROM _nce_users WHERE name = ?1", grantee) &&
      !Exists(session, "SELECT 1 FROM _nce_groups WHERE name = ?1", grantee))
    throw EngineError(NDS_E_INVALID_ARGUMENT,
                      "The dictionary has no user or group " + grantee + ".");
  // Reading is open unless revoked, so a revoked read right is stored as
  // such; granting it again clears the mark.
  const uint8_t revoked = (bits & kRightRead) ? kReadRevoked : 0;
  for (const std::string& column : columns) {
    // A revoked right leaves the row (and so the table restricted).
    Write(session,
          grant ? "INSERT INTO _nce_rights(grantee, table_name, column_name, rights) VALUES(?1, "
                  "?2, ?3, ?4) ON CONFLICT(grantee, table_name, column_name) DO UPDATE SET "
                  "rights = (rights | ?4) & ~?5"
                : "INSERT INTO _nce_rights(grantee, table_name, column_name, rights) VALUES(?1, "
                  "?2, ?3, ?5) ON CONFLICT(grantee, table_name, column_name) DO UPDATE SET "
                  "rights = (rights & ~?4) | ?5",
          {Value::Text(grantee), Value::Text(table), Value::Text(column), Value::Integer(bits),
           Value::Integer(revoked)});
  }
}

void RunUserStatement(Connection& connection, StoreSession& session, Statement& s) {
  if (s.Starts({"CREATE", "USER"})) {
    s.Skip(2);
    std::string user = s.Name("user name");
    std::string password = s.Next("PASSWORD") ? s.Text("password") : "";
    s.End();
    if (Exists(session, "SELECT 1 FROM _nce_users WHERE name = ?1", user))
      throw EngineError(NDS_E_INVALID_ARGUMENT, "The dictionary already has a user " + user + ".");
    SetDictionaryUser(session, user, password, "");
  } else if (s.Starts({"ALTER", "USER"})) {
    s.Skip(2);
    std::string user = s.Name("user name");
    s.Expect("PASSWORD");
    std::string password = s.Text("password");
    s.End();
    RequireUser(session, user);
    SetDictionaryUser(session, user, password, UserGroupsText(session, user).value_or(""));
  } else if (s.Starts({"DROP", "USER"})) {
    s.Skip(2);
    std::string user = s.Name("user name");
    s.End();
    RequireUser(session, user);
    Write(session, "DELETE FROM _nce_users WHERE name = ?1", {Value::Text(user)});
    Write(session, "DELETE FROM _nce_rights WHERE grantee = ?1", {Value::Text(user)});
  } else if (s.Starts({"ADD", "USER"}) || s.Starts({"REMOVE", "USER"})) {
    bool add = s.Is(0, "ADD");
    s.Skip(2);
    std::string user = s.Name("user name");
    s.Expect(add ? "TO" : "FROM");
    s.Expect("GROUP");
    std::string group = s.Name("group name");
    s.End();
    RequireUser(session, user);
    if (!Exists(session, "SELECT 1 FROM _nce_groups WHERE name = ?1", group))
      throw EngineError(NDS_E_INVALID_ARGUMENT, "The dictionary has no group " + group + ".");
    std::vector<std::string> groups = SplitGroups(UserGroupsText(session, user).value_or(""));
    std::vector<std::string> kept;
    for (const std::string& g : groups)
      if (!EqualsNoCase(g, group)) kept.push_back(g);
    if (add) kept.push_back(group);
    WriteGroups(session, user, kept);
  }
  (void)connection;
}

}  // namespace

bool IsDictionaryStatement(std::string_view sql) {
  Statement s(sql);
  for (const char* object : {"USER", "GROUP", "LINK"})
    if (s.Starts({"CREATE", object}) || s.Starts({"DROP", object})) return true;
  return s.Starts({"ALTER", "USER"}) || s.Starts({"ADD", "USER"}) || s.Starts({"REMOVE", "USER"}) ||
         s.Is(0, "GRANT") || s.Is(0, "REVOKE") ||
         (s.Starts({"ALTER", "TABLE"}) && (s.Is(3, "SET") || s.Is(3, "DROP")) &&
          s.Is(4, "DEFAULT"));
}

void RunDictionaryStatement(Connection& connection, std::string_view sql) {
  if (DictionaryMirrored(connection)) return RunMirroredDictionaryStatement(connection, sql);
  RunDictionaryStatementOn(connection, connection.session(), sql);
  RefreshDictionaryState(connection);
}

void RunDictionaryStatementOn(Connection& connection, StoreSession& session, std::string_view sql) {
  RequireAdministrator(connection);
  EnsureDictionaryTables(session);
  Statement s(sql);
  // A link attaches another dictionary's SQLite store, which a connection
  // to a server (whose dictionary is mirrored) cannot reach.
  if (DictionaryMirrored(connection) &&
      (s.Starts({"CREATE", "LINK"}) || s.Starts({"DROP", "LINK"})))
    throw EngineError(NDS_E_NOT_SUPPORTED,
                      "Links to other dictionaries are not available on a database on a "
                      "PostgreSQL server.");
  if (s.Starts({"CREATE", "GROUP"}) || s.Starts({"DROP", "GROUP"})) {
    bool create = s.Is(0, "CREATE");
    s.Skip(2);
    std::string group = s.Name("group name");
    s.End();
    bool exists = Exists(session, "SELECT 1 FROM _nce_groups WHERE name = ?1", group);
    if (create == exists)
      throw EngineError(NDS_E_INVALID_ARGUMENT, "The dictionary " +
                                                    std::string(exists ? "already has" : "has no") +
                                                    " group " + group + ".");
    Write(session,
          create ? "INSERT INTO _nce_groups(name) VALUES(?1)"
                 : "DELETE FROM _nce_groups WHERE name = ?1",
          {Value::Text(group)});
    if (!create) {
      Write(session, "DELETE FROM _nce_rights WHERE grantee = ?1", {Value::Text(group)});
      auto users = session.Prepare("SELECT name, groups FROM _nce_users");
      std::vector<std::pair<std::string, std::vector<std::string>>> changes;
      while (users->Step()) {
        std::vector<std::string> kept;
        for (const std::string& g : SplitGroups(users->Column(1).bytes))
          if (!EqualsNoCase(g, group)) kept.push_back(g);
        changes.emplace_back(users->Column(0).bytes, kept);
      }
      for (const auto& [user, groups] : changes) WriteGroups(session, user, groups);
    }
  } else if (s.Starts({"CREATE", "LINK"})) {
    s.Skip(2);
    std::string name = s.Name("link name");
    s.Expect("PATH");
    std::string path = s.Text("path");
    s.End();
    StoreLocation location = ResolveStoreLocation(path);  // refuses a path that names no database
    Write(session, "INSERT INTO _nce_links(name, path) VALUES(?1, ?2)",
          {Value::Text(name), Value::Text(path)});
    session.Execute("ATTACH DATABASE " + QuoteLiteral(location.store_file) + " AS " +
                    QuoteIdentifier(name));
    if (connection.dictionary) connection.dictionary->links.emplace_back(name, path);
  } else if (s.Starts({"DROP", "LINK"})) {
    s.Skip(2);
    std::string name = s.Name("link name");
    s.End();
    if (Write(session, "DELETE FROM _nce_links WHERE name = ?1", {Value::Text(name)}) == 0)
      throw EngineError(NDS_E_INVALID_ARGUMENT, "The dictionary has no link " + name + ".");
    if (connection.dictionary) {
      auto& links = connection.dictionary->links;
      for (auto it = links.begin(); it != links.end(); ++it) {
        if (!EqualsNoCase(it->first, name)) continue;
        try {
          session.Execute("DETACH DATABASE " + QuoteIdentifier(it->first));
        } catch (const EngineError&) {
          // Not attached (its dictionary could not be reached): nothing to undo.
        }
        links.erase(it);
        break;
      }
    }
  } else if (s.Starts({"ALTER", "TABLE"})) {
    s.Skip(2);
    std::string table = s.Name("table name");
    RequireTable(session, table);
    if (s.Next("SET")) {
      s.Expect("DEFAULT");
      s.Expect("INDEX");
      std::string order = s.Name("index order name");
      s.End();
      Write(session,
            "INSERT INTO _nce_table_properties(table_name, property, value) VALUES(?1, 213, ?2) "
            "ON CONFLICT(table_name, property) DO UPDATE SET value = ?2",
            {Value::Text(table), Value::Text(order)});
    } else {
      s.Expect("DROP");
      s.Expect("DEFAULT");
      s.Expect("INDEX");
      s.End();
      Write(session, "DELETE FROM _nce_table_properties WHERE table_name = ?1 AND property = 213",
            {Value::Text(table)});
    }
  } else if (s.Is(0, "GRANT") || s.Is(0, "REVOKE")) {
    bool grant = s.Is(0, "GRANT");
    s.Skip(1);
    GrantOrRevoke(session, s, grant);
  } else {
    RunUserStatement(connection, session, s);
  }
}

}  // namespace nce
