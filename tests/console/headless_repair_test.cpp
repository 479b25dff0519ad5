// The console twin's side of the repair utility, in a program that links no
// Qt: the window's components read from their description and the repair
// run, with no desktop and no view, and the twin program itself.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/repair_window.h"
#include "engine/testing/nce_failpoints.h"
#include "gtest/gtest.h"
#include "tests/app/site_support.h"
#include "tests/support/test_paths.h"

namespace console_test {
namespace {

using app_test::DemoSite;

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Lines of `text` naming a Qt library.
std::string QtLines(const std::string& text) {
  std::string found;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.find("libQt") != std::string::npos) found += line + "\n";
  return found;
}

const char* const kLiveKeysArchived =
    "select count(*) from acftcomp where Rec_No in (select Rec_No from a_acftcomp)";

TEST(HeadlessRepair, NoQtInTheProcessOrTheProgram) {
  EXPECT_EQ(QtLines(ReadFile("/proc/self/maps")), "");

  app_test::TempDir dir;
  const std::string command = "ldd " + test_support::TestBinaryDir() +
                              "/app/volantra-archive-repair-console > " +
                              (dir.path() / "ldd.txt").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string libraries = ReadFile(dir.path() / "ldd.txt");
  EXPECT_NE(libraries.find("libnce"), std::string::npos) << libraries;
  EXPECT_EQ(QtLines(libraries), "");
}

// Without a view the stored properties are kept as read, the label keeps
// its stored size, and showing or closing the form does nothing.
TEST(HeadlessRepair, ReadsTheWindowWithoutViews) {
  std::unique_ptr<app::TForm1> form = app::CreateRepairWindow();
  EXPECT_EQ(form->View(), nullptr);
  EXPECT_EQ(form->Caption(), "Volantra Archive Repair Utility");
  EXPECT_EQ(form->ClientWidth(), 303);
  EXPECT_EQ(form->ClientHeight(), 68);
  EXPECT_EQ(form->Font().Height(), -11);

  app::TLabel* label = form->Label1();
  EXPECT_EQ(label->View(), nullptr);
  EXPECT_EQ(label->Caption(), "< Click Button");
  EXPECT_EQ(label->Left(), 95);
  EXPECT_EQ(label->Width(), 66);
  EXPECT_EQ(label->Height(), 13);

  EXPECT_EQ(form->Button1()->Caption(), "Fix Archive");
  EXPECT_EQ(form->Button1()->TabOrder(), 0);
  EXPECT_TRUE(form->Button1()->Enabled());
  EXPECT_EQ(form->Button2()->Caption(), "Exit");
  EXPECT_EQ(form->Button2()->Left(), 7);
  EXPECT_EQ(form->Button2()->Top(), 38);
  EXPECT_EQ(form->Button2()->OnClickName(), "Button2Click");

  form->Show();
  form->Button2()->Click();  // "Exit" closes a window that is not there
  EXPECT_EQ(form->Label1()->Caption(), "< Click Button");
}

class HeadlessRun : public ::testing::Test {
 protected:
  void TearDown() override { nce::testing::DisarmAllFailpoints(); }
  DemoSite site_;
};

TEST_F(HeadlessRun, FixArchiveRepairsOnceThenIsDisabled) {
  ASSERT_GT(app_test::QueryNumber(site_.StoreFile(), kLiveKeysArchived), 0);
  std::unique_ptr<app::TForm1> form = app::CreateRepairWindow();
  form->Button1()->Click();
  EXPECT_EQ(form->Outcome(), app::RepairOutcome::kRepaired);
  EXPECT_EQ(form->Label1()->Caption(), "Archive Repaired!");
  EXPECT_FALSE(form->Button1()->Enabled());
  EXPECT_EQ(app_test::QueryNumber(site_.StoreFile(), kLiveKeysArchived), 0);

  // A disabled button runs nothing: new damage stays.
  ASSERT_EQ(app_test::ExecDirect(site_.StoreFile(),
                                 "insert into acftcomp (Rec_No) select Rec_No from a_acftcomp "
                                 "limit 1"),
            "");
  form->Button1()->Click();
  EXPECT_EQ(app_test::QueryNumber(site_.StoreFile(), kLiveKeysArchived), 1);
}

TEST_F(HeadlessRun, ConsoleRepairReportsEachOutcome) {
  const auto before = app_test::ReadAllPairs(site_.StoreFile());
  nce::testing::ArmFailpoint("NdsCommitTransaction", 5000, "cannot commit");
  EXPECT_EQ(app_test::RunConsoleRepairCaught(),
            std::make_pair(1, std::string("Archive Repair Failed!\n")));
  nce::testing::DisarmAllFailpoints();
  EXPECT_EQ(app_test::ReadAllPairs(site_.StoreFile()), before);  // rolled back

  EXPECT_EQ(app_test::RunConsoleRepairCaught(),
            std::make_pair(0, std::string("Archive Repaired!\n")));
  EXPECT_EQ(app_test::QueryNumber(site_.StoreFile(), kLiveKeysArchived), 0);

  site_.WriteIni("[Databases]\n");
  EXPECT_EQ(app_test::RunConsoleRepairCaught(),
            std::make_pair(2, std::string("Unable to connect!\n")));
}

// An alias of NTX free tables (";N") is one the repair's query refuses: the
// window is still read and the run reports the failure, changing nothing.
TEST_F(HeadlessRun, NtxAliasOfADirectoryStartsAndFailsTheRepair) {
  const auto before = app_test::ReadAllPairs(site_.StoreFile());
  site_.WriteIni("[Databases]\nVOLANTRAX=" + site_.Database().string() + ";N\n");
  std::unique_ptr<app::TForm1> form = app::CreateRepairWindow();
  form->Button1()->Click();
  EXPECT_EQ(form->Label1()->Caption(), "Archive Repair Failed!");
  EXPECT_EQ(app_test::ReadAllPairs(site_.StoreFile()), before);
}

// The program in the site's directory, with no display; returns its exit
// status, and its output and errors through the arguments.
int RunProgram(const DemoSite& site, const std::string& arguments, std::string& output,
               std::string& errors) {
  const std::filesystem::path out = site.Root() / "out.txt";
  const std::filesystem::path err = site.Root() / "err.txt";
  const std::string command = "cd '" + site.Root().string() + "' && env -u DISPLAY " +
                              test_support::TestBinaryDir() +
                              "/app/volantra-archive-repair-console " + arguments + " > '" +
                              out.string() + "' 2> '" + err.string() + "'";
  const int status = std::system(command.c_str());
  output = ReadFile(out);
  errors = ReadFile(err);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(HeadlessRun, ProgramExitStatuses) {
  std::string output, errors;
  EXPECT_EQ(RunProgram(site_, "extra", output, errors), 64);
  EXPECT_EQ(output, "");
  EXPECT_EQ(errors.rfind("usage: volantra-archive-repair-console\n", 0), 0u) << errors;

  EXPECT_EQ(RunProgram(site_, "", output, errors), 0);
  EXPECT_EQ(output, "Archive Repaired!\n");
  EXPECT_EQ(errors, "");

  ASSERT_EQ(app_test::ExecDirect(site_.StoreFile(), "drop table chkrides"), "");
  EXPECT_EQ(RunProgram(site_, "", output, errors), 1);
  EXPECT_EQ(output, "Archive Repair Failed!\n");

  site_.WriteIni("[Databases]\nVOLANTRAX=" + (site_.Root() / "nowhere").string() + "\n");
  EXPECT_EQ(RunProgram(site_, "", output, errors), 2);
  EXPECT_EQ(output, "Unable to connect!\n");
  EXPECT_EQ(errors, "");
}

}  // namespace
}  // namespace console_test
