#include "engine/storage/postgres/postgres_tables.h"

#include <string_view>
#include <vector>

#include "engine/base/sql_text.h"
#include "engine/schema/guard_misfits.h"
#include "nce/nce.h"

namespace nce {
namespace {

// One way a value can fail to fit a field on the server: a condition true
// for the misfit (the value is not NULL), the engine error and its words.
struct ServerMisfit {
  std::string when;
  uint32_t number;
  std::string what;
};

constexpr const char* kNotFiniteValue = " IN ('NaN', 'Infinity', '-Infinity')";

// Not a whole number of 64 bits (SQLite keeps a larger one as a real, which
// its guards refuse as not whole); NaN sorts above every number.
std::string NotWhole(const std::string& x) {
  return "NOT (" + x + " BETWEEN -9223372036854775808 AND 9223372036854775807 AND " + x +
         " = trunc(" + x + "))";
}

std::vector<ServerMisfit> WholeNumber(const std::string& x, int64_t low, int64_t high) {
  return {{NotWhole(x), NDS_E_VALUE_INVALID, misfit::kNotWholeNumber},
          {x + " NOT BETWEEN " + std::to_string(low) + " AND " + std::to_string(high),
           NDS_E_VALUE_TOO_LONG, misfit::Outside(low, high)}};
}

// Whole milliseconds: the server keeps microseconds.
std::string WholeMilliseconds(const std::string& x) {
  return "extract(microseconds FROM " + x + ") % 1000 = 0";
}

// The misfits of `field` for the value `x`, in the order the SQLite guards
// test them. The column's type refuses what is no value of its kind (a text
// that is no date, say) before any check runs; the checks refuse what the
// type holds but the field does not.
std::vector<ServerMisfit> FieldMisfits(const FieldDesc& field, const std::string& x) {
  const FieldSpec& s = field.shape;
  std::string length = std::to_string(s.length);
  switch (s.type) {
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_RAW:
      return {{"octet_length(" + x + ") > " + length, NDS_E_VALUE_TOO_LONG,
               misfit::LongerThanBytes(s.length)}};
    case NDS_NUMERIC:
      return {{x + " = 'NaN'", NDS_E_VALUE_INVALID, misfit::kNotNumber},
              {"length(round(" + x + "::numeric, " + std::to_string(s.decimals) + ")::text) > " +
                   length,
               NDS_E_VALUE_TOO_LONG, misfit::NeedsMoreCharacters(s.length)}};
    case NDS_DATE:
    case NDS_COMPACTDATE:
      return {{x + " NOT BETWEEN '0001-01-01' AND '9999-12-31'", NDS_E_VALUE_INVALID,
               misfit::kNotDate}};
    case NDS_TIME:
      // The server reads 24:00:00 as a time; the engine does not.
      return {{"NOT (" + x + " < '24:00' AND " + WholeMilliseconds(x) + ")", NDS_E_VALUE_INVALID,
               misfit::kNotTime}};
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return {{"NOT (" + x + " BETWEEN '0001-01-01' AND '9999-12-31 23:59:59.999' AND " +
                   WholeMilliseconds(x) + ")",
               NDS_E_VALUE_INVALID, misfit::kNotTimestamp}};
    case NDS_LOGICAL:
      return {{x + " NOT IN (0, 1)", NDS_E_VALUE_INVALID, misfit::kNotLogical}};
    case NDS_INTEGER:
      return WholeNumber(x, -2147483647, 2147483647);
    case NDS_SHORTINT:
      return WholeNumber(x, -32767, 32767);
    case NDS_AUTOINC:
      return WholeNumber(x, 0, 4294967294);
    case NDS_ROWVERSION:
      return {{NotWhole(x), NDS_E_VALUE_INVALID, misfit::kNotWholeNumber}};
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      return {{x + kNotFiniteValue, NDS_E_VALUE_INVALID, misfit::kNotFinite}};
    case NDS_MONEY:
      // A number holds every amount exactly, so no amount given as a number
      // has lost digits, as a real on SQLite may have.
      return {{x + kNotFiniteValue, NDS_E_VALUE_INVALID, misfit::kNotMoney},
              {x + " <> round(" + x + ", 4)", NDS_E_VALUE_TOO_LONG, misfit::kMoneyDecimals},
              {x + " NOT BETWEEN -922337203685477.5807 AND 922337203685477.5807",
               NDS_E_VALUE_TOO_LONG, misfit::kMoneyBeyond}};
    default:
      return {};  // memo, binary, image, varchar: any contents
  }
}

// The guard's name: field and misfit numbers, the field's zero-padded so
// that the names sort in field order.
std::string GuardName(size_t field, size_t misfit) {
  std::string number = std::to_string(field);
  if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
  return "nce_f" + number + "_" + std::to_string(misfit);
}

// Reads the field and misfit numbers of guard `name`; false for any other name.
bool ParseGuardName(std::string_view name, size_t* field, size_t* misfit) {
  if (!name.starts_with("nce_f")) return false;
  name.remove_prefix(5);
  size_t* parts[] = {field, misfit};
  for (size_t i = 0; i < 2; ++i) {
    size_t digits = 0, value = 0;
    while (digits < name.size() && digits < 9 && name[digits] >= '0' && name[digits] <= '9')
      value = value * 10 + static_cast<size_t>(name[digits++] - '0');
    if (digits == 0) return false;
    *parts[i] = value;
    name.remove_prefix(digits);
    if (i == 0) {
      if (name.empty() || name[0] != '_') return false;
      name.remove_prefix(1);
    }
  }
  return name.empty();
}

}  // namespace

std::string PostgresColumnType(const FieldSpec& field) {
  switch (field.type) {
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_MEMO:
    case NDS_VARCHAR:
      return "text";  // varchar(n) would count characters, the engine counts bytes
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_RAW:
      return "bytea";
    case NDS_DATE:
    case NDS_COMPACTDATE:
      return "date";
    case NDS_TIME:
      return "time";  // time(3) would round a finer time instead of refusing it
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      return "timestamp";
    case NDS_NUMERIC:
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      return "double precision";  // what SQLite keeps: a double, exactly
    default:
      return "numeric";  // whole numbers, logical values and money, without rounding
  }
}

std::string PostgresDefaultType(const FieldSpec& field) {
  std::string type = PostgresColumnType(field);
  return type == "time" || type == "timestamp" ? type + "(3)" : type;
}

std::string PostgresColumnDefinition(const FieldDesc& field, const ColumnRule* rule) {
  std::string sql = QuoteIdentifier(field.name) + " " + PostgresColumnType(field.shape);
  if (!rule) return sql;
  if (!rule->default_sql.empty())
    sql += " DEFAULT ((" + rule->default_sql + ")::" + PostgresDefaultType(field.shape) + ")";
  if (rule->not_null) sql += " NOT NULL";
  if (rule->unique) sql += " UNIQUE";
  return sql;
}

std::vector<std::string> PostgresFieldGuards(const FieldDesc& field, size_t position) {
  std::string x = QuoteIdentifier(field.name);
  std::vector<ServerMisfit> misfits = FieldMisfits(field, x);
  std::vector<std::string> guards;
  for (size_t m = 0; m < misfits.size(); ++m)
    guards.push_back("CONSTRAINT " + GuardName(position, m) + " CHECK (" + x + " IS NULL OR NOT (" +
                     misfits[m].when + "))");
  return guards;
}

std::string PostgresCreateTable(const TableDesc& table, const std::vector<ColumnRule>& rules) {
  std::string sql = "CREATE TABLE " + QuoteIdentifier(table.name) + " (";
  std::string checks;
  for (size_t f = 0; f < table.fields.size(); ++f) {
    sql += PostgresColumnDefinition(table.fields[f], f < rules.size() ? &rules[f] : nullptr) + ", ";
    for (const std::string& guard : PostgresFieldGuards(table.fields[f], f)) checks += ", " + guard;
  }
  // The record number comes last: INSERT ... VALUES without a column list
  // fills the fields, as on SQLite, whose rowid is no column.
  return sql + "rowid bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY" + checks + ")";
}

std::optional<size_t> GuardField(std::string_view constraint) {
  size_t field = 0, misfit = 0;
  if (!ParseGuardName(constraint, &field, &misfit)) return std::nullopt;
  return field;
}

std::string RenumberedGuardName(std::string_view constraint, size_t field) {
  size_t old_field = 0, misfit = 0;
  ParseGuardName(constraint, &old_field, &misfit);
  return GuardName(field, misfit);
}

std::optional<EngineError> PostgresGuardRefusal(const TableDesc& table, const EngineError& error) {
  // The session's text: "SQL error: NativeError = n; SQLSTATE 23514; new
  // row for relation "t" violates check constraint "nce_f0001_0" (...)".
  static constexpr std::string_view kViolates = " violates check constraint \"";
  const std::string& text = error.text();
  if (error.number() != NDS_E_SQL) return std::nullopt;
  size_t state = text.find("; SQLSTATE ");
  if (state == std::string::npos || text.size() < state + 18) return std::nullopt;
  std::string_view code = std::string_view(text).substr(state + 11, 5);
  std::string message = text.substr(state + 18);
  // A value the column's type cannot read (no number, no date, a number
  // beyond a double): the server names the value but not the column.
  if (code == "22P02" || code == "22007" || code == "22008" || code == "22003")
    return EngineError(NDS_E_VALUE_INVALID,
                       "Value does not fit table \"" + table.name + "\": " + message);
  // A value of another type altogether ("column "d" is of type date but
  // expression is of type integer"): the column's first misfit, which says
  // what the field takes, where it is one of kind.
  static constexpr std::string_view kColumn = "column \"", kOfType = "\" is of type ";
  size_t of_type = message.find(kOfType);
  if (code == "42804" && message.starts_with(kColumn) && of_type != std::string::npos) {
    std::string name = message.substr(kColumn.size(), of_type - kColumn.size());
    for (const FieldDesc& field : table.fields) {
      std::vector<ServerMisfit> misfits = FieldMisfits(field, QuoteIdentifier(field.name));
      if (field.name == name && !misfits.empty() && misfits[0].number == NDS_E_VALUE_INVALID)
        return EngineError(NDS_E_VALUE_INVALID, misfit::RefusalText(field.name, misfits[0].what));
    }
    return std::nullopt;
  }
  size_t at = message.find(kViolates);
  if (code != "23514" || at == std::string::npos) return std::nullopt;
  size_t begin = at + kViolates.size(), end = message.find('"', begin);
  size_t f = 0, m = 0;
  if (end == std::string::npos ||
      !ParseGuardName(std::string_view(message).substr(begin, end - begin), &f, &m) ||
      f >= table.fields.size())
    return std::nullopt;
  const FieldDesc& field = table.fields[f];
  std::vector<ServerMisfit> misfits = FieldMisfits(field, QuoteIdentifier(field.name));
  if (m >= misfits.size()) return std::nullopt;
  return EngineError(misfits[m].number, misfit::RefusalText(field.name, misfits[m].what));
}

}  // namespace nce
