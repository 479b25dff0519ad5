// volantra-archive-repair: the repair window. Reads the window from its
// stored description, shows it and runs the message loop until it closes.
#include <QApplication>
#include <cstdio>
#include <exception>
#include <memory>

#include "app/qt/qt_views.h"
#include "app/repair_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  app::UseQtViews();  // the window's components appear as widgets
  std::unique_ptr<app::TForm1> form;
  try {
    form = app::CreateRepairWindow();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "volantra-archive-repair: cannot create the window: %s\n", error.what());
    return 3;
  }
  form->Show();
  const int status = application.exec();
  form.reset();  // destroys the components; an open connection closes here
  return status;
}
