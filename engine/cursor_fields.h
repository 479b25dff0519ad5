// Writing field values into a cursor's current record through the value
// setters (NdsSetField, NdsSetFieldRaw, NdsSetString, NdsSetBinary, ...).
#ifndef ENGINE_CURSOR_FIELDS_H
#define ENGINE_CURSOR_FIELDS_H

#include <cstdint>

#include "engine/cursor.h"
#include "engine/values.h"
#include "nds/nce.h"

namespace nce {

// Stores `value` in field `field` of the cursor's current record after
// checking that it fits (EngineError 5147, 5148 or 5149 otherwise). A text
// value is the field's text form; with `raw` a blob value holds the bytes of
// the field's record-image form; other values are taken as what they are.
void SetCursorField(Cursor& cursor, NDSFIELD field, const Value& value, bool raw);

// One piece of a binary value of `total` bytes, written at `offset`.
void SetCursorBinaryPiece(Cursor& cursor, NDSFIELD field, uint32_t total, uint32_t offset,
                          const void* data, uint32_t length);

}  // namespace nce

#endif  // ENGINE_CURSOR_FIELDS_H
