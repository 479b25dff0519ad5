#include "engine/storage/postgres/postgres_columns.h"

#include "engine/storage/postgres/postgres_session.h"

namespace nce {

namespace {

// Type numbers of the server's built-in types (pg_type.oid), fixed for good.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701,
              kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTime = 1083, kTimestamp = 1114,
              kNumeric = 1700;

}  // namespace

std::string PostgresDeclaredType(Oid type, int modifier) {
  switch (type) {
    case kBool:
      return "BOOLEAN";
    case kInt2:
      return "SMALLINT";
    case kInt4:
      return "INTEGER";
    case kInt8:
      return "BIGINT";
    case kFloat4:
    case kFloat8:
      return "DOUBLE";
    case kDate:
      return "DATE";
    case kTime:
      return "TIME";
    case kTimestamp:
      return "TIMESTAMP";
    case kNumeric: {
      if (modifier < 4) return {};  // no size: whole numbers and fractions alike
      int precision = ((modifier - 4) >> 16) & 0xFFFF, scale = (modifier - 4) & 0xFFFF;
      return "NUMERIC(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    }
    case kVarchar:
    case kBpchar:
      if (modifier < 4) return {};
      return std::string(type == kVarchar ? "VARCHAR(" : "CHAR(") + std::to_string(modifier - 4) +
             ")";
    default:
      return {};
  }
}

StoreStatement::Origin PostgresOrigins::Find(PostgresSession& session, const PGresult* result,
                                             int column) {
  Oid table = PQftable(result, column);
  int number = PQftablecol(result, column);
  if (table == InvalidOid || number <= 0) return {};
  auto it = tables_.find(table);
  if (it == tables_.end()) {
    Table found;
    auto read = session.Prepare(
        "SELECT c.relname, a.attnum, a.attname FROM pg_class c JOIN pg_attribute a ON "
        "a.attrelid = c.oid WHERE c.oid = ?1 AND a.attnum > 0 AND NOT a.attisdropped");
    read->Bind(1, Value::Integer(table));
    while (read->Step()) {
      found.name = read->Column(0).bytes;
      found.columns[static_cast<int>(read->Column(1).integer)] = read->Column(2).bytes;
    }
    it = tables_.emplace(table, std::move(found)).first;
  }
  auto name = it->second.columns.find(number);
  if (name == it->second.columns.end()) return {};
  return {it->second.name, name->second};
}

}  // namespace nce
