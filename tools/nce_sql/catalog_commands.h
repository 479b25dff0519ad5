// The commands of nce-sql that are not SQL: lines starting with ".", which
// list what the database holds (.tables, .indexes, .users), bring data in
// or take it out (.import, .export), choose how results print (.mode) or
// end the session.
#ifndef TOOLS_NCE_SQL_CATALOG_COMMANDS_H
#define TOOLS_NCE_SQL_CATALOG_COMMANDS_H

#include <ostream>
#include <string>

#include "nds/nce.h"
#include "tools/nce_sql/session.h"

namespace nce_sql {

enum class CommandResult { kDone, kFailed, kQuit };

// True when `line` is a command rather than SQL (its first non-blank
// character is ".").
bool IsCommand(const std::string& line);

// Runs the command `line` in `session`: listings to `out`, refusals and
// engine failures to `err`.
CommandResult RunCommand(Session& session, const std::string& line, std::ostream& out,
                         std::ostream& err);

// The summary .help prints.
const char* CommandHelp();

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_CATALOG_COMMANDS_H
