// Translation of expression trees (expr_tree.h) into SQL over the columns
// of one table, so that SQLite evaluates filters, conditions and keys and
// can use its indexes for them. Each translated piece carries its type, so
// that operators pick the right SQL (string concatenation or addition, date
// arithmetic) and index keys get their byte form.
//
// The same expression translates for a PostgreSQL server too (SqlDialect),
// giving the same answers over the server's typed columns: dates, times and
// timestamps are read as the texts SQLite keeps (nce_key_text), logical
// values are the server's booleans, whole numbers and money compute as
// doubles, text compares byte by byte (COLLATE "C"), and SQLite's functions
// become the server's equivalents, or the catalog's functions where the
// server's read otherwise (postgres_sqlite_forms.h). Everything it writes
// but the clock is IMMUTABLE, so that index keys and conditions may use it.
#ifndef ENGINE_EXPR_EXPR_SQL_H
#define ENGINE_EXPR_EXPR_SQL_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/expr/expr_tree.h"
#include "engine/schema/catalog.h"

namespace nce {

enum class ExprType { kString, kNumber, kDate, kTime, kTimestamp, kLogical, kBlob };

// The SQL a translation is written in. On a server an engine table's
// columns are named in lower case and typed (postgres_tables.h).
enum class SqlDialect { kSqlite, kPostgres };

// Stored forms the SQL works on: strings as text without trailing blanks,
// dates 'YYYY-MM-DD', times 'HH:MM:SS.mmm', timestamps 'YYYY-MM-DD
// HH:MM:SS.mmm', logicals 0/1 (booleans on a server), numbers as numbers.
struct SqlExpr {
  std::string sql;                     // SQL text of the value
  ExprType type = ExprType::kNumber;   // its type
  uint32_t length = 0;                 // width of a string value (its key width)
  bool fixed_length = false;           // string whose width is known (field, literal, SUBSTR ...)
  bool case_insensitive = false;       // CICHAR field: compares without letter case
  bool is_field = false;               // a bare field reference
  std::optional<std::string> literal;  // value of a string literal
  std::optional<double> number;        // value of a numeric literal
};

// What a translation needs to know.
struct ExprContext {
  const std::vector<FieldDesc>* fields = nullptr;  // the table's fields
  bool exact = false;     // string '=' compares whole values (else: left begins with right)
  std::string qualifier;  // table name to qualify columns with, "" for none
  // Name the table and its columns in lower case, as a server holds an
  // engine table's names (postgres_catalog.h).
  bool lower_case_names = false;
  SqlDialect dialect = SqlDialect::kSqlite;  // whose SQL to write
};

// Translates `node`; throws EngineError NDS_E_BAD_EXPRESSION naming the
// position for unknown fields or functions and for type mismatches.
SqlExpr TranslateExpression(const ExprNode& node, const ExprContext& context);

// Translates a condition: the expression must be logical.
std::string TranslateCondition(const ExprNode& node, const ExprContext& context);

// Name of the engine's type letter in key shapes (S string, N number, D date,
// T time, Z timestamp, L logical).
char KeyTypeLetter(ExprType type);

// Engine type code of a field as an expression type.
ExprType FieldExprType(uint16_t field_type);

}  // namespace nce

#endif  // ENGINE_EXPR_EXPR_SQL_H
