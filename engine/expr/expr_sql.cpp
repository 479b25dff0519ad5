#include "engine/expr/expr_sql.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_translator.h"
#include "nce/nce.h"

namespace nce {
namespace expr_translation {

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

SqlExpr Make(std::string sql, ExprType type, uint32_t length, bool fixed) {
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

std::string PadSql(const std::string& sql, uint32_t width, bool left, bool server) {
  std::string w = std::to_string(width);
  if (server) return std::string(left ? "nce_padl(" : "nce_padr(") + sql + ", " + w + ")";
  return std::string("printf('%") + (left ? "" : "-") + w + "s', " + sql + ")";
}

std::string PaddedIn(const SqlExpr& e, bool server) {
  if (e.literal) return e.sql;
  if (e.fixed_length && e.length > 0) return PadSql(e.sql, e.length, false, server);
  return "coalesce(" + e.sql + ", '')";
}

std::string ServerAsciiCase(const std::string& sql, bool upper) {
  static const char* const kLower = "'abcdefghijklmnopqrstuvwxyz'";
  static const char* const kUpper = "'ABCDEFGHIJKLMNOPQRSTUVWXYZ'";
  return "translate(" + sql + ", " + (upper ? kLower : kUpper) + ", " + (upper ? kUpper : kLower) +
         ")";
}

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

SqlExpr Translator::Translate(const ExprNode& node) {
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

SqlExpr Translator::Logical(bool value) const {
  // A server boolean typed as one: a bare TRUE or FALSE reaches the server
  // as an untyped '1' or '0' (postgres_params.h), which coalesce() of two
  // of them would take for text.
  return Make(server_ ? (value ? "'t'::boolean" : "'f'::boolean") : (value ? "1" : "0"),
              ExprType::kLogical);
}

std::string Translator::Name(const std::string& name) const {
  return QuoteIdentifier(server_ || context_.lower_case_names ? LowerAscii(name) : name);
}

SqlExpr Translator::Field(const ExprNode& node) {
  if (context_.fields) {
    for (const FieldDesc& f : *context_.fields) {
      if (!EqualsNoCase(f.name, node.text)) continue;
      ExprType type = FieldExprType(f.shape.type);
      std::string column =
          context_.qualifier.empty() ? Name(f.name) : Name(context_.qualifier) + "." + Name(f.name);
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

SqlExpr Translator::Expect(const ExprNode& node, ExprType type) {
  SqlExpr e = Translate(node);
  if (e.type != type)
    Refuse(node,
           std::string("a ") + TypeName(type) + " is expected here, not a " + TypeName(e.type));
  return e;
}

SqlExpr Translator::Unary(const ExprNode& node) {
  if (node.text == "NOT")
    return Make("(NOT " + Expect(*node.args[0], ExprType::kLogical).sql + ")", ExprType::kLogical);
  SqlExpr operand = Expect(*node.args[0], ExprType::kNumber);
  SqlExpr e = Make("(-" + operand.sql + ")", ExprType::kNumber);
  if (operand.number) e.number = -*operand.number;
  return e;
}

SqlExpr Translator::Binary(const ExprNode& node) {
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

std::optional<SqlExpr> Translator::FlatChain(const ExprNode& node,
                                             const std::vector<SqlExpr>& operands) {
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

}  // namespace expr_translation

using expr_translation::Refuse;
using expr_translation::Translator;
using expr_translation::TypeName;

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
