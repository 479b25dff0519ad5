#include "engine/interchange/table_import.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/base/failpoints.h"
#include "engine/base/sql_text.h"
#include "engine/interchange/csv/csv_reader.h"
#include "engine/interchange/dbf/dbf_reader.h"
#include "engine/interchange/stored_forms.h"
#include "engine/interchange/table_transaction.h"
#include "engine/schema/catalog_schema.h"
#include "engine/sql/statement.h"
#include "engine/storage/bulk_rows.h"
#include "engine/storage/engine_tables.h"
#include "engine/storage/store_catalog.h"

namespace nce {
namespace {

// Rows between two calls of the progress function (and checks of the
// failpoint "ImportRows").
constexpr uint64_t kProgressRows = 8192;

// The column type a new table declares for `shape`. The engine's own
// counters (AUTOINC, ROWVERSION, MODTIME) would replace the values the file
// brings: their columns keep the values in a plain type instead.
std::string DeclaredType(const FieldSpec& shape) {
  auto sized = [](const char* name, uint32_t length) {
    return std::string(name) + "(" + std::to_string(length) + ")";
  };
  switch (shape.type) {
    case NDS_LOGICAL:
      return "LOGICAL";
    case NDS_NUMERIC:
      return "NUMERIC(" + std::to_string(shape.length) + "," + std::to_string(shape.decimals) + ")";
    case NDS_DATE:
      return "DATE";
    case NDS_STRING:
      return sized("CHAR", shape.length);
    case NDS_MEMO:
      return "MEMO";
    case NDS_BINARY:
      return "BLOB";
    case NDS_IMAGE:
      return "IMAGE";
    case NDS_VARCHAR:
      return "VARCHAR";
    case NDS_COMPACTDATE:
      return "COMPACTDATE";
    case NDS_DOUBLE:
      return "DOUBLE";
    case NDS_INTEGER:
    case NDS_AUTOINC:
      return "INTEGER";
    case NDS_SHORTINT:
      return "SHORT";
    case NDS_TIME:
      return "TIME";
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return "TIMESTAMP";
    case NDS_RAW:
      return sized("RAW", shape.length);
    case NDS_CURDOUBLE:
      return "CURDOUBLE";
    case NDS_MONEY:
      return "MONEY";
    case NDS_CISTRING:
      return sized("CICHAR", shape.length);
    case NDS_ROWVERSION:
      return "NUMERIC(20,0)";
    default:
      throw EngineError(NDS_E_NOT_SUPPORTED,
                        "Field type " + std::to_string(shape.type) + " cannot be imported.");
  }
}

// Runs one statement of the engine's SQL on the connection, as a caller's
// statement would run (the catalog follows).
void RunStatement(const std::shared_ptr<Connection>& connection, const std::string& sql,
                  uint16_t table_type) {
  Statement statement(connection);
  statement.options.table_type = table_type;
  statement.Prepare(sql);
  statement.Execute();
}

void CreateTable(const std::shared_ptr<Connection>& connection, const std::string& name,
                 const TableShape& shape, uint16_t table_type) {
  if (shape.columns.empty()) throw EngineError(NDS_E_BAD_FILE, "The file describes no columns.");
  std::string sql = "CREATE TABLE " + QuoteIdentifier(name) + " (";
  for (size_t i = 0; i < shape.columns.size(); ++i) {
    const TableColumn& column = shape.columns[i];
    if (IsReservedName(column.name))
      throw EngineError(NDS_E_BAD_FILE, "The column name '" + column.name +
                                            "' is reserved for the engine's own use.");
    sql += (i ? ", " : "") + QuoteIdentifier(column.name) + " " + DeclaredType(column.shape);
  }
  RunStatement(connection, sql + ")", table_type);
}

TableShape ShapeOfTable(const TableDesc& table) {
  TableShape shape;
  for (const FieldDesc& field : table.fields)
    shape.columns.push_back({field.name, field.shape, true});
  return shape;
}

// For each column of the table, the column of the source that fills it
// (npos: none, the column stays empty). A source column the table lacks
// would be lost: it is refused.
std::vector<size_t> MatchColumns(const TableShape& source, const TableDesc& table,
                                 const std::string& file) {
  std::vector<size_t> from(table.fields.size(), std::string::npos);
  for (size_t s = 0; s < source.columns.size(); ++s) {
    bool found = false;
    for (size_t t = 0; t < table.fields.size(); ++t)
      if (EqualsNoCase(source.columns[s].name, table.fields[t].name)) {
        from[t] = s;
        found = true;
        break;
      }
    if (!found)
      throw EngineError(NDS_E_INVALID_FIELD, file + ": the table " + table.name + " has no field " +
                                                 source.columns[s].name +
                                                 " to take the file's values");
  }
  return from;
}

std::unique_ptr<RowSource> OpenSource(const ImportRequest& request, bool xbase,
                                      const std::optional<TableDesc>& existing) {
  if (xbase) {
    DbfReadOptions options;
    options.encoding = request.encoding;
    options.keep_deleted = (request.options & NDS_TRANSFER_KEEP_DELETED) != 0;
    options.fit_texts = !existing;  // a new table's text fields must hold the UTF-8 forms
    return OpenDbfReader(request.file, options);
  }
  CsvReadOptions options;
  options.encoding = request.encoding;
  TableShape target = existing ? ShapeOfTable(*existing) : InferCsvShape(request.file, options);
  return OpenCsvReader(request.file, target, options);
}

// Writes every row of `source` into `table`; returns the rows written.
uint64_t CopyRows(Connection& connection, RowSource& source, const TableDesc& table,
                  const std::vector<size_t>& from, bool marks, bool new_table,
                  const TransferProgress& progress) {
  StoreSession& session = connection.session();
  std::vector<std::string> names;
  std::vector<TableColumn> columns;
  for (const FieldDesc& field : table.fields) {
    names.push_back(field.name);
    columns.push_back({field.name, field.shape, true});
  }
  int64_t next_record = marks ? NextRecordNumber(session, table.name) : 0;
  // Every value is checked here against its field, so the store need not
  // check it again where the table is new: its only checks are then the
  // engine's type guards. An existing table may carry checks of its own.
  std::unique_ptr<BulkInsert> insert =
      session.BeginBulkInsert(table.name, names, next_record, /*values_checked=*/new_table);
  const bool ndt = table.table_type == NDS_NDT;
  std::vector<uint8_t> scratch;
  const bool doubles = session.WholeNumericsAsDoubles();
  std::vector<int64_t> deleted;
  TableRow row;
  std::vector<Value> stored(table.fields.size());
  uint64_t count = 0;
  while (source.Next(&row)) {
    for (size_t t = 0; t < from.size(); ++t) {
      if (from[t] == std::string::npos) {
        stored[t] = Value::Null();
        continue;
      }
      // The value changes places with the one of the row before, whose bytes
      // the reader then reuses: no copy of the value at all.
      std::swap(stored[t], row[from[t]]);
      try {
        ToStoredForm(columns[t], stored[t], &stored[t], doubles);
      } catch (const EngineError& error) {
        throw EngineError(error.number(), source.Where(from[t]) + ": " + error.text());
      }
      // Numbers and amounts that ToStoredForm made fit their fields already.
      const uint16_t type = columns[t].shape.type;
      if (type != NDS_NUMERIC && type != NDS_MONEY &&
          !FitsRecordImage(columns[t], ndt, stored[t], &scratch))
        throw EngineError(NDS_E_VALUE_INVALID,
                          source.Where(from[t]) + ": the value is not one the field holds");
    }
    try {
      insert->Add(stored);
    } catch (const EngineError& error) {
      throw EngineError(error.number(), source.Where(std::string::npos) + ": " + error.text());
    }
    if (marks && source.RowDeleted()) deleted.push_back(next_record + static_cast<int64_t>(count));
    if (++count % kProgressRows != 0) continue;
    // After each window of rows: the progress report, and the test hook
    // that fails an import half-way.
    if (uint32_t code = CheckFailpoint("ImportRows"))
      throw EngineError(code, source.Where(std::string::npos) + ": the import failed");
    if (progress && !progress(source.BytesRead(), source.BytesTotal()))
      throw EngineError(NDS_E_CANCELLED, "The import was cancelled; nothing was written.");
  }
  try {
    insert->Finish();
  } catch (const EngineError& error) {
    // A server reports a refused row when the rows are all sent.
    throw EngineError(error.number(),
                      source.Where(std::string::npos) + " or a record before it: " + error.text());
  }
  if (marks) {
    session.AfterNumberedRows(table.name);
    EnsureDeletedMarks(session);
    EnsureDeletedMarksTrigger(session, table.name);
    auto mark = session.Prepare("INSERT INTO " + QuoteIdentifier(DeletedMarksTable()) +
                                " (table_name, record) VALUES (?1, ?2)");
    mark->Bind(1, Value::Text(DeletedMarksKeyOf(session, table.name)));
    for (int64_t record : deleted) {
      mark->Bind(2, Value::Integer(record));
      mark->Run();
      mark->Reset();
    }
  }
  if (progress && !progress(source.BytesTotal(), source.BytesTotal()))
    throw EngineError(NDS_E_CANCELLED, "The import was cancelled; nothing was written.");
  return count;
}

}  // namespace

std::string TableNameOfFile(const std::string& file) {
  std::string name = file.substr(file.find_last_of("/\\") + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool IsXbaseFile(const std::string& file) {
  std::string name = file.substr(file.find_last_of("/\\") + 1);
  size_t dot = name.find_last_of('.');
  std::string extension = dot == std::string::npos ? "" : UpperAscii(name.substr(dot));
  if (extension == ".DBF") return true;
  if (extension == ".CSV") return false;
  throw EngineError(NDS_E_BAD_FILE, file +
                                        ": the file is neither an xBase table (.dbf) nor a "
                                        "CSV file (.csv)");
}

uint64_t ImportTable(const std::shared_ptr<Connection>& connection, const ImportRequest& request) {
  const bool xbase = IsXbaseFile(request.file);
  const std::string name = request.table.empty() ? TableNameOfFile(request.file) : request.table;
  if (name.empty() || IsReservedName(name))
    throw EngineError(NDS_E_INVALID_ARGUMENT, "'" + name + "' cannot name an imported table.");
  const bool replace = (request.options & NDS_TRANSFER_REPLACE) != 0;
  const bool append = (request.options & NDS_TRANSFER_APPEND) != 0;
  if (replace && append)
    throw EngineError(NDS_E_INVALID_OPTION, "An import either replaces a table or appends to it.");

  std::optional<TableDesc> existing = DescribeStoreTable(*connection, name);
  if (existing && !replace && !append)
    throw EngineError(NDS_E_TABLE_EXISTS,
                      "The table " + name + " exists already; replace it or append to it.");
  if (!existing && append)
    throw EngineError(NDS_E_INVALID_TABLE, "The table " + name + " does not exist.");
  if (replace) existing.reset();

  // Opened before anything changes: a file that cannot be read changes nothing.
  std::unique_ptr<RowSource> source = OpenSource(request, xbase, existing);
  TableTransaction transaction(*connection, "_nce_import");
  if (replace && StoreTableExists(*connection, name))
    RunStatement(connection, "DROP TABLE " + QuoteIdentifier(name), 0);
  const uint16_t table_type = xbase ? NDS_CDX : NDS_NDT;
  if (!existing) {
    CreateTable(connection, name, source->shape(), table_type);
    existing = DescribeStoreTable(*connection, name);
    if (!existing) throw EngineError(NDS_E_GENERAL, "The new table " + name + " is not found.");
  }
  std::vector<size_t> from = MatchColumns(source->shape(), *existing, request.file);
  // Deleted records keep their marks where the table has marks (DBF kinds).
  bool marks =
      (request.options & NDS_TRANSFER_KEEP_DELETED) != 0 && existing->table_type != NDS_NDT;
  uint64_t rows = CopyRows(*connection, *source, *existing, from, marks, !append, request.progress);
  transaction.Commit();
  return rows;
}

}  // namespace nce
