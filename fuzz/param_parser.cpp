// Fuzzes the SQL parameter parser with arbitrary text and checks that the
// list it builds agrees with the names it reports.
#include "dataset/param_parser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string sql(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> names;
  std::string rewritten = dataset::ParseSQLParams(sql, &names);
  // Every parameter becomes one "?" and every "::" one ":", so the text
  // never grows.
  if (rewritten.size() > sql.size()) std::abort();
  dataset::TParams params;
  params.ParseSQL(sql, true);
  if (params.Count() != static_cast<int>(names.size())) std::abort();
  for (int i = 0; i < params.Count(); ++i)
    if (params[i]->Name() != names[static_cast<size_t>(i)]) std::abort();
  // A second list built from the same text takes every value back.
  dataset::TParams copy;
  copy.ParseSQL(sql, true);
  for (int i = 0; i < params.Count(); ++i) params[i]->SetAsInteger(i);
  copy.AssignValues(params);
  return 0;
}
