#include "engine/expr/expr_functions.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "engine/base/dates.h"
#include "engine/base/errors.h"
#include "engine/expr/expr_values.h"

namespace nce {
namespace {

void PutBigEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Doubles in an order-preserving byte form: positive numbers get the sign bit
// set, negative numbers have every bit flipped.
void PutNumber(std::string& out, double value) {
  if (value == 0 || std::isnan(value)) value = 0;  // -0 and NaN key as 0
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits & 0x8000000000000000ull) ? ~bits : bits | 0x8000000000000000ull;
  PutBigEndian(out, bits, 8);
}

int64_t JulianOf(std::string_view iso) {
  std::optional<CivilDate> date = ParseDateText(iso.substr(0, 10));
  return date ? JulianFromCivil(*date) : 0;
}

int64_t MillisecondsOf(std::string_view time) {
  std::optional<std::string> stored = StoredTime(time);
  if (!stored || stored->size() < 12) return 0;
  const std::string& t = *stored;
  return ((std::stoi(t.substr(0, 2)) * 60 + std::stoi(t.substr(3, 2))) * 60 +
          std::stoi(t.substr(6, 2))) *
             1000 +
         std::stoi(t.substr(9, 3));
}

}  // namespace

KeyInput KeyInputOf(const StoredView& value) {
  KeyInput input;
  if (value.IsNumber()) {
    input.kind = KeyInput::Kind::kNumber;
    input.number = value.Number();
  } else if (value.kind != StoredView::Kind::kNull) {
    input.kind = KeyInput::Kind::kText;
    input.text.assign(value.Bytes());
  }
  return input;
}

std::optional<double> Modulo(double a, double b) {
  if (b == 0) return std::nullopt;
  // The result takes the sign of the divisor.
  double r = std::fmod(a, b);
  if (r != 0 && ((r < 0) != (b < 0))) r += b;
  return r;
}

std::optional<double> Power(double base, double exponent) {
  double r = std::pow(base, exponent);
  if (!std::isfinite(r)) return std::nullopt;
  return r;
}

namespace {

// ---- CONTAINS -----------------------------------------------------------------------------

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80;
}

class ContainsMatcher {
 public:
  ContainsMatcher(std::string_view text, std::string_view pattern) : lower_(Lower(text)) {
    for (size_t i = 0; i < lower_.size();) {
      while (i < lower_.size() && !IsWordChar(lower_[i])) ++i;
      size_t start = i;
      while (i < lower_.size() && IsWordChar(lower_[i])) ++i;
      if (i > start) words_.push_back(lower_.substr(start, i - start));
    }
    // Pattern tokens: words, quoted phrases, parentheses.
    for (size_t i = 0; i < pattern.size();) {
      char c = pattern[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      if (c == '(' || c == ')') {
        tokens_.push_back(std::string(1, c));
        ++i;
        continue;
      }
      if (c == '"' || c == '\'') {
        size_t end = pattern.find(c, i + 1);
        if (end == std::string_view::npos) end = pattern.size();
        tokens_.push_back("\"" + Lower(pattern.substr(i + 1, end - i - 1)));
        i = end + 1;
        continue;
      }
      size_t start = i;
      while (i < pattern.size() && !std::isspace(static_cast<unsigned char>(pattern[i])) &&
             pattern[i] != '(' && pattern[i] != ')')
        ++i;
      tokens_.push_back(std::string(pattern.substr(start, i - start)));
    }
  }

  bool Match() {
    if (tokens_.empty()) return false;
    bool result = Or(0);
    return result && !too_deep_;
  }

 private:
  bool At(const char* word) const {
    if (pos_ >= tokens_.size()) return false;
    std::string t = tokens_[pos_];
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t == word;
  }
  bool Or(int depth) {
    bool result = And(depth);
    while (At("OR")) {
      ++pos_;
      result = And(depth) || result;
    }
    return result;
  }
  bool And(int depth) {
    bool result = Not(depth);
    while (pos_ < tokens_.size() && tokens_[pos_] != ")" && !At("OR")) {
      if (At("AND")) ++pos_;
      result = Not(depth) && result;
    }
    return result;
  }
  bool Not(int depth) {
    if (depth > kMaxDepth) {
      // A pattern nested this deeply matches nothing. Every token is taken so
      // that the loops above end instead of waiting for one that never comes.
      too_deep_ = true;
      pos_ = tokens_.size();
      return false;
    }
    if (At("NOT")) {
      ++pos_;
      return !Not(depth + 1);
    }
    if (pos_ >= tokens_.size()) return false;
    std::string token = tokens_[pos_++];
    if (token == "(") {
      bool inner = Or(depth + 1);
      if (pos_ < tokens_.size() && tokens_[pos_] == ")") ++pos_;
      return inner;
    }
    if (token == ")") return false;
    if (token[0] == '"') return lower_.find(token.substr(1)) != std::string::npos;
    return Term(Lower(token));
  }
  bool Term(const std::string& term) const {
    bool lead = !term.empty() && term.front() == '*';
    bool trail = term.size() > 1 && term.back() == '*';
    std::string core = term.substr(lead ? 1 : 0);
    if (trail) core.pop_back();
    if (core.empty()) return !words_.empty();
    for (const std::string& w : words_) {
      size_t at = w.find(core);
      if (at == std::string::npos) continue;
      bool starts = at == 0, ends = at + core.size() == w.size();
      if ((starts || lead) && (ends || trail)) return true;
      if (lead && trail) return true;
    }
    return false;
  }

  std::string lower_;                // the text, lower-cased
  std::vector<std::string> words_;   // its words
  std::vector<std::string> tokens_;  // the pattern's tokens
  size_t pos_ = 0;                   // next token
  bool too_deep_ = false;            // the pattern nests beyond kMaxDepth

  static constexpr int kMaxDepth = 64;  // nesting of parentheses and NOTs
};

}  // namespace

uint32_t KeySegmentWidth(const KeySegmentSpec& shape) {
  switch (shape.type) {
    case 'S':
    case 'B':
      return shape.width;
    case 'N':
    case 'Z':
      return 8;
    case 'D':
    case 'T':
      return 4;
    default:
      return 1;
  }
}

std::string KeySpecText(const std::vector<KeySegmentSpec>& shapes) {
  std::string text;
  for (const KeySegmentSpec& s : shapes) {
    if (!text.empty()) text += ';';
    text += s.type;
    if (s.type == 'S' || s.type == 'B') text += std::to_string(s.width);
  }
  return text;
}

std::vector<KeySegmentSpec> ParseKeySpec(std::string_view text) {
  std::vector<KeySegmentSpec> shapes;
  size_t i = 0;
  while (i < text.size()) {
    KeySegmentSpec s;
    s.type = text[i++];
    if (std::string_view("SNDTZLB").find(s.type) == std::string_view::npos)
      throw EngineError(NDS_E_BAD_EXPRESSION, "Malformed key shape " + std::string(text) + ".");
    uint32_t width = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && width < 100000)
      width = width * 10 + static_cast<uint32_t>(text[i++] - '0');
    s.width = width;
    shapes.push_back(s);
    if (i < text.size() && text[i] == ';') ++i;
  }
  return shapes;
}

void AppendKeyBytes(std::string& key, const KeySegmentSpec& shape, const KeyInput& input) {
  bool null = input.kind == KeyInput::Kind::kNull;
  switch (shape.type) {
    case 'S':
    case 'B': {
      std::string text = input.kind == KeyInput::Kind::kText ? input.text : std::string();
      if (input.kind == KeyInput::Kind::kNumber) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", input.number);
        text = buffer;
      }
      text.resize(shape.width, shape.type == 'S' ? ' ' : '\0');
      key += text;
      return;
    }
    case 'N': {
      double value = 0;
      if (input.kind == KeyInput::Kind::kNumber) value = input.number;
      if (input.kind == KeyInput::Kind::kText) value = std::strtod(input.text.c_str(), nullptr);
      PutNumber(key, value);
      return;
    }
    case 'D':
      PutBigEndian(key, null ? 0 : static_cast<uint64_t>(JulianOf(input.text)), 4);
      return;
    case 'T':
      PutBigEndian(key, null ? 0 : static_cast<uint64_t>(MillisecondsOf(input.text)), 4);
      return;
    case 'Z': {
      int64_t julian = 0, ms = 0;
      if (!null && input.text.size() >= 10) {
        julian = JulianOf(input.text);
        if (input.text.size() > 11) ms = MillisecondsOf(input.text.substr(11));
      }
      PutBigEndian(key, static_cast<uint64_t>(julian), 4);
      PutBigEndian(key, static_cast<uint64_t>(ms), 4);
      return;
    }
    default: {
      bool truth = input.kind == KeyInput::Kind::kNumber ? input.number != 0
                   : input.kind == KeyInput::Kind::kText
                       ? (!input.text.empty() && std::strchr("TtYy1", input.text[0]))
                       : false;
      key += truth ? 'T' : 'F';
    }
  }
}

std::string PrefixSuccessor(std::string_view prefix) {
  std::string next(prefix);
  while (!next.empty()) {
    unsigned char last = static_cast<unsigned char>(next.back());
    if (last != 0xFF) {
      next.back() = static_cast<char>(last + 1);
      return next;
    }
    next.pop_back();
  }
  return next;
}

bool ContainsWords(std::string_view text, std::string_view pattern) {
  return ContainsMatcher(text, pattern).Match();
}

}  // namespace nce
