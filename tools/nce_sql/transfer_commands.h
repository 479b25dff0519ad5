// The commands of nce-sql that bring data in and take it out: .import of an
// xBase table or a CSV file into a table, .export of a table or a query's
// result to such a file, and the note on the xBase tables of a database's
// directory that are not imported yet.
#ifndef TOOLS_NCE_SQL_TRANSFER_COMMANDS_H
#define TOOLS_NCE_SQL_TRANSFER_COMMANDS_H

#include <ostream>
#include <string>

#include "nds/nce.h"

namespace nce_sql {

// `.import [--encoding NAME] [--keep-deleted] [--replace | --append] FILE
// [TABLE]`: false (with the reason on `err`) when it fails.
bool ImportCommand(NDSHANDLE connection, const std::string& argument, std::ostream& out,
                   std::ostream& err);
// `.export [--encoding NAME] [--keep-deleted] [--version N] SOURCE FILE`,
// SOURCE a table's name or a statement in double quotes.
bool ExportCommand(NDSHANDLE connection, const std::string& argument, std::ostream& out,
                   std::ostream& err);

// The xBase tables of the database's directory that the database does not
// hold, as one line for the user ("" when there are none).
std::string UnimportedTablesNote(NDSHANDLE connection);

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_TRANSFER_COMMANDS_H
