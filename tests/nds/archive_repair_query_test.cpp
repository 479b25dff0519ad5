// The archive repair script run by a TNdsQuery on a TNdsConnection inside a
// transaction, as the repair window runs it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/strings.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nds_test::ArchivePairs;
using nds_test::QueryDatabase;

class ArchiveRepairQuery : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& p : ArchivePairs()) {
      for (const std::string prefix : {"", "a_"}) {
        db_.Exec("create table " + prefix + p.table + " (" + p.key + " integer, Note char(10))");
      }
    }
    query_.SetNdsConnection(&db_.Connection());
    dataset::TStringList script;
    for (const auto& line : nds_test::RepairScriptLines()) script.Add(line);
    query_.SetSQL(&script);
  }

  void Insert(const std::string& table, const std::string& key, int value,
              const std::string& note) {
    db_.Exec("insert into " + table + " (" + key + ", Note) values (" + std::to_string(value) +
             ", '" + note + "')");
  }

  QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
};

TEST_F(ArchiveRepairQuery, ScriptHasTheStoredShape) {
  const auto lines = nds_test::RepairScriptLines();
  ASSERT_EQ(lines.size(), 125u);
  EXPECT_EQ(lines[0], "delete from acftcomp where Rec_No in (select Rec_No from a_acftcomp);");
  EXPECT_EQ(lines[12], "delete from a_acftcomp");
  EXPECT_EQ(lines[13], "where rowid not in ");
  EXPECT_EQ(lines[14], "     (select min(rowid) from a_acftcomp ");
  EXPECT_EQ(lines[15], "       group by Rec_No);");
  EXPECT_EQ(lines[80], "\t   ");
  EXPECT_EQ(lines[123], "delete from workcard where Rec_No in (select Rec_No from a_workcard)");
  EXPECT_EQ(lines[124], "\t   \t   \t   ");
  // No colon anywhere: the script has no parameters.
  EXPECT_EQ(query_.ParamCount(), 0);
}

TEST_F(ArchiveRepairQuery, RepairsInsideATransactionAndReportsAffectedRows) {
  // acftcomp: key 1 archived (three archive copies), key 2 live only.
  Insert("acftcomp", "Rec_No", 1, "live");
  Insert("acftcomp", "Rec_No", 2, "keep");
  for (const char* note : {"first", "second", "third"}) Insert("a_acftcomp", "Rec_No", 1, note);
  // workcard (the last statement, without semicolon): key 7 archived twice.
  Insert("workcard", "Rec_No", 7, "live");
  Insert("a_workcard", "Rec_No", 7, "first");
  Insert("a_workcard", "Rec_No", 7, "second");
  // An empty archive table removes nothing from its live table.
  Insert("squawk", "Rec_No", 5, "keep");

  db_.Connection().Connect();
  db_.Connection().StartTransaction();
  query_.ExecSQL();
  db_.Connection().CommitTransaction();

  // Deleted: acftcomp 1, two a_acftcomp copies, workcard 7, one a_workcard copy.
  EXPECT_EQ(query_.AffectedRows(), 5);
  EXPECT_EQ(db_.Column("select Note from acftcomp"), std::vector<std::string>{"keep"});
  EXPECT_EQ(db_.Column("select Note from a_acftcomp"), std::vector<std::string>{"first"});
  EXPECT_EQ(db_.Count("workcard"), 0);
  EXPECT_EQ(db_.Column("select Note from a_workcard"), std::vector<std::string>{"first"});
  EXPECT_EQ(db_.Count("squawk"), 1);
  EXPECT_FALSE(query_.Active());
  EXPECT_NE(query_.StatementHandle(), nds::kNoHandle);  // kept for the next run
}

TEST_F(ArchiveRepairQuery, UndamagedDatabaseIsLeftUnchanged) {
  Insert("fltleg", "Leg_No", 3, "live");
  Insert("a_fltleg", "Leg_No", 4, "arch");
  db_.Connection().Connect();
  db_.Connection().StartTransaction();
  query_.ExecSQL();
  db_.Connection().CommitTransaction();
  EXPECT_EQ(query_.AffectedRows(), 0);
  EXPECT_EQ(db_.Count("fltleg"), 1);
  EXPECT_EQ(db_.Count("a_fltleg"), 1);
}

TEST_F(ArchiveRepairQuery, FailingStatementRollsBackEverything) {
  Insert("acftcomp", "Rec_No", 1, "live");
  Insert("a_acftcomp", "Rec_No", 1, "first");
  Insert("a_acftcomp", "Rec_No", 1, "second");
  // A missing archive table makes a statement in the middle fail.
  db_.Exec("drop table a_fltsqk");

  db_.Connection().Connect();
  db_.Connection().StartTransaction();
  try {
    query_.ExecSQL();
    FAIL() << "the script should fail";
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_SQL);
    EXPECT_EQ(error.DataSetName(), "");  // the query has no name here
  }
  db_.Connection().RollbackTransaction();

  // The statements before the failing one are undone.
  EXPECT_EQ(db_.Count("acftcomp"), 1);
  EXPECT_EQ(db_.Count("a_acftcomp"), 2);
  EXPECT_FALSE(query_.Active());
}

}  // namespace
}  // namespace nds_test
