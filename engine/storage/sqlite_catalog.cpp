#include "engine/storage/sqlite_catalog.h"

#include <algorithm>
#include <map>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/schema/catalog_schema.h"
#include "engine/storage/sqlite_catalog_schema.h"
#include "engine/storage/sqlite_stmt.h"
#include "engine/storage/sqlite_type_guards.h"
#include "nce/nce.h"

namespace nce {
namespace {

struct Column {
  std::string name;
  std::string declared;
};

std::vector<Column> TableColumns(sqlite3* db, const std::string& table) {
  std::vector<Column> columns;
  SqliteStmt stmt(db, "SELECT name, type FROM pragma_table_info(?1)");
  stmt.Bind(1, table);
  while (stmt.Step()) columns.push_back({stmt.Text(0), stmt.Text(1)});
  return columns;
}

struct CatalogTable {
  uint16_t table_type = NDS_NDT;
  uint16_t char_type = NDS_ANSI;
  std::map<std::string, FieldSpec> fields;  // by upper-cased field name
  std::vector<std::string> order;           // field names in catalog order
};

std::optional<CatalogTable> ReadCatalogTable(sqlite3* db, const std::string& table) {
  SqliteStmt head(db, "SELECT table_type, char_type FROM _nce_tables WHERE name = ?1");
  head.Bind(1, table);
  if (!head.Step()) return std::nullopt;
  CatalogTable result;
  result.table_type = static_cast<uint16_t>(head.Int(0));
  result.char_type = static_cast<uint16_t>(head.Int(1));
  SqliteStmt fields(db,
                    "SELECT name, field_type, length, decimals FROM _nce_fields "
                    "WHERE table_name = ?1 ORDER BY position");
  fields.Bind(1, table);
  while (fields.Step()) {
    FieldSpec shape{static_cast<uint16_t>(fields.Int(1)), static_cast<uint32_t>(fields.Int(2)),
                    static_cast<uint16_t>(fields.Int(3))};
    result.fields[UpperAscii(fields.Text(0))] = shape;
    result.order.push_back(fields.Text(0));
  }
  return result;
}

// Fields of `table` in column order: catalog shapes where known, inferred
// from the declared type otherwise.
std::vector<FieldDesc> MergeFields(const std::vector<Column>& columns, const CatalogTable* catalog,
                                   uint16_t table_type) {
  std::vector<FieldDesc> fields;
  for (const Column& column : columns) {
    FieldDesc field;
    field.name = column.name;
    auto known = catalog ? catalog->fields.find(UpperAscii(column.name))
                         : std::map<std::string, FieldSpec>::const_iterator();
    if (catalog && known != catalog->fields.end())
      field.shape = known->second;
    else
      field.shape = FieldSpecFromDeclaredType(column.declared, table_type);
    fields.push_back(field);
  }
  return fields;
}

void WriteCatalogFields(sqlite3* db, const std::string& table,
                        const std::vector<FieldDesc>& fields) {
  SqliteStmt clear(db, "DELETE FROM _nce_fields WHERE table_name = ?1");
  clear.Bind(1, table).Run();
  SqliteStmt insert(db,
                    "INSERT INTO _nce_fields(table_name, position, name, field_type, length, "
                    "decimals) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  for (size_t i = 0; i < fields.size(); ++i) {
    insert.Reset();
    insert.Bind(1, table)
        .Bind(2, static_cast<int64_t>(i + 1))
        .Bind(3, fields[i].name)
        .Bind(4, fields[i].shape.type)
        .Bind(5, fields[i].shape.length)
        .Bind(6, fields[i].shape.decimals)
        .Run();
  }
}

std::string AutoincTriggerName(const std::string& table, const std::string& field) {
  return std::string(kReservedPrefix) + "autoinc_" + table + "_" + field;
}

// Numbers AUTOINC fields on every insert that leaves them NULL, from a
// counter that never goes back, so deleted numbers are not handed out again.
void EnsureAutoincTrigger(sqlite3* db, const std::string& table, const std::string& field) {
  std::string t = QuoteLiteral(table), f = QuoteLiteral(field);
  std::string column = QuoteIdentifier(field);
  std::string seed =
      "INSERT OR IGNORE INTO _nce_autoinc(table_name, field_name, last_value) "
      "SELECT " +
      t + ", " + f + ", coalesce(max(" + column + "), 0) FROM " + QuoteIdentifier(table);
  ExecSql(db, seed.c_str());
  std::string where = " WHERE table_name = " + t + " AND field_name = " + f;
  std::string trigger = "CREATE TRIGGER IF NOT EXISTS " +
                        QuoteIdentifier(AutoincTriggerName(table, field)) + " AFTER INSERT ON " +
                        QuoteIdentifier(table) + " BEGIN " +
                        "UPDATE _nce_autoinc SET last_value = CASE WHEN NEW." + column +
                        " IS NULL THEN last_value + 1 ELSE max(last_value, NEW." + column +
                        ") END" + where + "; " + "UPDATE " + QuoteIdentifier(table) + " SET " +
                        column + " = (SELECT last_value FROM _nce_autoinc" + where +
                        ") WHERE rowid = NEW.rowid AND NEW." + column + " IS NULL; END";
  ExecSql(db, trigger.c_str());
}

// Drops the numbering triggers of `table`: SQLite lets them follow a renamed
// table, but their counters are keyed by the old name.
void DropAutoincTriggers(sqlite3* db, const std::string& table) {
  std::vector<std::string> triggers;
  SqliteStmt find(db,
                  "SELECT name FROM sqlite_master WHERE type = 'trigger' AND "
                  "substr(name, 1, length(?1)) = ?1 COLLATE NOCASE");
  find.Bind(1, std::string(kReservedPrefix) + "autoinc_" + table + "_");
  while (find.Step()) triggers.push_back(find.Text(0));
  for (const std::string& trigger : triggers)
    ExecSql(db, ("DROP TRIGGER IF EXISTS " + QuoteIdentifier(trigger)).c_str());
}

// Every catalog table (the engine's own, whoever added it) that keys rows by
// a table_name column.
std::vector<std::string> TablesKeyedByTableName(sqlite3* db) {
  std::vector<std::string> tables;
  SqliteStmt stmt(db,
                  "SELECT m.name FROM sqlite_master m, pragma_table_info(m.name) c "
                  "WHERE m.type = 'table' AND substr(m.name, 1, 5) = '_nce_' "
                  "AND c.name = 'table_name'");
  while (stmt.Step()) tables.push_back(stmt.Text(0));
  return tables;
}

// Moves the catalog rows of `from` to `to` (ALTER TABLE ... RENAME TO), so the
// table keeps its type, fields, counters and index orders.
void RenameCatalogTable(sqlite3* db, const std::string& from, const std::string& to) {
  DropAutoincTriggers(db, from);
  MoveDeletedMarks(db, from, to);  // keyed in upper case
  SqliteStmt rename(db, "UPDATE _nce_tables SET name = ?2 WHERE name = ?1");
  rename.Bind(1, from).Bind(2, to).Run();
  for (const std::string& table : TablesKeyedByTableName(db)) {
    if (table == DeletedMarksTable()) continue;
    SqliteStmt move(
        db, "UPDATE " + QuoteIdentifier(table) + " SET table_name = ?2 WHERE table_name = ?1");
    move.Bind(1, from).Bind(2, to).Run();
  }
}

void ForgetTable(sqlite3* db, const std::string& table) {
  for (const char* sql :
       {"DELETE FROM _nce_tables WHERE name = ?1", "DELETE FROM _nce_fields WHERE table_name = ?1",
        "DELETE FROM _nce_autoinc WHERE table_name = ?1",
        "DELETE FROM _nce_index_files WHERE table_name = ?1",
        "DELETE FROM _nce_index_orders WHERE table_name = ?1"}) {
    SqliteStmt stmt(db, sql);
    stmt.Bind(1, table).Run();
  }
  DropAutoincTriggers(db, table);
  ForgetDeletedMarks(db, table);
}

}  // namespace

std::vector<std::string> UserTables(sqlite3* db) {
  std::vector<std::string> tables;
  SqliteStmt stmt(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid");
  while (stmt.Step()) {
    std::string name = stmt.Text(0);
    if (!IsReservedName(name)) tables.push_back(name);
  }
  return tables;
}

std::optional<TableDesc> DescribeTable(sqlite3* db, std::string_view name) {
  SqliteStmt find(db,
                  "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND "
                  "name = ?1 COLLATE NOCASE");
  find.Bind(1, name);
  if (!find.Step()) return std::nullopt;
  TableDesc table;
  table.name = find.Text(0);
  std::optional<CatalogTable> catalog = ReadCatalogTable(db, table.name);
  if (catalog) {
    table.table_type = catalog->table_type;
    table.char_type = catalog->char_type;
    table.from_catalog = true;
  }
  table.fields =
      MergeFields(TableColumns(db, table.name), catalog ? &*catalog : nullptr, table.table_type);
  LayoutRecord(table);
  return table;
}

void SyncCatalog(sqlite3* db, uint16_t new_table_type) {
  std::vector<std::string> tables = UserTables(db);
  std::vector<std::string> known;
  {
    SqliteStmt stmt(db, "SELECT name FROM _nce_tables");
    while (stmt.Step()) known.push_back(stmt.Text(0));
  }
  auto listed = [](const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
      if (EqualsNoCase(n, name)) return true;
    return false;
  };
  std::vector<std::string> fresh;  // tables without catalog rows
  for (const std::string& table : tables)
    if (!listed(known, table)) fresh.push_back(table);
  for (const std::string& name : known) {
    if (listed(tables, name)) continue;
    // A vanished table whose columns a fresh table has, in order, was renamed.
    std::optional<CatalogTable> old_rows = ReadCatalogTable(db, name);
    std::string renamed_to;
    for (const std::string& candidate : fresh) {
      std::vector<Column> columns = TableColumns(db, candidate);
      bool same = old_rows && old_rows->order.size() == columns.size();
      for (size_t i = 0; same && i < columns.size(); ++i)
        same = EqualsNoCase(old_rows->order[i], columns[i].name);
      if (same) {
        renamed_to = candidate;
        break;
      }
    }
    if (renamed_to.empty()) {
      ForgetTable(db, name);
    } else {
      RenameCatalogTable(db, name, renamed_to);
      fresh.erase(std::find(fresh.begin(), fresh.end(), renamed_to));
    }
  }
  for (const std::string& table : tables) {
    std::optional<CatalogTable> catalog = ReadCatalogTable(db, table);
    std::vector<Column> columns = TableColumns(db, table);
    bool same = catalog && catalog->order.size() == columns.size();
    for (size_t i = 0; same && i < columns.size(); ++i)
      same = EqualsNoCase(catalog->order[i], columns[i].name);
    uint16_t table_type = catalog ? catalog->table_type : new_table_type;
    if (!catalog) {
      SqliteStmt insert(db,
                        "INSERT INTO _nce_tables(name, table_type, char_type) VALUES(?1, ?2, 1)");
      insert.Bind(1, table).Bind(2, table_type).Run();
    }
    std::vector<FieldDesc> fields = MergeFields(columns, catalog ? &*catalog : nullptr, table_type);
    if (!same) WriteCatalogFields(db, table, fields);
    // The guards first: a new table may be made again to carry them.
    if (std::optional<TableDesc> desc = DescribeTable(db, table))
      EnsureTypeGuards(db, *desc, !catalog);
    for (const FieldDesc& field : fields)
      if (field.shape.type == NDS_AUTOINC) EnsureAutoincTrigger(db, table, field.name);
  }
}

}  // namespace nce
