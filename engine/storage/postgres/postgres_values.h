// Values between the engine and libpq: bound values laid out as libpq
// sends them, and result values read back (the mapping is described in
// postgres_session.h).
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_VALUES_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_VALUES_H

#include <libpq-fe.h>

#include <cstdint>
#include <vector>

#include "engine/base/values.h"

namespace nce {

// Bound values laid out as PQexecParams takes them; points into `values`,
// which must stay as they are while the parameters are in use.
struct PostgresParams {
  // Texts must hold no zero byte: libpq sends a text up to its first.
  explicit PostgresParams(const std::vector<Value>& values);

  std::vector<Oid> types;
  std::vector<const char*> data;
  std::vector<int> lengths, formats;
  std::vector<uint64_t> numbers;  // binary integers and doubles, big-endian

 private:
  void Binary(size_t i, Oid type, uint64_t host);
};

// Column `column` of row `row` of `result` as the engine's value; throws
// NDS_E_SQL for a value of a numeric type or bytea that cannot be read.
Value ReadValue(const PGresult* result, int row, int column);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_VALUES_H
