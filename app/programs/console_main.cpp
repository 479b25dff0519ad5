// volantra-archive-repair-console: the repair run without a window, for a
// terminal or a scheduled job. Prints the status text the window would show
// and exits 0 (repaired), 1 (repair failed, rolled back) or 2 (unable to
// connect).
#include <QApplication>
#include <QByteArray>
#include <cstdio>

#include "app/console_repair.h"

namespace {

// Qt's notes about the desktop it runs without (no runtime directory, no
// display) are no concern of a terminal user; only its errors are shown.
void ReportQtErrorsOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "volantra-archive-repair-console: %s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    std::fprintf(stderr,
                 "usage: volantra-archive-repair-console\n"
                 "Repairs the archive of the database that alias VOLANTRAX names in nds.ini.\n");
    return 64;
  }
  // The form and its controls are Qt widgets; the offscreen platform lets
  // them exist where there is no display. The window is never shown.
  qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
  qInstallMessageHandler(ReportQtErrorsOnly);
  QApplication application(argc, argv);
  return app::RunConsoleRepair(stdout, stderr);
}
