// DDL with the engine's field types: what the catalog records, how SQLite
// stores the values, and tables made by other SQLite tools. What the
// catalog records and the fields of cursors are checked on a database of
// the test PostgreSQL server too.
#include <sqlite3.h>

#include "tests/engine/cursor_test_support.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/repair_database.h"
#include "tests/engine/test_store.h"

namespace nce_test {
namespace {

class Catalog : public ::testing::Test {
 protected:
  explicit Catalog(StoreKind kind = StoreKind::kSqlite) : store_(kind) {}
  void SetUp() override { connection_ = store_.Connect(); }
  void TearDown() override { NdsDisconnect(connection_); }
  // Reads the SQLite store file itself, for what only SQLite can tell.
  std::string Direct(const std::string& sql) { return QueryDirect(store_.StoreFile(), sql); }

  // name=type:length:decimals of each catalog field of `table`, in order,
  // read through the engine.
  std::string CatalogFields(const std::string& table) {
    std::string rows = store_.Read(
        "SELECT name, field_type, length, decimals FROM _nce_fields WHERE table_name = '" + table +
        "' ORDER BY position");
    std::string fields;
    for (size_t at = 0, end; (end = rows.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string row = rows.substr(at, end - at);
      row[row.find('|')] = '=';
      for (char& c : row) c = c == '|' ? ':' : c;
      fields += (fields.empty() ? "" : " ") + row;
    }
    return fields;
  }

  // The engine's description of `select * from table`.
  std::string CursorFields(const std::string& table) {
    NDSHANDLE statement = 0, cursor = 0;
    EXPECT_EQ(NdsCreateSQLStatement(connection_, &statement), NDS_SUCCESS);
    std::string sql = "select * from " + table;
    EXPECT_EQ(NdsExecuteSQLDirect(statement, sql.c_str(), &cursor), NDS_SUCCESS) << LastErrorText();
    uint16_t count = 0;
    NdsGetNumFields(cursor, &count);
    std::string result;
    for (uint16_t f = 1; f <= count; ++f) {
      char name[64];
      uint16_t length16 = sizeof name, type = 0, decimals = 0;
      uint32_t length = 0, offset = 0;
      NdsGetFieldName(cursor, f, name, &length16);
      NdsGetFieldType(cursor, NDS_FIELD_ORDINAL(f), &type);
      NdsGetFieldLength(cursor, NDS_FIELD_ORDINAL(f), &length);
      NdsGetFieldDecimals(cursor, NDS_FIELD_ORDINAL(f), &decimals);
      NdsGetFieldOffset(cursor, NDS_FIELD_ORDINAL(f), &offset);
      result += std::string(f > 1 ? " " : "") + name + "=" + std::to_string(type) + ":" +
                std::to_string(length) + ":" + std::to_string(decimals) + "@" +
                std::to_string(offset);
    }
    NdsCloseTable(cursor);
    NdsCloseSQLStatement(statement);
    return result;
  }

  TestStore store_;
  NDSHANDLE connection_ = 0;
};

class CatalogOnBothStores : public Catalog, public ::testing::WithParamInterface<StoreKind> {
 protected:
  CatalogOnBothStores() : Catalog(GetParam()) {}
};

INSTANTIATE_TEST_SUITE_P(Stores, CatalogOnBothStores, BothStores(), StoreKindName);

TEST_P(CatalogOnBothStores, EveryEngineTypeIsRecorded) {
  RunSqlOrFail(connection_,
               "CREATE TABLE all_types(a LOGICAL, b NUMERIC(10,2), c DATE, d CHAR(12), e MEMO, "
               "f BLOB, g IMAGE, h VARCHAR, i DOUBLE, j INTEGER, k SHORT, l TIME, m TIMESTAMP, "
               "n AUTOINC, o RAW(6), p CURDOUBLE, q MONEY, r CICHAR(7), s ROWVERSION, "
               "t MODTIME)");
  EXPECT_EQ(CatalogFields("all_types"),
            "a=1:1:0 b=2:10:2 c=3:4:0 d=4:12:0 e=5:9:0 f=6:9:0 g=7:9:0 h=8:9:0 i=10:8:0 "
            "j=11:4:0 k=12:2:0 l=13:4:0 m=14:8:0 n=15:4:0 o=16:6:0 p=17:8:0 q=18:8:4 r=20:7:0 "
            "s=21:8:0 t=22:8:0");
  EXPECT_EQ(store_.Read("SELECT table_type FROM _nce_tables WHERE name = 'all_types'"), "3\n");
  // Offsets follow the deletion mark at byte 0, field after field.
  EXPECT_EQ(CursorFields("all_types").substr(0, 40), "a=1:1:0@1 b=2:10:2@2 c=3:4:0@12 d=4:12:0");
}

// SQLite only: the storage classes SQLite gives the values.
TEST_F(Catalog, StoredValuesKeepTheirForm) {
  RunSqlOrFail(connection_,
               "CREATE TABLE v(m MEMO, r RAW(4), i IMAGE, c CICHAR(5), n NUMERIC(6,1));"
               "INSERT INTO v VALUES('0123', '0042', '17', 'Abc', 2.5);");
  // A memo, raw or image value is never turned into a number.
  EXPECT_EQ(Direct("SELECT typeof(m) || m || typeof(r) || typeof(i) FROM v"), "text0123texttext");
  // A case-insensitive string compares without regard to letter case.
  EXPECT_EQ(Direct("SELECT count(*) FROM v WHERE c = 'aBC'"), "1");
  EXPECT_EQ(Direct("SELECT typeof(n) FROM v"), "real");
}

TEST_P(CatalogOnBothStores, SchemaChangesKeepTheCatalogInLine) {
  RunSqlOrFail(connection_, "CREATE TABLE t(a CHAR(3), n AUTOINC); INSERT INTO t(a) VALUES('x');");
  // A server's catalog forgets a table ALTER TABLE changes (not served yet):
  // the server's column types describe it from then on.
  const bool described = !store_.OnServer();
  RunSqlOrFail(connection_, "ALTER TABLE t ADD COLUMN b MONEY");
  if (described) {
    EXPECT_EQ(CatalogFields("t"), "a=4:3:0 n=15:4:0 b=18:8:4");
  }
  RunSqlOrFail(connection_, "ALTER TABLE t RENAME TO u; INSERT INTO u(a) VALUES('y');");
  EXPECT_EQ(CatalogFields("t"), "");
  if (described) {
    EXPECT_EQ(CatalogFields("u"), "a=4:3:0 n=15:4:0 b=18:8:4");
  }
  // Autoincrement numbering goes on after the rename, once per row.
  EXPECT_EQ(store_.Read("SELECT n FROM u ORDER BY n"), "1\n2\n");
  RunSqlOrFail(connection_, "DROP TABLE u");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_fields"), "0\n");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_tables"), "0\n");
  if (!store_.OnServer()) {
    EXPECT_EQ(Direct("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), "0");
  }
}

TEST_P(CatalogOnBothStores, RenamedTableKeepsItsTypeAndCounters) {
  NDSHANDLE statement = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection_, &statement), NDS_SUCCESS);
  ASSERT_EQ(NdsStmtSetTableType(statement, NDS_CDX), NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQLDirect(statement,
                                "CREATE TABLE old_name(n AUTOINC, d DATE, m MEMO);"
                                "INSERT INTO old_name(d) VALUES('2024-01-01'), (NULL);"
                                "DELETE FROM old_name WHERE n = 2;",
                                nullptr),
            NDS_SUCCESS)
      << LastErrorText();
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(connection_, "old_name", 0, 0, 0, &cursor), NDS_SUCCESS)
      << LastErrorText();
  ASSERT_EQ(NdsGotoRecord(cursor, 1), NDS_SUCCESS);
  ASSERT_EQ(NdsDeleteRecord(cursor), NDS_SUCCESS) << LastErrorText();
  NdsCloseTable(cursor);
  RunSqlOrFail(connection_,
               "ALTER TABLE old_name RENAME TO new_name;"
               "INSERT INTO new_name(d) VALUES(NULL);");
  EXPECT_EQ(store_.Read("SELECT name, table_type FROM _nce_tables"), "new_name|2\n");
  EXPECT_EQ(CatalogFields("new_name"), "n=15:4:0 d=3:8:0 m=5:10:0");
  // The deletion mark follows the table, and still goes with its row.
  const std::string marks = "SELECT upper(table_name) || record FROM _nce_deleted";
  EXPECT_EQ(store_.Read(marks), "NEW_NAME1\n");
  // Number 2 was handed out before the rename; it is not handed out again.
  EXPECT_EQ(store_.Read("SELECT n FROM new_name ORDER BY n"), "1\n3\n");
  if (!store_.OnServer()) {
    EXPECT_EQ(Direct("SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND name LIKE "
                     "'_nce_autoinc%'"),
              "1");
  }
  // Column changes keep the table's type, fields and marks. A column added
  // on a server comes after its rowid column; an INSERT naming no columns
  // still fills the fields, and one value short is refused.
  RunSqlOrFail(connection_,
               "ALTER TABLE new_name ADD COLUMN x CHAR(3);"
               "ALTER TABLE new_name DROP COLUMN m;"
               "ALTER TABLE new_name RENAME COLUMN d TO day;"
               "INSERT INTO new_name VALUES(NULL, '2024-02-02', 'abc');");
  EXPECT_NE(NdsExecuteSQLDirect(statement, "INSERT INTO new_name VALUES(NULL, NULL)", nullptr),
            NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT name, table_type FROM _nce_tables"), "new_name|2\n");
  EXPECT_EQ(CatalogFields("new_name"), "n=15:4:0 day=3:8:0 x=4:3:0");
  EXPECT_EQ(store_.Read(marks), "NEW_NAME1\n");
  EXPECT_EQ(store_.Read("SELECT n, day, x FROM new_name ORDER BY n"),
            "1|20240101|\n3||\n4|20240202|abc\n");
  // The added field is guarded, and a refusal names it.
  ExpectError(RunSql(connection_, "UPDATE new_name SET x = 'long'"), NDS_E_VALUE_TOO_LONG,
              "column \"x\"");
  RunSqlOrFail(connection_, "DELETE FROM new_name WHERE n = 1");
  EXPECT_EQ(store_.Read(marks), "");
  NdsCloseSQLStatement(statement);
}

// SQLite only: the table is made by SQLite itself.
TEST_F(Catalog, TableMadeByAnotherToolIsUsable) {
  ASSERT_EQ(ExecDirect(store_.StoreFile(),
                       "CREATE TABLE foreign_made(id INTEGER PRIMARY KEY, name VARCHAR(30), "
                       "code CHAR(4), notes TEXT, price DECIMAL(8,2), ratio REAL, data BLOB, "
                       "day DATE, big BIGINT, flag BOOLEAN, anything);"
                       "INSERT INTO foreign_made(name, price) VALUES('x', 1.5);"),
            "");
  EXPECT_EQ(CursorFields("foreign_made"),
            "id=11:4:0@1 name=8:9:0@5 code=4:4:0@14 notes=5:9:0@18 price=2:8:2@27 "
            "ratio=10:8:0@35 data=6:9:0@43 day=3:4:0@52 big=2:20:0@56 flag=1:1:0@76 "
            "anything=6:9:0@77");
  RunSqlOrFail(connection_, "UPDATE foreign_made SET ratio = 0.5");
  EXPECT_EQ(Direct("SELECT ratio FROM foreign_made"), "0.5");
}

// SQLite only: it groups by a.k alone and selects a.s, which the server
// refuses.
TEST_F(Catalog, CursorFieldsOfExpressionsAndJoins) {
  RunSqlOrFail(connection_,
               "CREATE TABLE a(k INTEGER, s CHAR(8)); CREATE TABLE b(k INTEGER, s CICHAR(3));"
               "INSERT INTO a VALUES(1, 'one'), (2, 'two'); INSERT INTO b VALUES(1, 'x');");
  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection_, &statement), NDS_SUCCESS);
  ASSERT_EQ(
      NdsExecuteSQLDirect(statement,
                          "select a.k, a.s, b.s, count(*) as n, a.s || 'long text' as t, "
                          "null as no_value, 5000000000 as big from a left join b on a.k = b.k "
                          "group by a.k",
                          &cursor),
      NDS_SUCCESS)
      << LastErrorText();
  char name[16];
  uint16_t length = sizeof name;
  ASSERT_EQ(NdsGetFieldName(cursor, 3, name, &length), NDS_SUCCESS);
  EXPECT_STREQ(name, "s_1");  // two result columns named s stay apart
  uint16_t type = 0;
  uint32_t field_length = 0;
  NdsGetFieldType(cursor, "s_1", &type);
  EXPECT_EQ(type, NDS_CISTRING);
  NdsGetFieldType(cursor, "n", &type);
  EXPECT_EQ(type, NDS_INTEGER);
  NdsGetFieldType(cursor, "t", &type);
  NdsGetFieldLength(cursor, "t", &field_length);
  EXPECT_EQ(type, NDS_STRING);
  EXPECT_EQ(field_length, 12u);  // the longest value
  NdsGetFieldType(cursor, "no_value", &type);
  NdsGetFieldLength(cursor, "no_value", &field_length);
  EXPECT_EQ(type, NDS_STRING);
  EXPECT_EQ(field_length, 1u);
  NdsGetFieldType(cursor, "big", &type);
  EXPECT_EQ(type, NDS_NUMERIC);
  uint32_t count = 0;
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_RESPECTFILTERS, &count), NDS_SUCCESS);
  EXPECT_EQ(count, 2u);
  uint32_t record_length = 0;
  ASSERT_EQ(NdsGetRecordLength(cursor, &record_length), NDS_SUCCESS);
  EXPECT_EQ(record_length, 1u + 4 + 8 + 3 + 4 + 12 + 1 + 20);
  uint32_t options = 0;
  ASSERT_EQ(NdsGetTableOpenOptions(cursor, &options), NDS_SUCCESS);
  EXPECT_EQ(options & NDS_OPEN_READONLY, NDS_OPEN_READONLY);
  NdsCloseTable(cursor);
}

}  // namespace
}  // namespace nce_test
