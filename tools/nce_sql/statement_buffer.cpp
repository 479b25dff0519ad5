#include "tools/nce_sql/statement_buffer.h"

#include <cctype>

namespace nce_sql {

namespace {

// The words of `text` outside quotes and comments, upper-cased, and
// whether its last significant character is a ";".
struct Scan {
  std::string first_words;  // the first three words, space-separated
  std::string last_word;    // the word before the final ";"
  bool ends_with_semicolon = false;
  bool open = false;  // a quote or comment is still open
};

Scan ScanText(const std::string& text) {
  Scan scan;
  std::string word;
  int words = 0;
  std::string previous_word;
  auto end_word = [&] {
    if (word.empty()) return;
    if (words < 3) scan.first_words += (words ? " " : "") + word;
    ++words;
    previous_word = word;
    word.clear();
  };
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    char close = 0;
    if (c == '\'' || c == '"' || c == '`') close = c;
    if (c == '[') close = ']';
    if (close) {
      end_word();
      const size_t end = text.find(close, i + 1);
      if (end == std::string::npos) {
        scan.open = true;
        return scan;
      }
      scan.ends_with_semicolon = false;
      i = end + 1;
      continue;
    }
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      end_word();
      const size_t end = text.find('\n', i);
      i = end == std::string::npos ? text.size() : end;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      end_word();
      const size_t end = text.find("*/", i + 2);
      if (end == std::string::npos) {
        scan.open = true;
        return scan;
      }
      i = end + 2;
      continue;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '_') {
      word += static_cast<char>(std::toupper(u));
      scan.ends_with_semicolon = false;
    } else {
      end_word();
      if (c == ';') {
        scan.ends_with_semicolon = true;
        scan.last_word = previous_word;
      } else if (!std::isspace(u)) {
        scan.ends_with_semicolon = false;
      }
    }
    ++i;
  }
  end_word();
  return scan;
}

bool IsTrigger(const std::string& first_words) {
  return first_words.rfind("CREATE TRIGGER", 0) == 0 ||
         first_words.rfind("CREATE TEMP TRIGGER", 0) == 0 ||
         first_words.rfind("CREATE TEMPORARY TRIGGER", 0) == 0;
}

}  // namespace

bool EndsStatement(const std::string& text) {
  const Scan scan = ScanText(text);
  if (scan.open || !scan.ends_with_semicolon) return false;
  // The semicolons inside a trigger body end its statements, not the
  // trigger.
  return !IsTrigger(scan.first_words) || scan.last_word == "END";
}

void StatementBuffer::AddLine(const std::string& line) {
  text_ += line;
  text_ += '\n';
}

bool StatementBuffer::Empty() const {
  return text_.find_first_not_of(" \t\r\n") == std::string::npos;
}

bool StatementBuffer::Complete() const {
  return EndsStatement(text_);
}

std::string StatementBuffer::Take() {
  std::string text;
  text.swap(text_);
  return text;
}

}  // namespace nce_sql
