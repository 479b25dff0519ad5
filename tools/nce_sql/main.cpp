// nce-sql PATH [SCRIPT]: runs SQL statements against the database at PATH
// through the client engine, from SCRIPT or from standard input. Result sets
// are printed as aligned tables, other statements report the rows they
// changed. The first failing statement prints the engine's error text and
// ends the run with exit status 1; a database that cannot be opened, or bad
// arguments, give exit status 2.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "nce/nce.h"
#include "nce/script.h"
#include "tools/nce_sql/result_table.h"

namespace {

std::string EngineErrorText() {
  uint32_t number = 0;
  char text[NDS_MAX_ERROR_LEN + 1] = {};
  uint16_t length = NDS_MAX_ERROR_LEN;
  if (NdsGetLastError(&number, text, &length) != NDS_SUCCESS) return "unknown engine error";
  return text;
}

bool IsNumeric(uint16_t type) {
  switch (type) {
    case NDS_NUMERIC:
    case NDS_DOUBLE:
    case NDS_INTEGER:
    case NDS_SHORTINT:
    case NDS_AUTOINC:
    case NDS_CURDOUBLE:
    case NDS_MONEY:
    case NDS_ROWVERSION:
      return true;
    default:
      return false;
  }
}

bool IsBinary(uint16_t type) {
  return type == NDS_BINARY || type == NDS_IMAGE || type == NDS_RAW;
}

// One field of the current record as text; false (with the engine's error
// reported by the caller) when the engine refuses.
bool FieldText(NDSHANDLE cursor, uint16_t field, uint16_t type, std::string* text) {
  uint16_t empty = 0;
  if (NdsIsEmpty(cursor, NDS_FIELD_ORDINAL(field), &empty) != NDS_SUCCESS) return false;
  if (empty) {
    *text = "NULL";
    return true;
  }
  if (IsBinary(type)) {
    uint32_t length = 0;
    if (NdsGetBinaryLength(cursor, NDS_FIELD_ORDINAL(field), &length) != NDS_SUCCESS) return false;
    *text = "<" + std::to_string(length) + " bytes>";
    return true;
  }
  std::vector<char> buffer(256);
  for (;;) {
    uint32_t length = static_cast<uint32_t>(buffer.size());
    NDSRESULT rc =
        NdsGetField(cursor, NDS_FIELD_ORDINAL(field), buffer.data(), &length, NDS_TRIM_RIGHT);
    if (rc == NDS_SUCCESS) {
      text->assign(buffer.data(), std::min<size_t>(length, buffer.size()));
      return true;
    }
    if (rc != NDS_E_INSUFFICIENT_BUFFER || length < buffer.size()) return false;
    buffer.resize(static_cast<size_t>(length) + 1);
  }
}

bool PrintCursor(NDSHANDLE cursor, std::ostream& out) {
  uint16_t count = 0;
  if (NdsGetNumFields(cursor, &count) != NDS_SUCCESS) return false;
  std::vector<std::string> names;
  std::vector<bool> right;
  std::vector<uint16_t> types;
  for (uint16_t f = 1; f <= count; ++f) {
    char name[256];
    uint16_t length = sizeof name;
    uint16_t type = 0;
    if (NdsGetFieldName(cursor, f, name, &length) != NDS_SUCCESS ||
        NdsGetFieldType(cursor, NDS_FIELD_ORDINAL(f), &type) != NDS_SUCCESS)
      return false;
    names.emplace_back(name);
    types.push_back(type);
    right.push_back(IsNumeric(type));
  }
  nce_sql::ResultTable table(names, right);
  if (NdsGotoTop(cursor) != NDS_SUCCESS) return false;
  for (;;) {
    uint16_t at_end = 0;
    if (NdsAtEOF(cursor, &at_end) != NDS_SUCCESS) return false;
    if (at_end) break;
    std::vector<std::string> row(count);
    for (uint16_t f = 1; f <= count; ++f)
      if (!FieldText(cursor, f, types[f - 1], &row[f - 1])) return false;
    table.AddRow(std::move(row));
    if (NdsSkip(cursor, 1) != NDS_SUCCESS) return false;
  }
  table.Print(out);
  return true;
}

int Run(const std::string& path, const std::string& script) {
  NDSHANDLE connection = 0;
  if (NdsConnect60(path.c_str(), NDS_LOCAL_SERVER, "", "", 0, &connection) != NDS_SUCCESS) {
    std::cerr << "nce-sql: " << EngineErrorText() << '\n';
    return 2;
  }
  NDSHANDLE statement = 0;
  int status = 0;
  if (NdsCreateSQLStatement(connection, &statement) != NDS_SUCCESS) {
    std::cerr << "nce-sql: " << EngineErrorText() << '\n';
    status = 1;
  }
  for (std::string_view text :
       status ? std::vector<std::string_view>() : nce::SplitScript(script)) {
    std::string sql(text);
    NDSHANDLE cursor = 0;
    if (NdsExecuteSQLDirect(statement, sql.c_str(), &cursor) != NDS_SUCCESS) {
      std::cerr << "nce-sql: " << EngineErrorText() << "\n  in: " << sql << '\n';
      status = 1;
      break;
    }
    if (cursor) {
      bool printed = PrintCursor(cursor, std::cout);
      if (!printed) std::cerr << "nce-sql: " << EngineErrorText() << "\n  in: " << sql << '\n';
      NdsCloseTable(cursor);
      if (!printed) {
        status = 1;
        break;
      }
      continue;
    }
    uint32_t changed = 0;
    if (NdsGetRecordCount(statement, NDS_IGNOREFILTERS, &changed) == NDS_SUCCESS)
      std::cout << "(" << changed << (changed == 1 ? " row" : " rows") << " changed)\n";
  }
  if (statement) NdsCloseSQLStatement(statement);
  NdsDisconnect(connection);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || std::string(argv[1]) == "--help") {
    std::cerr << "usage: nce-sql PATH [SCRIPT]\n"
                 "  Runs the SQL statements of SCRIPT (or standard input) against the\n"
                 "  database at PATH (a directory or a .ndd data dictionary).\n";
    return 2;
  }
  std::stringstream script;
  if (argc == 3) {
    std::ifstream file(argv[2], std::ios::binary);
    if (!file) {
      std::cerr << "nce-sql: cannot read " << argv[2] << '\n';
      return 2;
    }
    script << file.rdbuf();
  } else {
    script << std::cin.rdbuf();
  }
  return Run(argv[1], script.str());
}
