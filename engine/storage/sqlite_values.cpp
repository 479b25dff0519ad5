#include "engine/storage/sqlite_values.h"

namespace nce {

namespace {

int Bind(sqlite3_stmt* stmt, int index, const Value& value, sqlite3_destructor_type bytes) {
  switch (value.kind) {
    case Value::Kind::kUnset:
    case Value::Kind::kNull:
      return sqlite3_bind_null(stmt, index);
    case Value::Kind::kInteger:
      return sqlite3_bind_int64(stmt, index, value.integer);
    case Value::Kind::kReal:
      return sqlite3_bind_double(stmt, index, value.real);
    case Value::Kind::kText:
      return sqlite3_bind_text64(stmt, index, value.bytes.data(), value.bytes.size(), bytes,
                                 SQLITE_UTF8);
    case Value::Kind::kBlob:
      return sqlite3_bind_blob64(stmt, index, value.bytes.data(), value.bytes.size(), bytes);
  }
  return SQLITE_MISUSE;
}

}  // namespace

int BindValue(sqlite3_stmt* stmt, int index, const Value& value) {
  return Bind(stmt, index, value, SQLITE_TRANSIENT);
}

int BindValueInPlace(sqlite3_stmt* stmt, int index, const Value& value) {
  return Bind(stmt, index, value, SQLITE_STATIC);
}

}  // namespace nce
