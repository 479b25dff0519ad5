#include "engine/schema/declared_table.h"

#include <sqlite3.h>

#include <memory>
#include <string>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/schema/catalog_schema.h"

namespace nce {

std::optional<TableDesc> DescribeDeclaredTable(std::string_view create, uint16_t table_type) {
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
  return DescribeTable(db.get(), tables[0]);
}

}  // namespace nce
