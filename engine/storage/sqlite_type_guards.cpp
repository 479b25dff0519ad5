#include "engine/storage/sqlite_type_guards.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/schema/catalog.h"
#include "engine/schema/ddl.h"
#include "engine/schema/guard_misfits.h"
#include "engine/storage/sql_error.h"
#include "engine/storage/sqlite_catalog.h"
#include "engine/storage/sqlite_stmt.h"
#include "nce/nce.h"

namespace nce {
namespace {

// One way a value can fail to fit a field: an SQL condition that is true for
// the misfit (the value is known not to be NULL), the engine error it
// raises, and what the error text says about the value.
struct Misfit {
  std::string when;
  uint32_t number;
  std::string what;
};

// True when `d` is a date of years 1 to 9999 in the engine's stored form
// YYYY-MM-DD; SQLite's date() alone would let 2023-02-29 through, a date
// shifted by zero days shows it as 2023-03-01. date() writes YYYY-MM-DD (a
// year below 0 starts with '-'), so a text it gives back unchanged has that
// form; a pattern test besides would cost a third more.
std::string IsStoredDate(const std::string& d) {
  return "(" + d + " >= '0001' AND date(" + d + ", '+0 days') IS " + d + ")";
}

// True when `t` is a time of day as HH:MM, HH:MM:SS or HH:MM:SS.f to .fff.
std::string IsStoredTime(const std::string& t) {
  const char* hm = "[0-2][0-9]:[0-5][0-9]";
  std::string forms;
  for (const char* tail : {"", ":[0-5][0-9]", ":[0-5][0-9].[0-9]", ":[0-5][0-9].[0-9][0-9]",
                           ":[0-5][0-9].[0-9][0-9][0-9]"})
    forms += std::string(forms.empty() ? "" : " OR ") + t + " GLOB '" + hm + tail + "'";
  return "((" + forms + ") AND substr(" + t + ", 1, 2) <= '23')";
}

std::string Number(int64_t n) {
  return std::to_string(n);
}

// A whole number between `low` and `high`.
std::vector<Misfit> WholeNumber(const std::string& x, int64_t low, int64_t high) {
  return {{"typeof(" + x + ") <> 'integer'", NDS_E_VALUE_INVALID, misfit::kNotWholeNumber},
          {x + " NOT BETWEEN " + Number(low) + " AND " + Number(high), NDS_E_VALUE_TOO_LONG,
           misfit::Outside(low, high)}};
}

std::string NotNumeric(const std::string& x) {
  return "typeof(" + x + ") NOT IN ('integer', 'real')";
}

// Parts of a money text `x`: its digits without the sign, the whole part
// without leading zeros, and the fraction.
std::string MoneyDigits(const std::string& x) {
  return "(CASE WHEN substr(" + x + ", 1, 1) IN ('-', '+') THEN substr(" + x + ", 2) ELSE " + x +
         " END)";
}
std::string MoneyWhole(const std::string& b) {
  return "ltrim(CASE WHEN instr(" + b + ", '.') > 0 THEN substr(" + b + ", 1, instr(" + b +
         ", '.') - 1) ELSE " + b + " END, '0')";
}
std::string MoneyFraction(const std::string& b) {
  return "(CASE WHEN instr(" + b + ", '.') > 0 THEN substr(" + b + ", instr(" + b +
         ", '.') + 1) ELSE '' END)";
}

// Amounts are whole INTEGERs, REALs below 1e11 (or whole), or decimal texts
// with at most four decimals, up to 922337203685477.5807 either way.
std::vector<Misfit> MoneyMisfits(const std::string& x) {
  std::string b = MoneyDigits(x);
  std::string whole = MoneyWhole(b), fraction = MoneyFraction(b);
  std::string is_text = "typeof(" + x + ") = 'text'";
  return {
      {"typeof(" + x + ") NOT IN ('integer', 'real', 'text') OR " + is_text + " AND (" + b +
           " IN ('', '.') OR " + b + " GLOB '*[^0-9.]*' OR " + b + " GLOB '*.*.*')",
       NDS_E_VALUE_INVALID, misfit::kNotMoney},
      {is_text + " AND length(rtrim(" + fraction + ", '0')) > 4 OR typeof(" + x +
           ") = 'real' AND abs(" + x + ") < 1e11 AND CAST(printf('%.4f', " + x + ") AS REAL) <> " +
           x,
       NDS_E_VALUE_TOO_LONG, misfit::kMoneyDecimals},
      {"typeof(" + x + ") <> 'text' AND " + x +
           " NOT BETWEEN -922337203685477 AND 922337203685477 OR " + is_text + " AND (length(" +
           whole + ") > 15 OR substr('000000000000000' || " + whole + ", -15) || substr(" +
           fraction + " || '0000', 1, 4) > '9223372036854775807')",
       NDS_E_VALUE_TOO_LONG, misfit::kMoneyBeyond},
      {"typeof(" + x + ") = 'real' AND abs(" + x + ") >= 1e11 AND " + x + " <> round(" + x + ")",
       NDS_E_VALUE_TOO_LONG, misfit::kMoneyRealDigits}};
}

// The misfits of `field` for the value `x` (NEW."column").
std::vector<Misfit> FieldMisfits(const FieldDesc& field, const std::string& x) {
  const FieldSpec& s = field.shape;
  std::string length = Number(s.length);
  switch (s.type) {
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_RAW:
      return {{"length(CAST(" + x + " AS BLOB)) > " + length, NDS_E_VALUE_TOO_LONG,
               misfit::LongerThanBytes(s.length)}};
    case NDS_NUMERIC:
      // The number as the record image shows it, rounded to the field's
      // decimals, must fit the field's width.
      return {{NotNumeric(x), NDS_E_VALUE_INVALID, misfit::kNotNumber},
              {"length(printf('%." + Number(s.decimals) + "f', " + x + ")) > " + length,
               NDS_E_VALUE_TOO_LONG, misfit::NeedsMoreCharacters(s.length)}};
    case NDS_DATE:
    case NDS_COMPACTDATE:
      return {{"typeof(" + x + ") <> 'text' OR NOT " + IsStoredDate(x), NDS_E_VALUE_INVALID,
               misfit::kNotDate}};
    case NDS_TIME:
      return {{"NOT (typeof(" + x + ") = 'integer' AND " + x +
                   " BETWEEN 0 AND 86399999 OR typeof(" + x + ") = 'text' AND " + IsStoredTime(x) +
                   ")",
               NDS_E_VALUE_INVALID, misfit::kNotTime}};
    case NDS_TIMESTAMP:
    case NDS_MODTIME: {
      std::string date = "substr(" + x + ", 1, 10)", time = "substr(" + x + ", 12)";
      return {{"typeof(" + x + ") <> 'text' OR NOT (" + IsStoredDate(date) + " AND (length(" + x +
                   ") = 10 OR substr(" + x + ", 11, 1) IN (' ', 'T') AND " + IsStoredTime(time) +
                   "))",
               NDS_E_VALUE_INVALID, misfit::kNotTimestamp}};
    }
    case NDS_LOGICAL:
      return {{"typeof(" + x + ") <> 'integer' OR " + x + " NOT IN (0, 1)", NDS_E_VALUE_INVALID,
               misfit::kNotLogical}};
    case NDS_INTEGER:
      return WholeNumber(x, -2147483647, 2147483647);
    case NDS_SHORTINT:
      return WholeNumber(x, -32767, 32767);
    case NDS_AUTOINC:
      return WholeNumber(x, 0, 4294967294);
    case NDS_ROWVERSION:
      return {{"typeof(" + x + ") <> 'integer'", NDS_E_VALUE_INVALID, misfit::kNotWholeNumber}};
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      return {{NotNumeric(x) + " OR abs(" + x + ") > 1.7976931348623157e308", NDS_E_VALUE_INVALID,
               misfit::kNotFinite}};
    case NDS_MONEY:
      return MoneyMisfits(x);
    default:
      return {};  // memo, binary, image, varchar: any contents
  }
}

std::string GuardName(const TableDesc& table, const char* event) {
  return std::string(kGuardPrefix) + table.name + "_" + event;
}

// The refusal's text: the engine error first, then the column and the misfit.
std::string GuardMessage(const FieldDesc& field, const Misfit& misfit) {
  return misfit::Refusal(misfit.number, field.name, misfit.what);
}

// One trigger checking every field of `table` on `event` (INSERT or UPDATE).
// An update checks only the fields it changes, so a row stored before the
// guards existed can still be edited in its other fields.
std::string GuardStatement(const TableDesc& table, bool update) {
  std::string cases;
  for (const FieldDesc& field : table.fields) {
    std::string x = "NEW." + QuoteIdentifier(field.name);
    std::string guard = x + " IS NOT NULL";
    if (update) guard = x + " IS NOT OLD." + QuoteIdentifier(field.name) + " AND " + guard;
    for (const Misfit& misfit : FieldMisfits(field, x))
      cases += " WHEN " + guard + " AND (" + misfit.when + ") THEN RAISE(ABORT, " +
               QuoteLiteral(GuardMessage(field, misfit)) + ")";
  }
  if (cases.empty()) return std::string();
  const char* event = update ? "update" : "insert";
  return "CREATE TRIGGER " + QuoteIdentifier(GuardName(table, event)) + " BEFORE " +
         (update ? "UPDATE" : "INSERT") + " ON " + QuoteIdentifier(table.name) +
         " BEGIN SELECT CASE" + cases + " END; END";
}

// Turns money texts that a number holds exactly back into numbers after
// each write, so that SQL compares and sums them as numbers; only amounts a
// double would round stay text.
std::string MoneyNumbersStatement(const TableDesc& table, bool update) {
  std::string sets, columns;
  for (const FieldDesc& field : table.fields) {
    if (field.shape.type != NDS_MONEY) continue;
    std::string m = QuoteIdentifier(field.name);
    sets += std::string(sets.empty() ? "" : ", ") + m + " = CASE WHEN typeof(" + m +
            ") = 'text' AND (abs(CAST(" + m + " AS REAL)) < 1e11 OR rtrim(" +
            MoneyFraction(MoneyDigits(m)) + ", '0') = '') THEN CAST(" + m + " AS NUMERIC) ELSE " +
            m + " END";
    columns += std::string(columns.empty() ? "" : " OR ") + "typeof(NEW." + m + ") = 'text'";
  }
  if (sets.empty()) return std::string();
  const char* event = update ? "money_update" : "money_insert";
  return "CREATE TRIGGER " + QuoteIdentifier(GuardName(table, event)) + " AFTER " +
         (update ? "UPDATE" : "INSERT") + " ON " + QuoteIdentifier(table.name) + " WHEN " +
         columns + " BEGIN UPDATE " + QuoteIdentifier(table.name) + " SET " + sets +
         " WHERE rowid = NEW.rowid; END";
}

// The guard constraints of `table`, one per misfit: the refusal's text as
// the name (SQLite reports "CHECK constraint failed: <name>") and the
// condition, in the order the trigger tests them, so that the first misfit
// found is the same. A CHECK fails only on false, and so does NOT (the
// misfit).
std::vector<std::pair<std::string, std::string>> CheckParts(const TableDesc& table) {
  std::vector<std::pair<std::string, std::string>> parts;
  for (const FieldDesc& field : table.fields) {
    // A column named in an expression lends its affinity to what it is
    // compared with ('0001' would become the number 1 beside a DATE
    // column); +"column" has none, as NEW."column" in the trigger.
    std::string x = "+" + QuoteIdentifier(field.name);
    for (const Misfit& misfit : FieldMisfits(field, x))
      parts.emplace_back(GuardMessage(field, misfit), x + " IS NULL OR NOT (" + misfit.when + ")");
  }
  return parts;
}

// The guard constraints as the text to append to the table's column list.
std::string CheckConstraints(const TableDesc& table) {
  std::string text;
  for (const auto& [name, condition] : CheckParts(table))
    text += ", CONSTRAINT " + QuoteIdentifier(name) + " CHECK (" + condition + ")";
  return text;
}

// The stored CREATE TABLE text of `table`; empty when there is none.
std::string TableSql(sqlite3* db, const std::string& table) {
  SqliteStmt find(
      db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  find.Bind(1, table);
  return find.Step() && !find.IsNull(0) ? find.Text(0) : std::string();
}

// The guard constraints of a stored CREATE TABLE text: from the first of
// them to the end of the column list (the engine appends them last).
std::string StoredChecks(const std::string& sql) {
  size_t begin = NamedConstraintsBegin(sql, kCheckPrefix), end = ColumnListEnd(sql);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return std::string();
  return sql.substr(begin, end - begin);
}

// The triggers `table` needs: the guard triggers unless its constraints
// guard it, and the money triggers.
std::vector<std::string> WantedTriggers(const TableDesc& table, bool checked) {
  std::vector<std::string> statements;
  for (bool update : {false, true}) {
    for (std::string sql : {checked ? std::string() : GuardStatement(table, update),
                            MoneyNumbersStatement(table, update)})
      if (!sql.empty()) statements.push_back(std::move(sql));
  }
  return statements;
}

// Guard triggers of `table` as stored: (name, text).
std::vector<std::pair<std::string, std::string>> StoredGuards(sqlite3* db,
                                                              const std::string& table) {
  std::vector<std::pair<std::string, std::string>> guards;
  SqliteStmt find(db,
                  "SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND "
                  "tbl_name = ?1 COLLATE NOCASE AND substr(name, 1, length(?2)) = ?2");
  find.Bind(1, table).Bind(2, kGuardPrefix);
  while (find.Step()) guards.emplace_back(find.Text(0), find.Text(1));
  return guards;
}

// Replaces the stored CREATE TABLE text of `table` with `sql`, a change of
// its constraints alone, which SQLite allows through writable_schema: the
// rows and their format stay as they are. The schema version tells every
// connection to read the text again.
void ReplaceTableSql(sqlite3* db, const std::string& table, const std::string& sql) {
  int64_t version = 0;
  {
    SqliteStmt read(db, "PRAGMA schema_version");
    if (read.Step()) version = read.Int(0);
  }
  ExecSql(db, "PRAGMA writable_schema = ON");
  try {
    SqliteStmt update(db,
                      "UPDATE sqlite_master SET sql = ?1 WHERE type = 'table' AND name = ?2 "
                      "COLLATE NOCASE");
    update.Bind(1, sql).Bind(2, table);
    update.Run();
    ExecSql(db, ("PRAGMA schema_version = " + std::to_string(version + 1)).c_str());
  } catch (...) {
    sqlite3_exec(db, "PRAGMA writable_schema = RESET", nullptr, nullptr, nullptr);
    throw;
  }
  ExecSql(db, "PRAGMA writable_schema = RESET");
}

// True when every row of `table` passes the constraints `parts`.
bool RowsPass(sqlite3* db, const TableDesc& table,
              const std::vector<std::pair<std::string, std::string>>& parts) {
  std::string all;
  for (const auto& part : parts)
    all += (all.empty() ? "coalesce((" : " AND coalesce((") + part.second + "), 1)";
  SqliteStmt misfit(
      db, "SELECT 1 FROM " + QuoteIdentifier(table.name) + " WHERE NOT (" + all + ") LIMIT 1");
  return !misfit.Step();
}

// True when `table`, stored without any guards, may get them as CHECK
// constraints written into its stored text although it holds rows: every
// row passes them. Constraints add about half of what triggers add to an
// insert, and a schema of triggers takes SQLite three times the memory. A
// table with a row they would refuse gets triggers, which let its old rows
// stay. Reads only.
bool MayGuardInPlace(sqlite3* db, const TableDesc& table) {
  std::string sql = TableSql(db, table.name);
  size_t end = ColumnListEnd(sql);
  if (end == std::string::npos || sql.compare(0, 13, "CREATE TABLE ") != 0) return false;
  if (!StoredChecks(sql).empty() || !StoredGuards(db, table.name).empty()) return false;
  std::vector<std::pair<std::string, std::string>> parts = CheckParts(table);
  if (parts.empty()) return false;
  try {
    return RowsPass(db, table, parts);
  } catch (const EngineError&) {
    return false;  // a table SQLite cannot scan so keeps to triggers
  }
}

// Writes the guard constraints into the stored text of `table` (see
// MayGuardInPlace). False, with the table as it was, when SQLite does not
// take the new text; the table then gets triggers.
bool GuardInPlace(sqlite3* db, const TableDesc& table) {
  std::string sql = TableSql(db, table.name);
  size_t end = ColumnListEnd(sql);
  ExecSql(db, "SAVEPOINT _nce_guard_checks");
  bool taken = false;
  try {
    ReplaceTableSql(db, table.name, sql.substr(0, end) + CheckConstraints(table) + sql.substr(end));
    // SQLite reads the new text at the next statement, which fails on a
    // text it does not take.
    SqliteStmt probe(db, "SELECT * FROM " + QuoteIdentifier(table.name) + " LIMIT 0");
    taken = true;
  } catch (const EngineError& error) {
    if (error.number() == NDS_E_BUSY) throw;
  }
  if (!taken) sqlite3_exec(db, "ROLLBACK TO _nce_guard_checks", nullptr, nullptr, nullptr);
  ExecSql(db, "RELEASE _nce_guard_checks");
  return taken;
}

bool Guarded(sqlite3* db, const TableDesc& table) {
  std::string checks = StoredChecks(TableSql(db, table.name));
  bool checked = !checks.empty() && checks == CheckConstraints(table);
  if (!checks.empty() && !checked) return false;
  std::vector<std::string> wanted = WantedTriggers(table, checked);
  std::vector<std::pair<std::string, std::string>> stored = StoredGuards(db, table.name);
  if (stored.size() != wanted.size()) return false;
  for (const auto& [name, sql] : stored)
    if (std::find(wanted.begin(), wanted.end(), sql) == wanted.end()) return false;
  return true;
}

// Makes the new, empty table `table` (stored as `sql`) again with `checks`
// appended to its column list. Only a table without rows, indexes and
// triggers of its own is made again, so that nothing but its text changes;
// false (and the table as it was) otherwise.
bool RebuildWithChecks(sqlite3* db, const TableDesc& table, const std::string& sql,
                       const std::string& checks) {
  size_t end = ColumnListEnd(sql);
  if (end == std::string::npos || sql.compare(0, 13, "CREATE TABLE ") != 0) return false;
  {
    // Finished before the DROP, which SQLite refuses while a read is open.
    SqliteStmt plain(db,
                     "SELECT NOT EXISTS (SELECT 1 FROM sqlite_master WHERE tbl_name = ?1 COLLATE "
                     "NOCASE AND type IN ('index', 'trigger') AND sql IS NOT NULL) AND NOT EXISTS "
                     "(SELECT 1 FROM " +
                         QuoteIdentifier(table.name) + ")");
    plain.Bind(1, table.name);
    if (!plain.Step() || plain.Int(0) == 0) return false;
  }
  ExecSql(db, "SAVEPOINT _nce_guard_checks");
  try {
    ExecSql(db, ("DROP TABLE " + QuoteIdentifier(table.name)).c_str());
    ExecSql(db, (sql.substr(0, end) + checks + sql.substr(end)).c_str());
  } catch (const EngineError&) {
    // SQLite refused the constraints: the table keeps its text and gets
    // the guard triggers.
    sqlite3_exec(db, "ROLLBACK TO _nce_guard_checks", nullptr, nullptr, nullptr);
    ExecSql(db, "RELEASE _nce_guard_checks");
    return false;
  }
  ExecSql(db, "RELEASE _nce_guard_checks");
  return true;
}

}  // namespace

void EnsureTypeGuards(sqlite3* db, const TableDesc& table, bool new_table) {
  std::string sql = TableSql(db, table.name);
  std::string stored = StoredChecks(sql), checks = CheckConstraints(table);
  bool checked = !stored.empty() && stored == checks;
  // Constraints that no longer fit the fields give way to triggers.
  if (!stored.empty() && !checked) DropCheckGuards(db, table.name);
  if (!checked && new_table && !checks.empty()) checked = RebuildWithChecks(db, table, sql, checks);
  std::vector<std::string> wanted = WantedTriggers(table, checked);
  for (const auto& [name, trigger] : StoredGuards(db, table.name)) {
    auto kept = std::find(wanted.begin(), wanted.end(), trigger);
    if (kept != wanted.end()) {
      wanted.erase(kept);
      continue;
    }
    ExecSql(db, ("DROP TRIGGER " + QuoteIdentifier(name)).c_str());
  }
  for (const std::string& trigger : wanted) ExecSql(db, trigger.c_str());
}

void DropCheckGuards(sqlite3* db, const std::string& table) {
  std::string sql = TableSql(db, table);
  size_t begin = NamedConstraintsBegin(sql, kCheckPrefix), end = ColumnListEnd(sql);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return;
  ReplaceTableSql(db, table, sql.substr(0, begin) + sql.substr(end));
}

void DropAllTypeGuards(sqlite3* db) {
  std::vector<std::string> names;
  {
    SqliteStmt find(db,
                    "SELECT name FROM sqlite_master WHERE type = 'trigger' AND "
                    "substr(name, 1, length(?1)) = ?1");
    find.Bind(1, kGuardPrefix);
    while (find.Step()) names.push_back(find.Text(0));
  }
  for (const std::string& name : names)
    ExecSql(db, ("DROP TRIGGER " + QuoteIdentifier(name)).c_str());
}

void GuardStoredTables(sqlite3* db) {
  std::vector<TableDesc> unguarded;
  for (const std::string& name : UserTables(db)) {
    std::optional<TableDesc> table = DescribeTable(db, name);
    if (table && !Guarded(db, *table)) unguarded.push_back(std::move(*table));
  }
  if (unguarded.empty()) return;
  // The rows of the tables that may take constraints are read first, under
  // a read transaction that holds no writer back, however long the scan;
  // the first write then takes the write lock. A writer that committed
  // meanwhile makes it fail (busy), and the guards wait for a later open.
  ExecSql(db, "BEGIN");
  try {
    std::vector<char> in_place;
    for (const TableDesc& table : unguarded) in_place.push_back(MayGuardInPlace(db, table));
    for (size_t i = 0; i < unguarded.size(); ++i) {
      if (in_place[i]) GuardInPlace(db, unguarded[i]);
      EnsureTypeGuards(db, unguarded[i]);
    }
    ExecSql(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace nce
