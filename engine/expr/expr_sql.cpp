#include "engine/expr/expr_sql.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "engine/base/dates.h"
#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_values.h"
#include "nce/nce.h"

namespace nce {
namespace {

[[noreturn]] void Refuse(const ExprNode& node, const std::string& what) {
  throw EngineError(NDS_E_BAD_EXPRESSION, "Error in expression at position " +
                                              std::to_string(node.position) + ": " + what);
}

const char* TypeName(ExprType type) {
  switch (type) {
    case ExprType::kString:
      return "string";
    case ExprType::kNumber:
      return "number";
    case ExprType::kDate:
      return "date";
    case ExprType::kTime:
      return "time";
    case ExprType::kTimestamp:
      return "timestamp";
    case ExprType::kLogical:
      return "logical";
    case ExprType::kBlob:
      return "binary";
  }
  return "value";
}

std::string NumberText(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return buffer;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

SqlExpr Make(std::string sql, ExprType type, uint32_t length = 0, bool fixed = false) {
  SqlExpr e;
  e.sql = std::move(sql);
  e.type = type;
  e.length = length;
  e.fixed_length = fixed;
  return e;
}

SqlExpr StringLiteral(const std::string& text) {
  SqlExpr e = Make(QuoteLiteral(text), ExprType::kString, static_cast<uint32_t>(text.size()), true);
  e.literal = text;
  return e;
}

// `sql` padded with blanks on the right (`left` false) or left to `width`
// bytes, as SQLite's printf pads; it cuts nothing. The server's
// nce_padr and nce_padl count bytes too (its format() counts characters
// and may not serve in an index).
std::string PadSql(const std::string& sql, uint32_t width, bool left, bool server) {
  std::string w = std::to_string(width);
  if (server) return std::string(left ? "nce_padl(" : "nce_padr(") + sql + ", " + w + ")";
  return std::string("printf('%") + (left ? "" : "-") + w + "s', " + sql + ")";
}

// A string value at its full width: fields and fixed-width results are
// stored without trailing blanks, but behave as if padded to their width.
std::string PaddedIn(const SqlExpr& e, bool server) {
  if (e.literal) return e.sql;
  if (e.fixed_length && e.length > 0) return PadSql(e.sql, e.length, false, server);
  return "coalesce(" + e.sql + ", '')";
}

// The server's upper() and lower() follow its locale; SQLite's change
// ASCII letters alone.
std::string ServerAsciiCase(const std::string& sql, bool upper) {
  static const char* const kLower = "'abcdefghijklmnopqrstuvwxyz'";
  static const char* const kUpper = "'ABCDEFGHIJKLMNOPQRSTUVWXYZ'";
  return "translate(" + sql + ", " + (upper ? kLower : kUpper) + ", " + (upper ? kUpper : kLower) +
         ")";
}

// Whole-number and money fields, which a server keeps as numeric: they
// compute as the doubles SQLite computes with.
bool ServerNumericColumn(uint16_t field_type) {
  return field_type == NDS_SHORTINT || field_type == NDS_INTEGER || field_type == NDS_AUTOINC ||
         field_type == NDS_ROWVERSION || field_type == NDS_MONEY;
}

std::string Trimmed(const SqlExpr& e) {
  if (e.literal) {
    std::string t = *e.literal;
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return QuoteLiteral(t);
  }
  if (e.is_field) return "coalesce(" + e.sql + ", '')";  // stored without trailing blanks
  return "rtrim(coalesce(" + e.sql + ", ''))";
}

class Translator {
 public:
  explicit Translator(const ExprContext& context)
      : context_(context), server_(context.dialect == SqlDialect::kPostgres) {}

  SqlExpr Translate(const ExprNode& node) {
    switch (node.kind) {
      case ExprNode::Kind::kNumber: {
        SqlExpr e = Make(NumberText(node.number), ExprType::kNumber);
        e.number = node.number;
        return e;
      }
      case ExprNode::Kind::kString:
        return StringLiteral(node.text);
      case ExprNode::Kind::kLogical:
        return Logical(node.logical);
      case ExprNode::Kind::kField:
        return Field(node);
      case ExprNode::Kind::kUnary:
        return Unary(node);
      case ExprNode::Kind::kBinary:
        return Binary(node);
      case ExprNode::Kind::kCall:
        return Call(node);
    }
    Refuse(node, "unknown element");
  }

 private:
  std::string Padded(const SqlExpr& e) const { return PaddedIn(e, server_); }

  SqlExpr Logical(bool value) const {
    return Make(server_ ? (value ? "true" : "false") : (value ? "1" : "0"), ExprType::kLogical);
  }

  // A name as the store holds it: a server folds an engine table's names
  // to lower case.
  std::string Name(const std::string& name) const {
    return QuoteIdentifier(server_ || context_.lower_case_names ? LowerAscii(name) : name);
  }

  // A date, time or timestamp of the server's types as the text SQLite
  // keeps it (nce_key_text, IMMUTABLE where to_char is not, so that keys
  // and conditions of orders may use it).
  static std::string ServerText(const std::string& sql) { return "nce_key_text(" + sql + ")"; }

  // The date of a stored date or timestamp text, on a server.
  static std::string ServerDate(const std::string& text) { return "nce_iso_date(" + text + ")"; }

  SqlExpr Field(const ExprNode& node) {
    if (context_.fields) {
      for (const FieldDesc& f : *context_.fields) {
        if (!EqualsNoCase(f.name, node.text)) continue;
        ExprType type = FieldExprType(f.shape.type);
        std::string column = context_.qualifier.empty()
                                 ? Name(f.name)
                                 : Name(context_.qualifier) + "." + Name(f.name);
        SqlExpr e;
        if (type == ExprType::kLogical) {
          e = Make(server_ ? "(coalesce(" + column + ", 0) <> 0)" : "coalesce(" + column + ", 0)",
                   type);
        } else if (server_ && (type == ExprType::kDate || type == ExprType::kTime ||
                               type == ExprType::kTimestamp)) {
          e = Make(ServerText(column), type);
        } else if (server_ && ServerNumericColumn(f.shape.type)) {
          e = Make("CAST(" + column + " AS double precision)", type);
        } else {
          bool fixed = f.shape.type == NDS_STRING || f.shape.type == NDS_CISTRING;
          e = Make(column, type, fixed ? f.shape.length : 0, fixed);
          e.case_insensitive = f.shape.type == NDS_CISTRING;
          e.is_field = true;
        }
        return e;
      }
    }
    Refuse(node, "unknown field " + node.text);
  }

  SqlExpr Expect(const ExprNode& node, ExprType type) {
    SqlExpr e = Translate(node);
    if (e.type != type)
      Refuse(node,
             std::string("a ") + TypeName(type) + " is expected here, not a " + TypeName(e.type));
    return e;
  }

  SqlExpr Unary(const ExprNode& node) {
    if (node.text == "NOT")
      return Make("(NOT " + Expect(*node.args[0], ExprType::kLogical).sql + ")",
                  ExprType::kLogical);
    SqlExpr operand = Expect(*node.args[0], ExprType::kNumber);
    SqlExpr e = Make("(-" + operand.sql + ")", ExprType::kNumber);
    if (operand.number) e.number = -*operand.number;
    return e;
  }

  // A chain of operands (expr_tree.h), applied from left to right; an
  // .AND./.OR. chain as LogicalChain writes it.
  SqlExpr Binary(const ExprNode& node) {
    if (node.text == "AND" || node.text == "OR") return LogicalChain(node);
    std::vector<SqlExpr> operands;
    for (const ExprPtr& arg : node.args) operands.push_back(Translate(*arg));
    if (operands.size() > 2) {
      if (std::optional<SqlExpr> flat = FlatChain(node, operands)) return *flat;
    }
    SqlExpr result = std::move(operands[0]);
    for (size_t i = 1; i < operands.size(); ++i)
      result = Apply(node, std::move(result), std::move(operands[i]));
    return result;
  }

  // A chain of numbers added, subtracted, multiplied or divided, or of
  // strings joined, written without nesting ("(a - b - c)"): SQLite's
  // parser takes only a few dozen nested parentheses or calls. Nothing for
  // other chains, which apply their operator step by step.
  std::optional<SqlExpr> FlatChain(const ExprNode& node, const std::vector<SqlExpr>& operands) {
    const std::string& op = node.text;
    auto all = [&](ExprType type) {
      for (const SqlExpr& e : operands)
        if (e.type != type) return false;
      return true;
    };
    if ((op == "+" || op == "-" || op == "*" || op == "/") && all(ExprType::kNumber)) {
      std::string sql = "(";
      for (size_t i = 0; i < operands.size(); ++i) {
        if (i == 0)
          sql += op == "/" ? (server_ ? "CAST(" + operands[i].sql + " AS double precision)"
                                      : "CAST(" + operands[i].sql + " AS REAL)")
                           : operands[i].sql;
        else
          sql += " " + op + " " +
                 (op == "/" && server_ ? "NULLIF(" + operands[i].sql + ", 0)" : operands[i].sql);
      }
      return Make(sql + ")", ExprType::kNumber);
    }
    if (op == "+" && all(ExprType::kString)) {
      // Each string at its width, one after the other: as joined in steps.
      std::string sql = "(", text;
      uint32_t width = 0;
      bool fixed = true, literal = true;
      for (size_t i = 0; i < operands.size(); ++i) {
        sql += (i ? " || " : "") + Padded(operands[i]);
        width += operands[i].length;
        fixed = fixed && operands[i].fixed_length;
        literal = literal && operands[i].literal;
        if (operands[i].literal) text += *operands[i].literal;
      }
      if (literal) return StringLiteral(text);
      return Make(sql + ")", ExprType::kString, width, fixed);
    }
    return std::nullopt;
  }

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
  SqlExpr LogicalChain(const ExprNode& node) {
    std::vector<Span> spans;
    for (size_t i = 0; i < node.args.size();) {
      size_t end = ConstantRunEnd(node, i);
      spans.emplace_back(i, end);
      i = end;
    }
    if (spans.size() > kMaxChainTerms) Refuse(node, "the expression is too long");
    return Balanced(node, spans, 0, spans.size());
  }

  static constexpr size_t kMaxChainTerms = 10000;

  SqlExpr Balanced(const ExprNode& node, const std::vector<Span>& spans, size_t begin, size_t end) {
    if (end - begin == 1) return Term(node, spans[begin]);
    size_t middle = begin + (end - begin) / 2;
    SqlExpr a = Balanced(node, spans, begin, middle);
    SqlExpr b = Balanced(node, spans, middle, end);
    return Make("(" + a.sql + " " + node.text + " " + b.sql + ")", ExprType::kLogical);
  }

  // The value of a numeric constant (5, -5).
  static std::optional<double> ConstantNumber(const ExprNode& node) {
    if (node.kind == ExprNode::Kind::kNumber) return node.number;
    if (node.kind == ExprNode::Kind::kUnary && node.text == "-" &&
        node.args[0]->kind == ExprNode::Kind::kNumber)
      return -node.args[0]->number;
    return std::nullopt;
  }

  // Whether `operand` of an .OR. (.AND.) chain compares a value with a
  // numeric constant by = or == (by <>).
  static bool ComparesWithConstant(const ExprNode& operand, const std::string& chain) {
    if (operand.kind != ExprNode::Kind::kBinary || operand.args.size() != 2) return false;
    bool fits = chain == "OR" ? operand.text == "=" || operand.text == "==" : operand.text == "<>";
    return fits && ConstantNumber(*operand.args[1]);
  }

  // The end of the run of operands of `node` from `first` on that compare
  // one number with constants, as ComparesWithConstant; first + 1 when
  // there is no run of two.
  size_t ConstantRunEnd(const ExprNode& node, size_t first) {
    const ExprNode& start = *node.args[first];
    if (!ComparesWithConstant(start, node.text)) return first + 1;
    std::string left = CanonicalText(*start.args[0]);
    size_t end = first + 1;
    while (end < node.args.size() && ComparesWithConstant(*node.args[end], node.text) &&
           CanonicalText(*node.args[end]->args[0]) == left)
      ++end;
    if (end - first < 2 || Translate(*start.args[0]).type != ExprType::kNumber) return first + 1;
    return end;
  }

  // The SQL of one term of a chain: an operand, or a run of comparisons
  // with constants as one list.
  SqlExpr Term(const ExprNode& node, const Span& span) {
    if (span.second - span.first == 1) return Expect(*node.args[span.first], ExprType::kLogical);
    SqlExpr value = Translate(*node.args[span.first]->args[0]);
    std::string list;
    for (size_t i = span.first; i < span.second; ++i) {
      if (i > span.first) list += ", ";
      list += NumberText(*ConstantNumber(*node.args[i]->args[1]));
    }
    // As Compare compares a number: an empty value counts as 0.
    return Make("(coalesce(" + value.sql + ", 0) " + (node.text == "OR" ? "IN" : "NOT IN") + " (" +
                    list + "))",
                ExprType::kLogical);
  }

  // a op b, for the operator of `node`.
  SqlExpr Apply(const ExprNode& node, SqlExpr a, SqlExpr b) {
    const std::string& op = node.text;
    if (op == "+") return Plus(node, a, b);
    if (op == "-") return Minus(node, a, b);
    if (op == "*" || op == "/" || op == "%" || op == "^") {
      RequireBoth(node, a, b, ExprType::kNumber);
      if (op == "*") return Make("(" + a.sql + " * " + b.sql + ")", ExprType::kNumber);
      // A division by zero gives NULL on SQLite; the server refuses it.
      if (op == "/")
        return Make(server_ ? "(CAST(" + a.sql + " AS double precision) / NULLIF(" + b.sql + ", 0))"
                            : "(CAST(" + a.sql + " AS REAL) / " + b.sql + ")",
                    ExprType::kNumber);
      if (op == "%") return Make("nce_mod(" + a.sql + ", " + b.sql + ")", ExprType::kNumber);
      return Make("nce_pow(" + a.sql + ", " + b.sql + ")", ExprType::kNumber);
    }
    return Compare(node, std::move(a), std::move(b));
  }

  void RequireBoth(const ExprNode& node, const SqlExpr& a, const SqlExpr& b, ExprType type) {
    if (a.type != type || b.type != type)
      Refuse(node, std::string("operator ") + node.text + " needs two values of type " +
                       TypeName(type) + ", not " + TypeName(a.type) + " and " + TypeName(b.type));
  }

  SqlExpr Plus(const ExprNode& node, const SqlExpr& a, const SqlExpr& b) {
    if (a.type == ExprType::kNumber && b.type == ExprType::kNumber)
      return Make("(" + a.sql + " + " + b.sql + ")", ExprType::kNumber);
    if (a.type == ExprType::kString && b.type == ExprType::kString) {
      if (a.literal && b.literal) return StringLiteral(*a.literal + *b.literal);
      return Make("(" + Padded(a) + " || " + Padded(b) + ")", ExprType::kString,
                  a.length + b.length, a.fixed_length && b.fixed_length);
    }
    if (a.type == ExprType::kDate && b.type == ExprType::kNumber) return DatePlus(a.sql, b.sql);
    if (a.type == ExprType::kNumber && b.type == ExprType::kDate) return DatePlus(b.sql, a.sql);
    Refuse(node, std::string("cannot add a ") + TypeName(b.type) + " to a " + TypeName(a.type));
  }

  // SQLite's date() drops the part of a day a fractional count adds.
  SqlExpr DatePlus(const std::string& date, const std::string& days) const {
    if (server_)
      return Make(ServerText("(" + ServerDate(date) + " + CAST(floor(" + days + ") AS integer))"),
                  ExprType::kDate);
    return Make("date(" + date + ", (" + days + ") || ' days')", ExprType::kDate);
  }

  SqlExpr Minus(const ExprNode& node, const SqlExpr& a, const SqlExpr& b) {
    if (a.type == ExprType::kNumber && b.type == ExprType::kNumber)
      return Make("(" + a.sql + " - " + b.sql + ")", ExprType::kNumber);
    if (a.type == ExprType::kDate && b.type == ExprType::kDate)
      return Make(server_ ? "(" + ServerDate(a.sql) + " - " + ServerDate(b.sql) + ")"
                          : "(julianday(" + a.sql + ") - julianday(" + b.sql + "))",
                  ExprType::kNumber);
    if (a.type == ExprType::kDate && b.type == ExprType::kNumber)
      return DatePlus(a.sql, "-(" + b.sql + ")");
    if (a.type == ExprType::kString && b.type == ExprType::kString) {
      // The left value's trailing blanks move to the end of the result.
      uint32_t width = a.length + b.length;
      std::string joined = "(rtrim(" + Padded(a) + ") || " + Padded(b) + ")";
      bool fixed = a.fixed_length && b.fixed_length;
      if (fixed) joined = PadSql(joined, width, false, server_);
      return Make(joined, ExprType::kString, width, fixed);
    }
    Refuse(node,
           std::string("cannot subtract a ") + TypeName(b.type) + " from a " + TypeName(a.type));
  }

  // A string literal met by a date, time or timestamp reads as one.
  void CoerceLiteral(const ExprNode& node, SqlExpr& literal, ExprType type) {
    if (!literal.literal || type == ExprType::kString) return;
    std::optional<std::string> stored;
    if (type == ExprType::kDate) stored = StoredDate(*literal.literal);
    if (type == ExprType::kTime) stored = StoredTime(*literal.literal);
    if (type == ExprType::kTimestamp) stored = StoredTimestamp(*literal.literal);
    if (!stored) Refuse(node, "\"" + *literal.literal + "\" is not a " + TypeName(type));
    literal = Make(stored->empty() ? "NULL" : QuoteLiteral(*stored), type);
  }

  SqlExpr Compare(const ExprNode& node, SqlExpr a, SqlExpr b) {
    const std::string& op = node.text;
    if (a.type != b.type) {
      if (a.type == ExprType::kString) CoerceLiteral(node, a, b.type);
      if (b.type == ExprType::kString) CoerceLiteral(node, b, a.type);
    }
    if (op == "$") {
      RequireBoth(node, a, b, ExprType::kString);
      return Make("(" + Instr(Padded(b), Trimmed(a)) + " > 0)", ExprType::kLogical);
    }
    if (a.type != b.type)
      Refuse(node,
             std::string("cannot compare a ") + TypeName(a.type) + " with a " + TypeName(b.type));
    if (a.type == ExprType::kString) return CompareStrings(op, a, b);
    std::string sql_op = op == "==" ? "=" : op;
    if (a.type == ExprType::kDate || a.type == ExprType::kTime || a.type == ExprType::kTimestamp) {
      // The empty date sorts before every date, as in the index keys.
      return Make("(coalesce(" + a.sql + ", '')" + Bytewise() + " " + sql_op + " coalesce(" +
                      b.sql + ", ''))",
                  ExprType::kLogical);
    }
    if (server_ && a.type == ExprType::kLogical)
      return Make("(coalesce(" + a.sql + ", false) " + sql_op + " coalesce(" + b.sql + ", false))",
                  ExprType::kLogical);
    if (server_ && a.type == ExprType::kBlob)
      return Make("(coalesce(" + a.sql + ", '\\x'::bytea) " + sql_op + " coalesce(" + b.sql +
                      ", '\\x'::bytea))",
                  ExprType::kLogical);
    if (a.type == ExprType::kNumber && a.is_field && b.number)
      return Make("(coalesce(" + a.sql + ", 0) " + sql_op + " " + b.sql + ")", ExprType::kLogical);
    return Make("(coalesce(" + a.sql + ", 0) " + sql_op + " coalesce(" + b.sql + ", 0))",
                ExprType::kLogical);
  }

  // Text compares byte by byte on SQLite; a server's collation may not.
  std::string Bytewise() const { return server_ ? " COLLATE \"C\"" : ""; }

  std::string Instr(const std::string& haystack, const std::string& needle) const {
    return std::string(server_ ? "strpos(" : "instr(") + haystack + ", " + needle + ")";
  }

  std::string Upper(const std::string& sql) const {
    return server_ ? ServerAsciiCase(sql, true) : "upper(" + sql + ")";
  }

  SqlExpr CompareStrings(const std::string& op, const SqlExpr& a, const SqlExpr& b) {
    bool ci = a.case_insensitive || b.case_insensitive;
    auto fold = [this, ci](const std::string& sql) { return ci ? Upper(sql) : sql; };
    if ((op == "=" || op == "<>") && !context_.exact) {
      // Inexact: the left value begins with the right one.
      std::string right = Padded(b);
      std::string test;
      if (b.literal && b.literal->empty())
        test = "1";
      else if (b.literal)
        test =
            fold("substr(" + Padded(a) + ", 1, " + std::to_string(StringLength(*b.literal)) + ")") +
            " = " + fold(right);
      else
        test = fold("substr(" + Padded(a) + ", 1, length(" + right + "))") + " = " + fold(right);
      return Make(op == "=" ? "(" + test + ")" : "(NOT (" + test + "))", ExprType::kLogical);
    }
    std::string sql_op = op == "==" ? "=" : op;
    return Make("(" + fold(Trimmed(a)) + Bytewise() + " " + sql_op + " " + fold(Trimmed(b)) + ")",
                ExprType::kLogical);
  }

  static size_t StringLength(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
  }

  // ---- functions ----------------------------------------------------------------------

  void Arity(const ExprNode& node, size_t least, size_t most) {
    size_t n = node.args.size();
    if (n < least || n > most) {
      std::string wanted = least == most ? std::to_string(least)
                                         : std::to_string(least) + " to " + std::to_string(most);
      Refuse(node, node.text + " takes " + wanted + " argument(s), not " + std::to_string(n));
    }
  }

  // A numeric argument that must be a constant (widths of results).
  int ConstantInt(const ExprNode& call, size_t index) {
    SqlExpr e = Expect(*call.args[index], ExprType::kNumber);
    if (!e.number || *e.number < 0 || *e.number > 65535)
      Refuse(*call.args[index], "a whole number from 0 to 65535 is expected as argument " +
                                    std::to_string(index + 1) + " of " + call.text);
    return static_cast<int>(*e.number);
  }

  SqlExpr Str(const ExprNode& node, ExprType type_of_first = ExprType::kString) {
    return Expect(*node.args[0], type_of_first);
  }

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

  SqlExpr UpperLower(const ExprNode& node) {
    SqlExpr s = Str(node);
    bool upper = node.text == "UPPER";
    std::string sql = server_ ? ServerAsciiCase(s.sql, upper)
                      : upper ? "upper(" + s.sql + ")"
                              : "lower(" + s.sql + ")";
    return Make(sql, ExprType::kString, s.length, s.fixed_length);
  }

  SqlExpr TrimCall(const ExprNode& node) {
    const std::string& f = node.text;
    SqlExpr s = Str(node);
    const char* fn = f == "LTRIM" ? "ltrim(" : f == "ALLTRIM" ? "trim(" : "rtrim(";
    return Make(fn + Padded(s) + ")", ExprType::kString, s.length, false);
  }

  SqlExpr Substr(const ExprNode& node) {
    SqlExpr s = Str(node);
    SqlExpr start = Expect(*node.args[1], ExprType::kNumber);
    // SQLite takes the start's whole part; the server's substr reads a
    // negative start otherwise than SQLite's (nce_substr).
    const char* substr = server_ ? "nce_substr(" : "substr(";
    if (server_) start.sql = "CAST(trunc(" + start.sql + ") AS integer)";
    if (node.args.size() == 3) {
      int count = ConstantInt(node, 2);
      return Make(substr + Padded(s) + ", " + start.sql + ", " + std::to_string(count) + ")",
                  ExprType::kString, static_cast<uint32_t>(count), s.fixed_length);
    }
    return Make(substr + Padded(s) + ", " + start.sql + ")", ExprType::kString, s.length, false);
  }

  SqlExpr LeftRight(const ExprNode& node) {
    SqlExpr s = Str(node);
    int count = ConstantInt(node, 1);
    std::string n = std::to_string(count);
    std::string sql = node.text == "LEFT" ? "substr(" + Padded(s) + ", 1, " + n + ")"
                      : server_           ? "right(" + Padded(s) + ", " + n + ")"
                                          : "substr(" + Padded(s) + ", -" + n + ")";
    if (count == 0) sql = "''";
    return Make(sql, ExprType::kString, static_cast<uint32_t>(count), s.fixed_length);
  }

  SqlExpr Length(const ExprNode& node) {
    return Make("length(" + Padded(Str(node)) + ")", ExprType::kNumber);
  }

  SqlExpr At(const ExprNode& node) {
    SqlExpr needle = Str(node);
    SqlExpr hay = Expect(*node.args[1], ExprType::kString);
    return Make(Instr(Padded(hay), Trimmed(needle)), ExprType::kNumber);
  }

  SqlExpr Space(const ExprNode& node) {
    int n = ConstantInt(node, 0);
    return StringLiteral(std::string(static_cast<size_t>(n), ' '));
  }

  SqlExpr Replicate(const ExprNode& node) {
    SqlExpr s = Str(node);
    int n = ConstantInt(node, 1);
    if (!s.literal) Refuse(node, "REPLICATE needs a string constant");
    std::string out;
    for (int i = 0; i < n && out.size() < 65535; ++i) out += *s.literal;
    return StringLiteral(out);
  }

  SqlExpr Pad(const ExprNode& node) {
    SqlExpr s = Translate(*node.args[0]);
    std::string text =
        s.type == ExprType::kString ? "rtrim(" + Padded(s) + ")" : "CAST(" + s.sql + " AS TEXT)";
    int n = ConstantInt(node, 1);
    std::string width = std::to_string(n);
    bool left = node.text == "PADL";
    std::string padded = PadSql(text, static_cast<uint32_t>(n), left, server_);
    std::string sql = !left     ? "substr(" + padded + ", 1, " + width + ")"
                      : server_ ? "right(" + padded + ", " + width + ")"
                                : "substr(" + padded + ", -" + width + ")";
    return Make(sql, ExprType::kString, static_cast<uint32_t>(n), true);
  }

  SqlExpr StrCall(const ExprNode& node) {
    SqlExpr n = Expect(*node.args[0], ExprType::kNumber);
    int width = node.args.size() > 1 ? ConstantInt(node, 1) : 10;
    int decimals = node.args.size() > 2 ? ConstantInt(node, 2) : 0;
    std::string format = "%" + std::to_string(width) + "." + std::to_string(decimals) + "f";
    std::string stars = "'" + std::string(static_cast<size_t>(width), '*') + "'";
    // The server's nce_str writes the number as SQLite's printf does.
    if (server_)
      return Make("nce_str(coalesce(" + n.sql + ", 0), " + std::to_string(width) + ", " +
                      std::to_string(decimals) + ")",
                  ExprType::kString, static_cast<uint32_t>(width), true);
    // Too wide a number shows as asterisks, as the key width must hold.
    std::string sql = "CASE WHEN length(printf('" + format + "', coalesce(" + n.sql + ", 0))) > " +
                      std::to_string(width) + " THEN " + stars + " ELSE printf('" + format +
                      "', coalesce(" + n.sql + ", 0)) END";
    return Make(sql, ExprType::kString, static_cast<uint32_t>(width), true);
  }

  SqlExpr Val(const ExprNode& node) {
    std::string text = "trim(coalesce(" + Str(node).sql + ", ''))";
    // SQLite reads the longest number the text begins with, else 0; the
    // server's cast refuses anything but a number.
    if (server_)
      return Make("coalesce(CAST(substring(" + text +
                      " from '^[+-]?(?:[0-9]+[.]?[0-9]*|[.][0-9]+)(?:[eE][+-]?[0-9]+)?') AS double "
                      "precision), 0)",
                  ExprType::kNumber);
    return Make("CAST(" + text + " AS REAL)", ExprType::kNumber);
  }

  SqlExpr Chr(const ExprNode& node) {
    SqlExpr n = Expect(*node.args[0], ExprType::kNumber);
    // A server takes no byte beyond ASCII alone in a text: chr() gives it
    // the character of that number.
    int top = server_ ? 128 : 256;
    if (n.number && *n.number >= 0 && *n.number < top && *n.number == std::floor(*n.number))
      return StringLiteral(std::string(1, static_cast<char>(static_cast<int>(*n.number))));
    return Make(server_ ? "chr(CAST(" + n.sql + " AS integer))" : "char(" + n.sql + ")",
                ExprType::kString, 1, true);
  }

  SqlExpr Asc(const ExprNode& node) {
    return Make(
        std::string("coalesce(") + (server_ ? "ascii(" : "unicode(") + Str(node).sql + "), 0)",
        ExprType::kNumber);
  }

  SqlExpr Contains(const ExprNode& node) {
    SqlExpr text = Translate(*node.args[0]);
    if (text.type != ExprType::kString)
      Refuse(*node.args[0], "CONTAINS searches a string or memo field");
    SqlExpr pattern = Expect(*node.args[1], ExprType::kString);
    return Make("nce_contains(" + text.sql + ", " + pattern.sql + ")", ExprType::kLogical);
  }

  // ---- dates and times ----

  SqlExpr DateFromText(const ExprNode& node, ExprType type) {
    SqlExpr s = Str(node);
    if (s.literal) {
      std::optional<std::string> stored = type == ExprType::kDate   ? StoredDate(*s.literal)
                                          : type == ExprType::kTime ? StoredTime(*s.literal)
                                                                    : StoredTimestamp(*s.literal);
      if (!stored) Refuse(*node.args[0], "\"" + *s.literal + "\" is not a " + TypeName(type));
      return Make(stored->empty() ? "NULL" : QuoteLiteral(*stored), type);
    }
    const char* fn = type == ExprType::kDate   ? "nce_ctod("
                     : type == ExprType::kTime ? "nce_ctot("
                                               : "nce_ctots(";
    // The server's functions give its own types.
    if (server_) return Make(ServerText(fn + s.sql + ")"), type);
    return Make(fn + s.sql + ")", type);
  }
  SqlExpr Ctod(const ExprNode& node) { return DateFromText(node, ExprType::kDate); }
  SqlExpr Ctot(const ExprNode& node) { return DateFromText(node, ExprType::kTime); }
  SqlExpr Ctots(const ExprNode& node) { return DateFromText(node, ExprType::kTimestamp); }

  // A date or timestamp argument; refuses any other type.
  SqlExpr DateArgument(const ExprNode& node) {
    SqlExpr d = Translate(*node.args[0]);
    if (d.type != ExprType::kDate && d.type != ExprType::kTimestamp)
      Refuse(*node.args[0], "a date is expected here, not a " + std::string(TypeName(d.type)));
    return d;
  }

  SqlExpr DateText(const ExprNode& node) {
    SqlExpr d = DateArgument(node);
    bool compact = node.text == "DTOS";
    uint32_t width = compact ? 8 : 10;
    std::string blank = "'" + std::string(width, ' ') + "'";
    // The stored text 'YYYY-MM-DD...' rearranged, on a server.
    if (server_)
      return Make("coalesce(" +
                      (compact ? "replace(substr(" + d.sql + ", 1, 10), '-', '')"
                               : "substr(" + d.sql + ", 6, 2) || '/' || substr(" + d.sql +
                                     ", 9, 2) || '/' || substr(" + d.sql + ", 1, 4)") +
                      ", " + blank + ")",
                  ExprType::kString, width, true);
    const char* format = compact ? "%Y%m%d" : "%m/%d/%Y";
    return Make("coalesce(strftime('" + std::string(format) + "', " + d.sql + "), " + blank + ")",
                ExprType::kString, width, true);
  }

  // On a server: the server's clock, in the session's time zone.
  SqlExpr Today(const ExprNode&) {
    if (server_) return Make(ServerText("CAST(localtimestamp AS date)"), ExprType::kDate);
    return Make("date('now', 'localtime')", ExprType::kDate);
  }

  SqlExpr Now(const ExprNode&) {
    if (server_) return Make(ServerText("localtimestamp"), ExprType::kTimestamp);
    return Make("strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')", ExprType::kTimestamp);
  }

  SqlExpr DatePart(const ExprNode& node) {
    const std::string& f = node.text;
    SqlExpr d = DateArgument(node);
    const char* part = f == "YEAR" ? "%Y" : f == "MONTH" ? "%m" : f == "DAY" ? "%d" : "%w";
    // The server's dow counts from Sunday = 0, as SQLite's %w.
    const char* field = f == "YEAR" ? "year" : f == "MONTH" ? "month" : f == "DAY" ? "day" : "dow";
    std::string number =
        server_
            ? "CAST(extract(" + std::string(field) + " FROM " + ServerDate(d.sql) + ") AS integer)"
            : "CAST(strftime('" + std::string(part) + "', " + d.sql + ") AS INTEGER)";
    std::string sql = "coalesce(" + number + (f == "DOW" ? " + 1" : "") + ", 0)";
    return Make(sql, ExprType::kNumber);
  }

  // ---- numbers ----

  SqlExpr Round(const ExprNode& node) {
    SqlExpr n = Expect(*node.args[0], ExprType::kNumber);
    SqlExpr d = Expect(*node.args[1], ExprType::kNumber);
    // The server's nce_round rounds as SQLite's round(), which takes the
    // whole part of the decimals.
    if (server_)
      return Make("nce_round(" + n.sql + ", CAST(trunc(" + d.sql + ") AS integer))",
                  ExprType::kNumber);
    return Make("round(" + n.sql + ", " + d.sql + ")", ExprType::kNumber);
  }

  SqlExpr Mod(const ExprNode& node) {
    SqlExpr a = Translate(*node.args[0]);
    SqlExpr b = Translate(*node.args[1]);
    RequireBoth(node, a, b, ExprType::kNumber);
    return Make("nce_mod(" + a.sql + ", " + b.sql + ")", ExprType::kNumber);
  }

  SqlExpr MaxMin(const ExprNode& node) {
    const std::string& f = node.text;
    SqlExpr a = Translate(*node.args[0]);
    SqlExpr b = Translate(*node.args[1]);
    if (a.type != b.type) Refuse(node, f + " needs two values of one type");
    std::string sql;
    if (!server_) {
      sql = (f == "MAX" ? "max(" : "min(") + a.sql + ", " + b.sql + ")";
    } else {
      // SQLite's max and min are empty when either value is, where the
      // server's greatest and least pass an empty value by; text compares
      // byte by byte, as on SQLite.
      std::string collate = a.type == ExprType::kString ? Bytewise() : "";
      sql = "(CASE WHEN (" + a.sql + ") IS NULL OR (" + b.sql + ") IS NULL THEN NULL ELSE " +
            (f == "MAX" ? "greatest(" : "least(") + a.sql + collate + ", " + b.sql + collate +
            ") END)";
    }
    return Make(sql, a.type, std::max(a.length, b.length), a.fixed_length && b.fixed_length);
  }

  SqlExpr Abs(const ExprNode& node) {
    return Make("abs(" + Expect(*node.args[0], ExprType::kNumber).sql + ")", ExprType::kNumber);
  }

  SqlExpr Sqrt(const ExprNode& node) {
    return Make("nce_pow(" + Expect(*node.args[0], ExprType::kNumber).sql + ", 0.5)",
                ExprType::kNumber);
  }

  // INT truncates toward zero.
  SqlExpr Int(const ExprNode& node) {
    std::string n = Expect(*node.args[0], ExprType::kNumber).sql;
    // The server's cast to an integer rounds.
    // trunc(-0.5) is -0 on the server, which keys otherwise than SQLite's 0.
    return Make(server_ ? "(trunc(" + n + ") + 0)" : "CAST(" + n + " AS INTEGER)",
                ExprType::kNumber);
  }

  // ---- logic and records ----

  SqlExpr EmptyCall(const ExprNode& node) { return Empty(Translate(*node.args[0])); }

  SqlExpr IsNullCall(const ExprNode& node) {
    return Make("(" + Translate(*node.args[0]).sql + " IS NULL)", ExprType::kLogical);
  }

  SqlExpr Iif(const ExprNode& node) {
    SqlExpr c = Expect(*node.args[0], ExprType::kLogical);
    SqlExpr a = Translate(*node.args[1]);
    SqlExpr b = Translate(*node.args[2]);
    if (a.type != b.type)
      Refuse(node, std::string("IIF needs two values of one type, not ") + TypeName(a.type) +
                       " and " + TypeName(b.type));
    bool strings = a.type == ExprType::kString;
    return Make("(CASE WHEN " + c.sql + " THEN " + (strings ? Padded(a) : a.sql) + " ELSE " +
                    (strings ? Padded(b) : b.sql) + " END)",
                a.type, std::max(a.length, b.length), a.fixed_length && b.fixed_length);
  }

  SqlExpr Recno(const ExprNode&) { return Make("rowid", ExprType::kNumber); }

  SqlExpr Deleted(const ExprNode&) { return Logical(false); }

  SqlExpr Empty(const SqlExpr& e) const {
    switch (e.type) {
      case ExprType::kString:
        return Make("(trim(coalesce(" + e.sql + ", '')) = '')", ExprType::kLogical);
      case ExprType::kLogical:
        if (server_) return Make("(NOT coalesce(" + e.sql + ", false))", ExprType::kLogical);
        return Make("(coalesce(" + e.sql + ", 0) = 0)", ExprType::kLogical);
      case ExprType::kNumber:
        return Make("(coalesce(" + e.sql + ", 0) = 0)", ExprType::kLogical);
      case ExprType::kBlob:
        return Make("(coalesce(length(" + e.sql + "), 0) = 0)", ExprType::kLogical);
      default:
        return Make("(coalesce(" + e.sql + ", '') = '')", ExprType::kLogical);
    }
  }

  const ExprContext& context_;
  const bool server_;  // writing the server's SQL
};

// The functions of the expression language, with their argument counts.
const Translator::Function Translator::kFunctions[] = {
    // strings
    {"UPPER", 1, 1, &Translator::UpperLower},
    {"LOWER", 1, 1, &Translator::UpperLower},
    {"TRIM", 1, 1, &Translator::TrimCall},
    {"RTRIM", 1, 1, &Translator::TrimCall},
    {"LTRIM", 1, 1, &Translator::TrimCall},
    {"ALLTRIM", 1, 1, &Translator::TrimCall},
    {"SUBSTR", 2, 3, &Translator::Substr},
    {"SUBSTRING", 2, 3, &Translator::Substr},
    {"LEFT", 2, 2, &Translator::LeftRight},
    {"RIGHT", 2, 2, &Translator::LeftRight},
    {"LEN", 1, 1, &Translator::Length},
    {"LENGTH", 1, 1, &Translator::Length},
    {"AT", 2, 2, &Translator::At},
    {"SPACE", 1, 1, &Translator::Space},
    {"REPLICATE", 2, 2, &Translator::Replicate},
    {"PADL", 2, 2, &Translator::Pad},
    {"PADR", 2, 2, &Translator::Pad},
    {"PADC", 2, 2, &Translator::Pad},
    {"STR", 1, 3, &Translator::StrCall},
    {"VAL", 1, 1, &Translator::Val},
    {"CHR", 1, 1, &Translator::Chr},
    {"ASC", 1, 1, &Translator::Asc},
    {"CONTAINS", 2, 2, &Translator::Contains},
    // dates and times
    {"CTOD", 1, 1, &Translator::Ctod},
    {"STOD", 1, 1, &Translator::Ctod},
    {"CTOT", 1, 1, &Translator::Ctot},
    {"CTOTS", 1, 1, &Translator::Ctots},
    {"DTOS", 1, 1, &Translator::DateText},
    {"DTOC", 1, 1, &Translator::DateText},
    {"DATE", 0, 0, &Translator::Today},
    {"TODAY", 0, 0, &Translator::Today},
    {"NOW", 0, 0, &Translator::Now},
    {"YEAR", 1, 1, &Translator::DatePart},
    {"MONTH", 1, 1, &Translator::DatePart},
    {"DAY", 1, 1, &Translator::DatePart},
    {"DOW", 1, 1, &Translator::DatePart},
    // numbers
    {"ABS", 1, 1, &Translator::Abs},
    {"INT", 1, 1, &Translator::Int},
    {"SQRT", 1, 1, &Translator::Sqrt},
    {"ROUND", 2, 2, &Translator::Round},
    {"MOD", 2, 2, &Translator::Mod},
    {"MAX", 2, 2, &Translator::MaxMin},
    {"MIN", 2, 2, &Translator::MaxMin},
    // logic and records
    {"EMPTY", 1, 1, &Translator::EmptyCall},
    {"ISNULL", 1, 1, &Translator::IsNullCall},
    {"IIF", 3, 3, &Translator::Iif},
    {"IF", 3, 3, &Translator::Iif},
    {"RECNO", 0, 0, &Translator::Recno},
    {"DELETED", 0, 0, &Translator::Deleted},
};

SqlExpr Translator::Call(const ExprNode& node) {
  for (const Function& function : kFunctions) {
    if (node.text != function.name) continue;
    Arity(node, function.least, function.most);
    return (this->*function.translate)(node);
  }
  Refuse(node, "unknown function " + node.text);
}

}  // namespace

ExprType FieldExprType(uint16_t field_type) {
  switch (field_type) {
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_MEMO:
    case NDS_VARCHAR:
      return ExprType::kString;
    case NDS_DATE:
    case NDS_COMPACTDATE:
      return ExprType::kDate;
    case NDS_TIME:
      return ExprType::kTime;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return ExprType::kTimestamp;
    case NDS_LOGICAL:
      return ExprType::kLogical;
    case NDS_RAW:
    case NDS_BINARY:
    case NDS_IMAGE:
      return ExprType::kBlob;
    default:
      return ExprType::kNumber;
  }
}

char KeyTypeLetter(ExprType type) {
  switch (type) {
    case ExprType::kString:
      return 'S';
    case ExprType::kNumber:
      return 'N';
    case ExprType::kDate:
      return 'D';
    case ExprType::kTime:
      return 'T';
    case ExprType::kTimestamp:
      return 'Z';
    case ExprType::kLogical:
      return 'L';
    case ExprType::kBlob:
      return 'B';
  }
  return 'S';
}

SqlExpr TranslateExpression(const ExprNode& node, const ExprContext& context) {
  return Translator(context).Translate(node);
}

std::string TranslateCondition(const ExprNode& node, const ExprContext& context) {
  SqlExpr e = TranslateExpression(node, context);
  if (e.type != ExprType::kLogical)
    Refuse(node, std::string("a logical expression is expected, not a ") + TypeName(e.type));
  return e.sql;
}

}  // namespace nce
