// The SQL front end: where a script splits and which markers are
// parameters, over the quoting and comment forms SQLite accepts.
#include "engine/sql/sql_script.h"

#include "engine/sql/long_decimals.h"
#include "engine/sql/statement_locks.h"
#include "tests/engine/engine_test_support.h"

namespace nce_test {
namespace {

std::vector<std::string> Split(const std::string& script) {
  std::vector<std::string> pieces;
  for (std::string_view piece : nce::SplitScript(script)) pieces.emplace_back(piece);
  return pieces;
}

using Pieces = std::vector<std::string>;

TEST(SplitScript, SemicolonsInsideQuotesAndCommentsDoNotSplit) {
  EXPECT_EQ(Split("select ';' from t; select \"a;b\" from [c;d]; select `e;f`"),
            (Pieces{"select ';' from t", "select \"a;b\" from [c;d]", "select `e;f`"}));
  EXPECT_EQ(Split("select 'it''s;' -- x;y\n; /* a; b */ delete from t;"),
            (Pieces{"select 'it''s;' -- x;y", "/* a; b */ delete from t"}));
  EXPECT_EQ(Split(" ; ;\r\n\t ;-- only a comment\n/* and another */"), Pieces{});
  EXPECT_EQ(Split("select 1"), Pieces{"select 1"});
  // An unclosed quote or comment runs to the end; SQLite reports it.
  EXPECT_EQ(Split("select 'open; select 2"), Pieces{"select 'open; select 2"});
  EXPECT_EQ(Split("select 1 /* open; select 2"), Pieces{"select 1 /* open; select 2"});
}

TEST(SplitScript, TriggerBodiesStayWhole) {
  const std::string trigger =
      "CREATE TEMP TRIGGER tr AFTER INSERT ON t BEGIN "
      "UPDATE t SET v = CASE WHEN NEW.k > 0 THEN 1 ELSE 0 END WHERE rowid = NEW.rowid; "
      "DELETE FROM u; END";
  EXPECT_EQ(Split("create table t(k); " + trigger + "; insert into t values(1)"),
            (Pieces{"create table t(k)", trigger, "insert into t values(1)"}));
  // BEGIN as a statement of its own is not a trigger body.
  EXPECT_EQ(Split("begin; delete from t; commit"), (Pieces{"begin", "delete from t", "commit"}));
}

TEST(MarkParameters, EachMarkerOutsideQuotesIsNumbered) {
  nce::MarkedStatement marked =
      nce::MarkParameters("select :a, ?, ?7, ':b', \"?\", [:c], x::int, t.a:b -- :d\n, :a", 3);
  EXPECT_EQ(marked.sql, "select ?3, ?4, ?5, ':b', \"?\", [:c], x::int, t.a?6 -- :d\n, ?7");
  EXPECT_EQ(marked.markers, (std::vector<std::string>{":a", "?", "?7", ":b", ":a"}));
  EXPECT_EQ(nce::MarkParameters("x::y", 1).markers.size(), 0u);  // "::" is no marker
  EXPECT_EQ(nce::LeadingKeyword("  /* c */ (select 1)"), "SELECT");
  EXPECT_EQ(nce::LeadingKeyword("-- c\n  with x as (select 1) delete from t"), "WITH");
}

// The table a write statement changes is found after common table
// expressions too, whatever their bodies hold.
TEST(WriteTarget, FoundPastCommonTableExpressions) {
  EXPECT_EQ(nce::WriteTarget("with x(a) as (select ')' from \"update\" -- )\n) "
                             "delete from main.t where a in x",
                             "WITH"),
            "t");
  const std::string recursive =
      "WITH RECURSIVE c(n) AS (SELECT 1 UNION SELECT n + 1 FROM c WHERE n < 3), "
      "d AS NOT MATERIALIZED (SELECT /* ( */ 3) INSERT OR REPLACE INTO [u v] SELECT n FROM c";
  EXPECT_EQ(nce::WriteTarget(recursive, "WITH"), "u v");
  EXPECT_TRUE(nce::ReplacesRows(recursive, "WITH"));
  EXPECT_FALSE(nce::ReplacesRows("with x as (select 1) insert into t select * from x", "WITH"));
  EXPECT_EQ(nce::WriteTarget("with x as (select 1) update or ignore t set a = 1", "WITH"), "t");
  EXPECT_EQ(nce::WriteTarget("with x as (select 1) select * from x", "WITH"), "");
  EXPECT_EQ(nce::WriteTarget("with x as (select 1", "WITH"), "");
}

// SQLite reads a long decimal literal as a rounded double: only what a
// column receives whole goes as text, so that a money column keeps its
// digits; everywhere else the literal stays a number, to compare and
// compute with.
TEST(ColumnLongDecimalsAsText, OnlyWhatAColumnReceivesWholeBecomesText) {
  const std::pair<std::string, std::string> changed[] = {
      {"insert into m values (1, 922337203685477.5807), (2,-0.12345678901234567)",
       "insert into m values (1, '922337203685477.5807'), (2,'-0.12345678901234567')"},
      {"update m set a = 0.12345678901234567, b = 2 where t.\"c\" = 1234567890.1234567 "
       "or d<>.12345678901234567",
       "update m set a = '0.12345678901234567', b = 2 where t.\"c\" = '1234567890.1234567' "
       "or d<>'.12345678901234567'"},
  };
  for (const auto& [sql, want] : changed) EXPECT_EQ(nce::ColumnLongDecimalsAsText(sql), want);
  for (const char* same : {
           "select 5 > 0.12345678901234567, abs(0.12345678901234567), -0.12345678901234567 < 0",
           "select * from t where 1 + m = 0.12345678901234567 or f(m) = 0.12345678901234567 or "
           "m >= 0.12345678901234567 order by m - 0.12345678901234567",
           "insert into m values (1 + 0.12345678901234567, abs(0.12345678901234567))",
           "insert into m select 0.12345678901234567; select * from (values (0.12345678901234567))",
           "insert into m values (1.5e0, 0.1234567890123456e1, 0.123456789012345, "
           "12345678901234567)",
           "update m set a = '0.12345678901234567' -- 0.12345678901234567\n",
       })
    EXPECT_EQ(nce::ColumnLongDecimalsAsText(same), same);
}

// SQLite only: a server's triggers call functions instead of holding bodies.
TEST(MarkParameters, TriggerThroughTheEngineWorks) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  RunSqlOrFail(connection,
               "create table t(k INTEGER, v INTEGER); create table log(k INTEGER);"
               "create trigger tr after insert on t begin insert into log values(NEW.k); "
               "update t set v = case when NEW.k > 1 then 1 else 0 end where rowid = NEW.rowid; "
               "end; insert into t(k) values(1), (2);");
  EXPECT_EQ(QueryDirect(StoreFile(dir), "SELECT group_concat(k || '=' || v) FROM t"), "1=0,2=1");
  EXPECT_EQ(QueryDirect(StoreFile(dir), "SELECT count(*) FROM log"), "2");
  NdsDisconnect(connection);
}

}  // namespace
}  // namespace nce_test
