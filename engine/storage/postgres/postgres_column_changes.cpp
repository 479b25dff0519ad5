#include "engine/storage/postgres/postgres_column_changes.h"

#include <optional>
#include <string>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/storage/declared_table.h"
#include "engine/storage/postgres/postgres_catalog.h"
#include "engine/storage/postgres/postgres_tables.h"

namespace nce {
namespace {

constexpr size_t kNoField = static_cast<size_t>(-1);

size_t FieldIndex(const TableDesc& table, const std::string& name) {
  for (size_t f = 0; f < table.fields.size(); ++f)
    if (EqualsNoCase(table.fields[f].name, name)) return f;
  return kNoField;
}

std::string AlterTable(const TableDesc& table) {
  return "ALTER TABLE " + QuoteIdentifier(table.name) + " ";
}

bool AddColumn(StoreSession& session, const TableDesc& table, const ColumnChange& change) {
  // The definition reads as the column list of a table of its own would.
  std::vector<ColumnRule> rules;
  std::optional<TableDesc> declared = DescribeDeclaredTable(
      RewriteEngineTypes("CREATE TABLE nce_added (" + change.definition + ")"), table.table_type,
      &rules);
  if (!declared || declared->fields.size() != 1) return false;
  FieldDesc field = declared->fields[0];
  field.name = LowerAscii(field.name);
  size_t position = table.fields.size();
  std::string sql = AlterTable(table) + "ADD COLUMN " +
                    PostgresColumnDefinition(field, rules.empty() ? nullptr : &rules[0]);
  for (const std::string& guard : PostgresFieldGuards(field, position)) sql += ", ADD " + guard;
  session.Execute(sql);
  if (field.shape.type == NDS_AUTOINC) InstallAutoincNumbering(session, table.name, field.name);
  auto describe = session.Prepare(
      "INSERT INTO _nce_fields(table_name, position, name, field_type, length, decimals) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  describe->Bind(1, Value::Text(table.name));
  describe->Bind(2, Value::Integer(static_cast<int64_t>(position + 1)));
  describe->Bind(3, Value::Text(field.name));
  describe->Bind(4, Value::Integer(field.shape.type));
  describe->Bind(5, Value::Integer(field.shape.length));
  describe->Bind(6, Value::Integer(field.shape.decimals));
  describe->Step();
  return true;
}

// The guards of the fields after field `dropped` take their new numbers, so
// that a refusal still names its field. Ascending, so each new name is free:
// the dropped field's guards went with its column.
void RenumberGuardsAfter(StoreSession& session, const TableDesc& table, size_t dropped) {
  std::vector<std::string> names;
  auto guards = session.Prepare(
      "SELECT conname FROM pg_constraint WHERE conrelid = to_regclass(quote_ident(?1)) AND "
      "contype = 'c' ORDER BY conname");
  guards->Bind(1, Value::Text(table.name));
  while (guards->Step()) names.push_back(guards->Column(0).bytes);
  for (const std::string& name : names) {
    std::optional<size_t> field = GuardField(name);
    if (!field || *field <= dropped) continue;
    session.Execute(AlterTable(table) + "RENAME CONSTRAINT " + QuoteIdentifier(name) + " TO " +
                    QuoteIdentifier(RenumberedGuardName(name, *field - 1)));
  }
}

// Whether an order's index (its key or its condition) reads column `column`.
bool OrderReads(StoreSession& session, const TableDesc& table, const std::string& column) {
  auto reads = session.Prepare(
      "SELECT 1 FROM _nce_index_orders o JOIN pg_depend d ON d.classid = 'pg_class'::regclass "
      "AND d.objid = to_regclass(quote_ident(o.sqlite_index)) JOIN pg_attribute a ON "
      "a.attrelid = d.refobjid AND a.attnum = d.refobjsubid WHERE o.table_name = ?1 AND "
      "d.refobjid = to_regclass(quote_ident(?1)) AND a.attname = ?2 LIMIT 1");
  reads->Bind(1, Value::Text(table.name));
  reads->Bind(2, Value::Text(column));
  return reads->Step();
}

bool DropColumn(StoreSession& session, const TableDesc& table, const ColumnChange& change) {
  size_t f = FieldIndex(table, change.column);
  if (f == kNoField) return false;
  const FieldDesc& field = table.fields[f];
  // SQLite refuses to drop a column an index reads; so does this, rather
  // than drop the order with its index.
  if (OrderReads(session, table, field.name))
    throw EngineError(NDS_E_NOT_SUPPORTED, "The column " + field.name + " of table " + table.name +
                                               " cannot be dropped while an index order reads "
                                               "it: delete the order first.");
  session.Execute(AlterTable(table) + "DROP COLUMN " + QuoteIdentifier(field.name));
  if (field.shape.type == NDS_AUTOINC) RemoveAutoincNumbering(session, table.name, field.name);
  RenumberGuardsAfter(session, table, f);
  auto describe =
      session.Prepare("DELETE FROM _nce_fields WHERE table_name = ?1 AND position = ?2");
  describe->Bind(1, Value::Text(table.name));
  describe->Bind(2, Value::Integer(static_cast<int64_t>(f + 1)));
  describe->Step();
  auto shift = session.Prepare(
      "UPDATE _nce_fields SET position = position - 1 WHERE table_name = ?1 AND position > ?2");
  shift->Bind(1, Value::Text(table.name));
  shift->Bind(2, Value::Integer(static_cast<int64_t>(f + 1)));
  shift->Step();
  return true;
}

bool RenameColumn(StoreSession& session, const TableDesc& table, const ColumnChange& change) {
  size_t f = FieldIndex(table, change.column);
  if (f == kNoField) return false;
  const FieldDesc& field = table.fields[f];
  std::string to = LowerAscii(change.new_name);
  session.Execute(AlterTable(table) + "RENAME COLUMN " + QuoteIdentifier(field.name) + " TO " +
                  QuoteIdentifier(to));
  if (field.shape.type == NDS_AUTOINC) RenameAutoincNumbering(session, table.name, field.name, to);
  auto describe =
      session.Prepare("UPDATE _nce_fields SET name = ?3 WHERE table_name = ?1 AND position = ?2");
  describe->Bind(1, Value::Text(table.name));
  describe->Bind(2, Value::Integer(static_cast<int64_t>(f + 1)));
  describe->Bind(3, Value::Text(to));
  describe->Step();
  return true;
}

}  // namespace

bool ChangeServerColumns(StoreSession& session, const TableDesc& table,
                         const ColumnChange& change) {
  switch (change.kind) {
    case ColumnChange::Kind::kAdd:
      return AddColumn(session, table, change);
    case ColumnChange::Kind::kDrop:
      return DropColumn(session, table, change);
    case ColumnChange::Kind::kRename:
      return RenameColumn(session, table, change);
    case ColumnChange::Kind::kNone:
      break;
  }
  return false;
}

std::string ServerInsertColumns(StoreSession& session, std::string_view table) {
  auto columns = session.Prepare(
      "SELECT attname FROM pg_attribute WHERE attrelid = to_regclass(quote_ident(?1)) AND "
      "attnum > 0 AND NOT attisdropped ORDER BY attnum");
  columns->Bind(1, Value::Text(LowerAscii(table)));
  std::vector<std::string> names;
  while (columns->Step()) names.push_back(columns->Column(0).bytes);
  std::string list;
  bool numbered = false;
  for (const std::string& name : names) {
    if (name == "rowid") {
      numbered = true;
      continue;
    }
    list += (list.empty() ? "" : ", ") + QuoteIdentifier(name);
  }
  return numbered ? list : std::string();
}

}  // namespace nce
