// The functions of the expression language (expr_translator.h): strings,
// dates and times, numbers, logic and records, and the table that names
// them with their argument counts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/base/dates.h"
#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_translator.h"
#include "engine/expr/expr_values.h"
#include "nce/nce.h"

namespace nce::expr_translation {

void Translator::Arity(const ExprNode& node, size_t least, size_t most) {
  size_t n = node.args.size();
  if (n < least || n > most) {
    std::string wanted = least == most ? std::to_string(least)
                                       : std::to_string(least) + " to " + std::to_string(most);
    Refuse(node, node.text + " takes " + wanted + " argument(s), not " + std::to_string(n));
  }
}

int Translator::ConstantInt(const ExprNode& call, size_t index) {
  SqlExpr e = Expect(*call.args[index], ExprType::kNumber);
  if (!e.number || *e.number < 0 || *e.number > 65535)
    Refuse(*call.args[index], "a whole number from 0 to 65535 is expected as argument " +
                                  std::to_string(index + 1) + " of " + call.text);
  return static_cast<int>(*e.number);
}

SqlExpr Translator::Str(const ExprNode& node, ExprType type_of_first) {
  return Expect(*node.args[0], type_of_first);
}

SqlExpr Translator::UpperLower(const ExprNode& node) {
  SqlExpr s = Str(node);
  bool upper = node.text == "UPPER";
  std::string sql = server_ ? ServerAsciiCase(s.sql, upper)
                    : upper ? "upper(" + s.sql + ")"
                            : "lower(" + s.sql + ")";
  return Make(sql, ExprType::kString, s.length, s.fixed_length);
}

SqlExpr Translator::TrimCall(const ExprNode& node) {
  const std::string& f = node.text;
  SqlExpr s = Str(node);
  const char* fn = f == "LTRIM" ? "ltrim(" : f == "ALLTRIM" ? "trim(" : "rtrim(";
  return Make(fn + Padded(s) + ")", ExprType::kString, s.length, false);
}

SqlExpr Translator::Substr(const ExprNode& node) {
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

SqlExpr Translator::LeftRight(const ExprNode& node) {
  SqlExpr s = Str(node);
  int count = ConstantInt(node, 1);
  std::string n = std::to_string(count);
  std::string sql = node.text == "LEFT" ? "substr(" + Padded(s) + ", 1, " + n + ")"
                    : server_           ? "right(" + Padded(s) + ", " + n + ")"
                                        : "substr(" + Padded(s) + ", -" + n + ")";
  if (count == 0) sql = "''";
  return Make(sql, ExprType::kString, static_cast<uint32_t>(count), s.fixed_length);
}

SqlExpr Translator::Length(const ExprNode& node) {
  return Make("length(" + Padded(Str(node)) + ")", ExprType::kNumber);
}

SqlExpr Translator::At(const ExprNode& node) {
  SqlExpr needle = Str(node);
  SqlExpr hay = Expect(*node.args[1], ExprType::kString);
  return Make(Instr(Padded(hay), Trimmed(needle)), ExprType::kNumber);
}

SqlExpr Translator::Space(const ExprNode& node) {
  int n = ConstantInt(node, 0);
  return StringLiteral(std::string(static_cast<size_t>(n), ' '));
}

SqlExpr Translator::Replicate(const ExprNode& node) {
  SqlExpr s = Str(node);
  int n = ConstantInt(node, 1);
  if (!s.literal) Refuse(node, "REPLICATE needs a string constant");
  std::string out;
  for (int i = 0; i < n && out.size() < 65535; ++i) out += *s.literal;
  return StringLiteral(out);
}

SqlExpr Translator::Pad(const ExprNode& node) {
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

SqlExpr Translator::StrCall(const ExprNode& node) {
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

SqlExpr Translator::Val(const ExprNode& node) {
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

SqlExpr Translator::Chr(const ExprNode& node) {
  SqlExpr n = Expect(*node.args[0], ExprType::kNumber);
  // A server takes no byte beyond ASCII alone in a text: chr() gives it
  // the character of that number.
  int top = server_ ? 128 : 256;
  if (n.number && *n.number >= 0 && *n.number < top && *n.number == std::floor(*n.number))
    return StringLiteral(std::string(1, static_cast<char>(static_cast<int>(*n.number))));
  return Make(server_ ? "chr(CAST(" + n.sql + " AS integer))" : "char(" + n.sql + ")",
              ExprType::kString, 1, true);
}

SqlExpr Translator::Asc(const ExprNode& node) {
  return Make(
      std::string("coalesce(") + (server_ ? "ascii(" : "unicode(") + Str(node).sql + "), 0)",
      ExprType::kNumber);
}

SqlExpr Translator::Contains(const ExprNode& node) {
  SqlExpr text = Translate(*node.args[0]);
  if (text.type != ExprType::kString)
    Refuse(*node.args[0], "CONTAINS searches a string or memo field");
  SqlExpr pattern = Expect(*node.args[1], ExprType::kString);
  return Make("nce_contains(" + text.sql + ", " + pattern.sql + ")", ExprType::kLogical);
}

SqlExpr Translator::DateFromText(const ExprNode& node, ExprType type) {
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

SqlExpr Translator::DateArgument(const ExprNode& node) {
  SqlExpr d = Translate(*node.args[0]);
  if (d.type != ExprType::kDate && d.type != ExprType::kTimestamp)
    Refuse(*node.args[0], "a date is expected here, not a " + std::string(TypeName(d.type)));
  return d;
}

SqlExpr Translator::DateText(const ExprNode& node) {
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

SqlExpr Translator::Today(const ExprNode&) {
  if (server_) return Make(ServerText("CAST(localtimestamp AS date)"), ExprType::kDate);
  return Make("date('now', 'localtime')", ExprType::kDate);
}

SqlExpr Translator::Now(const ExprNode&) {
  if (server_) return Make(ServerText("localtimestamp"), ExprType::kTimestamp);
  return Make("strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')", ExprType::kTimestamp);
}

SqlExpr Translator::DatePart(const ExprNode& node) {
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

SqlExpr Translator::Round(const ExprNode& node) {
  SqlExpr n = Expect(*node.args[0], ExprType::kNumber);
  SqlExpr d = Expect(*node.args[1], ExprType::kNumber);
  // The server's nce_round rounds as SQLite's round(), which takes the
  // whole part of the decimals.
  if (server_)
    return Make("nce_round(" + n.sql + ", CAST(trunc(" + d.sql + ") AS integer))",
                ExprType::kNumber);
  return Make("round(" + n.sql + ", " + d.sql + ")", ExprType::kNumber);
}

SqlExpr Translator::Mod(const ExprNode& node) {
  SqlExpr a = Translate(*node.args[0]);
  SqlExpr b = Translate(*node.args[1]);
  RequireBoth(node, a, b, ExprType::kNumber);
  return Make("nce_mod(" + a.sql + ", " + b.sql + ")", ExprType::kNumber);
}

SqlExpr Translator::MaxMin(const ExprNode& node) {
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

SqlExpr Translator::Abs(const ExprNode& node) {
  return Make("abs(" + Expect(*node.args[0], ExprType::kNumber).sql + ")", ExprType::kNumber);
}

SqlExpr Translator::Sqrt(const ExprNode& node) {
  return Make("nce_pow(" + Expect(*node.args[0], ExprType::kNumber).sql + ", 0.5)",
              ExprType::kNumber);
}

SqlExpr Translator::Int(const ExprNode& node) {
  std::string n = Expect(*node.args[0], ExprType::kNumber).sql;
  // The server's cast to an integer rounds.
  // trunc(-0.5) is -0 on the server, which keys otherwise than SQLite's 0.
  return Make(server_ ? "(trunc(" + n + ") + 0)" : "CAST(" + n + " AS INTEGER)", ExprType::kNumber);
}

SqlExpr Translator::IsNullCall(const ExprNode& node) {
  return Make("(" + Translate(*node.args[0]).sql + " IS NULL)", ExprType::kLogical);
}

SqlExpr Translator::Iif(const ExprNode& node) {
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

SqlExpr Translator::Empty(const SqlExpr& e) const {
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

}  // namespace nce::expr_translation
