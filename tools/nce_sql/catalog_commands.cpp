#include "tools/nce_sql/catalog_commands.h"

#include <vector>

#include "tools/nce_sql/cursor_printer.h"
#include "tools/nce_sql/result_table.h"
#include "tools/nce_sql/transfer_commands.h"

namespace nce_sql {

namespace {

// Engine names are at most this long (table, index, user and field names).
constexpr uint16_t kNameRoom = 256;
// A user's group list.
constexpr uint16_t kGroupsRoom = 4096;

struct Context {
  Session& session;
  NDSHANDLE connection;
  std::string argument;  // the rest of the command line, trimmed
  std::ostream& out;
  std::ostream& err;
};

bool Fail(Context& c, const std::string& what) {
  c.out.flush();
  c.err << "nce-sql: " << what << '\n';
  return false;
}

bool EngineFailure(Context& c) {
  return Fail(c, EngineErrorText());
}

// Every table of the database, in the engine's order; false on a failure
// other than "no tables".
bool TableNames(Context& c, std::vector<std::string>* names) {
  char name[kNameRoom];
  uint16_t length = sizeof name;
  NDSHANDLE find = 0;
  NDSRESULT rc = NdsFindFirstTable(c.connection, "", name, &length, &find);
  if (rc == NDS_E_NO_MORE_TABLES) return true;
  if (rc != NDS_SUCCESS) return EngineFailure(c);
  for (;;) {
    names->emplace_back(name);
    length = sizeof name;
    rc = NdsFindNextTable(c.connection, find, name, &length);
    if (rc != NDS_SUCCESS) break;
  }
  NdsFindClose(c.connection, find);
  return rc == NDS_E_NO_MORE_TABLES || EngineFailure(c);
}

bool ListTables(Context& c) {
  std::vector<std::string> names;
  if (!TableNames(c, &names)) return false;
  ResultTable table({"table"}, {false});
  for (std::string& name : names) table.AddRow({std::move(name)});
  table.Print(c.out);
  // Tables the directory holds but the database does not are never passed over.
  std::string note = UnimportedTablesNote(c.connection);
  if (!note.empty()) c.out << note << '\n';
  return true;
}

// The key fields of an index order, ";"-separated, and its flags in words.
bool DescribeOrder(NDSHANDLE order, std::vector<std::string>* row) {
  char name[kNameRoom];
  uint16_t length = sizeof name;
  if (NdsGetIndexName(order, name, &length) != NDS_SUCCESS) return false;
  row->emplace_back(name);
  uint16_t segments = 0;
  if (NdsGetNumSegments(order, &segments) != NDS_SUCCESS) return false;
  std::string key;
  for (uint16_t s = 0; s < segments; ++s) {  // the engine numbers segments from 0
    length = sizeof name;
    if (NdsGetSegmentFieldname(order, s, name, &length) != NDS_SUCCESS) return false;
    key += (s > 0 ? ";" : "") + std::string(name);
  }
  row->push_back(key);
  uint16_t unique = 0, descending = 0, primary = 0;
  if (NdsIsIndexUnique(order, &unique) != NDS_SUCCESS ||
      NdsIsIndexDescending(order, &descending) != NDS_SUCCESS ||
      NdsIsIndexPrimaryKey(order, &primary) != NDS_SUCCESS)
    return false;
  std::string flags;
  for (auto [set, word] : {std::pair{primary, "primary key"}, std::pair{unique, "unique"},
                           std::pair{descending, "descending"}})
    if (set) flags += (flags.empty() ? "" : ", ") + std::string(word);
  row->push_back(flags);
  return true;
}

// Adds a row per index order of `table_name` to `table`.
bool AddOrders(Context& c, const std::string& table_name, ResultTable* table) {
  NDSHANDLE cursor = 0;
  if (NdsOpenTable(c.connection, table_name.c_str(), 0, 0, NDS_OPEN_READONLY, &cursor) !=
      NDS_SUCCESS)
    return EngineFailure(c);
  uint16_t count = 0;
  bool ok = NdsGetNumIndexes(cursor, &count) == NDS_SUCCESS;
  std::vector<NDSHANDLE> orders(count);
  if (ok && count > 0) ok = NdsGetAllIndexes(cursor, orders.data(), &count) == NDS_SUCCESS;
  for (uint16_t i = 0; ok && i < count; ++i) {
    std::vector<std::string> row{table_name};
    ok = DescribeOrder(orders[i], &row);
    if (ok) table->AddRow(std::move(row));
  }
  if (!ok) EngineFailure(c);
  NdsCloseTable(cursor);
  return ok;
}

bool ListIndexes(Context& c) {
  std::vector<std::string> names;
  if (c.argument.empty()) {
    if (!TableNames(c, &names)) return false;
  } else {
    names.push_back(c.argument);
  }
  ResultTable table({"table", "order", "key", "options"}, {false, false, false, false});
  for (const std::string& name : names)
    if (!AddOrders(c, name, &table)) return false;
  table.Print(c.out);
  return true;
}

// The groups of a dictionary user, ";"-separated; empty when none.
bool UserGroups(Context& c, const std::string& user, std::string* groups) {
  std::vector<char> buffer(kGroupsRoom);
  uint16_t length = kGroupsRoom;
  NDSRESULT rc = NdsDDGetUserProperty(c.connection, user.c_str(), NDS_DD_USER_GROUP_MEMBERSHIP,
                                      buffer.data(), &length);
  if (rc == NDS_E_PROPERTY_NOT_SET) return true;
  if (rc != NDS_SUCCESS) return EngineFailure(c);
  groups->assign(buffer.data());
  return true;
}

bool ListUsers(Context& c) {
  char name[kNameRoom];
  uint16_t length = sizeof name;
  NDSHANDLE find = 0;
  std::vector<std::string> users;
  NDSRESULT rc = NdsDDFindFirstObject(c.connection, NDS_DD_USER_OBJECT, "", name, &length, &find);
  if (rc != NDS_SUCCESS && rc != NDS_E_NO_MORE_OBJECTS) return EngineFailure(c);
  if (rc == NDS_SUCCESS) {
    for (;;) {
      users.emplace_back(name);
      length = sizeof name;
      rc = NdsDDFindNextObject(c.connection, find, name, &length);
      if (rc != NDS_SUCCESS) break;
    }
    NdsDDFindClose(c.connection, find);
    if (rc != NDS_E_NO_MORE_OBJECTS) return EngineFailure(c);
  }
  ResultTable table({"user", "groups"}, {false, false});
  for (const std::string& user : users) {
    std::string groups;
    if (!UserGroups(c, user, &groups)) return false;
    table.AddRow({user, groups});
  }
  table.Print(c.out);
  return true;
}

bool Import(Context& c) {
  return ImportCommand(c.connection, c.argument, c.out, c.err);
}

bool Export(Context& c) {
  return ExportCommand(c.connection, c.argument, c.out, c.err);
}

bool SetMode(Context& c) {
  if (c.argument == "csv") {
    c.session.set_mode(OutputMode::kCsv);
  } else if (c.argument == "table") {
    c.session.set_mode(OutputMode::kTable);
  } else {
    return Fail(c, "usage: .mode csv | .mode table");
  }
  return true;
}

bool ShowHelp(Context& c) {
  c.out << CommandHelp();
  return true;
}

struct Command {
  const char* name;
  bool takes_argument;
  bool (*run)(Context&);
};

// A null `run` ends the session.
constexpr Command kCommands[] = {
    {".tables", false, ListTables}, {".indexes", true, ListIndexes}, {".users", false, ListUsers},
    {".import", true, Import},      {".export", true, Export},       {".mode", true, SetMode},
    {".help", false, ShowHelp},     {".quit", false, nullptr},       {".exit", false, nullptr},
};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t\r;");
  return last < first ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

bool IsCommand(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t");
  return first != std::string::npos && line[first] == '.';
}

CommandResult RunCommand(Session& session, const std::string& line, std::ostream& out,
                         std::ostream& err) {
  const std::string text = Trim(line);
  const size_t space = text.find_first_of(" \t");
  const std::string name = text.substr(0, space);
  Context c{session, session.connection(),
            space == std::string::npos ? std::string() : Trim(text.substr(space)), out, err};
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    if (!command.takes_argument && !c.argument.empty()) {
      Fail(c, name + " takes no argument");
      return CommandResult::kFailed;
    }
    if (command.run == nullptr) return CommandResult::kQuit;
    return command.run(c) ? CommandResult::kDone : CommandResult::kFailed;
  }
  Fail(c, "unknown command " + name + " (.help lists the commands)");
  return CommandResult::kFailed;
}

const char* CommandHelp() {
  return ".tables           list the tables\n"
         ".indexes [TABLE]  list the index orders of TABLE (or of every table)\n"
         ".users            list the users of a data dictionary and their groups\n"
         ".import [--encoding NAME] [--keep-deleted] [--replace | --append] FILE [TABLE]\n"
         "                  bring an xBase table (.dbf) or a CSV file (.csv) in as TABLE\n"
         "                  (the file's name without extension when not given)\n"
         ".export [--encoding NAME] [--keep-deleted] [--version N] TABLE FILE\n"
         ".export [...] \"SELECT ...\" FILE\n"
         "                  write a table or a query's result to FILE (.dbf or .csv);\n"
         "                  --version 1 dBase III, 2 dBase IV, 3 FoxPro, 4 Visual FoxPro\n"
         ".mode csv|table   print results as CSV with a header line, or as tables\n"
         ".help             list these commands\n"
         ".quit, .exit      leave nce-sql\n";
}

}  // namespace nce_sql
