// The translator behind TranslateExpression (expr_sql.h): one walk over an
// expression tree that writes the SQL of the store's dialect. Private to
// engine/expr/. The walk itself, fields and the simple operators are in
// expr_sql.cpp; chains of .AND./.OR., arithmetic and comparisons in
// expr_sql_operators.cpp; the functions of the expression language, with
// their table, in expr_sql_functions.cpp.
#ifndef ENGINE_EXPR_EXPR_TRANSLATOR_H
#define ENGINE_EXPR_EXPR_TRANSLATOR_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/expr/expr_sql.h"
#include "engine/expr/expr_tree.h"

namespace nce::expr_translation {

// Throws NDS_E_BAD_EXPRESSION naming the position of `node`.
[[noreturn]] void Refuse(const ExprNode& node, const std::string& what);
// The name of `type` in refusals ("string", "number", ...).
const char* TypeName(ExprType type);
// A number as an SQL literal.
std::string NumberText(double value);
SqlExpr Make(std::string sql, ExprType type, uint32_t length = 0, bool fixed = false);
SqlExpr StringLiteral(const std::string& text);

// ---- where the dialects spell things differently ----
// `sql` padded with blanks on the right (`left` false) or left to `width`
// bytes, as SQLite's printf pads; it cuts nothing. The server's
// nce_padr and nce_padl count bytes too (its format() counts characters
// and may not serve in an index).
std::string PadSql(const std::string& sql, uint32_t width, bool left, bool server);
// A string value at its full width: fields and fixed-width results are
// stored without trailing blanks, but behave as if padded to their width.
std::string PaddedIn(const SqlExpr& e, bool server);
// The server's upper() and lower() follow its locale; SQLite's change
// ASCII letters alone.
std::string ServerAsciiCase(const std::string& sql, bool upper);
// Whole-number and money fields, which a server keeps as numeric: they
// compute as the doubles SQLite computes with.
bool ServerNumericColumn(uint16_t field_type);
// A string without its trailing blanks (a literal's text trimmed at once).
std::string Trimmed(const SqlExpr& e);

class Translator {
 public:
  explicit Translator(const ExprContext& context)
      : context_(context), server_(context.dialect == SqlDialect::kPostgres) {}

  SqlExpr Translate(const ExprNode& node);

 private:
  std::string Padded(const SqlExpr& e) const { return PaddedIn(e, server_); }

  SqlExpr Logical(bool value) const;

  // A name as the store holds it: a server folds an engine table's names
  // to lower case.
  std::string Name(const std::string& name) const;

  // A date, time or timestamp of the server's types as the text SQLite
  // keeps it (nce_key_text, IMMUTABLE where to_char is not, so that keys
  // and conditions of orders may use it).
  static std::string ServerText(const std::string& sql) { return "nce_key_text(" + sql + ")"; }

  // The date of a stored date or timestamp text, on a server.
  static std::string ServerDate(const std::string& text) { return "nce_iso_date(" + text + ")"; }

  SqlExpr Field(const ExprNode& node);

  SqlExpr Expect(const ExprNode& node, ExprType type);

  SqlExpr Unary(const ExprNode& node);

  // A chain of operands (expr_tree.h), applied from left to right; an
  // .AND./.OR. chain as LogicalChain writes it.
  SqlExpr Binary(const ExprNode& node);

  // A chain of numbers added, subtracted, multiplied or divided, or of
  // strings joined, written without nesting ("(a - b - c)"): SQLite's
  // parser takes only a few dozen nested parentheses or calls. Nothing for
  // other chains, which apply their operator step by step.
  std::optional<SqlExpr> FlatChain(const ExprNode& node, const std::vector<SqlExpr>& operands);

  // ---- chains of .AND. and .OR. ----

  // Operands [first, end) of a chain that make one term of its SQL.
  using Span = std::pair<size_t, size_t>;

  // An .AND./.OR. chain as a balanced tree of SQL terms, nested log2(n)
  // levels however long the chain is. A run of operands comparing one
  // number with constants (q = 1 .OR. q = 2 ..., q # 1 .AND. q # 2 ...) is
  // one term, an IN (NOT IN) list: SQLite takes a list of a million values
  // in seconds, but time growing with the square of the count over a chain
  // of terms, which is why a chain of more than kMaxChainTerms terms is
  // refused.
  SqlExpr LogicalChain(const ExprNode& node);

  static constexpr size_t kMaxChainTerms = 10000;

  SqlExpr Balanced(const ExprNode& node, const std::vector<Span>& spans, size_t begin, size_t end);

  // The value of a numeric constant (5, -5).
  static std::optional<double> ConstantNumber(const ExprNode& node);

  // Whether `operand` of an .OR. (.AND.) chain compares a value with a
  // numeric constant by = or == (by <>).
  static bool ComparesWithConstant(const ExprNode& operand, const std::string& chain);

  // The end of the run of operands of `node` from `first` on that compare
  // one number with constants, as ComparesWithConstant; first + 1 when
  // there is no run of two.
  size_t ConstantRunEnd(const ExprNode& node, size_t first);

  // The SQL of one term of a chain: an operand, or a run of comparisons
  // with constants as one list.
  SqlExpr Term(const ExprNode& node, const Span& span);

  // a op b, for the operator of `node`.
  SqlExpr Apply(const ExprNode& node, SqlExpr a, SqlExpr b);

  void RequireBoth(const ExprNode& node, const SqlExpr& a, const SqlExpr& b, ExprType type);

  SqlExpr Plus(const ExprNode& node, const SqlExpr& a, const SqlExpr& b);

  // SQLite's date() drops the part of a day a fractional count adds.
  SqlExpr DatePlus(const std::string& date, const std::string& days) const;

  SqlExpr Minus(const ExprNode& node, const SqlExpr& a, const SqlExpr& b);

  // A string literal met by a date, time or timestamp reads as one.
  void CoerceLiteral(const ExprNode& node, SqlExpr& literal, ExprType type);

  SqlExpr Compare(const ExprNode& node, SqlExpr a, SqlExpr b);

  // Text compares byte by byte on SQLite; a server's collation may not.
  std::string Bytewise() const { return server_ ? " COLLATE \"C\"" : ""; }

  std::string Instr(const std::string& haystack, const std::string& needle) const;

  std::string Upper(const std::string& sql) const;

  SqlExpr CompareStrings(const std::string& op, const SqlExpr& a, const SqlExpr& b);

  static size_t StringLength(const std::string& utf8);

  // ---- functions ----------------------------------------------------------------------

  void Arity(const ExprNode& node, size_t least, size_t most);

  // A numeric argument that must be a constant (widths of results).
  int ConstantInt(const ExprNode& call, size_t index);

  SqlExpr Str(const ExprNode& node, ExprType type_of_first = ExprType::kString);

  // One function of the expression language: its name, how many arguments
  // it takes, and its translation. Calls are checked against the counts
  // before the translation runs.
  struct Function {
    const char* name;
    size_t least, most;                                 // argument counts
    SqlExpr (Translator::*translate)(const ExprNode&);  // the call's SQL
  };
  static const Function kFunctions[];

  SqlExpr Call(const ExprNode& node);  // after the table of functions

  // ---- strings ----

  SqlExpr UpperLower(const ExprNode& node);

  SqlExpr TrimCall(const ExprNode& node);

  SqlExpr Substr(const ExprNode& node);

  SqlExpr LeftRight(const ExprNode& node);

  SqlExpr Length(const ExprNode& node);

  SqlExpr At(const ExprNode& node);

  SqlExpr Space(const ExprNode& node);

  SqlExpr Replicate(const ExprNode& node);

  SqlExpr Pad(const ExprNode& node);

  SqlExpr StrCall(const ExprNode& node);

  SqlExpr Val(const ExprNode& node);

  SqlExpr Chr(const ExprNode& node);

  SqlExpr Asc(const ExprNode& node);

  SqlExpr Contains(const ExprNode& node);

  // ---- dates and times ----

  SqlExpr DateFromText(const ExprNode& node, ExprType type);
  SqlExpr Ctod(const ExprNode& node) { return DateFromText(node, ExprType::kDate); }
  SqlExpr Ctot(const ExprNode& node) { return DateFromText(node, ExprType::kTime); }
  SqlExpr Ctots(const ExprNode& node) { return DateFromText(node, ExprType::kTimestamp); }

  // A date or timestamp argument; refuses any other type.
  SqlExpr DateArgument(const ExprNode& node);

  SqlExpr DateText(const ExprNode& node);

  // On a server: the server's clock, in the session's time zone.
  SqlExpr Today(const ExprNode&);

  SqlExpr Now(const ExprNode&);

  SqlExpr DatePart(const ExprNode& node);

  // ---- numbers ----

  SqlExpr Round(const ExprNode& node);

  SqlExpr Mod(const ExprNode& node);

  SqlExpr MaxMin(const ExprNode& node);

  SqlExpr Abs(const ExprNode& node);

  SqlExpr Sqrt(const ExprNode& node);

  // INT truncates toward zero.
  SqlExpr Int(const ExprNode& node);

  // ---- logic and records ----

  SqlExpr EmptyCall(const ExprNode& node) { return Empty(Translate(*node.args[0])); }

  SqlExpr IsNullCall(const ExprNode& node);

  SqlExpr Iif(const ExprNode& node);

  SqlExpr Recno(const ExprNode&) { return Make("rowid", ExprType::kNumber); }

  SqlExpr Deleted(const ExprNode&) { return Logical(false); }

  SqlExpr Empty(const SqlExpr& e) const;

  const ExprContext& context_;  // what the translation needs to know
  const bool server_;           // writing the server's SQL
};

}  // namespace nce::expr_translation

#endif  // ENGINE_EXPR_EXPR_TRANSLATOR_H
