// The checked values of fields, shared by the image and the text readers:
// each either returns the field's value or raises EngineError 5147 (too
// long or too large) or 5148 (not a value of the field's type) naming the
// column as `column "NAME"`.
#ifndef ENGINE_RECORD_FIELD_VALUES_H
#define ENGINE_RECORD_FIELD_VALUES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/values.h"
#include "engine/schema/catalog.h"

namespace nce {

[[noreturn]] void TooLong(const FieldDesc& f, const std::string& what);
[[noreturn]] void NotAValue(const FieldDesc& f, const std::string& what);

// A day of years 1 to 9999 as its ISO text.
Value DateValue(const FieldDesc& f, int64_t julian);

// A numeric field's text: whole numbers as integers when the field has no
// decimals, else a real that must fit the field's width.
Value NumericValue(const FieldDesc& f, std::string_view text);

// A whole number within [low, high].
Value IntegerValue(const FieldDesc& f, int64_t v, int64_t low, int64_t high);

// A day and a time of day as "YYYY-MM-DD HH:MM:SS.fff".
Value TimestampValue(const FieldDesc& f, int64_t julian, int64_t ms);

// A time of day as "HH:MM:SS.fff".
Value TimeValue(const FieldDesc& f, int64_t ms);

}  // namespace nce

#endif  // ENGINE_RECORD_FIELD_VALUES_H
