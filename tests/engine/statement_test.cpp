// SQL statements: preparing and executing scripts, parameters by ordinal,
// rows affected, cursors from SELECT, and the errors of bad input; the same
// cases on a SQLite store and on a database of the test PostgreSQL server.
#include "engine/testing/nce_failpoints.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"

namespace nce_test {
namespace {

class Statements : public ::testing::Test {
 protected:
  explicit Statements(StoreKind kind = StoreKind::kSqlite) : store_(kind) {}
  void SetUp() override {
    connection_ = store_.Connect();
    ASSERT_EQ(NdsCreateSQLStatement(connection_, &statement_), NDS_SUCCESS);
  }
  void TearDown() override { NdsDisconnect(connection_); }

  uint32_t RowsAffected() {
    uint32_t count = 0xDEAD;
    EXPECT_EQ(NdsGetRecordCount(statement_, NDS_IGNOREFILTERS, &count), NDS_SUCCESS)
        << LastErrorText();
    return count;
  }

  TestStore store_;
  NDSHANDLE connection_ = 0;
  NDSHANDLE statement_ = 0;
};

class StatementsOnBothStores : public Statements, public ::testing::WithParamInterface<StoreKind> {
 protected:
  StatementsOnBothStores() : Statements(GetParam()) {}
};

INSTANTIATE_TEST_SUITE_P(Stores, StatementsOnBothStores, BothStores(), StoreKindName);

TEST_P(StatementsOnBothStores, ScriptRunsInOrderAndCountsRowsOverAllStatements) {
  RunSqlOrFail(connection_, "CREATE TABLE t(k INTEGER, v CHAR(10));");
  const char* script =
      "insert into t values(1, 'a');\r\n\r\n"
      "insert into t values(2, 'b');\r\n"
      "\t   \r\n"
      "update t set v = 'c' where k <= 2;\r\n"
      "-- a comment; with a semicolon\r\n"
      "delete from t where k = 2\r\n"
      "\t   \t   \t   \r\n";
  ASSERT_EQ(NdsPrepareSQL(statement_, script), NDS_SUCCESS) << LastErrorText();
  NDSHANDLE cursor = 99;
  ASSERT_EQ(NdsExecuteSQL(statement_, &cursor), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(cursor, 0u);
  EXPECT_EQ(RowsAffected(), 1u + 1u + 2u + 1u);
  EXPECT_EQ(store_.Read("SELECT k, v FROM t"), "1|c\n");
}

TEST_P(StatementsOnBothStores, NoCountWithoutChangingStatements) {
  RunSqlOrFail(connection_, "CREATE TABLE t(k INTEGER)");
  uint32_t count = 0;
  // Nothing executed yet.
  EXPECT_EQ(NdsGetRecordCount(statement_, NDS_IGNOREFILTERS, &count), NDS_E_NO_COUNT);
  ASSERT_EQ(NdsExecuteSQLDirect(statement_, "CREATE TABLE u(k INTEGER)", nullptr), NDS_SUCCESS);
  EXPECT_EQ(NdsGetRecordCount(statement_, NDS_IGNOREFILTERS, &count), NDS_E_NO_COUNT);
  // A DELETE that removes nothing still has a count: zero.
  ASSERT_EQ(NdsExecuteSQLDirect(statement_, "DELETE FROM t", nullptr), NDS_SUCCESS);
  EXPECT_EQ(RowsAffected(), 0u);
}

TEST_P(StatementsOnBothStores, EveryMarkerIsItsOwnOrdinalParameter) {
  RunSqlOrFail(connection_, "CREATE TABLE t(a INTEGER, b CHAR(8), c DOUBLE, d INTEGER)");
  const char* sql = "insert into t values(:x, ':not' || ?, :x, ?) -- :comment ?\n";
  ASSERT_EQ(NdsPrepareSQL(statement_, sql), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(NdsSetString(statement_, NDS_FIELD_ORDINAL(1), "7", 1), NDS_SUCCESS);
  EXPECT_EQ(NdsSetString(statement_, NDS_FIELD_ORDINAL(2), "abc", 3), NDS_SUCCESS);
  EXPECT_EQ(NdsSetDouble(statement_, NDS_FIELD_ORDINAL(3), 2.5), NDS_SUCCESS);
  EXPECT_EQ(NdsSetEmpty(statement_, NDS_FIELD_ORDINAL(4)), NDS_SUCCESS);
  EXPECT_EQ(NdsSetLogical(statement_, NDS_FIELD_ORDINAL(5), 1), NDS_E_INVALID_FIELD);
  EXPECT_NE(LastErrorText().find("out of range"), std::string::npos);
  ASSERT_EQ(NdsExecuteSQL(statement_, nullptr), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT a, b, c FROM t WHERE d IS NULL"), "7|:notabc|2.5\n");
  // Values stay bound for the next execution.
  ASSERT_EQ(NdsExecuteSQL(statement_, nullptr), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM t"), "2\n");
}

TEST_P(StatementsOnBothStores, DatesTimesAndBinaryTakeNaturalForms) {
  RunSqlOrFail(connection_, "CREATE TABLE t(d DATE, t TIME, ts TIMESTAMP, b BLOB)");
  ASSERT_EQ(NdsPrepareSQL(statement_, "insert into t values(?, ?, ?, ?)"), NDS_SUCCESS);
  ASSERT_EQ(NdsSetJulian(statement_, NDS_FIELD_ORDINAL(1), 2451545), NDS_SUCCESS);
  ASSERT_EQ(NdsSetMilliseconds(statement_, NDS_FIELD_ORDINAL(2), 45296789), NDS_SUCCESS);
  unsigned char raw[8] = {0x19, 0x74, 0x25, 0x00,
                          0x01, 0x00, 0x00, 0x00};  // day 2454553 (2008-03-27), 1 ms
  ASSERT_EQ(NdsSetTimeStampRaw(statement_, NDS_FIELD_ORDINAL(3), raw, 8), NDS_SUCCESS);
  ASSERT_EQ(NdsSetBinary(statement_, NDS_FIELD_ORDINAL(4), NDS_BINARY, 4, 0, "\x01\x00", 2),
            NDS_SUCCESS);
  ASSERT_EQ(NdsSetBinary(statement_, NDS_FIELD_ORDINAL(4), NDS_BINARY, 4, 2, "\x02\x03", 2),
            NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQL(statement_, nullptr), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT d, t, ts, b FROM t"),
            std::string("20000101|12:34:56.789|20080327 00:00:00.001|\x01\x00\x02\x03\n", 49));
  if (!store_.OnServer()) {
    // How the SQLite store file holds them.
    EXPECT_EQ(QueryDirect(store_.StoreFile(),
                          "SELECT d || '|' || t || '|' || ts || '|' || hex(b) FROM t"),
              "2000-01-01|12:34:56.789|2008-03-27 00:00:00.001|01000203");
  }
  EXPECT_EQ(NdsSetMilliseconds(statement_, NDS_FIELD_ORDINAL(2), 86400000), NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsSetJulian(statement_, NDS_FIELD_ORDINAL(1), 5), NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsSetBinary(statement_, NDS_FIELD_ORDINAL(4), NDS_BINARY, 4, 3, "ab", 2),
            NDS_E_INVALID_ARGUMENT);
}

TEST_P(StatementsOnBothStores, BadInputGetsClearErrorsAndChangesNothing) {
  // A server words its refusals itself, its error code as the native number.
  const bool server = store_.OnServer();
  RunSqlOrFail(connection_, "CREATE TABLE t(k INTEGER); INSERT INTO t VALUES(1);");
  EXPECT_EQ(NdsPrepareSQL(statement_, "delete frm t"), NDS_E_SQL);
  std::string text = LastErrorText();
  EXPECT_NE(text.find("Error 7200:"), std::string::npos) << text;
  EXPECT_NE(text.find(server ? "SQLSTATE 42601" : "NativeError = 1;"), std::string::npos) << text;
  EXPECT_EQ(NdsExecuteSQL(statement_, nullptr), NDS_E_NOT_PREPARED);
  EXPECT_EQ(NdsExecuteSQLDirect(statement_, "delete from missing", nullptr), NDS_E_SQL);
  EXPECT_NE(LastErrorText().find(server ? "relation \"missing\" does not exist" : "no such table"),
            std::string::npos)
      << LastErrorText();
  EXPECT_EQ(NdsExecuteSQLDirect(statement_, "update t set nope = 1", nullptr), NDS_E_SQL);
  EXPECT_NE(LastErrorText().find(server ? "column \"nope\"" : "no such column"), std::string::npos)
      << LastErrorText();
  EXPECT_EQ(NdsExecuteSQLDirect(statement_, "  \r\n\t  ", nullptr), NDS_E_SQL);
  EXPECT_EQ(NdsExecuteSQLDirect(statement_, "select ?1, ?0", nullptr), NDS_E_SQL);
  EXPECT_NE(LastErrorText().find("the marker ?0 names no parameter"), std::string::npos)
      << LastErrorText();
  EXPECT_EQ(NdsPrepareSQL(statement_, nullptr), NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM t"), "1\n");
  EXPECT_EQ(NdsCloseSQLStatement(0), NDS_E_UNKNOWN_STATEMENT);
  EXPECT_EQ(NdsCloseSQLStatement(statement_), NDS_SUCCESS);
  EXPECT_EQ(NdsCloseSQLStatement(statement_), NDS_E_UNKNOWN_STATEMENT);
  EXPECT_EQ(NdsPrepareSQL(statement_, "select 1"), NDS_E_UNKNOWN_STATEMENT);
}

// A decimal literal of more digits than a double holds compares and
// computes as a number, and an exact column (money, numeric on a server)
// receives its exact digits or refuses it.
TEST_P(StatementsOnBothStores, LongDecimalLiteralsAreNumbersAndExactColumnsKeepTheirDigits) {
  RunSqlOrFail(connection_,
               "CREATE TABLE n(k INTEGER, v DOUBLE, m MONEY, x NUMERIC(20,2));"
               "INSERT INTO n VALUES (1, 0.5, 922337203685477.5807, 0.5),"
               " (2, 0.12345678901234567, -922337203685477.5807, 12345678901234.56);"
               "UPDATE n SET x = 1.12345678901234567 WHERE k = 1");
  EXPECT_EQ(store_.Read("SELECT k, m, x FROM n ORDER BY k"),
            "1|922337203685477.5807|1.12\n2|-922337203685477.5807|12345678901234.56\n");
  EXPECT_EQ(store_.Read("SELECT CASE WHEN 5 > 0.12345678901234567 AND -0.12345678901234567 < 0 "
                        "AND 0.12345678901234567 * 2 > 0.2469 THEN 'yes' END, "
                        "round(0.12345678901234567, 3)"),
            "yes|0.123\n");
  EXPECT_EQ(store_.Read("SELECT k FROM n WHERE abs(v) > 0.12345678901234567 OR "
                        "m = -922337203685477.5807 ORDER BY abs(v - 0.12345678901234567) DESC"),
            "1\n2\n");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM n WHERE v = 0.12345678901234567"), "1\n");
  // A money column holds four decimals: more is refused, never rounded.
  EXPECT_EQ(
      NdsExecuteSQLDirect(statement_, "UPDATE n SET m = 123456789012.3456789 WHERE k = 1", nullptr),
      NDS_E_VALUE_TOO_LONG);
  EXPECT_EQ(store_.Read("SELECT m FROM n WHERE k = 1"), "922337203685477.5807\n");
}

TEST_P(StatementsOnBothStores, FailingStatementUndoesTheWholeRun) {
  RunSqlOrFail(connection_, "CREATE TABLE t(k INTEGER); INSERT INTO t VALUES(1), (2);");
  EXPECT_EQ(NdsExecuteSQLDirect(statement_,
                                "delete from t where k = 1; insert into t values(3); "
                                "delete from nowhere; insert into t values(4)",
                                nullptr),
            NDS_E_SQL);
  EXPECT_NE(LastErrorText().find("statement 3 of 4"), std::string::npos) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT k FROM t ORDER BY k"), "1\n2\n");
}

// Every leading keyword is classed alike on both stores: whether its rows
// count, whether the execution leaves transactions to it, whether it only
// reads. A keyword one store does not know is refused there as SQL and
// changes nothing. VACUUM, which may renumber a SQLite store's records,
// is refused there.
TEST_P(StatementsOnBothStores, KeywordsAreClassedAlikeOnBothStores) {
  RunSqlOrFail(connection_, "CREATE TABLE t(k INTEGER, v CHAR(10))");
  struct Case {
    const char* sql;
    bool on_sqlite, on_server;  // the store knows the statement
    int count;                  // rows counted; -1: no count
    bool cursor;                // yields rows
    const char* keys;           // t's keys after it, from the one row 1
  };
  const Case cases[] = {
      {"INSERT INTO t VALUES (2, 'b') ON CONFLICT DO NOTHING", true, true, 1, false, "12"},
      {"WITH gone AS (SELECT 1 AS k) DELETE FROM t WHERE k IN (SELECT k FROM gone)", true, true, 1,
       false, ""},
      {"REPLACE INTO t VALUES (3, 'c')", true, false, 1, false, "13"},
      {"MERGE INTO t USING (SELECT 4 AS k) s ON t.k = s.k "
       "WHEN NOT MATCHED THEN INSERT (k, v) VALUES (s.k, 'd')",
       false, true, 1, false, "14"},
      {"BEGIN; INSERT INTO t VALUES (5, 'e'); SAVEPOINT s; INSERT INTO t VALUES (6, 'f'); "
       "ROLLBACK TO s; COMMIT",
       true, true, 2, false, "15"},
      {"START TRANSACTION; DELETE FROM t; COMMIT", false, true, 1, false, ""},
      {"INSERT INTO t VALUES (7, 'g') RETURNING k", true, true, 1, true, "17"},
      {"EXPLAIN SELECT k FROM t", true, true, -1, true, "1"},
      {"SHOW server_version", false, true, -1, true, "1"},
      {"PRAGMA user_version = 7", true, false, -1, false, "1"},
      {"VACUUM", false, true, -1, false, "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    RunSqlOrFail(connection_, "DELETE FROM t; INSERT INTO t VALUES (1, 'a')");
    bool known = store_.OnServer() ? c.on_server : c.on_sqlite;
    NDSHANDLE cursor = 0;
    NDSRESULT result = NdsExecuteSQLDirect(statement_, c.sql, &cursor);
    std::string keys = "1";
    if (!known) {
      EXPECT_EQ(result, NDS_E_SQL);
    } else {
      EXPECT_EQ(result, NDS_SUCCESS) << LastErrorText();
      EXPECT_EQ(cursor != 0, c.cursor);
      uint32_t count = 0;
      EXPECT_EQ(NdsGetRecordCount(statement_, NDS_IGNOREFILTERS, &count),
                c.count < 0 ? NDS_E_NO_COUNT : NDS_SUCCESS);
      if (c.count >= 0) {
        EXPECT_EQ(count, static_cast<uint32_t>(c.count));
      }
      keys = c.keys;
    }
    if (cursor) NdsCloseTable(cursor);
    std::string rows;
    for (char k : keys) rows += std::string(1, k) + "\n";
    EXPECT_EQ(store_.Read("SELECT k FROM t ORDER BY k"), rows);
    uint16_t open = 1;
    ASSERT_EQ(NdsInTransaction(connection_, &open), NDS_SUCCESS);
    EXPECT_EQ(open, 0);
  }
  // Not even where the script manages its transactions itself: the record
  // numbers stay.
  RunSqlOrFail(connection_, "INSERT INTO t VALUES (2, 'b'); DELETE FROM t WHERE k = 1");
  std::string numbers = store_.Read("SELECT rowid, k FROM t");
  EXPECT_EQ(NdsExecuteSQLDirect(statement_, "BEGIN; COMMIT; VACUUM", nullptr),
            store_.OnServer() ? NDS_SUCCESS : NDS_E_SQL);
  EXPECT_EQ(store_.Read("SELECT rowid, k FROM t"), numbers);
}

TEST_P(StatementsOnBothStores, SelectYieldsCursorWithFieldsAndCount) {
  RunSqlOrFail(connection_,
               "CREATE TABLE p(id AUTOINC, name CHAR(20), amount NUMERIC(10,2), born DATE);"
               "INSERT INTO p(name, amount, born) VALUES('ann', 1.5, '1990-01-02'), "
               "('bob', 2, NULL), ('cy', 3, NULL);");
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsPrepareSQL(statement_,
                          "select id, name, amount, born, amount * 0.5 as half "
                          "from p where amount > ?1"),
            NDS_SUCCESS)
      << LastErrorText();
  ASSERT_EQ(NdsSetDouble(statement_, NDS_FIELD_ORDINAL(1), 1.75), NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQL(statement_, &cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_NE(cursor, 0u);
  uint16_t type = 0, fields = 0;
  ASSERT_EQ(NdsGetHandleType(cursor, &type), NDS_SUCCESS);
  EXPECT_EQ(type, NDS_HANDLE_CURSOR);
  ASSERT_EQ(NdsGetNumFields(cursor, &fields), NDS_SUCCESS);
  EXPECT_EQ(fields, 5);
  uint32_t count = 0;
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_IGNOREFILTERS, &count), NDS_SUCCESS);
  EXPECT_EQ(count, 2u);
  uint16_t field_type = 0, decimals = 0;
  uint32_t length = 0;
  ASSERT_EQ(NdsGetFieldType(cursor, NDS_FIELD_ORDINAL(1), &field_type), NDS_SUCCESS);
  EXPECT_EQ(field_type, NDS_AUTOINC);
  ASSERT_EQ(NdsGetFieldType(cursor, "NAME", &field_type), NDS_SUCCESS);
  EXPECT_EQ(field_type, NDS_STRING);
  ASSERT_EQ(NdsGetFieldLength(cursor, "name", &length), NDS_SUCCESS);
  EXPECT_EQ(length, 20u);
  ASSERT_EQ(NdsGetFieldType(cursor, "amount", &field_type), NDS_SUCCESS);
  EXPECT_EQ(field_type, NDS_NUMERIC);
  ASSERT_EQ(NdsGetFieldDecimals(cursor, "amount", &decimals), NDS_SUCCESS);
  EXPECT_EQ(decimals, 2);
  ASSERT_EQ(NdsGetFieldType(cursor, "born", &field_type), NDS_SUCCESS);
  EXPECT_EQ(field_type, NDS_DATE);
  ASSERT_EQ(NdsGetFieldType(cursor, "half", &field_type), NDS_SUCCESS);
  EXPECT_EQ(field_type, NDS_DOUBLE);
  char name[5];
  uint16_t name_length = sizeof name;
  EXPECT_EQ(NdsGetFieldName(cursor, 2, name, &name_length), NDS_SUCCESS);
  EXPECT_STREQ(name, "name");
  name_length = sizeof name;
  EXPECT_EQ(NdsGetFieldName(cursor, 3, name, &name_length), NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(name_length, 6);
  EXPECT_EQ(NdsGetFieldType(cursor, NDS_FIELD_ORDINAL(6), &field_type), NDS_E_INVALID_FIELD);
  EXPECT_EQ(NdsGetFieldType(cursor, "nope", &field_type), NDS_E_INVALID_FIELD);
  uint8_t live = 9;
  ASSERT_EQ(NdsSqlPeekStatement(cursor, &live), NDS_SUCCESS);
  EXPECT_EQ(live, 0);
  EXPECT_EQ(NdsCloseTable(cursor), NDS_SUCCESS);
  EXPECT_EQ(NdsCloseTable(cursor), NDS_E_INVALID_HANDLE);
}

TEST_P(StatementsOnBothStores, LastAutoincOfInsert) {
  RunSqlOrFail(connection_, "CREATE TABLE a(id AUTOINC, v CHAR(3))");
  uint32_t value = 99;
  ASSERT_EQ(NdsExecuteSQLDirect(statement_, "insert into a(v) values('x')", nullptr), NDS_SUCCESS);
  ASSERT_EQ(NdsGetLastAutoinc(statement_, &value), NDS_SUCCESS);
  EXPECT_EQ(value, 1u);
  ASSERT_EQ(NdsExecuteSQLDirect(statement_, "insert into a(v) values('y'); delete from a", nullptr),
            NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQLDirect(statement_, "insert into a(v) values('z')", nullptr), NDS_SUCCESS);
  ASSERT_EQ(NdsGetLastAutoinc(statement_, &value), NDS_SUCCESS);
  EXPECT_EQ(value, 3u);  // numbers of deleted rows are not handed out again
}

TEST_F(Statements, ParameterNamesOfAText) {
  char names[64];
  uint32_t length = sizeof names;
  ASSERT_EQ(NdsGetSQLStmtParams("select * from t where a = :A and b = ? and c = ':x' /* :y */ "
                                "and d = :A",
                                names, &length),
            NDS_SUCCESS);
  EXPECT_STREQ(names, "A;?;A");
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(NdsGetSQLStmtParams("delete from t", nullptr, nullptr), NDS_SUCCESS);
}

TEST_P(StatementsOnBothStores, OptionsAreRecordedAndChecked) {
  EXPECT_EQ(NdsStmtSetTableType(statement_, NDS_CDX), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableCharType(statement_, NDS_OEM), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableLockType(statement_, NDS_COMPATIBLE_LOCKING), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableRights(statement_, NDS_IGNORE_RIGHTS), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableReadOnly(statement_, NDS_CURSOR_READWRITE), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableReadOnly(statement_, NDS_CURSOR_READONLY), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtConstrainUpdates(statement_, NDS_NO_CONSTRAIN), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtReadAllColumns(statement_, NDS_READ_ALL_COLUMNS), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableType(statement_, 9), NDS_E_INVALID_OPTION);
  EXPECT_EQ(NdsStmtSetTableCharType(statement_, 0), NDS_E_INVALID_OPTION);
  nce::testing::StatementOptions options;
  ASSERT_TRUE(nce::testing::GetStatementOptions(statement_, &options));
  EXPECT_EQ(options.table_type, NDS_CDX);
  EXPECT_EQ(options.char_type, NDS_OEM);
  EXPECT_EQ(options.lock_type, NDS_COMPATIBLE_LOCKING);
  EXPECT_EQ(options.rights, NDS_IGNORE_RIGHTS);
  EXPECT_EQ(options.read_only, NDS_CURSOR_READONLY);
  EXPECT_EQ(options.read_only_calls, 2);
  EXPECT_EQ(options.constrain_updates, NDS_NO_CONSTRAIN);
  EXPECT_EQ(options.read_all_columns, NDS_READ_ALL_COLUMNS);
  EXPECT_FALSE(nce::testing::GetStatementOptions(connection_, &options));

  // The table type reaches the tables the statement creates and its cursors.
  ASSERT_EQ(NdsExecuteSQLDirect(statement_, "create table c(d DATE)", nullptr), NDS_SUCCESS);
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsExecuteSQLDirect(statement_, "select d from c", &cursor), NDS_SUCCESS);
  uint16_t table_type = 0, char_type = 0;
  uint32_t length = 0;
  ASSERT_EQ(NdsGetTableType(cursor, &table_type), NDS_SUCCESS);
  EXPECT_EQ(table_type, NDS_CDX);
  ASSERT_EQ(NdsGetTableCharType(cursor, &char_type), NDS_SUCCESS);
  EXPECT_EQ(char_type, NDS_OEM);
  ASSERT_EQ(NdsGetFieldLength(cursor, "d", &length), NDS_SUCCESS);
  EXPECT_EQ(length, 8u);  // a DBF-kind date is its 8-character text
  EXPECT_EQ(store_.Read("SELECT table_type FROM _nce_tables WHERE name = 'c'"), "2\n");
}

TEST_F(Statements, FailpointsMakeAnyFunctionFail) {
  nce::testing::FailpointGuard guard;
  nce::testing::ArmFailpoint("NdsExecuteSQL", 7200, "Error 7200: NativeError = 2121; armed", 2);
  ASSERT_EQ(NdsPrepareSQL(statement_, "select 1"), NDS_SUCCESS);
  EXPECT_EQ(NdsExecuteSQL(statement_, nullptr), 7200u);
  EXPECT_EQ(LastErrorText(), "Error 7200: NativeError = 2121; armed");
  EXPECT_EQ(NdsExecuteSQL(statement_, nullptr), 7200u);
  EXPECT_EQ(NdsExecuteSQL(statement_, nullptr), NDS_SUCCESS);
  EXPECT_EQ(nce::testing::FailpointHits("NdsExecuteSQL"), 2);
  nce::testing::ArmFailpoint("NdsGetLastError", 5000, "no error for you");
  uint32_t number = 0;
  char text[600];
  uint16_t length = sizeof text;
  EXPECT_EQ(NdsGetLastError(&number, text, &length), 5000u);
}

}  // namespace
}  // namespace nce_test
