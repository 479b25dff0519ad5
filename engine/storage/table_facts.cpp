#include "engine/storage/table_facts.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/base/sql_text.h"
#include "engine/storage/sqlite_session.h"

namespace nce {

namespace {

std::string TextOf(const StoreStatement& stmt, int column) {
  Value v = stmt.Column(column);
  return v.kind == Value::Kind::kText ? v.bytes : std::string();
}

// Reads `text` as a number the way a numeric column does: the whole text,
// blanks around it allowed, decimal digits only.
bool ParseNumber(const std::string& text, Value* number) {
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos) return false;
  std::string digits = text.substr(begin, end - begin + 1);
  if (digits.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* stop = nullptr;
  errno = 0;
  long long integer = std::strtoll(digits.c_str(), &stop, 10);
  if (*stop == '\0' && errno == 0) {
    *number = Value::Integer(integer);
    return true;
  }
  double real = std::strtod(digits.c_str(), &stop);
  if (*stop != '\0' || !std::isfinite(real)) return false;
  *number = Value::Real(real);
  return true;
}

}  // namespace

ColumnAffinity AffinityOfType(const std::string& declared) {
  // SQLite's rules in their order: INT anywhere; else CHAR, CLOB or TEXT;
  // else BLOB or no type; else REAL, FLOA or DOUB; else NUMERIC.
  std::string t = UpperAscii(declared);
  auto has = [&t](const char* part) { return t.find(part) != std::string::npos; };
  if (has("INT")) return ColumnAffinity::kInteger;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return ColumnAffinity::kText;
  if (t.empty() || has("BLOB")) return ColumnAffinity::kBlob;
  if (has("REAL") || has("FLOA") || has("DOUB")) return ColumnAffinity::kReal;
  return ColumnAffinity::kNumeric;
}

Value StoredAs(Value v, ColumnAffinity a) {
  if (a == ColumnAffinity::kBlob || v.kind == Value::Kind::kNull || v.kind == Value::Kind::kBlob)
    return v;
  if (a == ColumnAffinity::kText) {
    if (v.kind == Value::Kind::kInteger) return Value::Text(std::to_string(v.integer));
    if (v.kind == Value::Kind::kReal) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.15g", v.real);
      std::string text = buf;
      if (text.find_first_of(".eEni") == std::string::npos) text += ".0";
      return Value::Text(text);
    }
    return v;
  }
  if (v.kind == Value::Kind::kText && !ParseNumber(v.bytes, &v)) return v;
  if (a == ColumnAffinity::kReal && v.kind == Value::Kind::kInteger)
    return Value::Real(static_cast<double>(v.integer));
  if (a != ColumnAffinity::kReal && v.kind == Value::Kind::kReal && std::trunc(v.real) == v.real &&
      std::fabs(v.real) < 9.2e18)
    return Value::Integer(static_cast<int64_t>(v.real));
  return v;
}

std::vector<DefaultClause> DefaultClauses(StoreSession& rows, const std::string& table) {
  std::vector<DefaultClause> clauses;
  if (!SqliteDbOf(rows)) {
    // A server's DEFAULT clauses as it keeps them; its values come typed.
    std::unique_ptr<StoreStatement> read = rows.Prepare(
        "SELECT column_name, column_default FROM information_schema.columns "
        "WHERE table_schema = current_schema() AND table_name = ?1 "
        "AND column_default IS NOT NULL AND column_name <> 'rowid'");
    read->Bind(1, Value::Text(LowerAscii(table)));
    while (read->Step())
      clauses.push_back(DefaultClause{TextOf(*read, 0), ColumnAffinity::kBlob, TextOf(*read, 1)});
    return clauses;
  }
  std::unique_ptr<StoreStatement> read = rows.Prepare(
      "SELECT name, type, dflt_value FROM pragma_table_info(?1, 'main') "
      "WHERE dflt_value IS NOT NULL");
  read->Bind(1, Value::Text(table));
  while (read->Step())
    clauses.push_back(
        DefaultClause{TextOf(*read, 0), AffinityOfType(TextOf(*read, 1)), TextOf(*read, 2)});
  return clauses;
}

std::optional<std::vector<StoredColumn>> OrdinaryTableColumns(StoreSession& rows,
                                                              const std::string& table) {
  std::unique_ptr<StoreStatement> kind =
      rows.Prepare("PRAGMA table_list(" + QuoteIdentifier(table) + ")");
  if (!kind->Step() || TextOf(*kind, 2) != "table" || kind->Step()) return std::nullopt;
  std::unique_ptr<StoreStatement> info =
      rows.Prepare("PRAGMA table_xinfo(" + QuoteIdentifier(table) + ")");
  std::vector<StoredColumn> columns;
  // hidden: 0 a plain column, 2 and 3 generated ones.
  while (info->Step())
    columns.push_back(StoredColumn{TextOf(*info, 1), AffinityOfType(TextOf(*info, 2)),
                                   info->Column(6).integer != 0});
  return columns;
}

std::string NumberSequenceQuery(StoreSession& rows, const std::string& table) {
  std::unique_ptr<StoreStatement> declared = rows.Prepare(
      "SELECT sql FROM main.sqlite_master WHERE type = 'table' AND name = ?1 "
      "COLLATE NOCASE");
  declared->Bind(1, Value::Text(table));
  if (!declared->Step() ||
      UpperAscii(TextOf(*declared, 0)).find("AUTOINCREMENT") == std::string::npos)
    return std::string();
  // SQLite makes its sequence table with the first such table; a text that
  // only mentions the word has none to read.
  std::unique_ptr<StoreStatement> sequences =
      rows.Prepare("SELECT 1 FROM main.sqlite_master WHERE name = 'sqlite_sequence'");
  if (!sequences->Step()) return std::string();
  return "SELECT coalesce(max(seq), 0) FROM main.sqlite_sequence WHERE name = ?1 COLLATE NOCASE";
}

}  // namespace nce
