#include "tools/nce_sql/transfer_commands.h"

#include <sstream>
#include <vector>

#include "tools/nce_sql/cursor_printer.h"

namespace nce_sql {
namespace {

// The words of a command's argument: blank-separated, a word in double
// quotes may hold blanks (a doubled quote stands for one). False when a
// quote is not closed.
bool SplitWords(const std::string& text, std::vector<std::string>* words) {
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\t') {
      ++i;
      continue;
    }
    std::string word;
    if (text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            word += '"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        word += text[i];
      }
    } else {
      while (i < text.size() && text[i] != ' ' && text[i] != '\t') word += text[i++];
    }
    words->push_back(word);
  }
  return true;
}

struct TransferArguments {
  std::string encoding;
  uint32_t options = 0;
  uint32_t version = 0;
  std::vector<std::string> rest;  // the words after the options
};

bool ReadArguments(const std::string& argument, bool import, TransferArguments* args,
                   std::string* error) {
  std::vector<std::string> words;
  if (!SplitWords(argument, &words)) {
    *error = "a quote is not closed";
    return false;
  }
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--encoding" || word == "--version") {
      if (i + 1 >= words.size()) {
        *error = word + " needs a value";
        return false;
      }
      const std::string& value = words[++i];
      if (word == "--encoding") {
        args->encoding = value;
      } else if (value.size() == 1 && value[0] >= '1' && value[0] <= '4') {
        args->version = static_cast<uint32_t>(value[0] - '0');
      } else {
        *error = "--version takes 1 (dBase III), 2 (dBase IV), 3 (FoxPro) or 4 (Visual FoxPro)";
        return false;
      }
    } else if (word == "--keep-deleted") {
      args->options |= NDS_TRANSFER_KEEP_DELETED;
    } else if (import && word == "--replace") {
      args->options |= NDS_TRANSFER_REPLACE;
    } else if (import && word == "--append") {
      args->options |= NDS_TRANSFER_APPEND;
    } else if (word.starts_with("--")) {
      *error = "unknown option " + word;
      return false;
    } else {
      args->rest.assign(words.begin() + static_cast<long>(i), words.end());
      return true;
    }
  }
  return true;
}

bool Refuse(std::ostream& out, std::ostream& err, const std::string& what) {
  out.flush();
  err << "nce-sql: " << what << '\n';
  return false;
}

NDSTRANSFER Settings(const TransferArguments& args) {
  NDSTRANSFER transfer{};
  transfer.size = sizeof transfer;
  transfer.options = args.options;
  transfer.encoding = args.encoding.empty() ? nullptr : args.encoding.c_str();
  transfer.dbfVersion = args.version;
  return transfer;
}

std::string Rows(uint64_t rows) {
  return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

}  // namespace

bool ImportCommand(NDSHANDLE connection, const std::string& argument, std::ostream& out,
                   std::ostream& err) {
  TransferArguments args;
  std::string error;
  if (!ReadArguments(argument, true, &args, &error)) return Refuse(out, err, ".import: " + error);
  if (args.rest.empty() || args.rest.size() > 2)
    return Refuse(out, err,
                  "usage: .import [--encoding NAME] [--keep-deleted] [--replace | --append] FILE "
                  "[TABLE]");
  NDSTRANSFER transfer = Settings(args);
  const std::string& file = args.rest[0];
  const char* table = args.rest.size() > 1 ? args.rest[1].c_str() : nullptr;
  if (NdsImportTable(connection, file.c_str(), table, &transfer) != NDS_SUCCESS)
    return Refuse(out, err, EngineErrorText());
  out << "(" << Rows(transfer.rows) << " imported)\n";
  return true;
}

bool ExportCommand(NDSHANDLE connection, const std::string& argument, std::ostream& out,
                   std::ostream& err) {
  TransferArguments args;
  std::string error;
  if (!ReadArguments(argument, false, &args, &error)) return Refuse(out, err, ".export: " + error);
  if (args.rest.size() != 2)
    return Refuse(out, err,
                  "usage: .export [--encoding NAME] [--keep-deleted] [--version N] "
                  "TABLE|\"SELECT ...\" FILE");
  NDSTRANSFER transfer = Settings(args);
  if (NdsExportTable(connection, args.rest[0].c_str(), args.rest[1].c_str(), &transfer) !=
      NDS_SUCCESS)
    return Refuse(out, err, EngineErrorText());
  out << "(" << Rows(transfer.rows) << " exported)\n";
  return true;
}

std::string UnimportedTablesNote(NDSHANDLE connection) {
  uint32_t length = 0;
  NDSRESULT rc = NdsGetUnimportedTables(connection, nullptr, &length);
  if ((rc != NDS_SUCCESS && rc != NDS_E_INSUFFICIENT_BUFFER) || length == 0) return "";
  std::string names(length + 1, '\0');
  uint32_t room = length + 1;
  if (NdsGetUnimportedTables(connection, names.data(), &room) != NDS_SUCCESS) return "";
  names.resize(length);
  std::istringstream lines(names);
  std::string line, list;
  size_t count = 0;
  while (std::getline(lines, line))
    if (!line.empty()) list += (count++ ? ", " : "") + line.substr(line.find_last_of('/') + 1);
  if (count == 0) return "";
  return "The database's directory holds " + std::to_string(count) +
         (count == 1 ? " xBase table" : " xBase tables") + " that the database does not: " + list +
         ". \".import FILE\" brings one in.";
}

}  // namespace nce_sql
