#include "engine/index/index_sql.h"

#include <cctype>
#include <string>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/expr/expr_tree.h"
#include "engine/index/index_order.h"
#include "engine/schema/catalog.h"
#include "engine/storage/store_dialect.h"
#include "nce/nce.h"

namespace nce {
namespace {

struct CreateIndex {
  bool unique = false;
  bool if_not_exists = false;
  std::string name, table, file, condition;
  std::vector<std::string> keys;
  int descending = 0;  // keys marked DESC
};

[[noreturn]] void Malformed(const std::string& what) {
  throw EngineError(NDS_E_SQL, "SQL error: NativeError = 1; CREATE INDEX: " + what);
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {
    while (!text_.empty() &&
           (std::isspace(static_cast<unsigned char>(text_.back())) || text_.back() == ';'))
      text_.remove_suffix(1);
  }
  void Skip() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Word(const char* word) {
    Skip();
    size_t end = pos_;
    while (end < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_'))
      ++end;
    if (end == pos_ || !EqualsNoCase(text_.substr(pos_, end - pos_), word)) return false;
    pos_ = end;
    return true;
  }
  std::string Name(const char* what) {
    Skip();
    if (pos_ >= text_.size()) Malformed(std::string(what) + " expected");
    char c = text_[pos_];
    if (c == '"' || c == '[' || c == '`' || c == '\'') {
      char close = c == '[' ? ']' : c;
      size_t end = text_.find(close, pos_ + 1);
      if (end == std::string_view::npos) Malformed(std::string(what) + " is not closed");
      std::string name(text_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
      return name;
    }
    size_t end = pos_;
    while (end < text_.size() && !std::isspace(static_cast<unsigned char>(text_[end])) &&
           text_[end] != '(' && text_[end] != ';')
      ++end;
    if (end == pos_) Malformed(std::string(what) + " expected");
    std::string name(text_.substr(pos_, end - pos_));
    pos_ = end;
    return name;
  }
  // The text between the parentheses at the reading place, split at
  // top-level commas.
  std::vector<std::string> List() {
    Skip();
    if (pos_ >= text_.size() || text_[pos_] != '(') Malformed("'(' expected after the table name");
    std::vector<std::string> items;
    int depth = 0;
    char quote = 0;
    size_t start = pos_ + 1;
    for (size_t i = pos_; i < text_.size(); ++i) {
      char c = text_[i];
      if (quote) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '\'' || c == '"')
        quote = c;
      else if (c == '[')
        quote = ']';
      else if (c == '(')
        ++depth;
      else if (c == ')' && --depth == 0) {
        items.emplace_back(text_.substr(start, i - start));
        pos_ = i + 1;
        return items;
      } else if (c == ',' && depth == 1) {
        items.emplace_back(text_.substr(start, i - start));
        start = i + 1;
      }
    }
    Malformed("the key list is not closed");
  }
  std::string Rest() {
    Skip();
    return std::string(text_.substr(pos_));
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

std::string Trim(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  return text.substr(start);
}

// Removes a last word `word` from `text`; true when it was there.
bool TakeLastWord(std::string& text, const char* word) {
  size_t n = std::string_view(word).size();
  if (text.size() <= n || !std::isspace(static_cast<unsigned char>(text[text.size() - n - 1])))
    return false;
  if (!EqualsNoCase(std::string_view(text).substr(text.size() - n), word)) return false;
  text = Trim(text.substr(0, text.size() - n));
  return true;
}

CreateIndex Parse(std::string_view sql) {
  Reader r(sql);
  CreateIndex c;
  if (!r.Word("CREATE")) Malformed("not a CREATE statement");
  c.unique = r.Word("UNIQUE");
  if (!r.Word("INDEX")) Malformed("INDEX expected");
  if (r.Word("IF")) {
    if (!r.Word("NOT") || !r.Word("EXISTS")) Malformed("IF NOT EXISTS expected");
    c.if_not_exists = true;
  }
  c.name = r.Name("index name");
  if (!r.Word("ON")) Malformed("ON expected after the index name");
  c.table = r.Name("table name");
  for (std::string item : r.List()) {
    item = Trim(item);
    if (TakeLastWord(item, "DESC"))
      ++c.descending;
    else
      TakeLastWord(item, "ASC");
    if (item.empty()) Malformed("an empty key");
    c.keys.push_back(item);
  }
  if (c.descending && c.descending != static_cast<int>(c.keys.size()))
    Malformed("keys of one index are either all ascending or all descending");
  std::string rest = r.Rest();
  // [IN FILE name] closes the statement.
  std::string upper = UpperAscii(rest);
  size_t in_file = upper.rfind("IN FILE");
  if (in_file != std::string::npos &&
      (in_file == 0 || std::isspace(static_cast<unsigned char>(rest[in_file - 1])))) {
    Reader file(std::string_view(rest).substr(in_file + 7));
    c.file = file.Name("index file name");
    if (!Trim(file.Rest()).empty()) Malformed("nothing may follow the index file name");
    rest = Trim(rest.substr(0, in_file));
  }
  if (!rest.empty()) {
    Reader where(rest);
    if (!where.Word("WHERE"))
      Malformed("WHERE or IN FILE expected after the key list, not: " + rest);
    c.condition = where.Rest();
    if (c.condition.empty()) Malformed("a condition must follow WHERE");
  }
  for (const std::string& key : c.keys) ParseExpression(key);  // syntax now, fields at run time
  if (!c.condition.empty()) ParseExpression(c.condition);
  return c;
}

}  // namespace

bool IsCreateIndexStatement(std::string_view sql) {
  Reader r(sql);
  if (!r.Word("CREATE")) return false;
  r.Word("UNIQUE");
  return r.Word("INDEX");
}

void CheckCreateIndexStatement(std::string_view sql) {
  Parse(sql);
}

std::string CreateIndexTable(std::string_view sql) {
  return Parse(sql).table;
}

void RunCreateIndexStatement(StoreSession& session, const std::optional<TableDesc>& table,
                             std::string_view sql) {
  CreateIndex c = Parse(sql);
  if (!table || IsReservedName(table->name))
    throw EngineError(NDS_E_SQL, "SQL error: NativeError = 1; no such table: " + c.table);
  std::string expression;
  for (const std::string& key : c.keys) expression += (expression.empty() ? "" : ";") + key;
  uint32_t flags = (c.unique ? NDS_INDEX_UNIQUE : 0) | (c.descending ? NDS_INDEX_DESCENDING : 0);
  std::string file = c.file.empty() ? DefaultIndexFile(*table, c.name) : c.file;
  if (file.find('.') == std::string::npos) file += "." + IndexFileExtension(table->table_type);
  OrderPtr order = CompileOrder(*table, file, c.name, expression, c.condition, flags,
                                session.dialect().expressions());
  if (c.if_not_exists) {
    for (const OrderPtr& existing : LoadOrders(session, *table, ""))
      if (EqualsNoCase(existing->name, c.name)) return;
  }
  CreateOrder(session, *order);
}

namespace {

// The order name of "DROP INDEX [IF EXISTS] name"; "" for other statements.
std::string DropIndexName(std::string_view sql) {
  Reader r(sql);
  if (!r.Word("DROP") || !r.Word("INDEX")) return {};
  if (r.Word("IF") && !r.Word("EXISTS")) return {};
  std::string name = r.Name("index name");
  return Trim(r.Rest()).empty() ? name : std::string();
}

}  // namespace

bool IsDropOrderStatement(StoreSession& session, std::string_view sql) {
  std::string name = DropIndexName(sql);
  return !name.empty() && OrderExists(session, name);
}

bool RunDropIndexStatement(StoreSession& session, std::string_view sql) {
  std::string name = DropIndexName(sql);
  return !name.empty() && DropOrder(session, name);
}

}  // namespace nce
