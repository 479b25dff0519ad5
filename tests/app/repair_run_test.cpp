// Every outcome of "Fix Archive" against real demo databases: the label, the
// button, the connection and what the database holds afterwards. Engine
// refusals come from the engine's failpoints.
#include <QApplication>
#include <QCursor>
#include <QTest>
#include <optional>

#include "app/repair_window.h"
#include "engine/testing/nce_failpoints.h"
#include "gtest/gtest.h"
#include "nds/nce.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/app/app_test_support.h"
#include "tools/demo_database.h"

namespace app_test {
namespace {

using app::RepairOutcome;
using app_test::DemoSite;
using app_test::LoadWindow;
using app_test::QueryNumber;
using app_test::ReadAllPairs;

class RepairRun : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = std::make_unique<DemoSite>();
    before_ = ReadAllPairs(site_->StoreFile());
    form_ = LoadWindow();
  }
  void TearDown() override {
    form_.reset();
    nce::testing::DisarmAllFailpoints();
  }

  // "Fix Archive" clicked with the mouse, as a user does.
  void ClickFixArchive() { QTest::mouseClick(app::WidgetOf(*form_->Button1()), Qt::LeftButton); }

  void ExpectEndState(const char* text, RepairOutcome outcome, bool connected) {
    EXPECT_EQ(form_->Label1()->Caption(), text);
    EXPECT_EQ(form_->Outcome(), outcome);
    EXPECT_FALSE(form_->Button1()->Enabled());
    EXPECT_EQ(form_->NdsConnection1()->IsConnected(), connected);
    if (connected) {
      EXPECT_FALSE(form_->NdsConnection1()->TransactionIsActive());
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }

  void ExpectDatabaseUnchanged() { EXPECT_EQ(ReadAllPairs(site_->StoreFile()), before_); }

  std::unique_ptr<DemoSite> site_;
  std::map<std::string, app_test::TableRows> before_;
  std::unique_ptr<app::TForm1> form_;
};

// After the repair no live row has an archived key and every archive key
// has exactly one row: the lowest rowid of its key.
TEST_F(RepairRun, RepairsTheArchiveAndKeepsTheConnectionOpen) {
  ClickFixArchive();
  ExpectEndState("Archive Repaired!", RepairOutcome::kRepaired, true);
  const auto store = site_->StoreFile();
  for (const demo::TablePair& pair : demo::TablePairs()) {
    const std::string t = pair.live, a = "a_" + t, k = pair.key;
    EXPECT_EQ(QueryNumber(store, "select count(*) from " + t + " where " + k + " in (select " + k +
                                     " from " + a + ")"),
              0)
        << t;
    EXPECT_EQ(QueryNumber(store, "select count(*) - count(distinct " + k + ") from " + a), 0) << a;
    EXPECT_EQ(
        QueryNumber(store, "select count(distinct " + k + ") from " + a),
        QueryNumber(store, "select count(*) from (select distinct " + k + " from " + a + ")"));
  }
  // The damage was real: rows went from both kinds of table.
  const auto after = ReadAllPairs(store);
  EXPECT_LT(after.at("acftcomp").size(), before_.at("acftcomp").size());
  EXPECT_LT(after.at("a_acftcomp").size(), before_.at("a_acftcomp").size());
  EXPECT_EQ(after.at("dmico"), before_.at("dmico"));  // a clean pair stays as it was
}

// The same script run by SQLite directly on a twin database leaves exactly
// the same rows.
TEST_F(RepairRun, LeavesWhatSqliteLeavesRunningTheSameScript) {
  app_test::TempDir twin;
  demo::BuildDemoDatabase(twin.path().string());
  const auto twin_store = twin.path() / "nce.db";
  ASSERT_EQ(ReadAllPairs(twin_store), before_);
  ASSERT_EQ(app_test::ExecDirect(twin_store, form_->NdsQuery1()->SQLText()), "");
  ClickFixArchive();
  ASSERT_EQ(form_->Outcome(), RepairOutcome::kRepaired);
  EXPECT_EQ(ReadAllPairs(site_->StoreFile()), ReadAllPairs(twin_store));
}

TEST_F(RepairRun, ClickingAgainDoesNothing) {
  ClickFixArchive();
  ASSERT_EQ(form_->Outcome(), RepairOutcome::kRepaired);
  // New damage after the run stays: the disabled button runs nothing.
  ASSERT_EQ(
      app_test::ExecDirect(site_->StoreFile(),
                           "insert into acftcomp (Rec_No) select Rec_No from a_acftcomp limit 1"),
      "");
  const auto after_first = ReadAllPairs(site_->StoreFile());
  form_->Label1()->SetCaption("marker");
  ClickFixArchive();
  form_->Button1()->Click();
  EXPECT_EQ(form_->Label1()->Caption(), "marker");
  EXPECT_EQ(ReadAllPairs(site_->StoreFile()), after_first);
}

TEST_F(RepairRun, ShowsTheBusyPointerWhileItWorks) {
  std::optional<Qt::CursorShape> during;
  form_->NdsConnection1()->BeforeConnect = [&](dataset::TObject*) {
    if (QApplication::overrideCursor() != nullptr) during = QApplication::overrideCursor()->shape();
  };
  ClickFixArchive();
  ASSERT_TRUE(during.has_value());
  EXPECT_EQ(*during, Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(RepairRun, MissingAliasIsUnableToConnect) {
  site_->WriteIni("[Databases]\nVOLANTRA=" + site_->Database().string() + "\n");
  form_ = LoadWindow();
  ClickFixArchive();
  ExpectEndState("Unable to connect!", RepairOutcome::kUnableToConnect, false);
  ExpectDatabaseUnchanged();
}

TEST_F(RepairRun, AliasWithoutPathIsUnableToConnect) {
  for (const char* value : {"", ";A", ";"}) {
    site_->WriteIni(std::string("[Databases]\nVOLANTRAX=") + value + "\n");
    form_ = LoadWindow();
    ClickFixArchive();
    ExpectEndState("Unable to connect!", RepairOutcome::kUnableToConnect, false);
  }
  ExpectDatabaseUnchanged();
}

TEST_F(RepairRun, PathTheEngineRefusesIsUnableToConnect) {
  site_->WriteIni("[Databases]\nVOLANTRAX=" + (site_->Root() / "no-such-directory").string() +
                  "\n");
  form_ = LoadWindow();
  ClickFixArchive();
  ExpectEndState("Unable to connect!", RepairOutcome::kUnableToConnect, false);
}

TEST_F(RepairRun, RefusedConnectIsUnableToConnect) {
  nce::testing::ArmFailpoint("NdsConnect60", 6420, "server not reachable");
  ClickFixArchive();
  ExpectEndState("Unable to connect!", RepairOutcome::kUnableToConnect, false);
  ExpectDatabaseUnchanged();
}

// The fifth statement removes live chkrides rows; without that table it
// fails, and the four removals before it are undone.
TEST_F(RepairRun, FailingFifthStatementUndoesTheFirstFour) {
  ASSERT_EQ(app_test::ExecDirect(site_->StoreFile(), "drop table chkrides"), "");
  const auto store = site_->StoreFile();
  const std::string first_four =
      "select (select count(*) from acftcomp) + (select count(*) from acftcrpt) + "
      "(select count(*) from acftlog) + (select count(*) from acftmaint)";
  const std::string stale =
      "select count(*) from acftcomp where Rec_No in (select Rec_No from a_acftcomp)";
  const long long rows_before = QueryNumber(store, first_four);
  const long long stale_before = QueryNumber(store, stale);
  ASSERT_GT(stale_before, 0);
  ClickFixArchive();
  ExpectEndState("Archive Repair Failed!", RepairOutcome::kFailed, true);
  EXPECT_EQ(QueryNumber(store, first_four), rows_before);
  EXPECT_EQ(QueryNumber(store, stale), stale_before);
}

// The engine refuses the begin because a transaction is already open on the
// connection; the rollback it then accepts undoes that one.
TEST_F(RepairRun, RefusedBeginWithAcceptedRollbackFails) {
  nds::TNdsConnection* connection = form_->NdsConnection1();
  connection->AfterConnect = [connection](dataset::TObject*) {
    ASSERT_EQ(NdsBeginTransaction(connection->ConnectionHandle()), 0u);
  };
  ClickFixArchive();
  ExpectEndState("Archive Repair Failed!", RepairOutcome::kFailed, true);
  uint16_t in_transaction = 1;
  ASSERT_EQ(NdsInTransaction(connection->ConnectionHandle(), &in_transaction), 0u);
  EXPECT_EQ(in_transaction, 0);
  ExpectDatabaseUnchanged();
}

// A begin refused before any transaction exists: the rollback is attempted
// anyway, and this engine refuses to roll back when no transaction is open,
// so the run ends as a failed rollback does.
TEST_F(RepairRun, RefusedBeginAndRefusedRollbackIsUnableToConnect) {
  nce::testing::ArmFailpoint("NdsBeginTransaction", 5000, "cannot begin");
  ClickFixArchive();
  EXPECT_EQ(nce::testing::FailpointHits("NdsBeginTransaction"), 1);
  ExpectEndState("Unable to connect!", RepairOutcome::kUnableToConnect, true);
  ExpectDatabaseUnchanged();
}

TEST_F(RepairRun, FailingScriptAndFailingRollbackIsUnableToConnect) {
  ASSERT_EQ(app_test::ExecDirect(site_->StoreFile(), "drop table chkrides"), "");
  nce::testing::ArmFailpoint("NdsRollbackTransaction", 5000, "cannot roll back");
  ClickFixArchive();
  EXPECT_EQ(nce::testing::FailpointHits("NdsRollbackTransaction"), 1);
  EXPECT_EQ(form_->Label1()->Caption(), "Unable to connect!");
  EXPECT_EQ(form_->Outcome(), RepairOutcome::kUnableToConnect);
  EXPECT_FALSE(form_->Button1()->Enabled());
  EXPECT_TRUE(form_->NdsConnection1()->IsConnected());
}

TEST_F(RepairRun, RefusedCommitRollsBackAndFails) {
  nce::testing::ArmFailpoint("NdsCommitTransaction", 5000, "cannot commit");
  ClickFixArchive();
  EXPECT_EQ(nce::testing::FailpointHits("NdsCommitTransaction"), 1);
  ExpectEndState("Archive Repair Failed!", RepairOutcome::kFailed, true);
  ExpectDatabaseUnchanged();
}

}  // namespace
}  // namespace app_test
