// The command line of nce-sql: what to open, as whom, and where the
// statements come from. The password is never an argument: it comes from
// the environment or from a prompt (see credentials.h).
#ifndef TOOLS_NCE_SQL_OPTIONS_H
#define TOOLS_NCE_SQL_OPTIONS_H

#include <string>

namespace nce_sql {

struct Options {
  std::string path;     // database directory or data dictionary file
  std::string script;   // script file; empty: standard input
  std::string user;     // data dictionary user; empty: none
  bool create = false;  // make the database when `path` does not exist
  bool help = false;    // --help: print UsageText() and stop
};

// Parses argv. On a bad command line returns false with `error` set to a
// one-line reason.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

// The text --help prints: options, commands, environment, exit statuses.
const char* UsageText();

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_OPTIONS_H
