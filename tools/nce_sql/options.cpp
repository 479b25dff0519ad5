#include "tools/nce_sql/options.h"

#include <string_view>
#include <vector>

namespace nce_sql {

namespace {

constexpr std::string_view kUserPrefix = "--user=";

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
  std::vector<std::string> operands;
  bool only_operands = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (only_operands || arg.empty() || arg[0] != '-' || arg == "-") {
      operands.emplace_back(arg);
    } else if (arg == "--") {
      only_operands = true;
    } else if (arg == "-h" || arg == "--help") {
      options->help = true;
    } else if (arg == "--create") {
      options->create = true;
    } else if (arg == "-U" || arg == "--user") {
      if (i + 1 >= argc) {
        *error = std::string(arg) + " needs a user name";
        return false;
      }
      options->user = argv[++i];
    } else if (arg.substr(0, kUserPrefix.size()) == kUserPrefix) {
      options->user = arg.substr(kUserPrefix.size());
    } else if (arg.substr(0, 2) == "-U" && arg.size() > 2) {
      options->user = arg.substr(2);
    } else if (arg.substr(0, 10) == "--password" || arg == "-P" || arg == "-p") {
      // A password on the command line is visible to every user of the
      // machine (ps, shell history): refused on purpose.
      *error =
          "a password is never given on the command line: set NCE_PASSWORD or answer the "
          "prompt";
      return false;
    } else {
      *error = "unknown option " + std::string(arg);
      return false;
    }
  }
  if (options->help) return true;
  if (operands.empty() || operands.size() > 2) {
    *error = operands.empty() ? "no database given" : "too many arguments";
    return false;
  }
  options->path = operands[0];
  if (operands.size() == 2) options->script = operands[1];
  return true;
}

const char* UsageText() {
  return "usage: nce-sql [OPTIONS] PATH [SCRIPT]\n"
         "\n"
         "Runs SQL statements against the database at PATH, a directory of free\n"
         "tables, a data dictionary file (*.ndd), or a PostgreSQL server's database\n"
         "(postgresql://user@host:port/database; the password comes from PGPASSWORD\n"
         "or ~/.pgpass). Statements end with \";\". They\n"
         "come from SCRIPT, or from standard input; at a terminal nce-sql reads them\n"
         "with line editing and keeps a history in ~/.nce_sql_history.\n"
         "\n"
         "Options:\n"
         "  -U, --user NAME  log in to a data dictionary as NAME; the password comes\n"
         "                   from NCE_PASSWORD, or is asked for at the terminal\n"
         "                   without being shown\n"
         "  --create         make a new database at PATH when there is none: an\n"
         "                   empty data dictionary when PATH ends in .ndd, else a\n"
         "                   directory\n"
         "  -h, --help       show this text\n"
         "\n"
         "Commands, alone on a line (no \";\"):\n"
         "  .tables          list the tables\n"
         "  .indexes [TABLE] list the index orders of TABLE (or of every table)\n"
         "  .users           list the users of a data dictionary and their groups\n"
         "  .import [--encoding NAME] [--keep-deleted] [--replace | --append] FILE [TABLE]\n"
         "                   bring an xBase table (.dbf, with its .dbt or .fpt memo\n"
         "                   file) or a CSV file (.csv) in as TABLE, whole or not at\n"
         "                   all; an existing table only with --replace or --append;\n"
         "                   --encoding names the file's code page (CP850, UTF-8, ...)\n"
         "                   where an xBase table does not say it, or CSV is not UTF-8\n"
         "  .export [--encoding NAME] [--keep-deleted] [--version N] TABLE FILE\n"
         "  .export [...] \"SELECT ...\" FILE\n"
         "                   write a table or a query's result to FILE (.dbf or .csv);\n"
         "                   an xBase file takes the oldest version that holds its\n"
         "                   columns, or --version 1 dBase III, 2 dBase IV, 3 FoxPro,\n"
         "                   4 Visual FoxPro\n"
         "  .mode csv|table  print results as CSV (RFC 4180, a header line) or tables\n"
         "  .help            list these commands\n"
         "  .quit, .exit     leave nce-sql\n"
         "\n"
         "Environment:\n"
         "  NCE_PASSWORD     the password of the --user login\n"
         "\n"
         "At start nce-sql names the xBase tables of a database's directory that the\n"
         "database does not hold yet, and .tables lists them after the tables.\n"
         "See docs/IMPORT_EXPORT.md for the formats and the type map.\n"
         "\n"
         "Exit status: 0 everything ran; 1 a statement or command failed (a script\n"
         "stops at the first failure; at a terminal nce-sql goes on); 2 the database\n"
         "could not be opened or the command line is wrong.\n";
}

}  // namespace nce_sql
