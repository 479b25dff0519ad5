#include "engine/sql/insert_columns.h"

#include <vector>

#include "engine/base/sql_scan.h"
#include "engine/base/sql_text.h"
#include "engine/sql/statement_locks.h"

namespace nce {
namespace {

struct Unit {
  size_t end;         // just past the unit
  std::string upper;  // its text, upper-cased
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first `count` units of `sql` (words, quoted texts, single other
// characters), past blanks and comments; fewer at its end or at a quote
// never closed.
std::vector<Unit> LeadingUnits(std::string_view sql, size_t count) {
  std::vector<Unit> units;
  size_t at = 0;
  while (units.size() < count) {
    while (at < sql.size() && IsBlank(sql[at])) ++at;
    if (at >= sql.size()) break;
    if (size_t past = CommentEnd(sql, at); past != at) {
      at = past;
      continue;
    }
    size_t end = IsQuoteMark(sql[at]) ? QuotedEnd(sql, at) : WordEnd(sql, at);
    if (end == std::string_view::npos) break;
    if (end == at) ++end;  // a character of its own
    units.push_back({end, UpperAscii(sql.substr(at, end - at))});
    at = end;
  }
  return units;
}

}  // namespace

size_t MissingColumnListAt(std::string_view whole, const std::string& leading) {
  constexpr size_t npos = std::string_view::npos;
  auto [sql, keyword] = AfterCommonTables(whole, leading);
  if (keyword != "INSERT") return npos;
  // INSERT [OR conflict] INTO [schema .] name [AS alias] then VALUES or SELECT
  std::vector<Unit> units = LeadingUnits(sql, 12);
  size_t u = 1;
  if (u < units.size() && units[u].upper == "OR") u += 2;
  if (u >= units.size() || units[u].upper != "INTO") return npos;
  u += 2;  // past the name
  while (u + 1 < units.size() && units[u].upper == ".") u += 2;
  if (u + 1 < units.size() && units[u].upper == "AS") u += 2;
  if (u >= units.size() || u == 0) return npos;
  const std::string& next = units[u].upper;
  if (next != "VALUES" && next != "SELECT" && next != "WITH") return npos;
  return static_cast<size_t>(sql.data() - whole.data()) + units[u - 1].end;
}

}  // namespace nce
