#include "engine/sql/statement_locks.h"

#include <cctype>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/schema/catalog.h"
#include "engine/storage/record_locks.h"
#include "nce/nce.h"

namespace nce {
namespace {

// The fence's triggers: updates and deletes of a locked record, and inserts
// that would replace one (REPLACE deletes the row it conflicts with without
// running delete triggers).
struct FenceTrigger {
  const char* name;
  const char* event;
  const char* row;
};
constexpr FenceTrigger kFenceTriggers[] = {{"_nce_lock_fence_update", "UPDATE", "OLD"},
                                           {"_nce_lock_fence_delete", "DELETE", "OLD"},
                                           {"_nce_lock_fence_insert", "INSERT", "NEW"}};

}  // namespace

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Index just past what starts at `i`: a quoted text or name, a comment, or
// a parenthesised part with everything nested in it; i + 1 for anything else.
size_t SkipPart(std::string_view sql, size_t i) {
  char c = sql[i];
  if (c == '\'' || c == '"' || c == '`' || c == '[') {
    char close = c == '[' ? ']' : c;
    size_t end = sql.find(close, i + 1);
    return end == std::string_view::npos ? sql.size() : end + 1;
  }
  if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
    size_t end = sql.find('\n', i);
    return end == std::string_view::npos ? sql.size() : end + 1;
  }
  if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
    size_t end = sql.find("*/", i + 2);
    return end == std::string_view::npos ? sql.size() : end + 2;
  }
  if (c != '(') return i + 1;
  int depth = 0;
  while (i < sql.size()) {
    if (sql[i] == '(') {
      ++depth;
      ++i;
    } else if (sql[i] == ')') {
      ++i;
      if (--depth == 0) return i;
    } else {
      i = SkipPart(sql, i);
    }
  }
  return sql.size();
}

}  // namespace

MainStatement AfterCommonTables(std::string_view sql, const std::string& keyword) {
  if (keyword != "WITH") return {sql, keyword};
  size_t i = 0;
  bool past_with = false;  // the leading WITH itself is not the statement
  while (i < sql.size()) {
    if (!IsWordChar(sql[i])) {
      i = SkipPart(sql, i);
      continue;
    }
    size_t end = i;
    while (end < sql.size() && IsWordChar(sql[end])) ++end;
    std::string word = UpperAscii(sql.substr(i, end - i));
    if (past_with && (word == "INSERT" || word == "REPLACE" || word == "UPDATE" ||
                      word == "DELETE" || word == "SELECT" || word == "VALUES"))
      return {sql.substr(i), word};
    past_with = past_with || word == "WITH";
    i = end;
  }
  return {std::string_view(), std::string()};
}

bool ReplacesRows(std::string_view whole, const std::string& leading) {
  auto [sql, keyword] = AfterCommonTables(whole, leading);
  if (keyword == "REPLACE") return true;
  if (keyword != "INSERT") return false;
  std::string upper = UpperAscii(sql);
  size_t into = upper.find("INTO");
  size_t replace = upper.find("REPLACE");
  return replace != std::string::npos && replace < into;
}

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The name starting at `i` (quoted or plain, possibly "schema.name"); the
// last part of it.
std::string NameAt(std::string_view sql, size_t i) {
  std::string name;
  for (;;) {
    while (i < sql.size() && IsBlank(sql[i])) ++i;
    if (i >= sql.size()) return name;
    if (sql[i] == '"' || sql[i] == '[' || sql[i] == '`') {
      char close = sql[i] == '[' ? ']' : sql[i];
      size_t end = sql.find(close, i + 1);
      if (end == std::string_view::npos) return {};
      name = std::string(sql.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      size_t end = i;
      while (end < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[end])) ||
                                  sql[end] == '_' || static_cast<unsigned char>(sql[end]) >= 0x80))
        ++end;
      name = std::string(sql.substr(i, end - i));
      i = end;
    }
    while (i < sql.size() && IsBlank(sql[i])) ++i;
    if (i >= sql.size() || sql[i] != '.') return name;
    ++i;  // schema.name: the part after the dot names the table
  }
}

// Index just past the first whole word `word` (upper case) of `upper`.
size_t AfterWord(const std::string& upper, std::string_view word) {
  for (size_t at = upper.find(word); at != std::string::npos; at = upper.find(word, at + 1)) {
    bool starts = at == 0 || !(std::isalnum(static_cast<unsigned char>(upper[at - 1])) ||
                               upper[at - 1] == '_');
    size_t end = at + word.size();
    bool ends = end >= upper.size() ||
                !(std::isalnum(static_cast<unsigned char>(upper[end])) || upper[end] == '_');
    if (starts && ends) return end;
  }
  return std::string::npos;
}

}  // namespace

std::string WriteTarget(std::string_view whole, const std::string& leading) {
  auto [sql, keyword] = AfterCommonTables(whole, leading);
  std::string upper = UpperAscii(sql);
  size_t at = std::string::npos;
  if (keyword == "INSERT" || keyword == "REPLACE")
    at = AfterWord(upper, "INTO");
  else if (keyword == "DELETE")
    at = AfterWord(upper, "FROM");
  else if (keyword == "UPDATE") {
    at = AfterWord(upper, "UPDATE");
    // UPDATE OR <conflict> name
    size_t skip = at == std::string::npos ? at : upper.find_first_not_of(" \t\r\n", at);
    if (skip != std::string::npos && upper.compare(skip, 3, "OR ") == 0) {
      size_t word = upper.find_first_not_of(" \t\r\n", skip + 3);
      at = word == std::string::npos ? word : upper.find_first_of(" \t\r\n", word);
    }
  }
  if (at == std::string::npos) return {};
  return NameAt(sql, at);
}

LockFence::LockFence(Connection& connection, const std::string& table, bool replaces)
    : session_(connection.session()) {
  if (table.empty() || IsReservedName(table)) return;
  RecordLocks::TableLocks locks = RecordLocks::Instance().ForeignLocks(
      connection.lock_store(), table, [&connection](uint32_t owner) {
        connection.mutex().AssertHeld();  // called back inside ForeignLocks
        return connection.HasChild(owner);
      });
  if (!locks.any()) return;
  if (locks.exclusive)
    throw EngineError(NDS_E_LOCK_FAILED,
                      "The table " + table + " is opened exclusively by another user.");
  // One CASE per trigger naming the record, so the error says which one.
  std::string cases;
  for (int64_t record : locks.records)
    cases += " WHEN " + std::to_string(record) + " THEN RAISE(ABORT, " +
             QuoteLiteral("NCE-" + std::to_string(NDS_E_LOCK_FAILED) + ": Record " +
                          std::to_string(record) + " of table " + table +
                          " is locked by another user.") +
             ")";
  fenced_ = true;
  try {
    for (const FenceTrigger& trigger : kFenceTriggers) {
      // A plain insert takes a new record; only a replacing one can meet a
      // locked record (a record number a pending append holds is left to
      // the append, which moves on to a free number).
      if (trigger.row == std::string_view("NEW") && !replaces) continue;
      std::string sql = std::string("CREATE TEMP TRIGGER ") + trigger.name + " BEFORE " +
                        trigger.event + " ON main." + QuoteIdentifier(table) +
                        " BEGIN SELECT CASE " + trigger.row + ".rowid" + cases + " END; END";
      session_.Execute(sql);
    }
  } catch (...) {
    Remove();
    throw;
  }
}

LockFence::~LockFence() {
  Remove();
}

void LockFence::Remove() {
  if (!fenced_) return;
  fenced_ = false;
  for (const FenceTrigger& trigger : kFenceTriggers) {
    try {
      session_.Execute("DROP TRIGGER IF EXISTS temp." + std::string(trigger.name));
    } catch (const EngineError&) {
      // Left for the next fence, whose CREATE would then fail and say so.
    }
  }
}

}  // namespace nce
