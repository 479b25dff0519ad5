// The data dictionary: logins checked against salted password hashes,
// groups, rights the engine enforces on cursors and SQL alike, user and
// table properties, object searches, and links to other dictionaries
// (renaming a table: dictionary_stores_test.cpp).
#include <fstream>

#include "index_test_support.h"

namespace nce_test {
namespace {

class Dictionary : public ::testing::Test {
 protected:
  Dictionary() {
    path_ = dir_.str() + "/app.ndd";
    std::ofstream(path_).close();  // an empty file becomes a new dictionary
    admin_ = Connect("", "");
    for (const char* sql :
         {"CREATE TABLE parts (code CHAR(6), name CHAR(20), qty INTEGER)",
          "INSERT INTO parts VALUES ('P1', 'Bolt', 10), ('P2', 'Anchor', 5), ('P3', 'Cable', 7)",
          "CREATE INDEX by_name ON parts (name)", "CREATE GROUP ADMIN", "CREATE GROUP clerks",
          "CREATE USER boss PASSWORD 'secret'", "ADD USER boss TO GROUP ADMIN",
          "CREATE USER clerk PASSWORD 'pw'", "ADD USER clerk TO GROUP clerks",
          "CREATE USER loner PASSWORD ''", "GRANT SELECT ON parts TO clerks"})
      RunSqlOrFail(admin_, sql);
  }
  ~Dictionary() override {
    for (NDSHANDLE c : connections_) NdsDisconnect(c);
  }

  NDSHANDLE Connect(const std::string& user, const std::string& password) {
    NDSHANDLE connection = 0;
    EXPECT_EQ(NdsConnect60(path_.c_str(), NDS_LOCAL_SERVER, user.c_str(), password.c_str(), 0,
                           &connection),
              0u)
        << LastErrorText();
    connections_.push_back(connection);
    return connection;
  }

  uint32_t OpenOptions(NDSHANDLE connection) {
    NDSHANDLE cursor = 0;
    EXPECT_EQ(NdsOpenTable(connection, "parts", 0, 0, 0, &cursor), 0u) << LastErrorText();
    uint32_t options = 0;
    NdsGetTableOpenOptions(cursor, &options);
    NdsCloseTable(cursor);
    return options;
  }

  uint8_t Permissions(NDSHANDLE connection, const char* column) {
    NDSHANDLE cursor = 0;
    EXPECT_EQ(NdsOpenTable(connection, "parts", 0, 0, 0, &cursor), 0u) << LastErrorText();
    uint8_t bits = 0;
    EXPECT_EQ(NdsGetColumnPermissions(cursor, column, &bits), 0u) << LastErrorText();
    NdsCloseTable(cursor);
    return bits;
  }

  // `field` of the first row `sql` yields on `connection`, as text.
  std::string Query(NDSHANDLE connection, const std::string& sql, const char* field) {
    NDSHANDLE statement = 0, cursor = 0;
    EXPECT_EQ(NdsCreateSQLStatement(connection, &statement), 0u);
    std::string text = "<refused>";
    if (NdsExecuteSQLDirect(statement, sql.c_str(), &cursor) == 0 && cursor) {
      char buffer[64];
      uint32_t length = sizeof buffer;
      NdsGotoTop(cursor);
      if (NdsGetField(cursor, field, buffer, &length, NDS_TRIM_RIGHT) == 0)
        text.assign(buffer, length);
      else
        text = "<" + LastErrorText() + ">";
      NdsCloseTable(cursor);
    }
    NdsCloseSQLStatement(statement);
    return text;
  }

  TempDir dir_;
  std::string path_;
  NDSHANDLE admin_ = 0;
  std::vector<NDSHANDLE> connections_;
};

TEST_F(Dictionary, LoginsNeedTheRightPassword) {
  NDSHANDLE connection = 0;
  EXPECT_EQ(NdsConnect60(path_.c_str(), NDS_LOCAL_SERVER, "clerk", "wrong", 0, &connection),
            NDS_E_LOGIN_FAILED);
  EXPECT_EQ(connection, 0u);
  EXPECT_EQ(NdsConnect60(path_.c_str(), NDS_LOCAL_SERVER, "nobody", "pw", 0, &connection),
            NDS_E_LOGIN_FAILED);
  Connect("clerk", "pw");
  Connect("loner", "");
  // The store keeps salted hashes, never the password.
  std::string hash =
      QueryDirect(path_, "SELECT password_hash FROM _nce_users WHERE name = 'clerk'");
  EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
  EXPECT_EQ(hash.find("pw,"), std::string::npos);
}

TEST_F(Dictionary, RightsAreReportedAndEnforced) {
  NDSHANDLE clerk = Connect("clerk", "pw");
  // Only reading is granted: the table opens without update and insert rights.
  uint32_t options = OpenOptions(clerk);
  EXPECT_EQ(options & (NDS_OPEN_UPDATE_RIGHT | NDS_OPEN_INSERT_RIGHT), 0u);
  EXPECT_EQ(Permissions(clerk, "qty"), NDS_COLUMN_READ);
  EXPECT_EQ(RunSql(clerk, "UPDATE parts SET qty = 1"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk, "INSERT INTO parts VALUES ('P9', 'x', 1)"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk, "DELETE FROM parts"), NDS_E_RIGHTS);
  // Through a cursor the write is refused the same way.
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(clerk, "parts", 0, 0, 0, &cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  ASSERT_EQ(NdsSetString(cursor, "name", "Changed", 7), 0u) << LastErrorText();
  EXPECT_EQ(NdsWriteRecord(cursor), NDS_E_RIGHTS);
  NdsCancelUpdate(cursor);
  NdsCloseTable(cursor);
  // The administrator grants updates of one column.
  RunSqlOrFail(admin_, "GRANT UPDATE ON parts (qty) TO clerk");
  NDSHANDLE again = Connect("clerk", "pw");
  EXPECT_NE(OpenOptions(again) & NDS_OPEN_UPDATE_RIGHT, 0u);
  EXPECT_EQ(OpenOptions(again) & NDS_OPEN_INSERT_RIGHT, 0u);
  EXPECT_EQ(Permissions(again, "qty"), NDS_COLUMN_READ | NDS_COLUMN_UPDATE);
  EXPECT_EQ(Permissions(again, "name"), NDS_COLUMN_READ);
  RunSqlOrFail(again, "UPDATE parts SET qty = qty + 1 WHERE code = 'P1'");
  EXPECT_EQ(RunSql(again, "UPDATE parts SET name = 'x'"), NDS_E_RIGHTS);
  EXPECT_EQ(QueryDirect(path_, "SELECT qty FROM parts WHERE code = 'P1'"), "11");
  // A user of no granted group has no rights on the restricted table, the
  // administrator every right; tables without grants are open to all.
  NDSHANDLE loner = Connect("loner", "");
  EXPECT_EQ(RunSql(loner, "UPDATE parts SET qty = 0"), NDS_E_RIGHTS);
  RunSqlOrFail(loner, "CREATE TABLE scratch (n INTEGER)");
  RunSqlOrFail(loner, "INSERT INTO scratch VALUES (1)");
  NDSHANDLE boss = Connect("boss", "secret");
  RunSqlOrFail(boss, "UPDATE parts SET qty = 0 WHERE code = 'P3'");
  // Only administrators change the dictionary.
  EXPECT_EQ(RunSql(again, "CREATE USER intruder PASSWORD 'x'"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(again, "GRANT ALL ON parts TO clerk"), NDS_E_RIGHTS);
}

// An administrator's revoke reaches a connection already open at its next
// statement: the column reads as empty in queries, its permissions lose the
// read bit, and a statement that writes refuses to read it. Granting it
// again shows the column again.
TEST_F(Dictionary, ARevokedReadRightHidesTheColumnAtTheNextStatement) {
  RunSqlOrFail(admin_, "GRANT UPDATE ON parts TO clerk");
  NDSHANDLE clerk = Connect("clerk", "pw");
  const std::string read_p1 = "SELECT code, qty FROM parts WHERE code = 'P1'";
  EXPECT_EQ(Query(clerk, read_p1, "qty"), "10");

  NDSHANDLE boss = Connect("boss", "secret");
  RunSqlOrFail(boss, "REVOKE SELECT ON parts (qty) FROM clerk");
  EXPECT_EQ(Query(clerk, read_p1, "qty"), "");
  EXPECT_EQ(Query(clerk, read_p1, "code"), "P1");
  EXPECT_EQ(Query(clerk, "SELECT count(*) AS n FROM parts WHERE qty > 6", "n"), "0");
  EXPECT_EQ(Permissions(clerk, "qty"), NDS_COLUMN_UPDATE);
  EXPECT_EQ(Permissions(clerk, "name"), NDS_COLUMN_READ | NDS_COLUMN_UPDATE);
  EXPECT_EQ(RunSql(clerk, "UPDATE parts SET name = 'Big' WHERE qty > 6"), NDS_E_RIGHTS);
  EXPECT_NE(LastErrorText().find("qty"), std::string::npos) << LastErrorText();
  EXPECT_EQ(RunSql(clerk, "UPDATE parts SET qty = qty * 2"), NDS_E_RIGHTS);
  RunSqlOrFail(clerk, "UPDATE parts SET qty = 4 WHERE code = 'P2'");
  EXPECT_EQ(QueryDirect(path_, "SELECT group_concat(name || qty) FROM parts"),
            "Bolt10,Anchor4,Cable7");
  // Other users, and the administrator, still read it.
  EXPECT_EQ(Query(boss, read_p1, "qty"), "10");
  EXPECT_EQ(Query(Connect("loner", ""), read_p1, "qty"), "10");

  RunSqlOrFail(admin_, "GRANT SELECT ON parts (qty) TO clerk");
  EXPECT_EQ(Query(clerk, read_p1, "qty"), "10");
  EXPECT_EQ(Permissions(clerk, "qty"), NDS_COLUMN_READ | NDS_COLUMN_UPDATE);
}

// Data definition on a table something is granted on needs the ALTER right;
// creating tables needs CREATE on the database once it is restricted. The
// administrator's changes reach the open connection at its next statement.
TEST_F(Dictionary, DataDefinitionNeedsItsRight) {
  NDSHANDLE loner = Connect("loner", "");
  EXPECT_EQ(RunSql(loner, "ALTER TABLE parts ADD COLUMN extra INTEGER"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(loner, "CREATE INDEX by_qty ON parts (qty)"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(loner, "DROP INDEX by_name"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(loner, "DROP TABLE parts"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(loner, "CREATE TRIGGER spy AFTER UPDATE ON parts BEGIN SELECT 1; END"),
            NDS_E_RIGHTS);
  EXPECT_EQ(QueryDirect(path_, "SELECT count(*) FROM pragma_table_info('parts')"), "3");
  EXPECT_EQ(QueryDirect(path_, "SELECT count(*) FROM parts"), "3");
  // A table nobody restricted is open to all, creating one too.
  RunSqlOrFail(loner, "CREATE TABLE scratch (n INTEGER)");
  RunSqlOrFail(loner, "CREATE INDEX by_n ON scratch (n)");

  RunSqlOrFail(admin_, "GRANT ALTER ON parts TO loner");
  RunSqlOrFail(loner, "CREATE INDEX by_qty ON parts (qty)");
  RunSqlOrFail(admin_, "REVOKE CREATE ON DATABASE FROM loner");
  EXPECT_EQ(RunSql(loner, "CREATE TABLE other (n INTEGER)"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(Connect("clerk", "pw"), "CREATE TABLE other (n INTEGER)"), NDS_E_RIGHTS);
  RunSqlOrFail(Connect("boss", "secret"), "CREATE TABLE boss_only (n INTEGER)");
  RunSqlOrFail(admin_, "GRANT CREATE ON DATABASE TO loner");
  RunSqlOrFail(loner, "CREATE TABLE other (n INTEGER)");
  EXPECT_EQ(RunSql(admin_, "GRANT UPDATE ON DATABASE TO loner"), NDS_E_SQL);
}

TEST_F(Dictionary, UserAndTableProperties) {
  char text[200];
  uint16_t length = sizeof text;
  ASSERT_EQ(NdsDDGetUserProperty(admin_, "boss", NDS_DD_USER_GROUP_MEMBERSHIP, text, &length), 0u)
      << LastErrorText();
  EXPECT_STREQ(text, "ADMIN");
  RunSqlOrFail(admin_, "ADD USER boss TO GROUP clerks");
  length = 0;
  EXPECT_EQ(NdsDDGetUserProperty(admin_, "boss", NDS_DD_USER_GROUP_MEMBERSHIP, nullptr, &length),
            NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, std::string("ADMIN;clerks").size());
  length = sizeof text;
  EXPECT_EQ(NdsDDGetUserProperty(admin_, "loner", NDS_DD_USER_GROUP_MEMBERSHIP, text, &length),
            NDS_E_PROPERTY_NOT_SET);
  EXPECT_EQ(NdsDDGetUserProperty(admin_, "ghost", NDS_DD_USER_GROUP_MEMBERSHIP, text, &length),
            NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsDDGetTableProperty(admin_, "parts", NDS_DD_TABLE_DEFAULT_INDEX, text, &length),
            NDS_E_PROPERTY_NOT_SET);
  RunSqlOrFail(admin_, "ALTER TABLE parts SET DEFAULT INDEX by_name");
  length = sizeof text;
  ASSERT_EQ(NdsDDGetTableProperty(admin_, "PARTS", NDS_DD_TABLE_DEFAULT_INDEX, text, &length), 0u)
      << LastErrorText();
  EXPECT_STREQ(text, "by_name");
  EXPECT_EQ(NdsDDGetTableProperty(admin_, "nosuch", NDS_DD_TABLE_DEFAULT_INDEX, text, &length),
            NDS_E_INVALID_TABLE);
  // Free tables have no dictionary.
  NDSHANDLE free_tables = ConnectOrFail(dir_.str());
  connections_.push_back(free_tables);
  EXPECT_EQ(NdsDDGetTableProperty(free_tables, "parts", NDS_DD_TABLE_DEFAULT_INDEX, text, &length),
            NDS_E_INVALID_ARGUMENT);
}

TEST_F(Dictionary, ObjectSearchesEndWith5137) {
  RunSqlOrFail(admin_, "CREATE TABLE assemblies (id INTEGER)");
  std::vector<std::string> names;
  char name[200];
  uint16_t length = sizeof name;
  NDSHANDLE find = 0;
  NDSRESULT rc = NdsDDFindFirstObject(admin_, NDS_DD_TABLE_LIST, "", name, &length, &find);
  while (rc == 0) {
    names.push_back(name);
    length = sizeof name;
    rc = NdsDDFindNextObject(admin_, find, name, &length);
  }
  EXPECT_EQ(rc, NDS_E_NO_MORE_OBJECTS);
  EXPECT_EQ(names, (std::vector<std::string>{"assemblies", "parts"}));
  EXPECT_EQ(NdsDDFindClose(admin_, find), 0u);
  EXPECT_EQ(NdsDDFindClose(admin_, find), NDS_E_INVALID_HANDLE);
  length = sizeof name;
  ASSERT_EQ(NdsDDFindFirstObject(admin_, NDS_DD_USER_OBJECT, "", name, &length, &find), 0u);
  EXPECT_STREQ(name, "boss");
  NdsDDFindClose(admin_, find);
  EXPECT_EQ(NdsDDFindFirstObject(admin_, 77, "", name, &length, &find), NDS_E_INVALID_OPTION);
}

TEST_F(Dictionary, LinksAttachOtherDictionaries) {
  std::string other = dir_.str() + "/other.ndd";
  std::ofstream(other).close();
  NDSHANDLE second = 0;
  ASSERT_EQ(NdsConnect60(other.c_str(), NDS_LOCAL_SERVER, "", "", 0, &second), 0u)
      << LastErrorText();
  RunSqlOrFail(second, "CREATE TABLE remote (n INTEGER)");
  RunSqlOrFail(second, "INSERT INTO remote VALUES (42)");
  NdsDisconnect(second);
  RunSqlOrFail(admin_, "CREATE LINK far PATH '" + other + "'");
  uint16_t count = 0;
  ASSERT_EQ(NdsGetNumActiveLinks(admin_, &count), 0u);
  EXPECT_EQ(count, 1);
  NDSHANDLE boss = Connect("boss", "secret");
  ASSERT_EQ(NdsGetNumActiveLinks(boss, &count), 0u);
  EXPECT_EQ(count, 1);
  char info[664];
  uint16_t length = sizeof info;
  ASSERT_EQ(NdsGetActiveLinkInfo(boss, 1, info, &length), 0u) << LastErrorText();
  EXPECT_EQ(std::string(info), "far;" + other + ";");
  EXPECT_EQ(NdsGetActiveLinkInfo(boss, 2, info, &length), NDS_E_INVALID_ARGUMENT);
  RunSqlOrFail(boss, "INSERT INTO parts SELECT 'R1', 'remote', n FROM far.remote");
  EXPECT_EQ(QueryDirect(path_, "SELECT qty FROM parts WHERE code = 'R1'"), "42");
  EXPECT_NE(RunSql(admin_, "CREATE LINK bad PATH '/no/such/place.ndd'"), 0u);
  RunSqlOrFail(admin_, "DROP LINK far");
  ASSERT_EQ(NdsGetNumActiveLinks(admin_, &count), 0u);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(NdsGetNumActiveLinks(0, &count), NDS_E_INVALID_HANDLE);
}

}  // namespace
}  // namespace nce_test
