// Parses the text form of stored descriptions into a TDescObject tree.
#include <charconv>
#include <cmath>

#include "dataset/description_text.h"
#include "dataset/exceptions.h"
#include "dataset/text.h"

namespace dataset {

namespace {

// Deeper nesting than this is refused rather than risking the stack.
constexpr int kMaxDepth = 64;

enum TTokenKind { tkEnd, tkIdent, tkInteger, tkFloat, tkString, tkSymbol, tkBinary };

struct Token {
  TTokenKind kind = tkEnd;
  std::string text;  // identifier, string value, symbol, binary bytes
  int64_t integer = 0;
  double real = 0;
  int line = 1;
};

bool IsIdentStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Describe(const Token& t) {
  switch (t.kind) {
    case tkEnd:
      return "end of text";
    case tkIdent:
      return "'" + t.text + "'";
    case tkInteger:
    case tkFloat:
      return "number";
    case tkString:
      return "string";
    case tkSymbol:
      return "'" + t.text + "'";
    case tkBinary:
      return "binary data";
  }
  return "?";
}

class Lexer {
 public:
  explicit Lexer(const std::string& text) : s_(text) { Advance(); }

  const Token& Peek() const { return token_; }
  Token Take() {
    Token t = token_;
    Advance();
    return t;
  }
  int Line() const { return token_.line; }

  [[noreturn]] void Fail(int line, const std::string& message) const {
    throw EReadError("Line " + std::to_string(line) + ": " + message);
  }

 private:
  char At(size_t k) const { return k < s_.size() ? s_[k] : '\0'; }

  void SkipBlanks() {
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '\n') {
        ++line_;
      } else if (c == '\r') {
        if (At(pos_ + 1) != '\n') ++line_;
      } else if (!(c == ' ' || c == '\t' || c == '\f' || c == '\v')) {
        break;
      }
      ++pos_;
    }
  }

  void Advance() {
    SkipBlanks();
    token_ = Token();
    token_.line = line_;
    if (pos_ >= s_.size()) return;
    char c = s_[pos_];
    if (IsIdentStart(c)) return LexIdent();
    if (IsDigit(c) || c == '$' ||
        ((c == '-' || c == '+') && (IsDigit(At(pos_ + 1)) || At(pos_ + 1) == '$')))
      return LexNumber();
    if (c == '\'' || c == '#') return LexString();
    if (c == '{') return LexBinary();
    if (std::string("=:[](),<>+").find(c) != std::string::npos) {
      token_.kind = tkSymbol;
      token_.text = std::string(1, c);
      ++pos_;
      return;
    }
    Fail(line_, "Invalid character " + CharText(c));
  }

  static std::string CharText(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127) return std::string("'") + c + "'";
    return "#" + std::to_string(u);
  }

  // Identifiers, dotted ones included ("Form1.Button1", "SQL.Strings").
  void LexIdent() {
    size_t start = pos_;
    while (true) {
      while (IsIdentChar(At(pos_))) ++pos_;
      if (At(pos_) == '.' && IsIdentStart(At(pos_ + 1))) {
        ++pos_;
        continue;
      }
      break;
    }
    token_.kind = tkIdent;
    token_.text = s_.substr(start, pos_ - start);
  }

  void LexNumber() {
    size_t start = pos_;
    bool negative = false;
    if (s_[pos_] == '-' || s_[pos_] == '+') negative = s_[pos_++] == '-';
    if (At(pos_) == '$') {
      ++pos_;
      size_t digits = pos_;
      uint64_t v = 0;
      while (HexValue(At(pos_)) >= 0) {
        if (pos_ - digits >= 16) Fail(line_, "Integer out of range");
        v = v * 16 + static_cast<uint64_t>(HexValue(At(pos_++)));
      }
      if (pos_ == digits) Fail(line_, "Invalid number");
      token_.kind = tkInteger;
      token_.integer = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
      CheckNumberEnd();
      return;
    }
    while (IsDigit(At(pos_))) ++pos_;
    bool is_float = false;
    if (At(pos_) == '.' && IsDigit(At(pos_ + 1))) {
      is_float = true;
      ++pos_;
      while (IsDigit(At(pos_))) ++pos_;
    }
    if ((At(pos_) == 'e' || At(pos_) == 'E') &&
        (IsDigit(At(pos_ + 1)) ||
         ((At(pos_ + 1) == '-' || At(pos_ + 1) == '+') && IsDigit(At(pos_ + 2))))) {
      is_float = true;
      pos_ += 2;
      while (IsDigit(At(pos_))) ++pos_;
    }
    std::string text = s_.substr(start, pos_ - start);
    if (text[0] == '+') text.erase(0, 1);
    // Single, currency and date suffixes of floating-point values.
    if (At(pos_) == 's' || At(pos_) == 'c' || At(pos_) == 'd') {
      is_float = true;
      ++pos_;
    }
    if (is_float) {
      double v = 0;
      auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v))
        Fail(line_, "Invalid number " + text);
      token_.kind = tkFloat;
      token_.real = v;
    } else {
      int64_t v = 0;
      auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec != std::errc() || p != text.data() + text.size()) Fail(line_, "Integer out of range");
      token_.kind = tkInteger;
      token_.integer = v;
    }
    CheckNumberEnd();
  }

  void CheckNumberEnd() {
    if (IsIdentChar(At(pos_)) || At(pos_) == '.') Fail(line_, "Invalid number");
  }

  // 'quoted' parts and #code characters, adjacent or joined with "+".
  void LexString() {
    token_.kind = tkString;
    int start_line = line_;
    while (true) {
      LexStringParts();
      size_t save_pos = pos_;
      int save_line = line_;
      SkipBlanks();
      if (At(pos_) == '+') {
        ++pos_;
        SkipBlanks();
        if (At(pos_) == '\'' || At(pos_) == '#') continue;
        Fail(line_, "String expected after '+'");
      }
      pos_ = save_pos;
      line_ = save_line;
      break;
    }
    token_.line = start_line;
  }

  void LexStringParts() {
    while (true) {
      if (At(pos_) == '\'') {
        ++pos_;
        while (true) {
          if (pos_ >= s_.size() || s_[pos_] == '\n' || s_[pos_] == '\r')
            Fail(line_, "Unterminated string");
          if (s_[pos_] == '\'') {
            if (At(pos_ + 1) == '\'') {
              token_.text += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          token_.text += s_[pos_++];
        }
      } else if (At(pos_) == '#') {
        ++pos_;
        uint32_t code = 0;
        size_t digits = 0;
        if (At(pos_) == '$') {
          ++pos_;
          while (HexValue(At(pos_)) >= 0 && digits < 8)
            code = code * 16 + static_cast<uint32_t>(HexValue(At(pos_++))), ++digits;
        } else {
          while (IsDigit(At(pos_)) && digits < 8)
            code = code * 10 + static_cast<uint32_t>(At(pos_++) - '0'), ++digits;
        }
        if (digits == 0) Fail(line_, "Invalid character code");
        if (code > 255) Fail(line_, "Character code " + std::to_string(code) + " out of range");
        token_.text += static_cast<char>(code);
      } else {
        return;
      }
    }
  }

  void LexBinary() {
    ++pos_;  // '{'
    token_.kind = tkBinary;
    int high = -1;
    while (true) {
      SkipBlanks();
      if (pos_ >= s_.size()) Fail(line_, "Unterminated binary data");
      char c = s_[pos_++];
      if (c == '}') break;
      int v = HexValue(c);
      if (v < 0) Fail(line_, "Invalid binary data " + CharText(c));
      if (high < 0) {
        high = v;
      } else {
        token_.text += static_cast<char>(high * 16 + v);
        high = -1;
      }
    }
    if (high >= 0) Fail(line_, "Odd number of hex digits in binary data");
  }

  const std::string& s_;
  size_t pos_ = 0;
  int line_ = 1;
  Token token_;
};

class Parser {
 public:
  explicit Parser(const std::string& text) : lex_(text) {}

  TDescObject ParseFile() {
    TDescObject root = ParseObject(0);
    if (lex_.Peek().kind != tkEnd) Unexpected("end of text");
    return root;
  }

 private:
  static bool IsKeyword(const Token& t, const char* word) {
    return t.kind == tkIdent && SameText(t.text, word);
  }
  static bool StartsObject(const Token& t) {
    return IsKeyword(t, "object") || IsKeyword(t, "inherited") || IsKeyword(t, "inline");
  }

  [[noreturn]] void Unexpected(const std::string& expected) {
    const Token& t = lex_.Peek();
    lex_.Fail(t.line, "Expected " + expected + " but found " + Describe(t));
  }

  void ExpectSymbol(const char* symbol) {
    const Token& t = lex_.Peek();
    if (t.kind != tkSymbol || t.text != symbol) Unexpected(std::string("'") + symbol + "'");
    lex_.Take();
  }

  bool AtSymbol(const char* symbol) const {
    const Token& t = lex_.Peek();
    return t.kind == tkSymbol && t.text == symbol;
  }

  void CheckDepth(int depth) {
    if (depth > kMaxDepth) lex_.Fail(lex_.Line(), "Nesting too deep");
  }

  std::string ExpectPlainIdent(const char* what) {
    const Token& t = lex_.Peek();
    if (t.kind != tkIdent || t.text.find('.') != std::string::npos) Unexpected(what);
    return lex_.Take().text;
  }

  TDescObject ParseObject(int depth) {
    CheckDepth(depth);
    TDescObject obj;
    const Token& head = lex_.Peek();
    if (!StartsObject(head)) Unexpected("'object'");
    obj.line = head.line;
    obj.kind = IsKeyword(head, "object")      ? dkObject
               : IsKeyword(head, "inherited") ? dkInherited
                                              : dkInline;
    lex_.Take();
    std::string first = ExpectPlainIdent("a name or class name");
    if (AtSymbol(":")) {
      lex_.Take();
      obj.name = first;
      obj.class_name = ExpectPlainIdent("a class name");
    } else {
      obj.class_name = first;
    }
    if (AtSymbol("[")) {
      lex_.Take();
      if (lex_.Peek().kind != tkInteger) Unexpected("an index");
      int64_t index = lex_.Take().integer;
      if (index < 0 || index > INT32_MAX) lex_.Fail(lex_.Line(), "Invalid index");
      obj.index = static_cast<int>(index);
      ExpectSymbol("]");
    }
    while (lex_.Peek().kind == tkIdent && !StartsObject(lex_.Peek()) &&
           !IsKeyword(lex_.Peek(), "end"))
      obj.properties.push_back(ParseProperty(depth));
    while (StartsObject(lex_.Peek())) obj.children.push_back(ParseObject(depth + 1));
    if (!IsKeyword(lex_.Peek(), "end")) Unexpected("'end'");
    lex_.Take();
    return obj;
  }

  TDescProperty ParseProperty(int depth) {
    TDescProperty prop;
    prop.line = lex_.Peek().line;
    prop.name = lex_.Take().text;
    ExpectSymbol("=");
    prop.value = ParseValue(depth + 1);
    return prop;
  }

  TDescValue ParseValue(int depth) {
    CheckDepth(depth);
    TDescValue v;
    const Token& t = lex_.Peek();
    v.line = t.line;
    switch (t.kind) {
      case tkInteger:
        v.kind = dvInteger;
        v.integer = lex_.Take().integer;
        return v;
      case tkFloat:
        v.kind = dvFloat;
        v.real = lex_.Take().real;
        return v;
      case tkString:
        v.kind = dvString;
        v.text = lex_.Take().text;
        return v;
      case tkBinary:
        v.kind = dvBinary;
        v.text = lex_.Take().text;
        return v;
      case tkIdent:
        if (IsKeyword(t, "end")) break;  // a missing value before the block's end
        v.kind = dvIdent;
        v.text = lex_.Take().text;
        return v;
      case tkSymbol:
        if (t.text == "[") return ParseSet(v);
        if (t.text == "(") return ParseList(v, depth);
        if (t.text == "<") return ParseCollection(v, depth);
        break;
      case tkEnd:
        break;
    }
    Unexpected("a value");
  }

  TDescValue ParseSet(TDescValue v) {
    v.kind = dvSet;
    lex_.Take();
    if (AtSymbol("]")) {
      lex_.Take();
      return v;
    }
    while (true) {
      v.members.push_back(ExpectPlainIdent("a set member"));
      if (AtSymbol("]")) break;
      ExpectSymbol(",");
    }
    lex_.Take();
    return v;
  }

  TDescValue ParseList(TDescValue v, int depth) {
    v.kind = dvList;
    lex_.Take();
    while (!AtSymbol(")")) {
      if (lex_.Peek().kind == tkEnd) Unexpected("')'");
      v.elements.push_back(ParseValue(depth + 1));
    }
    lex_.Take();
    return v;
  }

  TDescValue ParseCollection(TDescValue v, int depth) {
    v.kind = dvCollection;
    lex_.Take();
    while (!AtSymbol(">")) {
      if (!IsKeyword(lex_.Peek(), "item")) Unexpected("'item' or '>'");
      TDescItem item;
      item.line = lex_.Take().line;
      if (AtSymbol("[")) {  // an item index, as older writers add it
        lex_.Take();
        if (lex_.Peek().kind != tkInteger) Unexpected("an index");
        lex_.Take();
        ExpectSymbol("]");
      }
      while (lex_.Peek().kind == tkIdent && !IsKeyword(lex_.Peek(), "end"))
        item.properties.push_back(ParseProperty(depth + 1));
      if (!IsKeyword(lex_.Peek(), "end")) Unexpected("'end'");
      lex_.Take();
      v.items.push_back(std::move(item));
    }
    lex_.Take();
    return v;
  }

  Lexer lex_;
};

}  // namespace

TDescObject ParseDescription(const std::string& text) {
  return Parser(text).ParseFile();
}

}  // namespace dataset
