// nds-table-browser [DATABASE] [--user NAME] [--table TABLE] [--screenshot FILE]
// DATABASE is a directory of free tables, a data dictionary file or an alias
// of nds.ini. With --user the password comes from NCE_PASSWORD or is asked
// for in a dialog. --screenshot saves the window as an image and ends.
#include <QApplication>
#include <QCommandLineParser>
#include <QInputDialog>
#include <QListWidget>
#include <QPixmap>
#include <cstdlib>

#include "browser/browser_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("nds-table-browser");

  QCommandLineParser parser;
  parser.setApplicationDescription("Browse and edit the tables of a database.");
  parser.addHelpOption();
  parser.addPositionalArgument("database", "A directory, a data dictionary file or an alias.");
  const QCommandLineOption user({"u", "user"}, "Log in to the data dictionary as NAME.", "NAME");
  const QCommandLineOption table({"t", "table"}, "Show TABLE at start.", "TABLE");
  const QCommandLineOption shot("screenshot", "Save the window to FILE and end.", "FILE");
  parser.addOptions({user, table, shot});
  parser.process(app);

  ndsbrowser::BrowserWindow window;
  // A screenshot run must not wait for anyone: failures go to the status bar.
  window.SetQuiet(parser.isSet(shot));
  const QStringList args = parser.positionalArguments();
  if (!args.isEmpty()) {
    QString password;
    if (parser.isSet(user)) {
      const char* fromEnvironment = std::getenv("NCE_PASSWORD");
      password = fromEnvironment ? QString::fromUtf8(fromEnvironment)
                                 : QInputDialog::getText(nullptr, "Log in",
                                                         "Password for " + parser.value(user) + ":",
                                                         QLineEdit::Password);
    }
    if (window.OpenDatabase(args.first(), parser.value(user), password) && parser.isSet(table)) {
      const auto found = window.Tables().findItems(parser.value(table), Qt::MatchFixedString);
      if (!found.isEmpty()) window.Tables().setCurrentItem(found.first());
    }
  }
  window.show();
  if (parser.isSet(shot)) {
    QApplication::processEvents();
    return window.grab().save(parser.value(shot)) ? 0 : 1;
  }
  return QApplication::exec();
}
