#include "engine/storage/postgres/postgres_sqlite_forms.h"

#include "engine/storage/postgres/sql/sqlite_forms_sql.h"

namespace nce {

std::string_view PostgresSqliteFormsSql() {
  // Every function is IMMUTABLE, so that index keys and conditions may call
  // it; the SQL ones are inlined where they are used. The text is
  // sql/sqlite_forms.sql, embedded when the engine is built.
  return kSqliteFormsSql;
}

}  // namespace nce
