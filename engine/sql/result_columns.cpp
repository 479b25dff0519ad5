#include "engine/sql/result_columns.h"

#include <map>

#include "engine/base/sql_text.h"

namespace nce {

std::vector<ResultColumn> ResultColumns(StoreStatement& stmt, uint16_t table_type,
                                        const DescribeResultTable& describe,
                                        const KeepResultColumn& keep) {
  std::map<std::string, std::optional<TableDesc>> tables;
  std::vector<ResultColumn> columns;
  for (int i = 0; i < stmt.ColumnCount(); ++i) {
    ResultColumn column{i, std::nullopt};
    StoreStatement::Origin origin = stmt.ColumnOrigin(i);
    if (!origin.table.empty()) {
      if (keep && !keep(origin)) continue;
      auto it = tables.find(origin.table);
      if (it == tables.end()) it = tables.emplace(origin.table, describe(origin.table)).first;
      if (it->second)
        for (const FieldDesc& field : it->second->fields)
          if (EqualsNoCase(field.name, origin.column)) column.shape = field.shape;
    }
    if (!column.shape) {
      std::string declared = stmt.ColumnType(i);
      if (!declared.empty()) column.shape = FieldSpecFromDeclaredType(declared, table_type);
    }
    columns.push_back(std::move(column));
  }
  return columns;
}

}  // namespace nce
