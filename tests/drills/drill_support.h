// Support of the fault drills: the console twin run as a real child process
// on a copy of a demo site, and the states a database may be found in.
#ifndef TESTS_DRILLS_DRILL_SUPPORT_H
#define TESTS_DRILLS_DRILL_SUPPORT_H

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/app/app_test_support.h"

namespace drills_test {

// What the console twin printed and how it ended.
struct ConsoleRun {
  int status = -1;     // exit status; -1 when it did not exit normally
  int signal = 0;      // the signal that ended it, 0 if none
  std::string output;  // its standard output
};

// A child process running the console twin in `directory`, where the
// nds.ini it reads lies; its standard output goes to a file of the caller.
class ConsoleChild {
 public:
  ConsoleChild(const std::filesystem::path& directory, const std::filesystem::path& output_file);
  ~ConsoleChild();
  ConsoleChild(const ConsoleChild&) = delete;
  ConsoleChild& operator=(const ConsoleChild&) = delete;

  void Kill();        // SIGKILL, at once
  ConsoleRun Wait();  // waits for the end and reads the output

 private:
  pid_t pid_ = -1;
  std::filesystem::path output_file_;
};

// Runs the console twin in `directory` to its end.
ConsoleRun RunConsole(const std::filesystem::path& directory);

// Every table of the 18 pairs, as app_test::ReadAllPairs reads them.
using Snapshot = std::map<std::string, app_test::TableRows>;

// The tables of the 18 pairs that exist in `store_file`, every row with its
// rowid first; a table that is missing is absent from the result.
Snapshot ReadExistingPairs(const std::filesystem::path& store_file);

// The answer of PRAGMA integrity_check ("ok" for a sound file).
std::string IntegrityCheck(const std::filesystem::path& store_file);

// Makes directory `to` hold exactly the files of `from` (store file and any
// journals), so a drill starts from the same database every time.
void CopyDatabase(const std::filesystem::path& from, const std::filesystem::path& to);

// Writes `directory`/nds.ini whose alias VOLANTRAX names `database`.
void WriteAlias(const std::filesystem::path& directory, const std::filesystem::path& database);

}  // namespace drills_test

#endif  // TESTS_DRILLS_DRILL_SUPPORT_H
