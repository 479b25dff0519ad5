// list_rows DIR SQL: runs one SQL statement on the database in directory DIR
// through a query component. A SELECT prints its rows, one per line with the
// fields separated by tabs; any other statement prints the rows it changed.
#include <cctype>
#include <iostream>
#include <string>

#include "dataset/exceptions.h"
#include "dataset/strings.h"
#include "nds/ndstable.h"

namespace {

bool IsSelect(const std::string& sql) {
  std::string head;
  for (char c : sql) {
    if (std::isspace(static_cast<unsigned char>(c)) && head.empty()) continue;
    if (!std::isalpha(static_cast<unsigned char>(c))) break;
    head += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return head == "select";
}

void PrintRows(nds::TNdsQuery& query) {
  query.Open();
  for (query.First(); !query.Eof(); query.Next()) {
    for (int i = 0; i < query.FieldCount(); ++i) {
      dataset::TField& field = *query.FieldByNumber(i + 1);
      std::cout << (i ? "\t" : "") << (field.IsNull() ? "NULL" : field.AsString());
    }
    std::cout << '\n';
  }
  query.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: list_rows DIR SQL\n";
    return 2;
  }
  try {
    nds::TNdsQuery query(nullptr);
    query.SetDatabaseName(argv[1]);
    dataset::TStringList lines;
    lines.SetText(argv[2]);
    query.SetSQL(&lines);
    if (IsSelect(argv[2])) {
      PrintRows(query);
    } else {
      query.ExecSQL();
      std::cout << query.AffectedRows() << " rows changed\n";
    }
  } catch (const dataset::Exception& e) {
    std::cerr << "list_rows: " << e.Message() << '\n';
    return 1;
  }
  return 0;
}
