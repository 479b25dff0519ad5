#include "engine/sql/result_columns.h"

#include <cctype>
#include <map>
#include <set>

#include "engine/base/sql_text.h"
#include "engine/storage/store_catalog.h"

namespace nce {
namespace {

// Whether `sql` names `word` outside quotes (a rough look: a word inside a
// literal counts too, which only keeps a column that could have gone).
bool MentionsWord(std::string_view sql, std::string_view word) {
  std::string upper = UpperAscii(sql), wanted = UpperAscii(word);
  auto is_word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (size_t at = upper.find(wanted); at != std::string::npos; at = upper.find(wanted, at + 1)) {
    bool starts = at == 0 || !is_word(upper[at - 1]);
    bool ends = at + wanted.size() >= upper.size() || !is_word(upper[at + wanted.size()]);
    if (starts && ends) return true;
  }
  return false;
}

// The text of a SELECT up to its first FROM: its result columns, roughly.
std::string_view SelectList(std::string_view sql) {
  std::string upper = UpperAscii(sql);
  for (size_t at = upper.find("FROM"); at != std::string::npos; at = upper.find("FROM", at + 1)) {
    bool starts = at == 0 || !std::isalnum(static_cast<unsigned char>(upper[at - 1]));
    bool ends = at + 4 >= upper.size() || !std::isalnum(static_cast<unsigned char>(upper[at + 4]));
    if (starts && ends) return sql.substr(0, at);
  }
  return sql;
}

}  // namespace

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

std::vector<ResultColumn> StatementResultColumns(Connection& connection, StoreSession& session,
                                                 StoreStatement& stmt, std::string_view sql,
                                                 uint16_t table_type) {
  DescribeResultTable describe = [&connection](const std::string& table) {
    return DescribeStoreTable(connection, table);
  };
  if (!session.SelectStarReadsRowid()) return ResultColumns(stmt, table_type, describe);
  std::set<std::string> numbered;  // tables whose rowid column is kept
  bool names_rowid = MentionsWord(SelectList(sql), "rowid");
  return ResultColumns(stmt, table_type, describe, [&](const StoreStatement::Origin& origin) {
    return !EqualsNoCase(origin.column, "rowid") ||
           (names_rowid && numbered.insert(origin.table).second);
  });
}

}  // namespace nce
