#include "tests/drills/drill_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tests/support/test_paths.h"
#include "tools/demo_database.h"

extern char** environ;

namespace drills_test {

namespace fs = std::filesystem;

namespace {

std::string ConsoleProgram() {
  return test_support::TestBinaryDir() + "/app/volantra-archive-repair-console";
}

}  // namespace

ConsoleChild::ConsoleChild(const fs::path& directory, const fs::path& output_file)
    : output_file_(output_file) {
  // Everything the child needs is prepared before fork: between fork and
  // exec only async-signal-safe calls are allowed.
  const std::string program = ConsoleProgram();
  const std::string dir = directory.string();
  const std::string out = output_file.string();
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) != 0) env_strings.emplace_back(*e);
  std::vector<char*> env;
  for (std::string& s : env_strings) env.push_back(s.data());
  env.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::chdir(dir.c_str()) != 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
    ::execve(program.c_str(), argv, env.data());
    ::_exit(127);
  }
}

ConsoleChild::~ConsoleChild() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void ConsoleChild::Kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

ConsoleRun ConsoleChild::Wait() {
  ConsoleRun run;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  pid_ = -1;
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  std::ifstream in(output_file_);
  std::stringstream text;
  text << in.rdbuf();
  run.output = text.str();
  return run;
}

ConsoleRun RunConsole(const fs::path& directory) {
  ConsoleChild child(directory, directory / "console.out");
  return child.Wait();
}

Snapshot ReadExistingPairs(const fs::path& store_file) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(store_file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + store_file.string() + ": " + message);
  }
  Snapshot tables;
  auto read = [&](const std::string& table) {
    app_test::TableRows rows;
    if (app_test::ReadTableRows(db, table, &rows)) tables[table] = std::move(rows);  // else missing
  };
  for (const demo::TablePair& pair : demo::TablePairs()) {
    read(pair.live);
    read(std::string("a_") + pair.live);
  }
  sqlite3_close(db);
  return tables;
}

std::string IntegrityCheck(const fs::path& store_file) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(store_file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return "cannot open: " + message;
  }
  std::string answer;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) != SQLITE_OK) {
    answer = std::string("cannot check: ") + sqlite3_errmsg(db);
  } else {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      if (!answer.empty()) answer += "\n";
      answer += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return answer;
}

void CopyDatabase(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const fs::directory_entry& entry : fs::directory_iterator(to))
    if (entry.is_regular_file()) fs::remove(entry.path());
  for (const fs::directory_entry& entry : fs::directory_iterator(from))
    if (entry.is_regular_file())
      fs::copy_file(entry.path(), to / entry.path().filename(),
                    fs::copy_options::overwrite_existing);
}

void WriteAlias(const fs::path& directory, const fs::path& database) {
  std::ofstream out(directory / "nds.ini", std::ios::trunc);
  out << "[Databases]\nVOLANTRAX=" << database.string() << "\n";
  if (!out) throw std::runtime_error("cannot write nds.ini in " + directory.string());
}

}  // namespace drills_test
