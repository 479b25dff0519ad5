// The data dictionary on both stores: a .ndd dictionary on SQLite and a
// database on the test PostgreSQL server, each with an administrator and a
// restricted user on connections of their own. Logins, rights on
// statements, an administrator's change reaching an open connection, and
// what a server refuses where SQLite reads NULL.
#include <fstream>
#include <string>
#include <vector>

#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"

namespace nce_test {
namespace {

class DictionaryOnStores : public ::testing::TestWithParam<StoreKind> {
 protected:
  DictionaryOnStores() : store_(GetParam()) {
    path_ = store_.OnServer() ? store_.path() : store_.path() + "/app.ndd";
    if (!store_.OnServer()) std::ofstream(path_).close();  // a new dictionary
    setup_ = Connect("", "");
    for (const char* sql :
         {"CREATE TABLE parts (code CHAR(6), name CHAR(20), qty INTEGER)",
          "INSERT INTO parts VALUES ('P1', 'Bolt', 10), ('P2', 'Anchor', 5)", "CREATE GROUP ADMIN",
          "CREATE GROUP clerks", "CREATE USER boss PASSWORD 'secret'",
          "ADD USER boss TO GROUP ADMIN", "CREATE USER clerk PASSWORD 'pw'",
          "ADD USER clerk TO GROUP clerks", "GRANT SELECT ON parts TO clerks"})
      RunSqlOrFail(setup_, sql);
    boss_ = Connect("boss", "secret");
    clerk_ = Connect("clerk", "pw");
  }
  ~DictionaryOnStores() override {
    for (NDSHANDLE c : connections_) NdsDisconnect(c);
  }

  NDSRESULT TryConnect(const std::string& user, const std::string& password) {
    NDSHANDLE connection = 0;
    NDSRESULT rc =
        NdsConnect60(path_.c_str(), store_.OnServer() ? NDS_REMOTE_SERVER : NDS_LOCAL_SERVER,
                     user.c_str(), password.c_str(), 0, &connection);
    if (connection) connections_.push_back(connection);
    return rc;
  }
  NDSHANDLE Connect(const std::string& user, const std::string& password) {
    EXPECT_EQ(TryConnect(user, password), NDS_SUCCESS) << LastErrorText();
    return connections_.empty() ? 0 : connections_.back();
  }
  // The table as the administrator reads it.
  std::string Parts() { return RowsText(boss_, "SELECT code, name, qty FROM parts ORDER BY code"); }

  TestStore store_;
  std::string path_;
  std::vector<NDSHANDLE> connections_;
  NDSHANDLE setup_ = 0, boss_ = 0, clerk_ = 0;
};

TEST_P(DictionaryOnStores, ALoginNeedsTheRightPassword) {
  EXPECT_EQ(TryConnect("clerk", "wrong"), NDS_E_LOGIN_FAILED);
  EXPECT_EQ(TryConnect("nobody", "pw"), NDS_E_LOGIN_FAILED);
  EXPECT_EQ(TryConnect("", ""), NDS_E_LOGIN_FAILED);
  EXPECT_EQ(TryConnect("CLERK", "pw"), NDS_SUCCESS) << LastErrorText();  // names ignore case
  RunSqlOrFail(boss_, "ALTER USER clerk PASSWORD 'new'");
  EXPECT_EQ(TryConnect("clerk", "pw"), NDS_E_LOGIN_FAILED);
  EXPECT_EQ(TryConnect("clerk", "new"), NDS_SUCCESS) << LastErrorText();
}

// The clerk may read; every write is refused and changes nothing, until the
// administrator grants it on his open connection's next statement.
TEST_P(DictionaryOnStores, RightsDecideWhatARestrictedUserRuns) {
  const std::string before = Parts();
  EXPECT_EQ(RowsText(clerk_, "SELECT code FROM parts ORDER BY code"), "P1\nP2\n");
  EXPECT_EQ(RunSql(clerk_, "UPDATE parts SET qty = 1"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "INSERT INTO parts VALUES ('P9', 'x', 1)"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "DELETE FROM parts"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "DROP TABLE parts"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "INSERT INTO parts VALUES ('P8', 'y', 2); SELECT 1"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "CREATE USER intruder PASSWORD 'x'"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "GRANT ALL ON parts TO clerk"), NDS_E_RIGHTS);
  EXPECT_EQ(Parts(), before);
  // The refusal comes when the statement is prepared, as on SQLite.
  NDSHANDLE statement = 0;
  ASSERT_EQ(NdsCreateSQLStatement(clerk_, &statement), NDS_SUCCESS);
  EXPECT_EQ(NdsPrepareSQL(statement, "SELECT 1; DELETE FROM parts"), NDS_E_RIGHTS);
  NdsCloseSQLStatement(statement);
  // A table the script makes is checked by the columns it got.
  RunSqlOrFail(clerk_, "CREATE TABLE mine (n INTEGER); INSERT INTO mine (n) VALUES (1)");
  EXPECT_EQ(RowsText(clerk_, "SELECT n FROM mine"), "1\n");

  RunSqlOrFail(boss_, "GRANT UPDATE ON parts (qty) TO clerk");
  RunSqlOrFail(clerk_, "UPDATE parts SET qty = qty + 1 WHERE code = 'P1'");
  EXPECT_EQ(RunSql(clerk_, "UPDATE parts SET name = 'x'"), NDS_E_RIGHTS);
  EXPECT_EQ(Parts(), "P1|Bolt|11\nP2|Anchor|5\n");
  RunSqlOrFail(boss_, "REVOKE UPDATE ON parts (qty) FROM clerk");
  EXPECT_EQ(RunSql(clerk_, "UPDATE parts SET qty = 0"), NDS_E_RIGHTS);
  EXPECT_EQ(Parts(), "P1|Bolt|11\nP2|Anchor|5\n");
}

// A revoked read right: SQLite reads the column as NULL for the clerk, a
// server refuses the statement; neither shows its values, in the result
// or through a condition.
TEST_P(DictionaryOnStores, ARevokedColumnDoesNotLeak) {
  RunSqlOrFail(boss_, "GRANT UPDATE ON parts TO clerk");
  RunSqlOrFail(boss_, "REVOKE SELECT ON parts (qty) FROM clerk");
  for (const char* select : {"SELECT code, qty FROM parts WHERE code = 'P1'", "SELECT * FROM parts",
                             "SELECT count(*) FROM parts WHERE qty > 6"}) {
    NDSHANDLE statement = 0, cursor = 0;
    ASSERT_EQ(NdsCreateSQLStatement(clerk_, &statement), NDS_SUCCESS);
    NDSRESULT rc = NdsExecuteSQLDirect(statement, select, &cursor);
    if (store_.OnServer()) {
      EXPECT_EQ(rc, NDS_E_RIGHTS) << select;
      EXPECT_NE(LastErrorText().find("qty"), std::string::npos) << LastErrorText();
    } else {
      ASSERT_EQ(rc, NDS_SUCCESS) << LastErrorText();
      NdsCloseTable(cursor);
    }
    NdsCloseSQLStatement(statement);
  }
  if (!store_.OnServer()) {
    EXPECT_EQ(RowsText(clerk_, "SELECT code, qty FROM parts ORDER BY code"), "P1|\nP2|\n");
  }
  EXPECT_EQ(RowsText(clerk_, "SELECT code, name FROM parts ORDER BY code"), "P1|Bolt\nP2|Anchor\n");
  EXPECT_EQ(RunSql(clerk_, "UPDATE parts SET name = 'Big' WHERE qty > 6"), NDS_E_RIGHTS);
  EXPECT_EQ(Parts(), "P1|Bolt|10\nP2|Anchor|5\n");
  RunSqlOrFail(boss_, "GRANT SELECT ON parts (qty) TO clerk");
  EXPECT_EQ(RowsText(clerk_, "SELECT code, qty FROM parts ORDER BY code"), "P1|10\nP2|5\n");
}

TEST_P(DictionaryOnStores, DictionaryFunctionsReadTheDictionary) {
  char text[200];
  uint16_t length = sizeof text;
  RunSqlOrFail(boss_, "ADD USER clerk TO GROUP ADMIN");
  ASSERT_EQ(NdsDDGetUserProperty(clerk_, "clerk", NDS_DD_USER_GROUP_MEMBERSHIP, text, &length),
            NDS_SUCCESS)
      << LastErrorText();
  EXPECT_STREQ(text, "clerks;ADMIN");
  NDSHANDLE find = 0;
  for (uint16_t kind : {NDS_DD_USER_OBJECT, NDS_DD_TABLE_LIST}) {
    length = sizeof text;
    ASSERT_EQ(NdsDDFindFirstObject(boss_, kind, "", text, &length, &find), NDS_SUCCESS)
        << LastErrorText();
    EXPECT_STREQ(text, kind == NDS_DD_USER_OBJECT ? "boss" : "parts");
    NdsDDFindClose(boss_, find);
  }
  // Now an administrator, the clerk writes at his next statement.
  RunSqlOrFail(clerk_, "UPDATE parts SET qty = 0 WHERE code = 'P2'");
  EXPECT_EQ(Parts(), "P1|Bolt|10\nP2|Anchor|0\n");
}

// Plain SQL on the dictionary's own tables would let any user make himself
// an administrator or grant himself rights.
TEST_P(DictionaryOnStores, OnlyAdministratorsWriteTheDictionarysTables) {
  EXPECT_EQ(RunSql(clerk_, "UPDATE _nce_users SET groups = 'ADMIN' WHERE name = 'clerk'"),
            NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "INSERT INTO _nce_rights VALUES ('clerk', 'parts', '', 31)"),
            NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "DELETE FROM _nce_rights"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "DELETE FROM _nce_users WHERE name = 'boss'"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "UPDATE parts SET qty = 1"), NDS_E_RIGHTS);
  EXPECT_EQ(RowsText(boss_, "SELECT name, groups FROM _nce_users ORDER BY name"),
            "boss|ADMIN\nclerk|clerks\n");
  EXPECT_EQ(RowsText(boss_, "SELECT count(*) FROM _nce_rights"), "1\n");
}

// A table cursor keeps to the rights as statements do: a hidden column
// reads empty, and a change without its right is refused and changes
// nothing.
TEST_P(DictionaryOnStores, TableCursorsKeepToTheRights) {
  RunSqlOrFail(boss_, "REVOKE SELECT ON parts (qty) FROM clerk");
  RunSqlOrFail(boss_, "GRANT UPDATE ON parts (name) TO clerk");
  const std::string before = Parts();
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(clerk_, "parts", 0, 0, 0, &cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsGotoTop(cursor), NDS_SUCCESS) << LastErrorText();
  char text[32];
  uint32_t length = sizeof text;
  ASSERT_EQ(NdsGetField(cursor, "qty", text, &length, NDS_TRIM_RIGHT), NDS_SUCCESS);
  EXPECT_EQ(std::string(text, length), "");
  ASSERT_EQ(NdsSetField(cursor, "qty", "99", 2), NDS_SUCCESS);
  EXPECT_EQ(NdsWriteRecord(cursor), NDS_E_RIGHTS);
  ASSERT_EQ(NdsCancelUpdate(cursor), NDS_SUCCESS);
  EXPECT_EQ(NdsDeleteRecord(cursor), NDS_E_RIGHTS);
  ASSERT_EQ(NdsAppendRecord(cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsSetField(cursor, "code", "P7", 2), NDS_SUCCESS);
  EXPECT_EQ(NdsWriteRecord(cursor), NDS_E_RIGHTS);
  ASSERT_EQ(NdsCancelUpdate(cursor), NDS_SUCCESS);
  EXPECT_EQ(Parts(), before);
  // The column granted is changed.
  ASSERT_EQ(NdsGotoTop(cursor), NDS_SUCCESS);
  ASSERT_EQ(NdsSetField(cursor, "name", "Nut", 3), NDS_SUCCESS);
  ASSERT_EQ(NdsWriteRecord(cursor), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(Parts(), "P1|Nut|10\nP2|Anchor|5\n");
  NdsCloseTable(cursor);
}

INSTANTIATE_TEST_SUITE_P(Stores, DictionaryOnStores, BothStores(), StoreKindName);

// What only a server needs: a user who does not administer the dictionary
// runs nothing the engine cannot check, and never the dictionary's own
// tables.
class ServerDictionary : public DictionaryOnStores {};

TEST_P(ServerDictionary, UncheckableStatementsAreTheAdministratorsAlone) {
  EXPECT_EQ(RunSql(clerk_, "SELECT password_hash FROM _nce_users"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "UPDATE _nce_users SET groups = 'ADMIN'"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "DELETE FROM _nce_rights"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "SELECT qty::text FROM parts"), NDS_E_RIGHTS);
  EXPECT_NE(LastErrorText().find("cannot be checked"), std::string::npos) << LastErrorText();
  EXPECT_EQ(RunSql(clerk_, "CREATE LINK far PATH '/tmp/x.ndd'"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(boss_, "CREATE LINK far PATH '/tmp/x.ndd'"), NDS_E_NOT_SUPPORTED);
  RunSqlOrFail(boss_, "SELECT qty::text FROM parts");
  EXPECT_EQ(TryConnect("boss", "secret"), NDS_SUCCESS);
  std::string groups = RowsText(boss_, "SELECT groups FROM _nce_users WHERE name = 'clerk'");
  EXPECT_EQ(groups, "clerks\n");
  // A table made after the clerk connected is checked by its columns too.
  RunSqlOrFail(boss_, "CREATE TABLE notes (id INTEGER, body MEMO)");
  RunSqlOrFail(clerk_, "INSERT INTO notes VALUES (1, 'open to all')");
  RunSqlOrFail(boss_, "GRANT SELECT ON notes TO boss");
  EXPECT_EQ(RunSql(clerk_, "INSERT INTO notes VALUES (2, 'refused')"), NDS_E_RIGHTS);
  EXPECT_EQ(RowsText(boss_, "SELECT id FROM notes"), "1\n");
  // A view reads its tables on the server, out of the mirror's sight.
  RunSqlOrFail(boss_, "CREATE VIEW all_parts AS SELECT * FROM parts");
  RunSqlOrFail(boss_, "REVOKE SELECT ON parts (qty) FROM clerk");
  EXPECT_EQ(RunSql(clerk_, "SELECT * FROM all_parts"), NDS_E_RIGHTS);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServerDictionary, ::testing::Values(StoreKind::kServer),
                         StoreKindName);

}  // namespace
}  // namespace nce_test
