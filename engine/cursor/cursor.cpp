#include "engine/cursor/cursor.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/storage/result_table.h"

namespace nce {
namespace {

// Unique table names in the private cursor database.
std::string NextCursorTableName() {
  static std::atomic<uint64_t> counter{0};
  return std::string(kReservedPrefix) + "cursor_" + std::to_string(++counter);
}

FieldSpec SpecFromValues(const ColumnSeen& seen) {
  switch (seen.first) {
    case Value::Kind::kInteger:
      return seen.wide_integer ? FieldSpec{NDS_NUMERIC, 20, 0} : FieldSpec{NDS_INTEGER, 4, 0};
    case Value::Kind::kReal:
      return FieldSpec{NDS_DOUBLE, 8, 0};
    case Value::Kind::kBlob:
      return FieldSpec{NDS_BINARY, 9, 0};
    default:
      return FieldSpec{NDS_STRING, static_cast<uint32_t>(std::max<size_t>(seen.max_length, 1)), 0};
  }
}

}  // namespace

Cursor::~Cursor() {
  // The last holder may drop the cursor outside any engine function (after
  // its close released the connection's lock): its statements are finalized
  // here, under that lock, as SQLite does not serialise the connection.
  RecursiveLockGuard lock(connection_->mutex());
  // Locks go with the cursor, whichever way it ends (close, disconnect).
  writer.ReleaseLocks();
  Release();
  walk.DropStatements();
  writer.DropStatements();
  orders.reset();
}

StoreSession& Cursor::rows_session() const {
  if (rows_in_store_) return connection_->LiveSession();
  return connection_->scratch_session();
}

const StoreDialect& Cursor::dialect() const {
  return rows_in_store_ ? connection_->session().dialect() : SqliteDialect();
}

std::string Cursor::QuotedColumn(const std::string& name) const {
  return dialect().Quoted(name);
}

bool Cursor::MayRead(const std::string& name) const {
  if (!connection_->dictionary || rows_session().AuthorizesWhilePreparing()) return true;
  return connection_->dictionary->MayRead(source_table, name);
}

void Cursor::RequireRight(uint8_t right, const std::string& column) const {
  if (rows_session().AuthorizesWhilePreparing()) return;
  uint8_t granted = column.empty() ? TableRightsOf(*connection_, source_table)
                                   : ColumnRightsOf(*connection_, source_table, column);
  if (granted & right) return;
  throw EngineError(
      NDS_E_RIGHTS,
      "Permission not granted: the data dictionary does not allow this user the "
      "change of " +
          (column.empty() ? "table " + source_table : "column " + column + " of " + source_table) +
          ".");
}

void Cursor::Release() {
  if (release_orders) release_orders(*this);
  // Statements on the store belong to its session, which goes with the
  // connection: they go first.
  if (rows_in_store_) {
    walk.DropStatements();
    writer.DropStatements();
  }
  if (owns_source && connection_->is_open()) {
    try {
      connection_->scratch_session().Execute("DROP TABLE IF EXISTS " +
                                             QuoteIdentifier(source_table));
    } catch (...) {
      // The rows stay in the private database until the connection closes.
    }
  }
  owns_source = false;
}

namespace {

// A new static cursor on `connection` whose rows go to a new table of the
// private cursor database, with one column per name (clashing names get a
// number); shapes are set once the rows are in (FinishResult).
std::shared_ptr<Cursor> NewResultCursor(const std::shared_ptr<Connection>& connection,
                                        const std::vector<std::string>& names, uint16_t table_type,
                                        uint16_t char_type) {
  if (names.empty())
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 0; statement yields no columns");
  auto cursor = std::make_shared<Cursor>(connection, ObjectKind::kCursor);
  cursor->source_table = NextCursorTableName();
  cursor->desc.name = cursor->source_table;
  cursor->desc.table_type = table_type;
  cursor->desc.char_type = char_type;
  cursor->open_options = NDS_OPEN_READONLY;
  std::vector<std::string> columns;
  for (const std::string& name : names) {
    FieldDesc field;
    field.name = name.empty() ? "EXPR" : name;
    // Result columns of the same name (a join) get a number to stay apart.
    std::string base = field.name;
    for (int n = 1;; ++n) {
      bool clash = false;
      for (const FieldDesc& other : cursor->desc.fields)
        clash = clash || EqualsNoCase(other.name, field.name);
      if (!clash) break;
      field.name = base + "_" + std::to_string(n);
    }
    columns.push_back(field.name);
    cursor->desc.fields.push_back(std::move(field));
  }
  CreateResultTable(*connection, cursor->source_table, columns);
  cursor->owns_source = true;
  return cursor;
}

// Gives each field its shape: the known one, else one fit for the values seen.
void FinishResult(Cursor& cursor, const std::vector<std::optional<FieldSpec>>& shapes,
                  const std::vector<ColumnSeen>& seen) {
  for (size_t i = 0; i < cursor.desc.fields.size(); ++i)
    cursor.desc.fields[i].shape = shapes[i] ? *shapes[i] : SpecFromValues(seen[i]);
  LayoutRecord(cursor.desc);
}

}  // namespace

std::shared_ptr<Cursor> MaterialiseResult(const std::shared_ptr<Connection>& connection,
                                          StoreStatement& stmt, bool has_row,
                                          const std::vector<ResultColumn>& columns,
                                          uint16_t table_type, uint16_t char_type) {
  size_t count = columns.size();
  std::vector<std::string> names(count);
  std::vector<std::optional<FieldSpec>> shapes(count);
  std::vector<int> numbers(count);
  for (size_t i = 0; i < count; ++i) {
    names[i] = stmt.ColumnName(columns[i].column);
    shapes[i] = columns[i].shape;
    numbers[i] = columns[i].column;
  }
  auto cursor = NewResultCursor(connection, names, table_type, char_type);
  std::vector<ColumnSeen> seen(count);
  cursor->row_count =
      FillResultTable(*connection, cursor->source_table, stmt, has_row, numbers, &seen);
  FinishResult(*cursor, shapes, seen);
  return cursor;
}

}  // namespace nce
