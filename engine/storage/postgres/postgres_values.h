// Values between the engine and libpq: bound values laid out as libpq
// sends them, and result values read back (the mapping is described in
// postgres_session.h).
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_VALUES_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_VALUES_H

#include <libpq-fe.h>

#include <array>
#include <cstdint>
#include <vector>

#include "engine/base/values.h"
#include "engine/storage/postgres/postgres_value_texts.h"

namespace nce {

// Bound values laid out as PQexecParams takes them; points into `values`,
// which must stay as they are while the parameters are in use.
//
// A real goes as a binary double precision where the server's own
// conversion of a double to numeric (15 significant digits) keeps it: no
// finite number, zero, or a shortest text of at most 15 significant digits.
// Any other real goes as numeric text, which a numeric column keeps exactly
// and a double precision column reads back as the same double: the shortest
// text that reads back as it, or for a whole number from 2^53 to 2^63 its
// exact digits. As a double it would reach a numeric column rounded, and its
// checks could not refuse what SQLite's refuse (0.30000000000000004 for
// money). In an expression of parameters alone such a real computes as a
// numeric, as a literal of its digits would.
struct PostgresParams {
  // Texts must hold no zero byte: libpq sends a text up to its first.
  explicit PostgresParams(const std::vector<Value>& values);
  // Sends the parameters the text does not use (`used` false) as NULL texts:
  // the server cannot infer a type for them, and the engine's texts skip
  // numbers.
  void TypeUnused(const std::vector<bool>& used);

  std::vector<Oid> types;
  std::vector<const char*> data;
  std::vector<int> lengths, formats;
  std::vector<uint64_t> numbers;  // binary integers and doubles, big-endian
  std::vector<std::array<char, kMaxExactNumericText + 1>>
      texts;  // reals sent as numeric text; empty if none

 private:
  void Binary(size_t i, Oid type, uint64_t host);
  void Real(size_t i, double real);
};

// Column `column` of row `row` of `result` as the engine's value; throws
// NDS_E_SQL for a value of a numeric type or bytea that cannot be read.
Value ReadValue(const PGresult* result, int row, int column);
// The same into `out`, reusing the bytes it holds.
void ReadValueInto(const PGresult* result, int row, int column, Value* out);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_VALUES_H
