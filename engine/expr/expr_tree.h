// The expression language of the engine: the one form in which index keys,
// index conditions, filters, optimized filters, scopes and evaluations are
// written. A text is parsed once into a tree of ExprNode; expr_sql turns the
// tree into SQL over a table's columns.
//
// The language: field names (optionally "alias->field"), numbers, strings in
// '...', "..." or [...], .T./.F., the operators + - * / % ^ ** = == <> != #
// < <= > >= $ (contained in), .AND. .OR. .NOT. (also AND OR NOT !), and
// function calls such as UPPER(NAME) or CTOD("03/05/2024").
#ifndef ENGINE_EXPR_EXPR_TREE_H
#define ENGINE_EXPR_EXPR_TREE_H

#include <memory>
#include <string>
#include <vector>

namespace nce {

struct ExprNode {
  enum class Kind { kNumber, kString, kLogical, kField, kUnary, kBinary, kCall };

  Kind kind = Kind::kNumber;
  std::string text;      // field name, function name (upper-cased), operator, or string value
  double number = 0;     // kNumber
  bool logical = false;  // kLogical
  size_t position = 0;   // 1-based character position in the expression, for errors
  std::vector<std::unique_ptr<ExprNode>> args;  // operands or call arguments
};

using ExprPtr = std::unique_ptr<ExprNode>;

// Parses `text`; throws EngineError NDS_E_BAD_EXPRESSION naming the position
// and what was expected there.
ExprPtr ParseExpression(std::string_view text);

// Splits an order's key text at ';' outside quotes and parentheses: the
// segments of a multi-field key. A key without ';' is one segment.
std::vector<std::string> SplitKeySegments(std::string_view text);

// `text` (an expression, or a key of ';'-separated segments) with every
// field named `from` (in any letter case) named `to` instead, and nothing
// else changed; throws as ParseExpression for text it cannot read.
std::string RenameField(std::string_view text, std::string_view from, std::string_view to);

// A canonical text of a tree (upper-cased names, no blanks), so that two
// spellings of one expression compare equal.
std::string CanonicalText(const ExprNode& node);

}  // namespace nce

#endif  // ENGINE_EXPR_EXPR_TREE_H
