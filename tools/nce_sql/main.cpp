// nce-sql [OPTIONS] PATH [SCRIPT]: an SQL shell over the client engine for
// the database at PATH. Statements come from SCRIPT or standard input; at a
// terminal they are read with line editing and history, a failing statement
// is reported and the shell goes on. Result sets print as aligned tables,
// other statements report the rows they changed, lines starting with "."
// list tables, index orders and users. Exit status: 0 all ran, 1 a
// statement or command failed (a script stops there), 2 the database could
// not be opened or the command line is wrong (options.cpp has the --help
// text).
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "tools/nce_sql/catalog_commands.h"
#include "tools/nce_sql/credentials.h"
#include "tools/nce_sql/line_input.h"
#include "tools/nce_sql/options.h"
#include "tools/nce_sql/session.h"
#include "tools/nce_sql/statement_buffer.h"
#include "tools/nce_sql/transfer_commands.h"

namespace {

namespace fs = std::filesystem;

bool NamesDictionary(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".ndd";
}

// Makes sure something is at `path`: with --create a missing database is
// made (an empty dictionary file the engine fills at the first connect, or
// a directory); without, a missing one is reported with the way to make it.
bool PrepareDatabase(const nce_sql::Options& options) {
  std::error_code error;
  // A server's database is the server's to make; the engine reports a missing one.
  if (options.path.starts_with("postgresql://") || options.path.starts_with("postgres://"))
    return true;
  if (fs::exists(options.path, error)) return true;
  if (!options.create) {
    std::cerr << "nce-sql: " << options.path
              << " does not exist; nce-sql --create makes a new database there\n";
    return false;
  }
  if (NamesDictionary(options.path)) {
    std::ofstream file(options.path, std::ios::binary);
    if (file) return true;
    std::cerr << "nce-sql: cannot create the data dictionary " << options.path << '\n';
    return false;
  }
  if (fs::create_directories(options.path, error)) return true;
  std::cerr << "nce-sql: cannot create the directory " << options.path << ": " << error.message()
            << '\n';
  return false;
}

// Reads lines until the input ends or .quit: commands run at once, SQL runs
// once a statement is complete (and what is left at the end runs too).
int RunInput(nce_sql::Session& session, nce_sql::LineInput& input) {
  const bool interactive = input.Interactive();
  if (interactive)
    std::cout << "nce-sql: connected. End statements with \";\"; .help lists the commands.\n";
  nce_sql::StatementBuffer buffer;
  int status = 0;
  auto outcome = [&](bool ok) {
    if (ok) return true;
    status = 1;
    return interactive;  // a script stops at its first failure
  };
  std::string line;
  while (input.ReadLine(buffer.Empty() ? "nce-sql> " : "   ...> ", &line)) {
    if (buffer.Empty() && nce_sql::IsCommand(line)) {
      const nce_sql::CommandResult result =
          nce_sql::RunCommand(session, line, std::cout, std::cerr);
      if (result == nce_sql::CommandResult::kQuit) return status;
      if (!outcome(result == nce_sql::CommandResult::kDone)) return status;
      continue;
    }
    buffer.AddLine(line);
    if (buffer.Complete() && !outcome(session.RunStatements(buffer.Take(), std::cout, std::cerr)))
      return status;
  }
  if (!buffer.Empty()) outcome(session.RunStatements(buffer.Take(), std::cout, std::cerr));
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  nce_sql::Options options;
  std::string error;
  if (!nce_sql::ParseOptions(argc, argv, &options, &error)) {
    std::cerr << "nce-sql: " << error << "\nusage: nce-sql [OPTIONS] PATH [SCRIPT]\n"
              << "nce-sql --help shows the options and commands.\n";
    return 2;
  }
  if (options.help) {
    std::cout << nce_sql::UsageText();
    return 0;
  }
  std::ifstream script;
  std::unique_ptr<nce_sql::LineInput> input;
  if (!options.script.empty()) {
    script.open(options.script, std::ios::binary);
    if (!script) {
      std::cerr << "nce-sql: cannot read " << options.script << '\n';
      return 2;
    }
    input = nce_sql::StreamInput(script);
  }
  if (!PrepareDatabase(options)) return 2;
  const std::string password = options.user.empty() ? "" : nce_sql::ReadPassword(options.user);
  std::unique_ptr<nce_sql::Session> session =
      nce_sql::Session::Connect(options.path, options.user, password, std::cerr);
  if (!session) return 2;
  std::string note = nce_sql::UnimportedTablesNote(session->connection());
  if (!note.empty()) std::cerr << "nce-sql: " << note << '\n';
  if (!input) input = nce_sql::StandardInput(nce_sql::DefaultHistoryFile());
  return RunInput(*session, *input);
}
