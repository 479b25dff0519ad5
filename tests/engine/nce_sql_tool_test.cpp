// The SQL shell nce-sql, run as a separate program.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "engine/testing/nce_failpoints.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"
#include "tests/support/test_paths.h"

namespace nce_test {
namespace {

struct ToolRun {
  int status = -1;     // exit status
  std::string output;  // standard output and standard error together
};

// Runs nce-sql with `arguments`, `input` on standard input and, when
// `password` is given, NCE_PASSWORD set to it (unset otherwise).
ToolRun RunTool(const std::string& arguments, const std::string& input = "",
                const std::string* password = nullptr) {
  std::string command = (password ? "NCE_PASSWORD='" + *password + "' " : "env -u NCE_PASSWORD ") +
                        test_support::TestBinaryDir() + "/tools/nce-sql " + arguments + " 2>&1";
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

// The same script and output on a directory and on a server's URI.
class NceSqlOnStores : public ::testing::TestWithParam<StoreKind> {};
INSTANTIATE_TEST_SUITE_P(Stores, NceSqlOnStores, BothStores(), StoreKindName);

TEST_P(NceSqlOnStores, ResultSetsPrintAsAlignedTables) {
  TestStore store(GetParam());
  ToolRun run = RunTool(store.path(),
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
  EXPECT_NE(run.output.find("usage: nce-sql [OPTIONS] PATH [SCRIPT]"), std::string::npos);
  run = RunTool(dir.str() + " " + (dir.path() / "no-such-script.sql").string());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("cannot read"), std::string::npos);
}

// A person's first session: a new data dictionary made from the shell, a
// user added to it, then the login the dictionary asks for.
TEST(NceSql, DictionaryWithAUserNeedsItsLogin) {
  TempDir dir;
  const std::string dictionary = (dir.path() / "app.ndd").string();
  ToolRun run = RunTool("--create " + dictionary, "create table crew(id INTEGER, name CHAR(8));\n");
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_TRUE(nce::testing::SetDictionaryUser(dictionary, "Pilot", "s3cret", "crew;admin"));

  run = RunTool(dictionary, ".tables\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("The user name or password is not valid"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("give a user with --user"), std::string::npos) << run.output;

  const std::string wrong = "guess";
  run = RunTool("--user Pilot " + dictionary, ".tables\n", &wrong);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("not valid"), std::string::npos) << run.output;

  const std::string right = "s3cret";
  run = RunTool("-U Pilot " + dictionary, ".tables\n.users\n", &right);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output,
            "table\n"
            "-----\n"
            "crew\n"
            "(1 row)\n"
            "user  | groups\n"
            "------+-----------\n"
            "Pilot | crew;admin\n"
            "(1 row)\n");

  // The password never comes from the command line.
  run = RunTool("--user Pilot --password=s3cret " + dictionary);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("never given on the command line"), std::string::npos) << run.output;
}

TEST(NceSql, CreateMakesAMissingDirectoryAndSaysSoWhenNotAsked) {
  TempDir dir;
  const std::string database = (dir.path() / "new" / "data").string();
  ToolRun run = RunTool(database, "select 1;");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("does not exist; nce-sql --create makes a new database there"),
            std::string::npos)
      << run.output;
  run = RunTool("--create " + database, "create table t(k INTEGER);\ninsert into t values(4);\n");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(QueryDirect(database + "/nce.db", "SELECT k FROM t"), "4");
}

// Statements may span lines and hold semicolons in a trigger body; commands
// run between them, and a failing command stops a script like a statement.
TEST(NceSql, ScriptsMixStatementsAndCommands) {
  TempDir dir;
  ToolRun run = RunTool(dir.str(),
                        "create table t(k INTEGER,\n"
                        "               s CHAR(4));\n"
                        "create index t_k on t(k);\n"
                        "create trigger t_log after insert on t begin\n"
                        "  update t set s = 'x' where k = new.k;\n"
                        "end;\n"
                        ".indexes t\n"
                        "insert into t values(1, 'a');\n"
                        "select s from t;\n"
                        ".nonsense\n"
                        "insert into t values(2, 'b');\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output,
            "table | order | key | options\n"
            "------+-------+-----+--------\n"
            "t     | t_k   | k   |\n"
            "(1 row)\n"
            "(1 row changed)\n"
            "s\n"
            "-\n"
            "x\n"
            "(1 row)\n"
            "nce-sql: unknown command .nonsense (.help lists the commands)\n");
  EXPECT_EQ(QueryDirect(StoreFile(dir), "SELECT count(*) FROM t"), "1");
}

TEST(NceSql, HelpShowsOptionsCommandsAndEnvironment) {
  ToolRun run = RunTool("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* part : {"--user NAME", "--create", ".tables", ".indexes [TABLE]", ".users",
                           ".quit", "NCE_PASSWORD", "Exit status"})
    EXPECT_NE(run.output.find(part), std::string::npos) << part << " missing in\n" << run.output;
}

}  // namespace
}  // namespace nce_test

namespace nce_test {
namespace {

// .import and .export through the shell, results printed as CSV, and the
// xBase tables of the directory that the database does not hold yet named at
// start and under .tables.
TEST(NceSql, ImportsExportsAndNamesTablesNotImported) {
  TempDir data, db;
  std::string csv = data.Write("people.csv", "id,name\r\n1,\"Smith, J\"\r\n2,\r\n3,\"\"\r\n");
  ToolRun made = RunTool(db.str(), ".import " + csv + "\n.export people " + db.str() +
                                       "/CREW.DBF\n.mode csv\nselect * from people;\n");
  EXPECT_EQ(made.status, 0) << made.output;
  EXPECT_EQ(made.output,
            "(3 rows imported)\n(3 rows exported)\nid,name\r\n1,\"Smith, J\"\r\n2,\r\n3,\"\"\r\n")
      << "NULL unquoted, the empty text quoted";

  // The exported table lies in the database's directory, and CREW is not a table of it.
  ToolRun listed = RunTool(db.str(), ".tables\n.import --replace " + csv + " people\n");
  EXPECT_EQ(listed.status, 0) << listed.output;
  EXPECT_NE(listed.output.find("nce-sql: The database's directory holds 1 xBase table that the "
                               "database does not: CREW.DBF. \".import FILE\" brings one in.\n"),
            std::string::npos)
      << listed.output;
  EXPECT_NE(listed.output.find("(1 row)\nThe database's directory holds 1 xBase table"),
            std::string::npos)
      << listed.output;

  ToolRun refused = RunTool(db.str(), ".import " + csv + "\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("Error 5151: The table people exists already"), std::string::npos)
      << refused.output;
}

}  // namespace
}  // namespace nce_test
