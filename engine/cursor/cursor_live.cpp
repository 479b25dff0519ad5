#include "engine/cursor/cursor_live.h"

#include <cctype>

#include "engine/base/sql_scan.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/storage/live_tables.h"

namespace nce {

namespace {

// A small scanner over SQL text: words, quoted names, punctuation. Quoted
// strings and comments are skipped as units so that keywords inside them do
// not count.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void SkipSpace() {
    for (;;) {
      while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      size_t end = CommentEnd(text_, pos_);
      if (end == pos_) return;
      pos_ = end;
    }
  }
  bool AtEnd() {
    SkipSpace();
    return pos_ >= text_.size();
  }
  // Reads a keyword when the next word is `word` (without letter case).
  bool Keyword(std::string_view word) {
    SkipSpace();
    size_t end = WordEnd(text_, pos_);
    if (!EqualsNoCase(text_.substr(pos_, end - pos_), word)) return false;
    pos_ = end;
    return true;
  }
  bool Punct(char c) {
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // A plain or quoted identifier.
  bool Identifier(std::string* name) {
    SkipSpace();
    if (pos_ >= text_.size()) return false;
    char open = text_[pos_];
    if (open == '"' || open == '[' || open == '`') {
      char close = open == '[' ? ']' : open;
      std::string out;
      for (size_t i = pos_ + 1; i < text_.size(); ++i) {
        if (text_[i] == close) {
          if (close != ']' && i + 1 < text_.size() && text_[i + 1] == close) {
            out += close;
            ++i;
            continue;
          }
          pos_ = i + 1;
          *name = out;
          return !out.empty();
        }
        out += text_[i];
      }
      return false;
    }
    if (!std::isalpha(static_cast<unsigned char>(open)) && open != '_') return false;
    size_t end = pos_;
    while (end < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_'))
      ++end;
    *name = std::string(text_.substr(pos_, end - pos_));
    pos_ = end;
    return true;
  }
  std::string_view Rest() const { return text_.substr(pos_); }

 private:
  std::string_view text_;  // the statement
  size_t pos_ = 0;         // next unread character
};

bool IsReservedWord(const std::string& word) {
  static const char* const kWords[] = {"FROM",  "WHERE",    "ORDER",     "GROUP",  "LIMIT",
                                       "UNION", "EXCEPT",   "INTERSECT", "HAVING", "WINDOW",
                                       "JOIN",  "DISTINCT", "ALL",       "AS",     "SELECT"};
  for (const char* w : kWords)
    if (EqualsNoCase(word, w)) return true;
  return false;
}

// True when `condition` holds, outside quotes and parentheses, a word that
// makes the statement more than a filtered read of one table.
bool ConditionIsPlain(std::string_view condition) {
  static const char* const kStops[] = {"ORDER",  "GROUP",     "LIMIT",  "UNION",
                                       "EXCEPT", "INTERSECT", "HAVING", "WINDOW"};
  int depth = 0;
  for (size_t i = 0; i < condition.size();) {
    char c = condition[i];
    if (IsQuoteMark(c)) {
      i = QuotedEnd(condition, i);
      if (i == std::string_view::npos) return false;
      continue;
    }
    if (CommentEnd(condition, i) != i) return false;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ';') return false;
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t end = WordEnd(condition, i);
      if (depth == 0)
        for (const char* stop : kStops)
          if (EqualsNoCase(condition.substr(i, end - i), stop)) return false;
      i = end;
      continue;
    }
    ++i;
  }
  return depth == 0;
}

}  // namespace

bool ParseSimpleSelect(std::string_view sql, SimpleSelect* out) {
  while (!sql.empty() &&
         (std::isspace(static_cast<unsigned char>(sql.back())) || sql.back() == ';'))
    sql.remove_suffix(1);
  Scanner scan(sql);
  SimpleSelect result;
  if (!scan.Keyword("SELECT")) return false;
  if (scan.Punct('*')) {
    result.all_columns = true;
  } else {
    do {
      std::string column;
      if (!scan.Identifier(&column) || IsReservedWord(column)) return false;
      result.columns.push_back(column);
    } while (scan.Punct(','));
  }
  if (!scan.Keyword("FROM")) return false;
  if (!scan.Identifier(&result.table) || IsReservedWord(result.table)) return false;
  if (scan.Punct('.')) return false;  // schema-qualified names stay static
  if (!scan.AtEnd()) {
    if (!scan.Keyword("WHERE")) return false;
    std::string_view condition = scan.Rest();
    if (!ConditionIsPlain(condition)) return false;
    result.condition = std::string(condition);
    while (!result.condition.empty() &&
           std::isspace(static_cast<unsigned char>(result.condition.front())))
      result.condition.erase(0, 1);
    if (result.condition.empty()) return false;
  }
  *out = std::move(result);
  return true;
}

std::shared_ptr<Cursor> OpenLiveCursor(const std::shared_ptr<Connection>& connection,
                                       std::string_view sql, const std::vector<Value>& values,
                                       uint16_t char_type) {
  SimpleSelect select;
  if (!ParseSimpleSelect(sql, &select) || IsReservedName(select.table)) return nullptr;
  std::optional<TableDesc> table = DescribeLiveTable(*connection, select.table);
  if (!table) return nullptr;

  auto cursor = std::make_shared<Cursor>(connection, ObjectKind::kCursor);
  cursor->desc = *table;
  if (!select.all_columns) {
    cursor->desc.fields.clear();
    for (const std::string& column : select.columns) {
      const FieldDesc* found = nullptr;
      for (const FieldDesc& f : table->fields)
        if (EqualsNoCase(f.name, column)) found = &f;
      if (!found) return nullptr;  // an expression or unknown name: SQLite reports it
      for (const FieldDesc& f : cursor->desc.fields)
        if (EqualsNoCase(f.name, column)) return nullptr;  // a column twice
      cursor->desc.fields.push_back(*found);
    }
    LayoutRecord(cursor->desc);
  }
  if (char_type) cursor->desc.char_type = char_type;
  cursor->set_rows_in_store();
  cursor->source_table = table->name;
  cursor->filter_sql = select.condition;
  cursor->filter_values = values;
  cursor->live = true;
  cursor->open_options =
      (NDS_OPEN_UPDATE_RIGHT | NDS_OPEN_INSERT_RIGHT) & RightsOpenMask(*connection, table->name);
  return cursor;
}

}  // namespace nce
