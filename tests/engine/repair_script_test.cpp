// The archive repair script through the engine: on every damage pattern it
// leaves exactly what SQLite running the same text directly leaves, and a
// failure half-way, rolled back, leaves the database as it was.
#include <filesystem>

#include "engine/sql/sql_script.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/repair_database.h"

namespace nce_test {
namespace {

// Executes the script as the repair run does: a transaction, a statement
// with the query's options, one prepare and one execute, then commit.
// Returns the rows-affected count.
uint32_t RunRepairThroughEngine(const std::string& path) {
  NDSHANDLE connection = 0;
  EXPECT_EQ(
      NdsConnect60(path.c_str(), NDS_REMOTE_SERVER | NDS_LOCAL_SERVER, "", "", 0, &connection),
      NDS_SUCCESS)
      << LastErrorText();
  EXPECT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS) << LastErrorText();
  NDSHANDLE statement = 0;
  EXPECT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableLockType(statement, 1), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableCharType(statement, 1), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableRights(statement, 1), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableReadOnly(statement, 1), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtSetTableType(statement, 3), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtConstrainUpdates(statement, 2), NDS_SUCCESS);
  EXPECT_EQ(NdsStmtReadAllColumns(statement, 2), NDS_SUCCESS);
  std::string text = RepairScriptText();
  EXPECT_EQ(NdsPrepareSQL(statement, text.c_str()), NDS_SUCCESS) << LastErrorText();
  NDSHANDLE cursor = 77;
  EXPECT_EQ(NdsExecuteSQL(statement, &cursor), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(cursor, 0u);
  uint32_t affected = 0;
  EXPECT_EQ(NdsGetRecordCount(statement, NDS_IGNOREFILTERS, &affected), NDS_SUCCESS);
  EXPECT_EQ(NdsCommitTransaction(connection), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(NdsCloseSQLStatement(statement), NDS_SUCCESS);
  EXPECT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
  return affected;
}

size_t RowCount(const std::string& dump) {
  size_t rows = 0;
  for (char c : dump) rows += c == '\n';
  return rows - 36;  // one header line per table
}

class RepairScript : public ::testing::TestWithParam<Damage> {};

TEST_P(RepairScript, EngineLeavesWhatSqliteLeaves) {
  TempDir engine_dir, direct_dir;
  NDSHANDLE connection = ConnectOrFail(engine_dir.str());
  BuildRepairDatabase(connection, GetParam(), 7);
  ASSERT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
  std::filesystem::copy_file(StoreFile(engine_dir), StoreFile(direct_dir));
  std::string before = DumpUserTables(StoreFile(engine_dir));

  ASSERT_EQ(ExecDirect(StoreFile(direct_dir), RepairScriptText()), "");
  uint32_t affected = RunRepairThroughEngine(engine_dir.str());

  std::string after = DumpUserTables(StoreFile(engine_dir));
  EXPECT_EQ(after, DumpUserTables(StoreFile(direct_dir)));
  EXPECT_EQ(affected, RowCount(before) - RowCount(after));
  if (GetParam() == Damage::kNone)
    EXPECT_EQ(after, before);
  else
    EXPECT_NE(after, before);
}

INSTANTIATE_TEST_SUITE_P(DamagePatterns, RepairScript,
                         ::testing::Values(Damage::kNone, Damage::kOverlapAndCopies,
                                           Damage::kNullKeys, Damage::kEmptyArchives,
                                           Damage::kRandom));

TEST(RepairScriptShape, ThirtySixStatementsWithoutParameters) {
  std::vector<std::string> lines = RepairScriptLines();
  ASSERT_EQ(lines.size(), 125u);
  EXPECT_EQ(lines[12], "delete from a_acftcomp");
  EXPECT_EQ(lines[14], "     (select min(rowid) from a_acftcomp ");
  EXPECT_EQ(nce::SplitScript(RepairScriptText()).size(), 36u);
  char names[8];
  uint32_t length = sizeof names;
  ASSERT_EQ(NdsGetSQLStmtParams(RepairScriptText().c_str(), names, &length), NDS_SUCCESS);
  EXPECT_EQ(length, 0u);
}

TEST(RepairScriptShape, KeepsLowestRowidOfThreeCopiesAndRemovesArchivedLiveRows) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  BuildRepairDatabase(connection, Damage::kOverlapAndCopies);
  ASSERT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
  RunRepairThroughEngine(dir.str());
  std::string store = StoreFile(dir);
  EXPECT_EQ(QueryDirect(store, "SELECT group_concat(rowid || ':' || Rec_No) FROM a_acftcomp"),
            "1:2,4:4,5:9");
  EXPECT_EQ(QueryDirect(store, "SELECT group_concat(Rec_No) FROM acftcomp"), "1,3,5,6");
}

TEST(RepairScriptShape, FailureHalfWayThenRollbackLeavesDatabaseUnchanged) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  BuildRepairDatabase(connection, Damage::kOverlapAndCopies);
  RunSqlOrFail(connection, "DROP TABLE a_squawk");
  std::string before = DumpUserTables(StoreFile(dir));

  ASSERT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS);
  NDSHANDLE statement = 0;
  ASSERT_EQ(NdsCreateSQLStatement(connection, &statement), NDS_SUCCESS);
  // The missing table is found before anything runs ...
  EXPECT_EQ(NdsPrepareSQL(statement, RepairScriptText().c_str()), NDS_E_SQL);
  EXPECT_NE(LastErrorText().find("no such table: a_squawk"), std::string::npos) << LastErrorText();
  EXPECT_EQ(NdsExecuteSQL(statement, nullptr), NDS_E_NOT_PREPARED);
  ASSERT_EQ(NdsRollbackTransaction(connection), NDS_SUCCESS);
  EXPECT_EQ(DumpUserTables(StoreFile(dir)), before);

  // ... and, when it vanishes between prepare and execute, the statements
  // before it have run when the execution fails; rollback undoes them.
  RunSqlOrFail(connection, "CREATE TABLE a_squawk(Rec_No INTEGER)");
  ASSERT_EQ(NdsPrepareSQL(statement, RepairScriptText().c_str()), NDS_SUCCESS) << LastErrorText();
  RunSqlOrFail(connection, "DROP TABLE a_squawk");
  before = DumpUserTables(StoreFile(dir));
  ASSERT_EQ(NdsBeginTransaction(connection), NDS_SUCCESS);
  EXPECT_EQ(NdsExecuteSQL(statement, nullptr), NDS_E_SQL);
  std::string text = LastErrorText();
  EXPECT_NE(text.find("no such table: a_squawk"), std::string::npos) << text;
  EXPECT_NE(text.find("statement 22 of 36"), std::string::npos) << text;
  ASSERT_EQ(NdsRollbackTransaction(connection), NDS_SUCCESS);
  EXPECT_EQ(DumpUserTables(StoreFile(dir)), before);
  NdsDisconnect(connection);
}

}  // namespace
}  // namespace nce_test
