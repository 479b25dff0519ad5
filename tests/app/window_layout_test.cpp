// The repair window as the stored description lays it out: frame, size,
// position, font, controls, creation order, Tab order and focus.
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "app/repair_window.h"
#include "gtest/gtest.h"
#include "nds/ndscnnct.h"
#include "tests/app/app_test_support.h"

namespace app_test {
namespace {

using app_test::LoadWindow;

class WindowLayout : public ::testing::Test {
 protected:
  void SetUp() override { form_ = LoadWindow(); }
  QWidget* Window() const { return app::WidgetOf(*form_); }
  std::unique_ptr<app::TForm1> form_;
};

TEST_F(WindowLayout, IsAFixedDialogWithCloseBoxOnly) {
  EXPECT_EQ(Window()->windowTitle(), "Volantra Archive Repair Utility");
  const Qt::WindowFlags flags = Window()->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(Window()->size(), QSize(303, 68));
  EXPECT_EQ(Window()->minimumSize(), QSize(303, 68));
  EXPECT_EQ(Window()->maximumSize(), QSize(303, 68));
  EXPECT_EQ(Window()->palette().color(QPalette::Window),
            QApplication::palette().color(QPalette::Button));
}

TEST_F(WindowLayout, UsesNearestSansSerifAtEightPoints) {
  const QFont font = Window()->font();
  EXPECT_EQ(font.pointSize(), 8);
  EXPECT_EQ(font.styleHint(), QFont::SansSerif);
  EXPECT_FALSE(font.bold());
  EXPECT_FALSE(font.italic());
  // The controls inherit the form's font.
  EXPECT_EQ(app::WidgetOf(*form_->Button1())->font().pointSize(), 8);
  EXPECT_EQ(app::WidgetOf(*form_->Label1())->font().pointSize(), 8);
}

TEST_F(WindowLayout, OpensCentredOnTheScreenNotAtTheDesignPosition) {
  form_->Show();
  const QRect screen = Window()->screen()->geometry();
  const QRect frame = Window()->frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1);
  EXPECT_EQ(form_->Left(), 142);  // kept as stored, not used
  EXPECT_EQ(form_->Top(), 135);
}

TEST_F(WindowLayout, PlacesControlsAsStored) {
  EXPECT_EQ(app::WidgetOf(*form_->Button1())->geometry(), QRect(7, 8, 75, 25));
  EXPECT_EQ(app::WidgetOf(*form_->Button2())->geometry(), QRect(7, 38, 75, 25));
  EXPECT_EQ(static_cast<QPushButton*>(app::WidgetOf(*form_->Button1()))->text(), "Fix Archive");
  EXPECT_EQ(static_cast<QPushButton*>(app::WidgetOf(*form_->Button2()))->text(), "Exit");
  EXPECT_EQ(form_->Label1()->Caption(), "< Click Button");
  EXPECT_EQ(static_cast<QLabel*>(app::WidgetOf(*form_->Label1()))->text(), "< Click Button");
  EXPECT_EQ(form_->Label1()->Left(), 95);
  EXPECT_EQ(form_->Label1()->Top(), 14);
  EXPECT_TRUE(form_->Button1()->Enabled());
  EXPECT_EQ(form_->Button1()->TabOrder(), 0);
  EXPECT_EQ(form_->Button2()->TabOrder(), 1);
  for (app::TButton* button : {form_->Button1(), form_->Button2()}) {
    auto* push = static_cast<QPushButton*>(app::WidgetOf(*button));
    EXPECT_FALSE(push->isDefault());
    EXPECT_FALSE(push->autoDefault());
  }
}

TEST_F(WindowLayout, LabelSizesToItsTextKeepingItsLeftEdge) {
  app::TLabel* label = form_->Label1();
  const QSize start = app::WidgetOf(*label)->size();
  EXPECT_EQ(start, app::WidgetOf(*label)->sizeHint());
  label->SetCaption("Archive Repair Failed!");
  EXPECT_EQ(label->Left(), 95);
  EXPECT_EQ(label->Top(), 14);
  EXPECT_GT(label->Width(), start.width());
  label->SetCaption("OK");
  EXPECT_EQ(label->Left(), 95);
  EXPECT_LT(label->Width(), start.width());
}

TEST_F(WindowLayout, CreatesComponentsInDescriptionOrder) {
  ASSERT_EQ(form_->ComponentCount(), 5);
  const char* names[] = {"Label1", "Button1", "Button2", "NdsConnection1", "NdsQuery1"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form_->Components(i)->Name(), names[i]) << i;
  EXPECT_EQ(form_->Name(), "Form1");
}

TEST_F(WindowLayout, FocusStartsOnFixArchiveAndTabCyclesTheButtons) {
  form_->Show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Window()));
  QWidget* button1 = app::WidgetOf(*form_->Button1());
  QWidget* button2 = app::WidgetOf(*form_->Button2());
  EXPECT_EQ(QApplication::focusWidget(), button1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), button2);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), button1);  // the label is skipped
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), button2);
}

}  // namespace
}  // namespace app_test
