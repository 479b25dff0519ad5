// The SQL shell nce-sql, run as a separate program.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "tests/engine/engine_test_support.h"

using namespace nce_test;

namespace {

struct ToolRun {
  int status = -1;     // exit status
  std::string output;  // standard output and standard error together
};

ToolRun RunTool(const std::string& arguments, const std::string& input = "") {
  std::string command = std::string(NDS_TEST_BINARY_DIR) + "/tools/nce-sql " + arguments + " 2>&1";
  TempDir scratch;
  std::string input_file = (scratch.path() / "stdin.sql").string();
  std::ofstream(input_file) << input;
  command += " < " + input_file;
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(NceSql, RunsAScriptFileAndReportsChangedRows) {
  TempDir dir;
  std::string script = (dir.path() / "script.sql").string();
  std::ofstream(script) << "create table t(k INTEGER, s CHAR(4));\n"
                           "insert into t values(1, 'a'), (2, 'b');\n"
                           "update t set s = 'c' where k = 2\n";
  ToolRun run = RunTool(dir.str() + " " + script);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "(2 rows changed)\n(1 row changed)\n");
  EXPECT_EQ(QueryDirect(StoreFile(dir), "SELECT group_concat(s) FROM t"), "a,c");
}

TEST(NceSql, ResultSetsPrintAsAlignedTables) {
  TempDir dir;
  ToolRun run = RunTool(dir.str(),
                        "create table t(k INTEGER, s CHAR(6), d DATE, b BLOB);\n"
                        "insert into t values(7, 'seven', '2024-01-02', x'0102'), "
                        "(1200, 'x', NULL, NULL);\n"
                        "select * from t order by k;\n"
                        "select count(*) as n from t where k > 5000;\n");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "(2 rows changed)\n"
            "k    | s     | d        | b\n"
            "-----+-------+----------+----------\n"
            "   7 | seven | 20240102 | <2 bytes>\n"
            "1200 | x     | NULL     | NULL\n"
            "(2 rows)\n"
            "n\n"
            "-\n"
            "0\n"
            "(1 row)\n");
}

TEST(NceSql, FailureStopsWithTheEngineTextAndStatusOne) {
  TempDir dir;
  ToolRun run = RunTool(dir.str(),
                        "create table t(k INTEGER);\ninsert into missing values(1);\n"
                        "insert into t values(1);\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Error 7200: SQL error: NativeError = 1; no such table: missing"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(QueryDirect(StoreFile(dir), "SELECT count(*) FROM t"), "0");
}

TEST(NceSql, UnusableDatabaseOrArgumentsGiveStatusTwo) {
  TempDir dir;
  ToolRun run = RunTool((dir.path() / "absent").string(), "select 1;");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("does not exist"), std::string::npos) << run.output;
  run = RunTool("");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("usage: nce-sql PATH [SCRIPT]"), std::string::npos);
  run = RunTool(dir.str() + " " + (dir.path() / "no-such-script.sql").string());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("cannot read"), std::string::npos);
}

}  // namespace
