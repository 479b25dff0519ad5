// Provider support of the query: its SQL text, parameters, table name and
// default order as a provider component reads and sets them.
#include <memory>
#include <string>

#include "dataset/sql_text.h"
#include "dataset/strings.h"
#include "nds/ndstable.h"

namespace nds {

void TNdsQuery::ProviderExecute() {
  ExecSQL();
}

std::unique_ptr<dataset::TIndexDef> TNdsQuery::ProviderDefaultOrder() {
  std::unique_ptr<dataset::TIndexDef> order = TNdsExtendedDataSet::ProviderDefaultOrder();
  if (order) return order;
  return dataset::IndexDefForOrderBy(SQLText(), *this);
}

dataset::TParams* TNdsQuery::ProviderParams() {
  return Params();
}

std::string TNdsQuery::ProviderTableName() {
  return dataset::TableNameFromSQL(SQLText());
}

void TNdsQuery::ProviderSetParams(dataset::TParams& params) {
  if (params.Count() > 0) Params()->Assign(&params);
  Close();
}

void TNdsQuery::ProviderSetCommandText(const std::string& text) {
  if (text.empty()) return;
  dataset::TStringList lines;
  lines.SetText(text);
  SetSQL(&lines);
}

}  // namespace nds
