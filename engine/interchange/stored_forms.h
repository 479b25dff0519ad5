// A value's interchange form (table_rows.h) against the form a store keeps
// for the same engine type: numeric fields as whole numbers or doubles,
// money in its stored form (base/money.h), the rest as they are. A decimal
// goes into a numeric field only where the double that field keeps gives
// its digits back exactly; anything else is refused, never rounded.
#ifndef ENGINE_INTERCHANGE_STORED_FORMS_H
#define ENGINE_INTERCHANGE_STORED_FORMS_H

#include <cstdint>
#include <vector>

#include "engine/base/values.h"
#include "engine/interchange/table_rows.h"

namespace nce {

// The stored form of `in` for `column` in `*out` (which may be `in` itself:
// a value that keeps its form is not copied then); `whole_as_doubles`: the
// store keeps whole numbers of numeric fields as doubles too
// (StoreSession::WholeNumericsAsDoubles). Throws EngineError
// NDS_E_VALUE_INVALID or NDS_E_VALUE_TOO_LONG with a text that says what
// is wrong with the value (the caller adds where it is).
void ToStoredForm(const TableColumn& column, const Value& in, Value* out,
                  bool whole_as_doubles = false);

// Whether a record image can show the stored value `stored` in `column`'s
// field (`ndt`: of an NDT table, else of a DBF-kind one): the engine's own
// test of a value its field holds, which a store's type guards make in
// SQL. A bulk insert checks it here once per value, so that the store need
// not. `scratch` is room the check may reuse.
bool FitsRecordImage(const TableColumn& column, bool ndt, const Value& stored,
                     std::vector<uint8_t>* scratch);

// The interchange form of the stored value `stored` of `column` in `*out`.
// Throws NDS_E_VALUE_INVALID for a stored value that is no value of the
// column's type (a text in a numeric column written by another tool).
void ToInterchangeForm(const TableColumn& column, const Value& stored, Value* out);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_STORED_FORMS_H
