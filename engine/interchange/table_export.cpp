#include "engine/interchange/table_export.h"

#include <optional>
#include <vector>

#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_mirror.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/interchange/csv/csv_writer.h"
#include "engine/interchange/dbf/dbf_writer.h"
#include "engine/interchange/stored_forms.h"
#include "engine/schema/catalog_schema.h"
#include "engine/sql/result_columns.h"
#include "engine/storage/bulk_rows.h"
#include "engine/storage/engine_tables.h"
#include "engine/storage/store_catalog.h"

namespace nce {
namespace {

constexpr uint64_t kProgressRows = 8192;

// Whether `source` is a statement (its first word SELECT or WITH, blanks
// before it allowed) rather than a table's name.
bool IsQuery(const std::string& source) {
  size_t start = source.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return false;
  size_t end = source.find_first_of(" \t\r\n(", start);
  std::string word = UpperAscii(source.substr(start, end - start));
  return word == "SELECT" || word == "WITH";
}

// What is read: the query, its shape, and whether its last column is the
// deletion mark of the row (an xBase-kind table exported with its deleted
// records).
struct ExportQuery {
  std::string sql;
  TableShape shape;
  bool marked = false;
};

bool MarksExist(StoreSession& session) {
  try {
    session.Prepare("SELECT 1 FROM " + QuoteIdentifier(DeletedMarksTable()) + " WHERE 0 = 1")
        ->Run();
    return true;
  } catch (const EngineError&) {
    return false;  // no record was ever marked in this database
  }
}

ExportQuery TableQuery(Connection& connection, const std::string& name, bool keep_deleted) {
  std::optional<TableDesc> table = DescribeStoreTable(connection, name);
  if (!table) throw EngineError(NDS_E_INVALID_TABLE, "The table " + name + " does not exist.");
  StoreSession& session = connection.session();
  ExportQuery query;
  std::string columns;
  for (const FieldDesc& field : table->fields) {
    query.shape.columns.push_back({field.name, field.shape, true});
    columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(StoredName(session, field.name));
  }
  std::string from = QuoteIdentifier(table->name);
  std::string marked;
  if (table->table_type != NDS_NDT && MarksExist(session))
    marked = "rowid IN (SELECT record FROM " + QuoteIdentifier(DeletedMarksTable()) +
             " WHERE table_name = " + QuoteLiteral(DeletedMarksKeyOf(session, table->name)) + ")";
  query.sql = "SELECT " + columns;
  if (!marked.empty() && keep_deleted) {
    query.sql += ", CASE WHEN " + marked + " THEN 1 ELSE 0 END";
    query.marked = true;
  }
  query.sql += " FROM " + from;
  if (!marked.empty() && !keep_deleted) query.sql += " WHERE NOT (" + marked + ")";
  query.sql += " ORDER BY rowid";
  return query;
}

// A column the store gives no shape (a computed one) takes the shape of its
// first value: whole numbers as 64-bit numerics, reals as doubles, texts as
// memos, bytes as blobs.
FieldSpec ShapeOfValue(const Value& value) {
  switch (value.kind) {
    case Value::Kind::kInteger:
      return FieldSpec{NDS_NUMERIC, 20, 0};
    case Value::Kind::kReal:
      return FieldSpec{NDS_DOUBLE, 8, 0};
    case Value::Kind::kBlob:
      return FieldSpec{NDS_BINARY, 10, 0};
    default:
      return FieldSpec{NDS_MEMO, 10, 0};
  }
}

// The shape of a SELECT's result, learnt from its first row, and where each
// of its columns lies in the statement's (a server's rowid column is left out).
TableShape QueryShape(Connection& connection, StoreStatement& stmt, bool has_row,
                      std::vector<int>* source_columns) {
  std::vector<ResultColumn> columns = ResultColumns(
      stmt, NDS_NDT,
      [&connection](const std::string& table) { return DescribeStoreTable(connection, table); },
      [](const StoreStatement::Origin& origin) { return !EqualsNoCase(origin.column, "rowid"); });
  TableShape shape;
  for (const ResultColumn& column : columns) {
    FieldSpec spec =
        column.shape ? *column.shape : ShapeOfValue(has_row ? stmt.Column(column.column) : Value());
    shape.columns.push_back({stmt.ColumnName(column.column), spec, true});
    source_columns->push_back(column.column);
  }
  return shape;
}

// Which columns hold NULLs, asked of the store before the file's columns are
// chosen (an xBase column may need a version that can say NULL).
void NoteNulls(StoreSession& session, const std::string& sql, TableShape* shape, bool marked) {
  std::string counts;
  size_t n = shape->columns.size();
  for (size_t i = 0; i < n; ++i)
    counts += (i ? ", " : "") + std::string("count(*) - count(nce_c") + std::to_string(i) + ")";
  std::string names;
  for (size_t i = 0; i < n + (marked ? 1 : 0); ++i)
    names += (i ? ", " : "") + std::string("nce_c") + std::to_string(i);
  try {
    auto stmt = session.Prepare("WITH nce_source (" + names + ") AS (" + sql + ") SELECT " +
                                counts + " FROM nce_source");
    if (!stmt->Step()) return;
    for (size_t i = 0; i < n; ++i) {
      Value nulls = stmt->Column(static_cast<int>(i));
      shape->columns[i].nullable = !(nulls.kind == Value::Kind::kInteger && nulls.integer == 0);
    }
  } catch (const EngineError&) {
    // A statement the count cannot wrap: every column may then hold NULLs,
    // which only ever asks for a later xBase version.
  }
}

std::unique_ptr<RowSink> OpenSink(const ExportRequest& request, bool xbase,
                                  const TableShape& shape) {
  if (xbase) {
    DbfWriteOptions options;
    options.version = request.dbf_version;
    options.encoding = request.encoding;
    return OpenDbfWriter(request.file, shape, options);
  }
  CsvWriteOptions options;
  options.encoding = request.encoding;
  return OpenCsvWriter(request.file, shape, options);
}

}  // namespace

uint64_t ExportTable(const std::shared_ptr<Connection>& connection, const ExportRequest& request) {
  const bool xbase = IsXbaseFile(request.file);
  const bool keep_deleted = (request.options & NDS_TRANSFER_KEEP_DELETED) != 0;
  StoreSession& session = connection->session();
  ExportQuery query;
  bool is_query = IsQuery(request.source);
  if (is_query)
    query.sql = request.source;
  else
    query = TableQuery(*connection, request.source, keep_deleted);
  if (DictionaryMirrored(*connection) &&
      !AuthorizeMirroredStatement(*connection, query.sql, true).empty())
    throw EngineError(NDS_E_RIGHTS,
                      "The export reads columns hidden from the user; name the columns the user "
                      "may read.");

  std::unique_ptr<StoreStatement> rows = session.PrepareStream(query.sql);
  bool has_row = rows->Step();
  std::vector<int> source_columns;
  if (is_query) {
    query.shape = QueryShape(*connection, *rows, has_row, &source_columns);
  } else {
    for (size_t i = 0; i < query.shape.columns.size(); ++i)
      source_columns.push_back(static_cast<int>(i));
  }
  if (xbase) NoteNulls(session, query.sql, &query.shape, query.marked);
  std::unique_ptr<RowSink> sink = OpenSink(request, xbase, query.shape);

  const size_t n = query.shape.columns.size();
  TableRow row(n);
  Value stored;
  uint64_t count = 0;
  for (; has_row; has_row = rows->Step()) {
    ++count;
    for (size_t i = 0; i < n; ++i) {
      rows->ColumnInto(source_columns[i], &stored);
      try {
        ToInterchangeForm(query.shape.columns[i], stored, &row[i]);
      } catch (const EngineError& error) {
        throw EngineError(error.number(), request.source + ": row " + std::to_string(count) +
                                              ", column " + query.shape.columns[i].name + ": " +
                                              error.text());
      }
    }
    bool deleted = false;
    if (query.marked) {
      rows->ColumnInto(static_cast<int>(n), &stored);
      deleted = stored.kind == Value::Kind::kInteger && stored.integer != 0;
    }
    sink->Write(row, deleted);
    if (request.progress && count % kProgressRows == 0 && !request.progress(count, 0))
      throw EngineError(NDS_E_CANCELLED, "The export was cancelled; no file was written.");
  }
  rows.reset();
  sink->Finish();
  return count;
}

}  // namespace nce
