// Shared fixtures of the repair utility's tests: the Qt application on the
// offscreen platform with the window's widgets, and the temporary sites of
// site_support.h.
#ifndef TESTS_APP_APP_TEST_SUPPORT_H
#define TESTS_APP_APP_TEST_SUPPORT_H

#include <memory>

#include "app/qt/qt_views.h"
#include "app/repair_window.h"
#include "tests/app/site_support.h"

class QApplication;

namespace app_test {

// The one application object of the test program, on the offscreen
// platform unless QT_QPA_PLATFORM names another. Components created once it
// exists are shown by Qt widgets.
QApplication& Application();

// The window read from its description, for one test.
std::unique_ptr<app::TForm1> LoadWindow();

}  // namespace app_test

#endif  // TESTS_APP_APP_TEST_SUPPORT_H
