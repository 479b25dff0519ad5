// qt_form [DIR]: a grid and a form over the crew table of the database in
// directory DIR (made there when absent; a temporary one without DIR), with
// First, Prior, Next, Last, Insert, Delete, Post and Cancel.
// qt_form --check: the scripted self-check (self_check.h) on Qt's offscreen
// platform; exit status 0 only when every step read back as expected.
#include <QApplication>
#include <QTemporaryDir>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "demo_table.h"
#include "form_window.h"
#include "self_check.h"

int main(int argc, char** argv) {
  const bool check = argc == 2 && std::strcmp(argv[1], "--check") == 0;
  if (argc > 2) {
    std::cerr << "usage: qt_form [DIR | --check]\n";
    return 2;
  }
  if (check) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (check) return qtform::RunSelfCheck();

  QTemporaryDir temp;
  const std::string dir = argc == 2 ? argv[1] : temp.path().toStdString();
  try {
    qtform::MakeDemoTable(dir);
    nds::TNdsQuery query(nullptr);
    qtform::OpenCrew(query, dir);
    qtform::FormWindow window(query, false);
    window.resize(900, 420);
    window.show();
    return application.exec();
  } catch (const std::exception& e) {
    std::cerr << "qt_form: " << ndsqt::MessageOf(e).toStdString() << '\n';
    return 1;
  }
}
