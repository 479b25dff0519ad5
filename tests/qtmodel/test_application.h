// The one QApplication of the qtmodel suite, on the offscreen platform
// unless the environment names another. Widgets need it before they are
// made; every test file asks for it here, so that it is made once.
#ifndef TESTS_QTMODEL_TEST_APPLICATION_H_
#define TESTS_QTMODEL_TEST_APPLICATION_H_

#include <QApplication>

namespace qtmodel_test {

inline QApplication& Application() {
  static int argc = 1;
  static char name[] = "qtmodel_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *application;
}

}  // namespace qtmodel_test

#endif  // TESTS_QTMODEL_TEST_APPLICATION_H_
