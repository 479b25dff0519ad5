// The window driven from the keyboard, the disabled "Fix Archive", and
// "Exit" and the close box ending the message loop in every state.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <ostream>

#include "app/repair_window.h"
#include "engine/testing/nce_failpoints.h"
#include "gtest/gtest.h"
#include "nds/ndscnnct.h"
#include "tests/app/app_test_support.h"

namespace app_test {
namespace {

using app::RepairOutcome;
using app_test::DemoSite;
using app_test::LoadWindow;

class WindowKeyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = std::make_unique<DemoSite>();
    form_ = LoadWindow();
    form_->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app::WidgetOf(*form_)));
  }
  void TearDown() override {
    form_.reset();
    nce::testing::DisarmAllFailpoints();
  }
  QWidget* Button1() const { return app::WidgetOf(*form_->Button1()); }
  QWidget* Button2() const { return app::WidgetOf(*form_->Button2()); }

  std::unique_ptr<DemoSite> site_;
  std::unique_ptr<app::TForm1> form_;
};

TEST_F(WindowKeyboard, SpaceOnTheFocusedButtonRunsTheRepair) {
  ASSERT_EQ(QApplication::focusWidget(), Button1());
  QTest::keyClick(Button1(), Qt::Key_Space);
  EXPECT_EQ(form_->Label1()->Caption(), "Archive Repaired!");
}

TEST_F(WindowKeyboard, EnterAndReturnOnTheFocusedButtonRunTheRepair) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    form_ = LoadWindow();
    form_->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app::WidgetOf(*form_)));
    QTest::keyClick(Button1(), key);
    EXPECT_EQ(form_->Outcome(), RepairOutcome::kRepaired) << key;
  }
}

TEST_F(WindowKeyboard, EnterOnExitClosesTheWindow) {
  QTest::keyClick(Button1(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), Button2());
  QTest::keyClick(Button2(), Qt::Key_Return);
  EXPECT_FALSE(app::WidgetOf(*form_)->isVisible());
  EXPECT_EQ(form_->Outcome(), RepairOutcome::kNotRun);
}

TEST_F(WindowKeyboard, DisabledFixArchiveRefusesFocusAndClicks) {
  QTest::keyClick(Button1(), Qt::Key_Space);
  ASSERT_FALSE(Button1()->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), Button2());  // focus moved on
  Button1()->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(QApplication::focusWidget(), Button2());
  QTest::keyClick(Button2(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Button2());  // the only stop left
  form_->Label1()->SetCaption("marker");
  QTest::mouseClick(Button1(), Qt::LeftButton);
  QTest::keyClick(Button1(), Qt::Key_Space);
  EXPECT_EQ(form_->Label1()->Caption(), "marker");
}

// Runs the message loop until the window closes by `close`; the loop must
// end by itself, as the program's does. A watchdog ends a loop that would
// not, so a fault fails the test instead of hanging it.
int CloseInsideMessageLoop(const std::function<void()>& close) {
  QTimer::singleShot(0, close);
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QApplication::exit(99); });
  watchdog.start(10000);
  return QApplication::exec();
}

struct ExitCase {
  const char* name;
  std::function<void(DemoSite&)> prepare;  // before the window loads
  bool run;                                // press "Fix Archive" first
  RepairOutcome outcome;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ExitCase& c, std::ostream* os) {
  *os << c.name;
}

class WindowExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(WindowExit, ExitAndCloseBoxEndTheLoopAndCloseTheConnection) {
  const ExitCase& c = GetParam();
  for (bool close_box : {false, true}) {
    DemoSite site;
    c.prepare(site);
    const size_t handles = nce::testing::LiveHandleCount();
    auto form = LoadWindow();
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app::WidgetOf(*form)));
    if (c.run) form->Button1Click(form->Button1());
    nce::testing::DisarmAllFailpoints();
    ASSERT_EQ(form->Outcome(), c.outcome);
    const int status = CloseInsideMessageLoop([&] {
      if (close_box)
        app::WidgetOf(*form)->windowHandle()->close();
      else
        QTest::mouseClick(app::WidgetOf(*form->Button2()), Qt::LeftButton);
    });
    EXPECT_EQ(status, 0) << (close_box ? "close box" : "Exit");
    EXPECT_FALSE(app::WidgetOf(*form)->isVisible());
    form.reset();  // the program ends: components destroyed, connection closed
    EXPECT_EQ(nce::testing::LiveHandleCount(), handles);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryState, WindowExit,
    ::testing::Values(
        ExitCase{"Started", [](DemoSite&) {}, false, RepairOutcome::kNotRun},
        ExitCase{"Repaired", [](DemoSite&) {}, true, RepairOutcome::kRepaired},
        ExitCase{"Failed",
                 [](DemoSite&) {
                   nce::testing::ArmFailpoint("NdsCommitTransaction", 5000, "cannot commit");
                 },
                 true, RepairOutcome::kFailed},
        ExitCase{"RollbackFailed",
                 [](DemoSite&) {
                   nce::testing::ArmFailpoint("NdsCommitTransaction", 5000, "cannot commit");
                   nce::testing::ArmFailpoint("NdsRollbackTransaction", 5000, "cannot roll back");
                 },
                 true, RepairOutcome::kUnableToConnect},
        ExitCase{"UnableToConnect", [](DemoSite& site) { site.WriteIni("[Databases]\n"); }, true,
                 RepairOutcome::kUnableToConnect}),
    [](const ::testing::TestParamInfo<ExitCase>& exit_case) {
      return std::string(exit_case.param.name);
    });

}  // namespace
}  // namespace app_test
