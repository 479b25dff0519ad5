#include "tests/app/app_test_support.h"

#include <QApplication>

namespace app_test {

QApplication& Application() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* created = new QApplication(argc, argv);
    app::UseQtViews();
    return created;
  }();
  return *application;
}

std::unique_ptr<app::TForm1> LoadWindow() {
  Application();
  return app::CreateRepairWindow();
}

}  // namespace app_test
