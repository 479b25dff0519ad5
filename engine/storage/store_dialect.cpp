#include "engine/storage/store_dialect.h"

#include "engine/base/sql_text.h"
#include "engine/schema/catalog_schema.h"
#include "engine/storage/postgres/postgres_tables.h"
#include "engine/storage/store_session.h"

namespace nce {

const StoreDialect& SqliteDialect() {
  static const StoreDialect dialect(SqlDialect::kSqlite);
  return dialect;
}

const StoreDialect& PostgresDialect() {
  static const StoreDialect dialect(SqlDialect::kPostgres);
  return dialect;
}

const StoreDialect& StoreSession::dialect() const {
  return SqliteDialect();
}

std::string StoreDialect::StoredName(std::string_view name) const {
  return server() ? LowerAscii(std::string(name)) : std::string(name);
}

std::string StoreDialect::Quoted(std::string_view name) const {
  return QuoteIdentifier(StoredName(name));
}

const char* StoreDialect::catalog_schema() const {
  return server() ? "" : "main.";
}

const char* StoreDialect::temp_schema() const {
  return server() ? "pg_temp." : "temp.";
}

const char* StoreDialect::record_number_key() const {
  // INTEGER PRIMARY KEY makes the record number SQLite's rowid itself.
  return server() ? "bigint PRIMARY KEY" : "INTEGER PRIMARY KEY";
}

std::string StoreDialect::ByteLength(const std::string& value) const {
  return server() ? "octet_length(" + value + ")" : "length(CAST(" + value + " AS BLOB))";
}

std::string StoreDialect::IsBlob(const std::string& value) const {
  return server() ? "CASE WHEN pg_typeof(" + value + ") = 'bytea'::regtype THEN 1 ELSE 0 END"
                  : "typeof(" + value + ") = 'blob'";
}

std::string StoreDialect::BytesLiteral(std::string_view bytes) const {
  std::string hex = BlobLiteral(bytes);  // X'..'
  if (!server()) return hex;
  return "'\\x" + hex.substr(2, hex.size() - 3) + "'::bytea";
}

std::string StoreDialect::TypedParameter(const std::string& parameter,
                                         const FieldSpec& shape) const {
  return server() ? parameter + "::" + PostgresColumnType(shape) : parameter;
}

std::string StoreDialect::RecordNumberParameter(const std::string& parameter) const {
  return server() ? parameter + "::bigint" : parameter;
}

std::string StoreDialect::TypedDefault(const std::string& expression,
                                       const FieldSpec& shape) const {
  return server() ? "(" + expression + ")::" + PostgresDefaultType(shape) : "(" + expression + ")";
}

std::string StoreDialect::RowVersionsTable() const {
  // A server's catalog made the table under its own name at the first connect.
  return server() ? "_nce_rowversions" : "main." + QuoteIdentifier(nce::RowVersionsTable());
}

bool StoreDialect::StoresAsBytes(const FieldSpec& shape) const {
  // SQLite keeps whatever it is given: its reads of parts take either.
  return server() ? PostgresColumnType(shape) == "bytea"
                  : shape.type == NDS_BINARY || shape.type == NDS_IMAGE;
}

std::string StoreDialect::DeletedMarksKey(std::string_view table) const {
  return server() ? LowerAscii(std::string(table)) : UpperAscii(std::string(table));
}

std::string StoreDialect::MarkDeletedSql(std::string_view table) const {
  const std::string marks = catalog_schema() + QuoteIdentifier(DeletedMarksTable());
  if (!server()) return "INSERT OR IGNORE INTO " + marks + " (table_name, record) VALUES (?1, ?2)";
  // The row's key-share lock holds off an SQL DELETE of the row until the
  // mark is committed, so that the delete's trigger (nce_forget_marks) sees
  // the mark and takes it along.
  return "INSERT INTO " + marks + " (table_name, record) SELECT ?1, rowid FROM " + Quoted(table) +
         " WHERE rowid = ?2 FOR KEY SHARE ON CONFLICT DO NOTHING";
}

std::string StoreDialect::NextRecordNumberSql(std::string_view table) const {
  if (!server()) return std::string();
  return "SELECT nextval(pg_get_serial_sequence(" + QuoteLiteral(LowerAscii(table)) + ", 'rowid'))";
}

}  // namespace nce
