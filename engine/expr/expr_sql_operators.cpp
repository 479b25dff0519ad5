// Chains of .AND. and .OR., arithmetic and comparisons (expr_translator.h).
#include <optional>
#include <utility>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_translator.h"
#include "engine/expr/expr_values.h"
#include "nce/nce.h"

namespace nce::expr_translation {

SqlExpr Translator::LogicalChain(const ExprNode& node) {
  std::vector<Span> spans;
  for (size_t i = 0; i < node.args.size();) {
    size_t end = ConstantRunEnd(node, i);
    spans.emplace_back(i, end);
    i = end;
  }
  if (spans.size() > kMaxChainTerms) Refuse(node, "the expression is too long");
  return Balanced(node, spans, 0, spans.size());
}

SqlExpr Translator::Balanced(const ExprNode& node, const std::vector<Span>& spans, size_t begin,
                             size_t end) {
  if (end - begin == 1) return Term(node, spans[begin]);
  size_t middle = begin + (end - begin) / 2;
  SqlExpr a = Balanced(node, spans, begin, middle);
  SqlExpr b = Balanced(node, spans, middle, end);
  return Make("(" + a.sql + " " + node.text + " " + b.sql + ")", ExprType::kLogical);
}

std::optional<double> Translator::ConstantNumber(const ExprNode& node) {
  if (node.kind == ExprNode::Kind::kNumber) return node.number;
  if (node.kind == ExprNode::Kind::kUnary && node.text == "-" &&
      node.args[0]->kind == ExprNode::Kind::kNumber)
    return -node.args[0]->number;
  return std::nullopt;
}

bool Translator::ComparesWithConstant(const ExprNode& operand, const std::string& chain) {
  if (operand.kind != ExprNode::Kind::kBinary || operand.args.size() != 2) return false;
  bool fits = chain == "OR" ? operand.text == "=" || operand.text == "==" : operand.text == "<>";
  return fits && ConstantNumber(*operand.args[1]);
}

size_t Translator::ConstantRunEnd(const ExprNode& node, size_t first) {
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

SqlExpr Translator::Term(const ExprNode& node, const Span& span) {
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

SqlExpr Translator::Apply(const ExprNode& node, SqlExpr a, SqlExpr b) {
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

void Translator::RequireBoth(const ExprNode& node, const SqlExpr& a, const SqlExpr& b,
                             ExprType type) {
  if (a.type != type || b.type != type)
    Refuse(node, std::string("operator ") + node.text + " needs two values of type " +
                     TypeName(type) + ", not " + TypeName(a.type) + " and " + TypeName(b.type));
}

SqlExpr Translator::Plus(const ExprNode& node, const SqlExpr& a, const SqlExpr& b) {
  if (a.type == ExprType::kNumber && b.type == ExprType::kNumber)
    return Make("(" + a.sql + " + " + b.sql + ")", ExprType::kNumber);
  if (a.type == ExprType::kString && b.type == ExprType::kString) {
    if (a.literal && b.literal) return StringLiteral(*a.literal + *b.literal);
    return Make("(" + Padded(a) + " || " + Padded(b) + ")", ExprType::kString, a.length + b.length,
                a.fixed_length && b.fixed_length);
  }
  if (a.type == ExprType::kDate && b.type == ExprType::kNumber) return DatePlus(a.sql, b.sql);
  if (a.type == ExprType::kNumber && b.type == ExprType::kDate) return DatePlus(b.sql, a.sql);
  Refuse(node, std::string("cannot add a ") + TypeName(b.type) + " to a " + TypeName(a.type));
}

SqlExpr Translator::DatePlus(const std::string& date, const std::string& days) const {
  if (server_)
    return Make(ServerText("(" + ServerDate(date) + " + CAST(floor(" + days + ") AS integer))"),
                ExprType::kDate);
  return Make("date(" + date + ", (" + days + ") || ' days')", ExprType::kDate);
}

SqlExpr Translator::Minus(const ExprNode& node, const SqlExpr& a, const SqlExpr& b) {
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

void Translator::CoerceLiteral(const ExprNode& node, SqlExpr& literal, ExprType type) {
  if (!literal.literal || type == ExprType::kString) return;
  std::optional<std::string> stored;
  if (type == ExprType::kDate) stored = StoredDate(*literal.literal);
  if (type == ExprType::kTime) stored = StoredTime(*literal.literal);
  if (type == ExprType::kTimestamp) stored = StoredTimestamp(*literal.literal);
  if (!stored) Refuse(node, "\"" + *literal.literal + "\" is not a " + TypeName(type));
  literal = Make(stored->empty() ? "NULL" : QuoteLiteral(*stored), type);
}

SqlExpr Translator::Compare(const ExprNode& node, SqlExpr a, SqlExpr b) {
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
    return Make("(coalesce(" + a.sql + ", '')" + Bytewise() + " " + sql_op + " coalesce(" + b.sql +
                    ", ''))",
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

std::string Translator::Instr(const std::string& haystack, const std::string& needle) const {
  return std::string(server_ ? "strpos(" : "instr(") + haystack + ", " + needle + ")";
}

std::string Translator::Upper(const std::string& sql) const {
  return server_ ? ServerAsciiCase(sql, true) : "upper(" + sql + ")";
}

SqlExpr Translator::CompareStrings(const std::string& op, const SqlExpr& a, const SqlExpr& b) {
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

size_t Translator::StringLength(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace nce::expr_translation
