// SQL writes keep the engine's field types: a value a field cannot hold is
// refused with the column named and nothing written, whoever writes it
// (engine SQL, an outside SQLite tool), and values at the types' limits
// come back exactly.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "cursor_test_support.h"
#include "engine_test_support.h"
#include "tests/support/type_misfits.h"

namespace nce_test {
namespace {

using test_support::kAllTypes;
using test_support::kMisfits;
using test_support::TypeMisfit;

class SqlTypeGuard : public CursorTest {
 protected:
  // Every column of row `rowid` as SQLite holds it, one text.
  std::string Row(int rowid) {
    return QueryDirect(StoreFile(dir_),
                       "SELECT quote(c)||quote(ci)||quote(s)||quote(i)||quote(d)||quote(l)||"
                       "quote(n)||quote(tm)||quote(ts)||quote(f)||quote(m)||quote(r)||quote(a)||"
                       "quote(cd) FROM b WHERE rowid = " +
                           std::to_string(rowid));
  }
  std::string Count() { return QueryDirect(StoreFile(dir_), "SELECT count(*) FROM b"); }
};

// A new table carries its guards as CHECK constraints; an altered one as
// triggers. Both refuse the same values with the same errors.
TEST_F(SqlTypeGuard, MisfitsAreRefusedWithTheColumnNamedAndNothingWritten) {
  for (uint16_t table_type : {NDS_NDT, NDS_CDX})
    for (bool altered : {false, true}) {
      SCOPED_TRACE(altered ? "guard triggers" : "guard constraints");
      Exec("DROP TABLE IF EXISTS b");
      Exec(kAllTypes, table_type);
      if (altered) Exec("ALTER TABLE b ADD COLUMN z INTEGER");
      EXPECT_EQ(QueryDirect(StoreFile(dir_),
                            "SELECT (SELECT count(*) FROM sqlite_master WHERE name IN "
                            "('_nce_guard_b_insert', '_nce_guard_b_update')) || (SELECT sql LIKE "
                            "'%CONSTRAINT \"NCE-%' FROM sqlite_master WHERE name = 'b')"),
                altered ? "20" : "01");
      Exec("INSERT INTO b (c, s) VALUES ('keep', 7)");
      std::string before = Row(1);
      for (const TypeMisfit& misfit : kMisfits) {
        SCOPED_TRACE(std::string(misfit.column) + " = " + misfit.value);
        std::string column = std::string("column \"") + misfit.column + "\"";
        ExpectError(RunSql(conn_, std::string("INSERT INTO b (") + misfit.column + ") VALUES (" +
                                      misfit.value + ")"),
                    misfit.error, column);
        ExpectError(RunSql(conn_, std::string("UPDATE b SET c = 'x', ") + misfit.column + " = " +
                                      misfit.value),
                    misfit.error, column);
        EXPECT_EQ(Count(), "1");
        EXPECT_EQ(Row(1), before);
      }
    }
}

// Stored tables compare their guard constraints with the text the engine
// writes: a change to that text turns every stored table's constraints into
// triggers, so it is pinned (FNV-1a of the stored CREATE TABLE text).
TEST_F(SqlTypeGuard, TheGuardConstraintsTextStaysAsStoredTablesHoldIt) {
  Exec(kAllTypes);
  std::string sql = QueryDirect(StoreFile(dir_), "SELECT sql FROM sqlite_master WHERE name = 'b'");
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : sql) hash = (hash ^ c) * 1099511628211ull;
  EXPECT_EQ(hash, 4820802089140747054ull) << sql.size() << " bytes: " << sql;
}

TEST_F(SqlTypeGuard, ValuesAtTheLimitsComeBackExactly) {
  Exec(kAllTypes);
  Exec(
      "INSERT INTO b (c, ci, s, i, d, l, n, tm, ts, f, r, cd) VALUES ('abcde', 'xyz', 32767, "
      "2147483647, '9999-12-31', 1, 99.99, '23:59:59.999', '9999-12-31 23:59:59.999', "
      "1.7976931348623157e308, x'ffff', '2024-02-29')");
  Exec(
      "INSERT INTO b (s, i, d, l, n, tm, ts, f, a) VALUES (-32767, -2147483647, '0001-01-01', "
      "0, -9.99, '00:00', '0001-01-01', -4.9e-324, 4294967294)");
  NDSHANDLE cursor = OpenTable("b");
  ASSERT_EQ(NdsGotoTop(cursor), 0u) << LastErrorText();
  EXPECT_EQ(Text(cursor, "c"), "abcde");
  EXPECT_EQ(Text(cursor, "ci"), "xyz");
  EXPECT_EQ(Text(cursor, "s"), "32767");
  EXPECT_EQ(Text(cursor, "i"), "2147483647");
  EXPECT_EQ(Text(cursor, "d"), "99991231");
  EXPECT_EQ(Text(cursor, "l"), "T");
  EXPECT_EQ(Text(cursor, "n"), "99.99");
  EXPECT_EQ(Text(cursor, "tm"), "23:59:59.999");
  EXPECT_EQ(Text(cursor, "ts"), "99991231 23:59:59.999");
  EXPECT_EQ(Text(cursor, "f"), "1.79769313486232e+308");
  EXPECT_EQ(Text(cursor, "a"), "1");
  EXPECT_EQ(Text(cursor, "cd"), "20240229");
  ASSERT_EQ(NdsSkip(cursor, 1), 0u) << LastErrorText();
  EXPECT_EQ(Text(cursor, "s"), "-32767");
  EXPECT_EQ(Text(cursor, "i"), "-2147483647");
  EXPECT_EQ(Text(cursor, "d"), "00010101");
  EXPECT_EQ(Text(cursor, "l"), "F");
  EXPECT_EQ(Text(cursor, "n"), "-9.99");
  EXPECT_EQ(Text(cursor, "tm"), "00:00:00.000");
  EXPECT_EQ(Text(cursor, "ts"), "00010101 00:00:00.000");
  EXPECT_EQ(Text(cursor, "a"), "4294967294");
  // The numbering has reached the field's limit: the next number is refused.
  ExpectError(RunSql(conn_, "INSERT INTO b (c) VALUES ('next')"), NDS_E_VALUE_TOO_LONG,
              "column \"a\"");
}

// Runs `sql` on the store file with SQLite alone, as another tool would;
// returns SQLite's message, empty on success.
std::string OutsideWrite(const std::string& store, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(store.c_str(), &db);
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string result = rc == SQLITE_OK ? "" : (message ? message : "failed");
  sqlite3_free(message);
  sqlite3_close(db);
  return result;
}

TEST_F(SqlTypeGuard, AnOutsideSqliteToolMeetsTheSameGuards) {
  Exec(kAllTypes);
  EXPECT_NE(OutsideWrite(StoreFile(dir_), "INSERT INTO b (s) VALUES (70000)").find("column \"s\""),
            std::string::npos);
  EXPECT_EQ(OutsideWrite(StoreFile(dir_), "INSERT INTO b (s) VALUES (700)"), "");
  EXPECT_EQ(Count(), "1");
}

TEST_F(SqlTypeGuard, StoresFromBeforeTheGuardsGetThemWhenOpened) {
  // Tables as an engine without guards (or an outside tool) left them: b
  // holding a value the engine could not read, f only values that fit.
  ASSERT_EQ(OutsideWrite(StoreFile(dir_),
                         "CREATE TABLE b (c CHAR(5), s SHORTINT); "
                         "INSERT INTO b (c, s) VALUES ('old', 70000); "
                         "CREATE TABLE f (c CHAR(5), d DATE); "
                         "INSERT INTO f (c, d) VALUES ('fits', '2024-02-29'), (NULL, NULL)"),
            "");
  NDSHANDLE second = ConnectOrFail(dir_.str());
  // f gets its guards as constraints in its stored text, its rows as they
  // were; b, which they would refuse, gets triggers.
  EXPECT_EQ(QueryDirect(StoreFile(dir_),
                        "SELECT group_concat(x, ' ') FROM (SELECT name || ':' || (sql LIKE "
                        "'%CONSTRAINT \"NCE-%') AS x FROM sqlite_master WHERE name IN ('b', 'f') "
                        "OR type = 'trigger' ORDER BY name)"),
            "_nce_guard_b_insert:0 _nce_guard_b_update:0 b:0 f:1");
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT group_concat(c || d) FROM f"), "fits2024-02-29");
  ExpectError(RunSql(second, "INSERT INTO f (d) VALUES ('2023-02-29')"), NDS_E_VALUE_INVALID,
              "column \"d\"");
  ExpectError(RunSql(second, "UPDATE f SET c = 'longer'"), NDS_E_VALUE_TOO_LONG, "column \"c\"");
  ExpectError(RunSql(second, "INSERT INTO b (s) VALUES (70000)"), NDS_E_VALUE_TOO_LONG,
              "column \"s\"");
  // The old row's other fields stay editable.
  EXPECT_EQ(RunSql(second, "UPDATE b SET c = 'new'"), 0u) << LastErrorText();
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT c || s FROM b"), "new70000");
  // Its rows keep it on guard triggers through the next catalog sync.
  EXPECT_EQ(RunSql(second, "CREATE TABLE other (x CHAR(1))"), 0u) << LastErrorText();
  ExpectError(RunSql(second, "UPDATE b SET c = 'longer'"), NDS_E_VALUE_TOO_LONG, "column \"c\"");
  EXPECT_EQ(NdsDisconnect(second), 0u);
}

TEST_F(SqlTypeGuard, GuardsFollowTheTableThroughAlterTable) {
  Exec("CREATE TABLE g (a SHORTINT, b CHAR(2))");
  Exec("ALTER TABLE g DROP COLUMN b");
  Exec("ALTER TABLE g ADD COLUMN c CHAR(3)");
  Exec("ALTER TABLE g RENAME TO h");
  ExpectError(RunSql(conn_, "INSERT INTO h (a) VALUES (40000)"), NDS_E_VALUE_TOO_LONG,
              "column \"a\"");
  ExpectError(RunSql(conn_, "INSERT INTO h (c) VALUES ('abcd')"), NDS_E_VALUE_TOO_LONG,
              "column \"c\"");
  EXPECT_EQ(RunSql(conn_, "INSERT INTO h (a, c) VALUES (4, 'abc')"), 0u) << LastErrorText();
  EXPECT_EQ(QueryDirect(StoreFile(dir_),
                        "SELECT group_concat(name) FROM sqlite_master WHERE type = 'trigger'"),
            "_nce_guard_h_insert,_nce_guard_h_update");
  // An ALTER TABLE that fails leaves the table guarded as it was.
  Exec("CREATE TABLE m (a SHORTINT)");
  Exec("INSERT INTO m (a) VALUES (1)");
  EXPECT_NE(RunSql(conn_, "ALTER TABLE m ADD COLUMN z INTEGER DEFAULT 0 CHECK (z > 0)"), 0u);
  EXPECT_EQ(QueryDirect(StoreFile(dir_),
                        "SELECT sql LIKE '%CONSTRAINT \"NCE-%' FROM "
                        "sqlite_master WHERE name = 'm'"),
            "1");
  ExpectError(RunSql(conn_, "INSERT INTO m (a) VALUES (40000)"), NDS_E_VALUE_TOO_LONG,
              "column \"a\"");
  // A renamed column's refusals name it by its new name.
  Exec("CREATE TABLE k (a SHORTINT)");
  Exec("ALTER TABLE k RENAME COLUMN a TO e");
  ExpectError(RunSql(conn_, "INSERT INTO k (e) VALUES (40000)"), NDS_E_VALUE_TOO_LONG,
              "column \"e\"");
}

}  // namespace
}  // namespace nce_test
