#include "engine/expr/expr_functions.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>

#include "engine/base/dates.h"
#include "engine/base/errors.h"
#include "engine/base/sql_error.h"
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

KeyInput KeyInputOf(sqlite3_value* value) {
  KeyInput input;
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      input.kind = KeyInput::Kind::kNumber;
      input.number = sqlite3_value_double(value);
      break;
    default: {
      input.kind = KeyInput::Kind::kText;
      const void* bytes = sqlite3_value_type(value) == SQLITE_BLOB
                              ? sqlite3_value_blob(value)
                              : static_cast<const void*>(sqlite3_value_text(value));
      int n = sqlite3_value_bytes(value);
      if (bytes && n > 0)
        input.text.assign(static_cast<const char*>(bytes), static_cast<size_t>(n));
    }
  }
  return input;
}

namespace {

KeyInput InputOf(sqlite3_value* value) {
  return KeyInputOf(value);
}

void KeyFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
  auto* shapes = static_cast<std::vector<KeySegmentSpec>*>(sqlite3_get_auxdata(context, 0));
  if (!shapes) {
    const unsigned char* text = sqlite3_value_text(argv[0]);
    try {
      auto parsed = std::make_unique<std::vector<KeySegmentSpec>>(
          ParseKeySpec(text ? reinterpret_cast<const char*>(text) : ""));
      shapes = parsed.get();
      sqlite3_set_auxdata(context, 0, parsed.release(),
                          [](void* p) { delete static_cast<std::vector<KeySegmentSpec>*>(p); });
      // SQLite may drop the auxiliary data at once; then it has freed it.
      shapes = static_cast<std::vector<KeySegmentSpec>*>(sqlite3_get_auxdata(context, 0));
      if (!shapes) {
        std::vector<KeySegmentSpec> local =
            ParseKeySpec(text ? reinterpret_cast<const char*>(text) : "");
        std::string key;
        for (int i = 1; i < argc && static_cast<size_t>(i - 1) < local.size(); ++i)
          AppendKeyBytes(key, local[i - 1], InputOf(argv[i]));
        sqlite3_result_blob(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
        return;
      }
    } catch (const EngineError& error) {
      sqlite3_result_error(context, error.text().c_str(), -1);
      return;
    }
  }
  if (static_cast<size_t>(argc - 1) != shapes->size()) {
    sqlite3_result_error(context, "nce_key: the key shape and the values do not match", -1);
    return;
  }
  std::string key;
  for (int i = 1; i < argc; ++i) AppendKeyBytes(key, (*shapes)[i - 1], InputOf(argv[i]));
  sqlite3_result_blob(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

void ContainsFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  const unsigned char* text = sqlite3_value_text(argv[0]);
  const unsigned char* pattern = sqlite3_value_text(argv[1]);
  if (!text || !pattern) {
    sqlite3_result_int(context, 0);
    return;
  }
  sqlite3_result_int(context, ContainsWords(reinterpret_cast<const char*>(text),
                                            reinterpret_cast<const char*>(pattern)));
}

template <std::optional<std::string> (*Convert)(std::string_view)>
void TextToStored(sqlite3_context* context, int, sqlite3_value** argv) {
  const unsigned char* text = sqlite3_value_text(argv[0]);
  std::optional<std::string> stored =
      text ? Convert(reinterpret_cast<const char*>(text)) : std::nullopt;
  if (!stored || stored->empty())
    sqlite3_result_null(context);
  else
    sqlite3_result_text(context, stored->c_str(), static_cast<int>(stored->size()),
                        SQLITE_TRANSIENT);
}

void ModFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  double a = sqlite3_value_double(argv[0]), b = sqlite3_value_double(argv[1]);
  if (b == 0) {
    sqlite3_result_null(context);
    return;
  }
  // The result takes the sign of the divisor.
  double r = std::fmod(a, b);
  if (r != 0 && ((r < 0) != (b < 0))) r += b;
  if (r == std::floor(r) && std::fabs(r) < 9e15)
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(r));
  else
    sqlite3_result_double(context, r);
}

void PowFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (std::isfinite(r))
    sqlite3_result_double(context, r);
  else
    sqlite3_result_null(context);
}

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

void RegisterExpressionFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  struct Function {
    const char* name;
    int args;
    void (*call)(sqlite3_context*, int, sqlite3_value**);
  };
  const Function functions[] = {
      {"nce_key", -1, KeyFunction},
      {"nce_contains", 2, ContainsFunction},
      {"nce_ctod", 1, TextToStored<StoredDate>},
      {"nce_ctot", 1, TextToStored<StoredTime>},
      {"nce_ctots", 1, TextToStored<StoredTimestamp>},
      {"nce_mod", 2, ModFunction},
      {"nce_pow", 2, PowFunction},
  };
  for (const Function& f : functions) {
    int rc = sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.call, nullptr,
                                        nullptr, nullptr);
    if (rc != SQLITE_OK) throw SqlError(db, rc, f.name);
  }
}

}  // namespace nce
