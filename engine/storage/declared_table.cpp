#include "engine/storage/declared_table.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>

#include "engine/base/errors.h"
#include "engine/base/sql_scan.h"
#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_catalog_schema.h"

namespace nce {

namespace {

// How often `sql` holds the keyword `word` outside literals, quoted names
// and comments.
size_t KeywordCount(std::string_view sql, std::string_view word) {
  size_t count = 0;
  for (size_t i = 0; i < sql.size();) {
    size_t end = IsQuoteMark(sql[i]) ? std::min(QuotedEnd(sql, i), sql.size()) : CommentEnd(sql, i);
    if (end == i) {
      end = WordEnd(sql, i);
      if (end > i && EqualsNoCase(sql.substr(i, end - i), word)) ++count;
    }
    i = std::max(end, i + 1);
  }
  return count;
}

[[noreturn]] void RefuseRule(const std::string& table, const std::string& what) {
  throw EngineError(NDS_E_NOT_SUPPORTED, "The table " + table + " declares " + what +
                                             ", which a table on a PostgreSQL server does "
                                             "not keep yet.");
}

// Reads the rules of `table`'s fields from the database SQLite made it in.
std::vector<ColumnRule> ReadColumnRules(sqlite3* db, std::string_view create,
                                        const TableDesc& table) {
  for (const char* word : {"CHECK", "REFERENCES"})
    if (KeywordCount(create, word) > 0)
      RefuseRule(table.name, std::string("a ") + word + " clause");
  // Each CICHAR field carries the COLLATE NOCASE the engine gave it.
  if (KeywordCount(create, "COLLATE") > KeywordCount(create, "CICHAR"))
    RefuseRule(table.name, "a COLLATE clause");
  std::vector<ColumnRule> rules(table.fields.size());
  auto field_index = [&](const std::string& name) {
    for (size_t i = 0; i < table.fields.size(); ++i)
      if (EqualsNoCase(table.fields[i].name, name)) return i;
    RefuseRule(table.name, "the hidden column " + name);
  };
  auto each = [&](const std::string& sql, auto row) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      throw EngineError(NDS_E_GENERAL, "The table " + table.name + " cannot be read back.");
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(stmt, sqlite3_finalize);
    while (sqlite3_step(stmt) == SQLITE_ROW) row(stmt);
  };
  auto text = [](sqlite3_stmt* stmt, int column) {
    const unsigned char* t = sqlite3_column_text(stmt, column);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  std::string name = QuoteLiteral(table.name);
  each("SELECT count(*) FROM pragma_foreign_key_list(" + name + ")", [&](sqlite3_stmt* stmt) {
    if (sqlite3_column_int(stmt, 0) > 0) RefuseRule(table.name, "a FOREIGN KEY");
  });
  bool pk_index = false;
  each("SELECT name, origin FROM pragma_index_list(" + name + ") WHERE origin IN ('u', 'pk')",
       [&](sqlite3_stmt* stmt) {
         pk_index = pk_index || text(stmt, 1) == "pk";
         std::vector<std::string> columns;
         each("SELECT name FROM pragma_index_info(" + QuoteLiteral(text(stmt, 0)) + ")",
              [&](sqlite3_stmt* c) { columns.push_back(text(c, 0)); });
         if (columns.size() != 1)
           RefuseRule(table.name, "a UNIQUE or PRIMARY KEY over several columns");
         rules[field_index(columns[0])].unique = true;
       });
  each("SELECT name, \"notnull\", dflt_value, pk, hidden FROM pragma_table_xinfo(" + name + ")",
       [&](sqlite3_stmt* stmt) {
         std::string column = text(stmt, 0);
         if (sqlite3_column_int(stmt, 4) != 0)
           RefuseRule(table.name, "the generated column " + column);
         ColumnRule& rule = rules[field_index(column)];
         rule.not_null = sqlite3_column_int(stmt, 1) != 0;
         if (sqlite3_column_type(stmt, 2) != SQLITE_NULL) rule.default_sql = text(stmt, 2);
         if (sqlite3_column_int(stmt, 3) != 0) {
           // A PRIMARY KEY without an index of its own is SQLite's record number.
           if (!pk_index) RefuseRule(table.name, "the INTEGER PRIMARY KEY " + column);
           rule.unique = true;  // SQLite lets such a key be NULL, as UNIQUE does
         }
       });
  return rules;
}

}  // namespace

std::optional<TableDesc> DescribeDeclaredTable(std::string_view create, uint16_t table_type,
                                               std::vector<ColumnRule>* rules) {
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(raw);
    throw EngineError(NDS_E_MEMORY, "No memory to read a table's declaration.");
  }
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  EnsureCatalog(db.get());
  if (sqlite3_exec(db.get(), std::string(create).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    return std::nullopt;
  std::vector<std::string> tables = UserTables(db.get());
  if (tables.size() != 1) return std::nullopt;  // temporary: made in another schema
  // CREATE TABLE ... AS SELECT of constants: its rows are the server's to make.
  std::string count = "SELECT count(*) FROM " + QuoteIdentifier(tables[0]);
  sqlite3_stmt* rows = nullptr;
  bool empty = sqlite3_prepare_v2(db.get(), count.c_str(), -1, &rows, nullptr) == SQLITE_OK &&
               sqlite3_step(rows) == SQLITE_ROW && sqlite3_column_int64(rows, 0) == 0;
  sqlite3_finalize(rows);
  if (!empty) return std::nullopt;
  SyncCatalog(db.get(), table_type);
  std::optional<TableDesc> table = DescribeTable(db.get(), tables[0]);
  if (table && rules) *rules = ReadColumnRules(db.get(), create, *table);
  return table;
}

}  // namespace nce
