#include "engine/storage/postgres/postgres_functions.h"

#include "engine/storage/postgres/sql/functions_sql.h"

namespace nce {

std::string_view PostgresFunctionsSql() {
  // Each helper is STRICT (a NULL value gives NULL, which nce_key keys as
  // zero) and IMMUTABLE, so that an index may be built on nce_key. The text
  // is sql/functions.sql, embedded when the engine is built.
  return kFunctionsSql;
}

}  // namespace nce
