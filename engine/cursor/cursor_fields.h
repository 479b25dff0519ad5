// Naming a cursor's fields by name or ordinal, and writing field values into
// its current record through the value setters (NdsSetField, NdsSetFieldRaw,
// NdsSetString, NdsSetBinary, ...).
#ifndef ENGINE_CURSOR_CURSOR_FIELDS_H
#define ENGINE_CURSOR_CURSOR_FIELDS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/errors.h"
#include "engine/base/sql_text.h"
#include "engine/base/values.h"
#include "engine/cursor/cursor.h"
#include "nce/nce.h"

namespace nce {

// True when the cursor's string fields travel in the OEM form
// (engine/base/oem_text.h): its character type, or the one its caller set
// for its texts (NdsSetTextCharType), is NDS_OEM.
inline bool TextsInOemForm(const Cursor& cursor) {
  const uint16_t type = cursor.text_char_type ? cursor.text_char_type : cursor.desc.char_type;
  return type == NDS_OEM;
}

// 0-based index of a field named by name or ordinal; throws NDS_E_INVALID_FIELD.
inline size_t FieldIndex(const Cursor& cursor, NDSFIELD field) {
  FieldRef ref = ReadFieldRef(field);
  const std::vector<FieldDesc>& fields = cursor.desc.fields;
  if (ref.ordinal) {
    if (ref.ordinal > fields.size())
      throw EngineError(NDS_E_INVALID_FIELD, "Field number " + std::to_string(ref.ordinal) +
                                                 " does not exist; the cursor has " +
                                                 std::to_string(fields.size()) + " fields.");
    return ref.ordinal - 1;
  }
  for (size_t i = 0; i < fields.size(); ++i)
    if (EqualsNoCase(fields[i].name, ref.name)) return i;
  throw EngineError(NDS_E_INVALID_FIELD, "The cursor has no field named " + ref.name + ".");
}

// Stores `value` in field `field` of the cursor's current record after
// checking that it fits (EngineError 5147, 5148 or 5149 otherwise). A text
// value is the field's text form, as stored; other values are taken as what
// they are.
void SetCursorField(Cursor& cursor, NDSFIELD field, const Value& value);
// The same for the field's text form, and for the bytes of its record-image
// form, read in place. Both follow TextsInOemForm: string fields then come
// in the OEM form, and one handed back as the cursor showed it keeps its
// stored text.
void SetCursorFieldText(Cursor& cursor, NDSFIELD field, std::string_view text);
void SetCursorFieldImage(Cursor& cursor, NDSFIELD field, std::string_view bytes);

// One piece of a binary value of `total` bytes, written at `offset`.
void SetCursorBinaryPiece(Cursor& cursor, NDSFIELD field, uint32_t total, uint32_t offset,
                          const void* data, uint32_t length);

}  // namespace nce

#endif  // ENGINE_CURSOR_CURSOR_FIELDS_H
