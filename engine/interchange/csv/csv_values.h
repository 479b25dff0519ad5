// The text of one CSV field for each engine type, both ways: what a field
// must hold to become a value of its column (in the interchange forms of
// table_rows.h), and what a value looks like written. A value that the
// engine would round, cut or hold as something else is refused, never
// adjusted: numbers keep every digit or fail.
//
//   integers      [+|-]digits; "12.0" too (a fraction of zeros only)
//   numeric       [+|-]digits[.digits], no exponent; at most the column's
//                 decimals (beyond them only zeros), its width as the engine
//                 counts it (sign, digits, point), and for columns with
//                 decimals at most 15 digits once scaled (what a double holds)
//   money         the same, at most 4 decimals, +-922337203685477.5807
//   double        any decimal or exponent form; written in the shortest
//                 form that reads back as the same double
//   logical       true/false, t/f, yes/no, y/n, 1/0 in any letter case;
//                 written true/false
//   date          YYYY-MM-DD of years 1 to 9999, a date the calendar has
//   time          HH:MM[:SS[.fff]], at most millisecond precision
//   timestamp     a date, then a blank or 'T' and a time; a date alone is
//                 its midnight
//   blob          \x and two hexadecimal digits per byte (as PostgreSQL
//                 prints bytea)
//   text          as it stands; string fields at most their length in bytes
// Fields of every type but text may carry blanks around the value.
#ifndef ENGINE_INTERCHANGE_CSV_CSV_VALUES_H
#define ENGINE_INTERCHANGE_CSV_CSV_VALUES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/values.h"
#include "engine/schema/catalog.h"

namespace nce {

// A plain decimal as a field writes it, split into its parts.
struct CsvDecimal {
  bool negative = false;      // written with '-' (also "-0")
  std::string_view whole;     // digits before the point, leading zeros removed
  std::string_view fraction;  // digits after the point, as written
};

// Reads [+|-]digits[.digits] or [+|-].digits (no blanks, no exponent).
bool ReadCsvDecimal(std::string_view text, CsvDecimal* out);
// The fraction without its trailing zeros.
std::string_view SignificantFraction(const CsvDecimal& d);
// Whether every digit is zero.
bool IsZero(const CsvDecimal& d);

// Reads a number of any form a double takes from text: a plain decimal or
// one with an exponent ("1.5e-3"); never "inf", "nan" or hexadecimal forms.
// False for no number; *out_of_range set (and false returned) for one
// beyond what a double holds.
bool ReadCsvDouble(std::string_view text, double* value, bool* out_of_range);
// Whether `value`'s shortest text stands for the same number as `text` (a
// text ReadCsvDouble read as `value`): the double holds it exactly.
bool DoubleHoldsExactly(std::string_view text, double value);

// Reads YYYY-MM-DD of a date the calendar has into its Julian day.
bool ReadCsvDate(std::string_view text, int64_t* julian);
// Reads HH:MM[:SS[.fff]] into milliseconds of the day; digits beyond the
// third decimal must be zeros.
bool ReadCsvTime(std::string_view text, int64_t* ms);
// Reads a date, optionally followed by a blank or 'T' and a time.
bool ReadCsvTimestamp(std::string_view text, int64_t* julian, int64_t* ms);
// Reads the logical words listed above; *truth gets the value.
bool ReadCsvLogical(std::string_view text, bool* truth);

// Blanks (spaces and tabs) removed from both ends.
std::string_view TrimBlanks(std::string_view text);

// Whether values of `type` are text, kept as the field holds them (blanks
// included, quoted empty fields as empty texts).
bool IsCsvTextType(uint16_t type);

// Converts one field's text (UTF-8 for text types; a non-empty field, as an
// empty one is NULL or, quoted in a text column, the empty text) into
// `shape`'s interchange form in `*out`. Returns 0, or the error number
// (NDS_E_VALUE_INVALID, NDS_E_VALUE_TOO_LONG) with `*why` saying what is
// wrong in words for a message. `*out` keeps its buffer, so a row reused
// from record to record allocates nothing.
uint32_t CsvFieldValue(const FieldSpec& shape, std::string_view text, Value* out, std::string* why);

// Appends the text of `value` (not NULL) as a field of `shape`'s type to
// `*out`, before quoting and encoding; false when the value is not of a
// kind that type has.
bool AppendCsvText(const FieldSpec& shape, const Value& value, std::string* out);

// The value's text for a message: printable ASCII as it stands, other
// bytes as \xHH, cut after 40 bytes.
std::string CsvExcerpt(std::string_view text);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_CSV_CSV_VALUES_H
