// Recursive-descent parser of the expression language (see expr_tree.h).
// Precedence, lowest first: .OR., .AND., .NOT., comparisons, + -, * / %,
// unary minus, ^ **.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_tree.h"

namespace nce {
namespace {

// Nesting beyond this is refused rather than risking the stack.
constexpr int kMaxDepth = 200;

struct Token {
  enum class Type { kEnd, kNumber, kString, kName, kOperator, kDotWord, kOpen, kClose, kComma };
  Type type = Type::kEnd;
  std::string text;  // name, operator, string contents or upper-cased dot word
  double number = 0;
  size_t position = 0;  // 1-based
};

[[noreturn]] void Refuse(size_t position, const std::string& what) {
  throw EngineError(NDS_E_BAD_EXPRESSION,
                    "Error in expression at position " + std::to_string(position) + ": " + what);
}

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) {
  return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c));
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    Token t;
    t.position = pos_ + 1;
    if (pos_ >= text_.size()) return t;
    char c = text_[pos_];
    if (c == '\'' || c == '"' || c == '[') return String(t, c == '[' ? ']' : c);
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < text_.size() &&
         std::isdigit(static_cast<unsigned char>(text_[pos_ + 1]))))
      return Number(t);
    if (c == '.') return DotWord(t);
    if (IsNameStart(c)) {
      size_t end = pos_;
      while (end < text_.size() && IsNameChar(text_[end])) ++end;
      t.type = Token::Type::kName;
      t.text = std::string(text_.substr(pos_, end - pos_));
      pos_ = end;
      return t;
    }
    ++pos_;
    switch (c) {
      case '(':
        t.type = Token::Type::kOpen;
        return t;
      case ')':
        t.type = Token::Type::kClose;
        return t;
      case ',':
        t.type = Token::Type::kComma;
        return t;
      default:
        break;
    }
    t.type = Token::Type::kOperator;
    t.text = std::string(1, c);
    char n = pos_ < text_.size() ? text_[pos_] : '\0';
    std::string two = t.text + n;
    if (two == "==" || two == "<>" || two == "!=" || two == "<=" || two == ">=" || two == "**" ||
        two == "||" || two == "->") {
      t.text = two;
      ++pos_;
      return t;
    }
    if (std::string_view("+-*/%^=<>#$!").find(c) == std::string_view::npos)
      Refuse(t.position, std::string("unexpected character '") + c + "'");
    return t;
  }

 private:
  Token String(Token& t, char close) {
    size_t end = text_.find(close, pos_ + 1);
    if (end == std::string_view::npos) Refuse(t.position, "the string is not closed");
    t.type = Token::Type::kString;
    t.text = std::string(text_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    return t;
  }

  Token Number(Token& t) {
    size_t end = pos_;
    bool dot = false;
    while (end < text_.size() &&
           (std::isdigit(static_cast<unsigned char>(text_[end])) || (text_[end] == '.' && !dot))) {
      // "1.AND." : the dot belongs to the operator, not the number.
      if (text_[end] == '.' &&
          (end + 1 >= text_.size() || !std::isdigit(static_cast<unsigned char>(text_[end + 1]))))
        break;
      dot = dot || text_[end] == '.';
      ++end;
    }
    if (end < text_.size() && (text_[end] == 'e' || text_[end] == 'E')) {
      size_t exp = end + 1;
      if (exp < text_.size() && (text_[exp] == '+' || text_[exp] == '-')) ++exp;
      if (exp < text_.size() && std::isdigit(static_cast<unsigned char>(text_[exp]))) {
        end = exp;
        while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end]))) ++end;
      }
    }
    std::string digits(text_.substr(pos_, end - pos_));
    t.type = Token::Type::kNumber;
    t.number = std::strtod(digits.c_str(), nullptr);
    pos_ = end;
    return t;
  }

  // .T. .F. .TRUE. .FALSE. .AND. .OR. .NOT.
  Token DotWord(Token& t) {
    size_t end = pos_ + 1;
    while (end < text_.size() && std::isalpha(static_cast<unsigned char>(text_[end]))) ++end;
    if (end >= text_.size() || text_[end] != '.')
      Refuse(t.position, "a '.' must start .AND., .OR., .NOT., .T. or .F.");
    std::string word = UpperAscii(text_.substr(pos_ + 1, end - pos_ - 1));
    if (word != "T" && word != "F" && word != "TRUE" && word != "FALSE" && word != "AND" &&
        word != "OR" && word != "NOT" && word != "Y" && word != "N")
      Refuse(t.position, "unknown word ." + word + ".");
    t.type = Token::Type::kDotWord;
    t.text = word;
    pos_ = end + 1;
    return t;
  }

  std::string_view text_;
  size_t pos_ = 0;  // next unread character
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) { Advance(); }

  ExprPtr ParseAll() {
    if (token_.type == Token::Type::kEnd) Refuse(token_.position, "the expression is empty");
    ExprPtr e = Or();
    if (token_.type != Token::Type::kEnd) Refuse(token_.position, "unexpected " + Describe(token_));
    return e;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }

  static std::string Describe(const Token& t) {
    switch (t.type) {
      case Token::Type::kEnd:
        return "end of the expression";
      case Token::Type::kNumber:
        return "number";
      case Token::Type::kString:
        return "string";
      case Token::Type::kName:
        return "name '" + t.text + "'";
      case Token::Type::kOperator:
        return "operator '" + t.text + "'";
      case Token::Type::kDotWord:
        return "." + t.text + ".";
      case Token::Type::kOpen:
        return "'('";
      case Token::Type::kClose:
        return "')'";
      case Token::Type::kComma:
        return "','";
    }
    return "token";
  }

  bool IsWord(const char* word) const {
    if (token_.type == Token::Type::kDotWord) return token_.text == word;
    return token_.type == Token::Type::kName && EqualsNoCase(token_.text, word);
  }

  struct DepthGuard {
    DepthGuard(int& depth, size_t position) : depth_(depth) {
      if (++depth_ > kMaxDepth) Refuse(position, "the expression is nested too deeply");
    }
    ~DepthGuard() { --depth_; }
    int& depth_;
  };

  static ExprPtr Make(ExprNode::Kind kind, std::string text, size_t position) {
    auto node = std::make_unique<ExprNode>();
    node->kind = kind;
    node->text = std::move(text);
    node->position = position;
    return node;
  }

  // Levels a chain of `operands` operands of `op` puts above its highest
  // operand (see ExprNode::height).
  static size_t ChainLevels(const std::string& op, size_t operands) {
    if (op != "AND" && op != "OR") return operands - 1;
    size_t levels = 0;
    while ((size_t{1} << levels) < operands) ++levels;
    return levels;
  }

  // A tree higher than the walks over it may go is refused here, before
  // anything recurses over it.
  static ExprPtr Checked(ExprPtr node, size_t position) {
    if (node->height > kMaxExpressionHeight) Refuse(position, "the expression is too long");
    return node;
  }

  // A node over `node`'s arguments: one level above the highest.
  static ExprPtr Above(ExprPtr node) {
    size_t highest = 0;
    for (const ExprPtr& arg : node->args) highest = std::max(highest, arg->height);
    node->height = highest + 1;
    size_t position = node->position;
    return Checked(std::move(node), position);
  }

  // left op right. A left operand that is a chain of the same operator takes
  // `right` as its next operand, so that a chain of any length is one node.
  static ExprPtr Binary(std::string op, size_t position, ExprPtr left, ExprPtr right) {
    ExprPtr node;
    size_t highest = 0;  // the highest operand's height
    if (left->kind == ExprNode::Kind::kBinary && left->text == op) {
      node = std::move(left);
      highest = node->height - ChainLevels(op, node->args.size());
    } else {
      highest = left->height;
      node = Make(ExprNode::Kind::kBinary, std::move(op), position);
      node->args.push_back(std::move(left));
    }
    highest = std::max(highest, right->height);
    node->args.push_back(std::move(right));
    node->height = highest + ChainLevels(node->text, node->args.size());
    return Checked(std::move(node), position);
  }

  ExprPtr Or() {
    DepthGuard guard(depth_, token_.position);
    ExprPtr left = And();
    while (IsWord("OR")) {
      size_t at = token_.position;
      Advance();
      left = Binary("OR", at, std::move(left), And());
    }
    return left;
  }

  ExprPtr And() {
    ExprPtr left = Not();
    while (IsWord("AND")) {
      size_t at = token_.position;
      Advance();
      left = Binary("AND", at, std::move(left), Not());
    }
    return left;
  }

  ExprPtr Not() {
    if (IsWord("NOT") || (token_.type == Token::Type::kOperator && token_.text == "!")) {
      DepthGuard guard(depth_, token_.position);
      size_t at = token_.position;
      Advance();
      ExprPtr node = Make(ExprNode::Kind::kUnary, "NOT", at);
      node->args.push_back(Not());
      return Above(std::move(node));
    }
    return Comparison();
  }

  ExprPtr Comparison() {
    ExprPtr left = Additive();
    while (token_.type == Token::Type::kOperator) {
      std::string op = token_.text;
      if (op == "!=" || op == "#") op = "<>";
      if (op != "=" && op != "==" && op != "<>" && op != "<" && op != "<=" && op != ">" &&
          op != ">=" && op != "$")
        break;
      size_t at = token_.position;
      Advance();
      left = Binary(op, at, std::move(left), Additive());
    }
    return left;
  }

  ExprPtr Additive() {
    ExprPtr left = Multiplicative();
    while (token_.type == Token::Type::kOperator &&
           (token_.text == "+" || token_.text == "-" || token_.text == "||")) {
      std::string op = token_.text == "||" ? "+" : token_.text;
      size_t at = token_.position;
      Advance();
      left = Binary(op, at, std::move(left), Multiplicative());
    }
    return left;
  }

  ExprPtr Multiplicative() {
    ExprPtr left = Unary();
    while (token_.type == Token::Type::kOperator &&
           (token_.text == "*" || token_.text == "/" || token_.text == "%")) {
      std::string op = token_.text;
      size_t at = token_.position;
      Advance();
      left = Binary(op, at, std::move(left), Unary());
    }
    return left;
  }

  ExprPtr Unary() {
    if (token_.type == Token::Type::kOperator && (token_.text == "-" || token_.text == "+")) {
      DepthGuard guard(depth_, token_.position);
      std::string op = token_.text;
      size_t at = token_.position;
      Advance();
      ExprPtr operand = Unary();
      if (op == "+") return operand;
      ExprPtr node = Make(ExprNode::Kind::kUnary, "-", at);
      node->args.push_back(std::move(operand));
      return Above(std::move(node));
    }
    return Power();
  }

  ExprPtr Power() {
    ExprPtr base = Primary();
    if (token_.type == Token::Type::kOperator && (token_.text == "^" || token_.text == "**")) {
      size_t at = token_.position;
      Advance();
      DepthGuard guard(depth_, at);
      return Binary("^", at, std::move(base), Unary());
    }
    return base;
  }

  ExprPtr Primary() {
    DepthGuard guard(depth_, token_.position);
    Token t = token_;
    switch (t.type) {
      case Token::Type::kNumber: {
        Advance();
        ExprPtr node = Make(ExprNode::Kind::kNumber, "", t.position);
        node->number = t.number;
        return node;
      }
      case Token::Type::kString:
        Advance();
        return Make(ExprNode::Kind::kString, t.text, t.position);
      case Token::Type::kDotWord: {
        if (t.text == "AND" || t.text == "OR" || t.text == "NOT")
          Refuse(t.position, "a value is missing before ." + t.text + ".");
        Advance();
        ExprPtr node = Make(ExprNode::Kind::kLogical, "", t.position);
        node->logical = t.text == "T" || t.text == "TRUE" || t.text == "Y";
        return node;
      }
      case Token::Type::kOpen: {
        Advance();
        ExprPtr inner = Or();
        Expect(Token::Type::kClose, "')'");
        return inner;
      }
      case Token::Type::kName:
        return NameOrCall();
      default:
        Refuse(t.position, "a value is expected, not " + Describe(t));
    }
  }

  ExprPtr NameOrCall() {
    Token name = token_;
    Advance();
    if (token_.type == Token::Type::kOperator && token_.text == "->") {
      // alias->field: the alias names the table the expression belongs to.
      Advance();
      if (token_.type != Token::Type::kName)
        Refuse(token_.position, "a field name must follow '->'");
      name = token_;
      Advance();
      return Make(ExprNode::Kind::kField, name.text, name.position);
    }
    if (token_.type != Token::Type::kOpen) {
      if (EqualsNoCase(name.text, "TRUE") || EqualsNoCase(name.text, "FALSE")) {
        ExprPtr node = Make(ExprNode::Kind::kLogical, "", name.position);
        node->logical = EqualsNoCase(name.text, "TRUE");
        return node;
      }
      return Make(ExprNode::Kind::kField, name.text, name.position);
    }
    Advance();
    ExprPtr call = Make(ExprNode::Kind::kCall, UpperAscii(name.text), name.position);
    if (token_.type != Token::Type::kClose) {
      for (;;) {
        call->args.push_back(Or());
        if (token_.type != Token::Type::kComma) break;
        Advance();
      }
    }
    Expect(Token::Type::kClose, "')' or ',' in the call of " + call->text);
    return Above(std::move(call));
  }

  void Expect(Token::Type type, const std::string& what) {
    if (token_.type != type) Refuse(token_.position, what + " expected, found " + Describe(token_));
    Advance();
  }

  Lexer lexer_;
  Token token_;    // current token
  int depth_ = 0;  // nesting of the descent
};

}  // namespace

ExprPtr ParseExpression(std::string_view text) {
  return Parser(text).ParseAll();
}

std::vector<std::string> SplitKeySegments(std::string_view text) {
  std::vector<std::string> segments;
  int depth = 0;
  char quote = 0;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    char c = i < text.size() ? text[i] : ';';
    if (quote) {
      if (c == quote && i < text.size()) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"')
      quote = c;
    else if (c == '[')
      quote = ']';
    else if (c == '(')
      ++depth;
    else if (c == ')')
      --depth;
    else if (c == ';' && depth <= 0) {
      std::string_view part = text.substr(start, i - start);
      while (!part.empty() && std::isspace(static_cast<unsigned char>(part.front())))
        part.remove_prefix(1);
      while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back())))
        part.remove_suffix(1);
      segments.emplace_back(part);
      start = i + 1;
    }
  }
  return segments;
}

std::string RenameField(std::string_view text, std::string_view from, std::string_view to) {
  // The start of each segment, split as SplitKeySegments splits them.
  std::vector<size_t> starts = {0};
  int depth = 0;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ';' && depth <= 0) {
      starts.push_back(i + 1);
    }
  }
  std::vector<size_t> at;  // where a field named `from` starts, in order
  for (size_t s = 0; s < starts.size(); ++s) {
    size_t end = s + 1 < starts.size() ? starts[s + 1] - 1 : text.size();
    Lexer lexer(text.substr(starts[s], end - starts[s]));
    Token token = lexer.Next();
    while (token.type != Token::Type::kEnd) {
      Token next = lexer.Next();
      // A name is a field unless a call's '(' or an alias's '->' follows it.
      bool field = token.type == Token::Type::kName && next.type != Token::Type::kOpen &&
                   !(next.type == Token::Type::kOperator && next.text == "->");
      if (field && EqualsNoCase(token.text, from)) at.push_back(starts[s] + token.position - 1);
      token = std::move(next);
    }
  }
  std::string renamed(text);
  for (size_t k = at.size(); k-- > 0;) renamed.replace(at[k], from.size(), to);
  return renamed;
}

std::string CanonicalText(const ExprNode& node) {
  switch (node.kind) {
    case ExprNode::Kind::kNumber: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.17g", node.number);
      return buffer;
    }
    case ExprNode::Kind::kString:
      return "\"" + node.text + "\"";
    case ExprNode::Kind::kLogical:
      return node.logical ? ".T." : ".F.";
    case ExprNode::Kind::kField:
      return UpperAscii(node.text);
    case ExprNode::Kind::kUnary:
      return node.text + "(" + CanonicalText(*node.args[0]) + ")";
    case ExprNode::Kind::kBinary: {
      // As the chain of two-operand nodes it stands for: "((a+b)+c)".
      std::string text(node.args.size() - 1, '(');
      text += CanonicalText(*node.args[0]);
      for (size_t i = 1; i < node.args.size(); ++i)
        text += node.text + CanonicalText(*node.args[i]) + ")";
      return text;
    }
    case ExprNode::Kind::kCall: {
      std::string text = node.text + "(";
      for (size_t i = 0; i < node.args.size(); ++i)
        text += (i ? "," : "") + CanonicalText(*node.args[i]);
      return text + ")";
    }
  }
  return {};
}

}  // namespace nce
