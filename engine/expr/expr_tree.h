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
  // Operands or call arguments. A kBinary node holds two or more operands
  // joined by its one operator from left to right: "a - b - c" is one node
  // meaning (a - b) - c, and a long .OR. chain is one node, not a tree as
  // deep as the chain is long.
  std::vector<std::unique_ptr<ExprNode>> args;
  // Levels of nesting the node's SQL translation has at most, counting an
  // .AND./.OR. chain of n operands as log2(n) levels (it translates as a
  // balanced tree) and any other chain as n - 1 (it translates left to
  // right); the parser refuses a tree higher than kMaxExpressionHeight.
  size_t height = 1;
};

// The highest tree the parser accepts: every walk over a tree recurses once
// per level, and SQLite refuses SQL nested more than 1000 levels deep (one
// level of the tree becomes up to four levels of SQL).
inline constexpr size_t kMaxExpressionHeight = 240;

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
