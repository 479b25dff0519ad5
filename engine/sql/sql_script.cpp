#include "engine/sql/sql_script.h"

#include "engine/base/sql_text.h"

namespace nce {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// When a quoted text or a comment starts at `i`, the index just past it (the
// end of the text when it is not closed); otherwise `i`.
size_t SkipQuotedOrComment(std::string_view text, size_t i) {
  char c = text[i];
  char close = 0;
  if (c == '\'' || c == '"' || c == '`') close = c;
  if (c == '[') close = ']';
  if (close) {
    size_t j = i + 1;
    while (j < text.size()) {
      if (text[j] == close) {
        // A doubled quote stands for one quote character inside the text.
        if (close != ']' && j + 1 < text.size() && text[j + 1] == close) {
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
    return text.size();
  }
  if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
    size_t end = text.find('\n', i + 2);
    return end == std::string_view::npos ? text.size() : end + 1;
  }
  if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
    size_t end = text.find("*/", i + 2);
    return end == std::string_view::npos ? text.size() : end + 2;
  }
  return i;
}

// True when `piece` holds nothing but white space and comments.
bool IsBlank(std::string_view piece) {
  size_t i = 0;
  while (i < piece.size()) {
    if (IsSpace(piece[i])) {
      ++i;
      continue;
    }
    size_t next = SkipQuotedOrComment(piece, i);
    if (next == i || piece[i] == '\'' || piece[i] == '"' || piece[i] == '`' || piece[i] == '[')
      return false;
    i = next;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Words of a statement at top level, upper-cased, as the splitter reads them.
class WordTracker {
 public:
  void Add(std::string_view word) {
    std::string upper = UpperAscii(word);
    ++count_;
    if (count_ == 1) {
      create_ = upper == "CREATE";
    } else if (create_ && !trigger_ && count_ <= 3) {
      if (upper == "TRIGGER")
        trigger_ = true;
      else if (upper != "TEMP" && upper != "TEMPORARY")
        create_ = false;
    } else if (trigger_) {
      if (upper == "BEGIN" || upper == "CASE")
        ++depth_;
      else if (upper == "END" && depth_ > 0)
        --depth_;
      if (upper == "BEGIN") began_ = true;
    }
  }
  // Whether a semicolon here ends the statement.
  bool SemicolonEnds() const { return !trigger_ || (began_ && depth_ == 0); }
  void Reset() { *this = WordTracker(); }

 private:
  int count_ = 0;         // words seen in this statement
  bool create_ = false;   // statement starts with CREATE
  bool trigger_ = false;  // statement is CREATE [TEMP] TRIGGER
  bool began_ = false;    // the trigger's BEGIN has been seen
  int depth_ = 0;         // open BEGIN/CASE blocks in a trigger
};

}  // namespace

std::vector<std::string_view> SplitScript(std::string_view script) {
  std::vector<std::string_view> statements;
  WordTracker words;
  size_t start = 0, i = 0;
  auto finish = [&](size_t end) {
    std::string_view piece = script.substr(start, end - start);
    if (!IsBlank(piece)) statements.push_back(Trim(piece));
  };
  while (i < script.size()) {
    size_t next = SkipQuotedOrComment(script, i);
    if (next != i) {
      i = next;
      continue;
    }
    char c = script[i];
    if (IsWordChar(c)) {
      size_t j = i;
      while (j < script.size() && IsWordChar(script[j])) ++j;
      words.Add(script.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == ';' && words.SemicolonEnds()) {
      finish(i);
      start = i + 1;
      words.Reset();
    }
    ++i;
  }
  finish(script.size());
  return statements;
}

MarkedStatement MarkParameters(std::string_view statement, size_t first_ordinal) {
  MarkedStatement result;
  size_t ordinal = first_ordinal;
  size_t i = 0;
  while (i < statement.size()) {
    size_t next = SkipQuotedOrComment(statement, i);
    if (next != i) {
      result.sql.append(statement.substr(i, next - i));
      i = next;
      continue;
    }
    char c = statement[i];
    if (IsWordChar(c)) {
      // Words are copied whole; a marker may follow one directly ("t.a:b").
      size_t j = i;
      while (j < statement.size() && IsWordChar(statement[j])) ++j;
      result.sql.append(statement.substr(i, j - i));
      i = j;
      continue;
    }
    size_t end = i;
    if (c == '?') {
      end = i + 1;
      while (end < statement.size() && statement[end] >= '0' && statement[end] <= '9') ++end;
    } else if (c == ':' && i + 1 < statement.size() && IsWordChar(statement[i + 1]) &&
               (i == 0 || statement[i - 1] != ':')) {
      end = i + 1;
      while (end < statement.size() && IsWordChar(statement[end])) ++end;
    }
    if (end == i) {
      result.sql += c;
      ++i;
      continue;
    }
    result.markers.emplace_back(statement.substr(i, end - i));
    result.sql += "?" + std::to_string(ordinal++);
    i = end;
  }
  return result;
}

std::string LeadingKeyword(std::string_view statement) {
  size_t i = 0;
  while (i < statement.size()) {
    size_t next = SkipQuotedOrComment(statement, i);
    if (next != i && statement[i] != '\'' && statement[i] != '"') {
      i = next;
      continue;
    }
    if (IsSpace(statement[i]) || statement[i] == '(') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < statement.size() && IsWordChar(statement[j])) ++j;
    return UpperAscii(statement.substr(i, j - i));
  }
  return {};
}

}  // namespace nce
