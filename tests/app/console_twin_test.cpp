// The console twin: the status text it prints and its exit status, in
// process for every outcome (failpoints reach only the engine of this
// process) and as the real program for the ones a database can cause.
#include <QProcess>
#include <QProcessEnvironment>
#include <string>

#include "engine/testing/nce_failpoints.h"
#include "gtest/gtest.h"
#include "tests/app/app_test_support.h"
#include "tests/support/test_paths.h"

namespace app_test {
namespace {

using app_test::DemoSite;

struct ConsoleResult {
  int status;
  std::string output;
  std::string errors;  // what the program wrote to stderr
};

// RunConsoleRepair with its output caught, in the test program's application.
ConsoleResult RunInProcess() {
  app_test::Application();
  auto [status, text] = app_test::RunConsoleRepairCaught();
  return {status, text, ""};
}

class ConsoleTwin : public ::testing::Test {
 protected:
  void TearDown() override { nce::testing::DisarmAllFailpoints(); }
  DemoSite site_;
};

TEST_F(ConsoleTwin, RepairedExitsZero) {
  const ConsoleResult result = RunInProcess();
  EXPECT_EQ(result.output, "Archive Repaired!\n");
  EXPECT_EQ(result.status, 0);
}

TEST_F(ConsoleTwin, MissingAliasExitsTwo) {
  site_.WriteIni("[Databases]\n");
  const ConsoleResult result = RunInProcess();
  EXPECT_EQ(result.output, "Unable to connect!\n");
  EXPECT_EQ(result.status, 2);
}

TEST_F(ConsoleTwin, NoPathExitsTwo) {
  site_.WriteIni("[Databases]\nVOLANTRAX=\n");
  EXPECT_EQ(RunInProcess().status, 2);
}

TEST_F(ConsoleTwin, FailingStatementExitsOne) {
  ASSERT_EQ(app_test::ExecDirect(site_.StoreFile(), "drop table chkrides"), "");
  const ConsoleResult result = RunInProcess();
  EXPECT_EQ(result.output, "Archive Repair Failed!\n");
  EXPECT_EQ(result.status, 1);
}

// No transaction was opened, so the engine refuses the rollback that
// follows, and the run ends as a failed rollback does.
TEST_F(ConsoleTwin, RefusedBeginExitsTwo) {
  nce::testing::ArmFailpoint("NdsBeginTransaction", 5000, "cannot begin");
  const ConsoleResult result = RunInProcess();
  EXPECT_EQ(result.output, "Unable to connect!\n");
  EXPECT_EQ(result.status, 2);
}

TEST_F(ConsoleTwin, RefusedCommitExitsOne) {
  nce::testing::ArmFailpoint("NdsCommitTransaction", 5000, "cannot commit");
  const ConsoleResult result = RunInProcess();
  EXPECT_EQ(result.output, "Archive Repair Failed!\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(ConsoleTwin, FailingScriptAndRollbackExitsTwo) {
  nce::testing::ArmFailpoint("NdsExecuteSQL", 7200, "Error 7200: NativeError = 1; no such table");
  nce::testing::ArmFailpoint("NdsRollbackTransaction", 5000, "cannot roll back");
  const ConsoleResult result = RunInProcess();
  EXPECT_EQ(result.output, "Unable to connect!\n");
  EXPECT_EQ(result.status, 2);
}

// The installed program, run in the site's directory where its nds.ini is.
ConsoleResult RunProgram(const DemoSite& site, const QStringList& arguments = {}) {
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(site.Root().string()));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  process.setProcessEnvironment(environment);
  process.start(QString::fromStdString(test_support::TestBinaryDir()) +
                    "/app/volantra-archive-repair-console",
                arguments);
  if (!process.waitForFinished(120000)) return {-1, "did not finish", ""};
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
          process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString()};
}

TEST_F(ConsoleTwin, ProgramPrintsTheStatusAndExitsWithItsCode) {
  app_test::Application();
  ConsoleResult result = RunProgram(site_);
  EXPECT_EQ(result.output, "Archive Repaired!\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.errors, "");  // the status line is the whole output

  // Run again on the repaired database: nothing left to repair, still a success.
  result = RunProgram(site_);
  EXPECT_EQ(result.output, "Archive Repaired!\n");
  EXPECT_EQ(result.status, 0);

  ASSERT_EQ(app_test::ExecDirect(site_.StoreFile(), "drop table chkrides"), "");
  result = RunProgram(site_);
  EXPECT_EQ(result.output, "Archive Repair Failed!\n");
  EXPECT_EQ(result.status, 1);

  site_.WriteIni("[Databases]\n");
  result = RunProgram(site_);
  EXPECT_EQ(result.output, "Unable to connect!\n");
  EXPECT_EQ(result.status, 2);
}

TEST_F(ConsoleTwin, ProgramRefusesArguments) {
  app_test::Application();
  const ConsoleResult result = RunProgram(site_, {"--now"});
  EXPECT_EQ(result.status, 64);
  EXPECT_EQ(result.output, "");
}

}  // namespace
}  // namespace app_test
