// DDL with the engine's field types. SQLite accepts the engine's type names
// (CHAR(n), CICHAR(n), NUMERIC(p,s), DATE, LOGICAL, AUTOINC, MEMO, ...) as
// declared column types; the few whose SQLite affinity would alter stored
// values are given the right affinity here, and CICHAR compares without
// regard to letter case. The declared type keeps the engine's name first, so
// the catalog reads the engine type back from it.
#ifndef ENGINE_SCHEMA_DDL_H
#define ENGINE_SCHEMA_DDL_H

#include <string>
#include <string_view>

namespace nce {

// For a CREATE TABLE statement: the text with the engine's types adjusted
// for SQLite (MEMO -> MEMO TEXT, IMAGE -> IMAGE BLOB, RAW(n) -> RAW BLOB(n),
// CICHAR(n) -> CICHAR(n) COLLATE NOCASE, MONEY -> MONEY BLOB so that an amount
// kept as decimal text is not rounded to a double). Other statements come
// back as given.
std::string RewriteEngineTypes(std::string_view statement);

// For a stored CREATE TABLE text: the position of the ')' closing its
// column list, npos when there is none.
size_t ColumnListEnd(std::string_view create);

// For a stored CREATE TABLE text: the position of the ',' before the first
// table constraint named with `name_prefix` (the quoted name starts with
// it), npos when there is none.
size_t NamedConstraintsBegin(std::string_view create, std::string_view name_prefix);

// The table an ALTER TABLE statement changes, unquoted; empty for other
// statements.
std::string AlterTarget(std::string_view statement);
// The new name an ALTER TABLE ... RENAME TO statement gives its table,
// unquoted; empty for other statements.
std::string AlterRenameTarget(std::string_view statement);

// The change of one column an ALTER TABLE statement makes, for a store that
// keeps its own description of the table and follows the change there.
struct ColumnChange {
  enum class Kind { kNone, kAdd, kDrop, kRename };
  Kind kind = Kind::kNone;
  std::string column;      // the column added, dropped or renamed, unquoted
  std::string new_name;    // kRename: its new name, unquoted
  std::string definition;  // kAdd: the column's definition as written
};
// ADD [COLUMN] definition, DROP [COLUMN] name, RENAME [COLUMN] name TO
// new_name; kNone for any other statement, and for the forms this reading
// does not follow: IF [NOT] EXISTS, CASCADE or RESTRICT, a table
// constraint, several changes in one statement.
ColumnChange ReadColumnChange(std::string_view statement);

// True for statements that change the schema (CREATE, DROP, ALTER).
bool IsSchemaStatement(std::string_view leading_keyword);

}  // namespace nce

#endif  // ENGINE_SCHEMA_DDL_H
