// How the SQL of a store spells what the stores spell differently: the
// names it holds, its schemas, types of parameters, literals and the few
// functions whose names differ. A session gives its dialect
// (StoreSession::dialect); the layers above build their statements through
// it and never ask which store they speak to.
#ifndef ENGINE_STORAGE_STORE_DIALECT_H
#define ENGINE_STORAGE_STORE_DIALECT_H

#include <string>
#include <string_view>

#include "engine/expr/expr_sql.h"
#include "engine/schema/catalog.h"

namespace nce {

class StoreDialect {
 public:
  // The dialect the expression translator writes for this store.
  SqlDialect expressions() const { return expressions_; }

  // A name of a table or column as the store holds it: SQLite as given, a
  // server in lower case (postgres_catalog.h); quoted for a statement.
  std::string StoredName(std::string_view name) const;
  std::string Quoted(std::string_view name) const;
  // The prefix that names the schema of the engine's own tables (deleted
  // marks, row version counters), so that a temporary table of the same
  // name cannot hide it: "main." on SQLite; a server has no such schema.
  const char* catalog_schema() const;
  // The prefix naming the schema of the session's temporary tables.
  const char* temp_schema() const;
  // The declaration of a column of record numbers that is the table's key.
  const char* record_number_key() const;
  // An expression of the bytes `value` (a column, text or blob) holds.
  std::string ByteLength(const std::string& value) const;
  // An expression that is 1 when `value` is a blob, else 0.
  std::string IsBlob(const std::string& value) const;
  // A literal of key bytes.
  std::string BytesLiteral(std::string_view bytes) const;
  // Parameter `parameter` (?N) typed as a column of `shape` holds it, and as
  // a record number: a server wants a type where nothing else gives one
  // (a subquery's select list).
  std::string TypedParameter(const std::string& parameter, const FieldSpec& shape) const;
  std::string RecordNumberParameter(const std::string& parameter) const;
  // A column's DEFAULT clause `expression` as a value of the field `shape`,
  // as the store would store it.
  std::string TypedDefault(const std::string& expression, const FieldSpec& shape) const;
  // The table of row version counters, named for a statement.
  std::string RowVersionsTable() const;
  // Whether a column of `shape` holds bytes rather than text.
  bool StoresAsBytes(const FieldSpec& shape) const;
  // The key under which the table of deleted marks keeps the marks of
  // `table` (as its triggers name it).
  std::string DeletedMarksKey(std::string_view table) const;
  // The statement that marks record ?2 of `table` deleted under key ?1, and
  // changes nothing when the mark is there or the row is gone.
  std::string MarkDeletedSql(std::string_view table) const;
  // The statement that gives a fresh record number for a new row of
  // `table` from the table's own sequence, which never gives one twice
  // (a server); "" where the store keeps no such sequence and the cursor
  // finds a free number itself.
  std::string NextRecordNumberSql(std::string_view table) const;
  // Whether the store renames an index in place (ALTER INDEX ... RENAME);
  // SQLite cannot, so an index is made again under its new name.
  bool renames_indexes() const { return server(); }

 private:
  friend const StoreDialect& SqliteDialect();
  friend const StoreDialect& PostgresDialect();
  explicit StoreDialect(SqlDialect expressions) : expressions_(expressions) {}
  bool server() const { return expressions_ == SqlDialect::kPostgres; }

  SqlDialect expressions_;
};

const StoreDialect& SqliteDialect();
const StoreDialect& PostgresDialect();

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_DIALECT_H
