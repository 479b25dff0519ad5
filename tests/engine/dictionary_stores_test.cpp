// The data dictionary on both stores: a .ndd dictionary on SQLite and a
// database on the test PostgreSQL server, each with an administrator and a
// restricted user on connections of their own. Logins, rights on
// statements, an administrator's change reaching an open connection, hidden
// columns, and renaming a table.
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

// A revoked read right: the column reads as NULL for the clerk on both
// stores, and its values reach him through no result, condition, ordering,
// grouping, join or subquery. A statement that writes may not read it.
TEST_P(DictionaryOnStores, ARevokedColumnReadsAsNullAndNeverLeaks) {
  for (const char* sql : {"GRANT UPDATE ON parts TO clerk", "GRANT INSERT ON parts TO clerk",
                          "REVOKE SELECT ON parts (qty) FROM clerk"})
    RunSqlOrFail(boss_, sql);
  const std::pair<const char*, const char*> reads[] = {
      {"SELECT code, qty FROM parts ORDER BY code", "P1|\nP2|\n"},
      {"SELECT * FROM parts ORDER BY code", "P1|Bolt|\nP2|Anchor|\n"},
      {"SELECT count(*) FROM parts WHERE qty > 6", "0\n"},
      {"SELECT code FROM parts WHERE qty IS NULL ORDER BY code", "P1\nP2\n"},
      {"SELECT code FROM parts ORDER BY qty, code", "P1\nP2\n"},  // by qty: P2 first
      {"SELECT max(qty), count(qty) FROM parts", "|0\n"},
      {"SELECT count(*) FROM parts GROUP BY qty", "2\n"},
      {"SELECT code FROM parts WHERE code IN (SELECT code FROM parts WHERE qty = 10)", ""},
      {"SELECT count(*) FROM parts a JOIN parts b ON a.qty = b.qty", "0\n"},
      {"SELECT code FROM parts WHERE EXISTS (SELECT 1 FROM parts p WHERE p.qty > 0)", ""},
      {"SELECT upper(name), coalesce(qty, -1) FROM parts WHERE code = 'P1'", "BOLT|-1\n"},
  };
  for (const auto& [select, rows] : reads) EXPECT_EQ(RowsText(clerk_, select), rows) << select;
  // Asked for as live, a query's condition sees NULL as well.
  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(clerk_, &statement), NDS_SUCCESS);
  ASSERT_EQ(NdsStmtSetTableReadOnly(statement, NDS_CURSOR_READWRITE), NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQLDirect(
                statement, "SELECT code, qty FROM parts WHERE qty > 6 OR code = 'P2'", &cursor),
            NDS_SUCCESS)
      << LastErrorText();
  std::string shown;
  NdsGotoTop(cursor);
  for (uint16_t eof = 0; NdsAtEOF(cursor, &eof) == NDS_SUCCESS && !eof; NdsSkip(cursor, 1)) {
    char code[8];
    uint32_t length = sizeof code;
    NdsGetField(cursor, "code", code, &length, NDS_TRIM_RIGHT);
    shown += std::string(code, length) + ";";
  }
  EXPECT_EQ(shown, "P2;");
  NdsCloseTable(cursor);
  NdsCloseSQLStatement(statement);
  // Writes that would compute their changes from it are refused.
  EXPECT_EQ(RunSql(clerk_, "UPDATE parts SET name = 'Big' WHERE qty > 6"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "INSERT INTO parts SELECT code, name, qty FROM parts"), NDS_E_RIGHTS);
  EXPECT_EQ(Parts(), "P1|Bolt|10\nP2|Anchor|5\n");
  // Inside a transaction, a query through the hidden column leaves the
  // table itself to the writes that follow.
  ASSERT_EQ(NdsBeginTransaction(clerk_), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(RowsText(clerk_, "SELECT code, qty FROM parts ORDER BY code"), "P1|\nP2|\n");
  RunSqlOrFail(clerk_, "UPDATE parts SET name = 'Big' WHERE code = 'P1'");
  RunSqlOrFail(clerk_, "INSERT INTO parts (code, name) VALUES ('P3', 'Nut')");
  ASSERT_EQ(NdsCommitTransaction(clerk_), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(Parts(), "P1|Big|10\nP2|Anchor|5\nP3|Nut|\n");
  RunSqlOrFail(boss_, "GRANT SELECT ON parts (qty) TO clerk");
  EXPECT_EQ(RowsText(clerk_, "SELECT code, qty FROM parts ORDER BY code"), "P1|10\nP2|5\nP3|\n");
}

// Renaming a table moves its rows, record numbers, orders, properties and
// rights to the new name, as on SQLite; the old name is free for a new
// table with orders of the same names.
TEST_P(DictionaryOnStores, ARenamedTableKeepsItsDataOrdersAndRights) {
  for (const char* sql :
       {"CREATE INDEX by_name ON parts (name)", "ALTER TABLE parts SET DEFAULT INDEX by_name",
        "REVOKE SELECT ON parts (qty) FROM clerk", "CREATE TABLE log (n AUTOINC, note CHAR(8))",
        "INSERT INTO log (note) VALUES ('a')"})
    RunSqlOrFail(boss_, sql);
  NDSHANDLE open = 0;
  ASSERT_EQ(NdsOpenTable(clerk_, "parts", 0, 0, 0, &open), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsGotoTop(open), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsDDRenameObject(boss_, "parts", "stock", NDS_DD_TABLE_OBJECT, 0), NDS_SUCCESS)
      << LastErrorText();
  // A cursor another connection keeps open on the old name fails its next
  // read, and still closes.
  EXPECT_EQ(NdsGotoTop(open), NDS_E_SQL);
  EXPECT_EQ(NdsCloseTable(open), NDS_SUCCESS);
  ASSERT_EQ(NdsDDRenameObject(boss_, "log", "journal", NDS_DD_TABLE_OBJECT, 0), NDS_SUCCESS)
      << LastErrorText();
  RunSqlOrFail(boss_, "INSERT INTO journal (note) VALUES ('b')");
  EXPECT_EQ(RowsText(boss_, "SELECT n, note FROM journal ORDER BY n"), "1|a\n2|b\n");

  NDSHANDLE cursor = 0, order = 0;
  EXPECT_EQ(NdsOpenTable(boss_, "parts", 0, 0, 0, &cursor), NDS_E_INVALID_TABLE);
  ASSERT_EQ(NdsOpenTable(boss_, "stock", 0, 0, 0, &cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsGetIndexHandle(cursor, "by_name", &order), NDS_SUCCESS) << LastErrorText();
  std::vector<std::string> names;
  ASSERT_EQ(NdsGotoTop(order), NDS_SUCCESS) << LastErrorText();
  for (uint16_t eof = 0; NdsAtEOF(cursor, &eof) == NDS_SUCCESS && !eof; NdsSkip(order, 1)) {
    char value[32];
    uint32_t length = sizeof value;
    NdsGetField(cursor, "name", value, &length, NDS_TRIM_RIGHT);
    names.emplace_back(value, length);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Anchor", "Bolt"}));
  char text[64];
  uint16_t length = sizeof text;
  ASSERT_EQ(NdsGetIndexFilename(order, NDS_BASENAMEANDEXT, text, &length), NDS_SUCCESS);
  EXPECT_STREQ(text, "stock.ndi");
  NdsCloseTable(cursor);
  length = sizeof text;
  ASSERT_EQ(NdsDDGetTableProperty(boss_, "stock", NDS_DD_TABLE_DEFAULT_INDEX, text, &length),
            NDS_SUCCESS)
      << LastErrorText();
  EXPECT_EQ(RowsText(clerk_, "SELECT code, qty FROM stock ORDER BY code"), "P1|\nP2|\n");

  RunSqlOrFail(boss_,
               "CREATE TABLE parts (code CHAR(6), name CHAR(20)); CREATE INDEX by_name "
               "ON parts (name)");
  EXPECT_EQ(NdsDDRenameObject(boss_, "stock", "parts", NDS_DD_TABLE_OBJECT, 0),
            NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsDDRenameObject(boss_, "nosuch", "x", NDS_DD_TABLE_OBJECT, 0), NDS_E_INVALID_TABLE);
  EXPECT_EQ(NdsDDRenameObject(boss_, "stock", "_nce_x", NDS_DD_TABLE_OBJECT, 0),
            NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsDDRenameObject(clerk_, "stock", "x", NDS_DD_TABLE_OBJECT, 0), NDS_E_RIGHTS);
  EXPECT_EQ(RowsText(boss_, "SELECT code, qty FROM stock ORDER BY code"), "P1|10\nP2|5\n");
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

// A query whose run fails inside the clerk's transaction takes the views
// that hid his column with it: what follows reads the table itself.
// Statements the server reads otherwise than a query stay refused when they
// read a hidden column.
TEST_P(ServerDictionary, HiddenColumnsOnlyInQueriesAndOnlyWhileTheyRun) {
  RunSqlOrFail(boss_, "REVOKE SELECT ON parts (qty) FROM clerk");
  ASSERT_EQ(NdsBeginTransaction(clerk_), NDS_SUCCESS) << LastErrorText();
  EXPECT_NE(RunSql(clerk_, "SELECT qty FROM parts WHERE CAST(code AS INTEGER) = 1"), NDS_SUCCESS);
  RunSqlOrFail(boss_, "GRANT SELECT ON parts (qty) TO clerk");
  EXPECT_EQ(RowsText(clerk_, "SELECT code, qty FROM parts ORDER BY code"), "P1|10\nP2|5\n");
  ASSERT_EQ(NdsCommitTransaction(clerk_), NDS_SUCCESS) << LastErrorText();
  RunSqlOrFail(boss_, "REVOKE SELECT ON parts (qty) FROM clerk");
  EXPECT_EQ(RunSql(clerk_, "EXPLAIN SELECT qty FROM parts WHERE qty = 10"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "VALUES ((SELECT max(qty) FROM parts))"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "WITH q AS (SELECT qty FROM parts) SELECT * FROM q"), NDS_E_RIGHTS);
  EXPECT_EQ(RunSql(clerk_, "SELECT qty FROM public.parts"), NDS_E_RIGHTS);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServerDictionary, ::testing::Values(StoreKind::kServer),
                         StoreKindName);

}  // namespace
}  // namespace nce_test
