#include "engine/cursor/cursor.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/storage/sql_error.h"
#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_stmt.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_values.h"

namespace nce {
namespace {

// Unique table names in the private cursor database.
std::string NextCursorTableName() {
  static std::atomic<uint64_t> counter{0};
  return std::string(kReservedPrefix) + "cursor_" + std::to_string(++counter);
}

// The field a result column comes from, when it is a plain table column.
std::optional<FieldSpec> OriginSpec(sqlite3* db, sqlite3_stmt* stmt, int column,
                                    std::map<std::string, std::optional<TableDesc>>& tables) {
  const char* table = sqlite3_column_table_name(stmt, column);
  const char* origin = sqlite3_column_origin_name(stmt, column);
  const char* schema = sqlite3_column_database_name(stmt, column);
  if (!table || !origin || !schema || std::string_view(schema) != "main") return std::nullopt;
  auto it = tables.find(table);
  if (it == tables.end()) it = tables.emplace(table, DescribeTable(db, table)).first;
  if (!it->second) return std::nullopt;
  for (const FieldDesc& field : it->second->fields)
    if (EqualsNoCase(field.name, origin)) return field.shape;
  return std::nullopt;
}

// What the values of a computed column looked like, to type it afterwards.
struct ColumnSeen {
  int first_type = SQLITE_NULL;  // SQLite type of the first non-null value
  size_t max_length = 0;         // longest text or blob
  bool wide_integer = false;     // an integer beyond 32 bits
};

FieldSpec SpecFromValues(const ColumnSeen& seen) {
  switch (seen.first_type) {
    case SQLITE_INTEGER:
      return seen.wide_integer ? FieldSpec{NDS_NUMERIC, 20, 0} : FieldSpec{NDS_INTEGER, 4, 0};
    case SQLITE_FLOAT:
      return FieldSpec{NDS_DOUBLE, 8, 0};
    case SQLITE_BLOB:
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
  std::lock_guard lock(connection_->mutex());
  // Locks go with the cursor, whichever way it ends (close, disconnect).
  walk.ReleaseLocks(*this);
  Release();
  walk.DropStatements();
  orders.reset();
}

void Cursor::ThrowOnServer() {
  throw EngineError(NDS_E_NOT_SUPPORTED,
                    "This function is not yet available on a table on a PostgreSQL server; "
                    "opening, walking, counting and editing records are.");
}

std::string Cursor::QuotedColumn(const std::string& name) const {
  return QuoteIdentifier(on_server_ ? LowerAscii(name) : name);
}

bool Cursor::MayRead(const std::string& name) const {
  return !connection_->dictionary || connection_->dictionary->MayRead(source_table, name);
}

void Cursor::RequireRight(uint8_t right, const std::string& column) const {
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
  // Statements on a server belong to the session, which goes with the
  // connection: they go first.
  if (on_server_) walk.DropStatements();
  if (owns_source && source_db_ && connection_->is_open()) {
    sqlite3_exec(source_db_, ("DROP TABLE IF EXISTS " + QuoteIdentifier(source_table)).c_str(),
                 nullptr, nullptr, nullptr);
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
  sqlite3* scratch = connection->scratch_db();
  auto cursor = std::make_shared<Cursor>(connection, ObjectKind::kCursor);
  cursor->set_source_db(scratch);
  cursor->source_table = NextCursorTableName();
  cursor->desc.name = cursor->source_table;
  cursor->desc.table_type = table_type;
  cursor->desc.char_type = char_type;
  cursor->open_options = NDS_OPEN_READONLY;
  std::string columns;
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
    if (!columns.empty()) columns += ", ";
    columns += QuoteIdentifier(field.name);
    cursor->desc.fields.push_back(std::move(field));
  }
  ExecSql(scratch,
          ("CREATE TABLE " + QuoteIdentifier(cursor->source_table) + "(" + columns + ")").c_str());
  cursor->owns_source = true;
  return cursor;
}

// The statement that adds a row to the result table of `cursor`.
SqliteStmt ResultInsert(const Cursor& cursor) {
  std::string placeholders;
  for (size_t i = 0; i < cursor.desc.fields.size(); ++i) placeholders += i ? ",?" : "?";
  return SqliteStmt(cursor.source_db(), "INSERT INTO " + QuoteIdentifier(cursor.source_table) +
                                            " VALUES(" + placeholders + ")");
}

void NoteSeen(ColumnSeen& seen, int type, size_t length, int64_t integer) {
  if (seen.first_type == SQLITE_NULL) seen.first_type = type;
  if (type == SQLITE_TEXT || type == SQLITE_BLOB)
    seen.max_length = std::max(seen.max_length, length);
  if (type == SQLITE_INTEGER)
    seen.wide_integer = seen.wide_integer || integer > INT32_MAX || integer <= INT32_MIN;
}

// Holds the rows a result adds to the private cursor database in one
// transaction there, rather than one per row; rolled back unless kept.
class ResultRows {
 public:
  explicit ResultRows(sqlite3* scratch) : scratch_(scratch) {
    if (sqlite3_get_autocommit(scratch_)) {
      ExecSql(scratch_, "BEGIN");
      open_ = true;
    }
  }
  ~ResultRows() {
    if (open_) sqlite3_exec(scratch_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  ResultRows(const ResultRows&) = delete;
  ResultRows& operator=(const ResultRows&) = delete;
  void Keep() {
    if (open_) ExecSql(scratch_, "COMMIT");
    open_ = false;
  }

 private:
  sqlite3* scratch_;
  bool open_ = false;
};

// Gives each field its shape: the known one, else one fit for the values seen.
void FinishResult(Cursor& cursor, const std::vector<std::optional<FieldSpec>>& shapes,
                  const std::vector<ColumnSeen>& seen) {
  for (size_t i = 0; i < cursor.desc.fields.size(); ++i)
    cursor.desc.fields[i].shape = shapes[i] ? *shapes[i] : SpecFromValues(seen[i]);
  LayoutRecord(cursor.desc);
}

}  // namespace

namespace {

// Adds a row to the result table of `cursor` while `next_row` finds one,
// its values bound by `bind_row(insert, seen)`, in one transaction; then
// gives the fields their shapes.
template <class NextRow, class BindRow>
void FillResult(Cursor& cursor, const std::vector<std::optional<FieldSpec>>& shapes,
                NextRow next_row, BindRow bind_row) {
  SqliteStmt insert = ResultInsert(cursor);
  std::vector<ColumnSeen> seen(shapes.size());
  ResultRows rows(cursor.source_db());
  while (next_row()) {
    insert.Reset();
    bind_row(insert.get(), seen);
    insert.Run();
    ++cursor.row_count;
  }
  insert.Reset();
  rows.Keep();
  FinishResult(cursor, shapes, seen);
}

}  // namespace

std::shared_ptr<Cursor> MaterialiseSelect(const std::shared_ptr<Connection>& connection,
                                          sqlite3_stmt* stmt, uint16_t table_type,
                                          uint16_t char_type) {
  sqlite3* db = connection->db();
  int count = sqlite3_column_count(stmt);
  std::map<std::string, std::optional<TableDesc>> tables;
  std::vector<std::optional<FieldSpec>> shapes(count);
  std::vector<std::string> names(count);
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(stmt, i);
    names[i] = name ? name : "";
    shapes[i] = OriginSpec(db, stmt, i, tables);
    if (!shapes[i]) {
      if (const char* declared = sqlite3_column_decltype(stmt, i))
        shapes[i] = FieldSpecFromDeclaredType(declared, table_type);
    }
  }
  auto cursor = NewResultCursor(connection, names, table_type, char_type);
  sqlite3* scratch = cursor->source_db();
  auto next_row = [&] {
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw SqlError(db, rc);
    return rc == SQLITE_ROW;
  };
  auto bind_row = [&](sqlite3_stmt* insert, std::vector<ColumnSeen>& seen) {
    for (int i = 0; i < count; ++i) {
      sqlite3_value* value = sqlite3_column_value(stmt, i);
      int type = sqlite3_value_type(value);
      NoteSeen(seen[i], type, static_cast<size_t>(sqlite3_value_bytes(value)),
               type == SQLITE_INTEGER ? sqlite3_value_int64(value) : 0);
      int rc = sqlite3_bind_value(insert, i + 1, value);
      if (rc != SQLITE_OK) throw SqlError(scratch, rc);
    }
  };
  FillResult(*cursor, shapes, next_row, bind_row);
  return cursor;
}

std::shared_ptr<Cursor> MaterialiseResult(const std::shared_ptr<Connection>& connection,
                                          StoreStatement& stmt, bool has_row,
                                          const std::vector<ResultColumn>& columns,
                                          uint16_t table_type, uint16_t char_type) {
  size_t count = columns.size();
  std::vector<std::string> names(count);
  std::vector<std::optional<FieldSpec>> shapes(count);
  for (size_t i = 0; i < count; ++i) {
    names[i] = stmt.ColumnName(columns[i].column);
    shapes[i] = columns[i].shape;
  }
  auto cursor = NewResultCursor(connection, names, table_type, char_type);
  sqlite3* scratch = cursor->source_db();
  bool first = true;
  auto next_row = [&] {
    if (std::exchange(first, false)) return has_row;
    return stmt.Step();
  };
  static constexpr int kSqliteType[] = {SQLITE_NULL,  SQLITE_NULL, SQLITE_INTEGER,
                                        SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB};
  // One value per column, bound in place and refilled row after row.
  std::vector<Value> values(count);
  auto bind_row = [&](sqlite3_stmt* insert, std::vector<ColumnSeen>& seen) {
    for (size_t i = 0; i < count; ++i) {
      Value& value = values[i];
      stmt.ColumnInto(columns[i].column, &value);
      NoteSeen(seen[i], kSqliteType[static_cast<int>(value.kind)], value.bytes.size(),
               value.integer);
      int rc = BindValueInPlace(insert, static_cast<int>(i + 1), value);
      if (rc != SQLITE_OK) throw SqlError(scratch, rc);
    }
  };
  FillResult(*cursor, shapes, next_row, bind_row);
  return cursor;
}

}  // namespace nce
