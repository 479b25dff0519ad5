// The type of a CSV column for a new table, guessed from all its values in
// one pass. Each value rules out the types it is not; what remains, in this
// order of preference, is the column's type:
//   logical     every value true or false, in any letter case
//   integer     whole numbers of at most 32 bits; beyond them (up to 64
//               bits) numeric(n,0)
//   numeric     plain decimals: the widest scale written and the widest
//               whole part (sign, digits, point counted as the engine
//               counts them), while whole digits and decimals together
//               stay within the 15 digits a double keeps exactly
//   double      numbers with exponents, or decimals beyond 15 digits, each
//               of which a double holds exactly (its shortest text reads
//               back as the same number)
//   date        YYYY-MM-DD
//   timestamp   dates and timestamps, with a blank or 'T' before the time
//   time        HH:MM[:SS[.mmm]]
//   string(n)   anything else, n the longest value in UTF-8 bytes; memo
//               beyond kLongestInferredString bytes
// Numbers written with a leading zero ("007") are codes, not amounts: they
// keep their column a text so that they read back as written. Empty fields
// rule out nothing; a column without values is string(1).
#ifndef ENGINE_INTERCHANGE_CSV_CSV_INFERENCE_H
#define ENGINE_INTERCHANGE_CSV_CSV_INFERENCE_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/schema/catalog.h"

namespace nce {

// The longest string field an inferred column gets; longer texts make it a
// memo. 254 bytes is also the longest character field of xBase tables, so
// such a table exports to any format.
inline constexpr uint32_t kLongestInferredString = 254;

class CsvColumnGuess {
 public:
  // Takes one non-empty value, UTF-8.
  void Observe(std::string_view text);
  // The column's type from the values observed.
  FieldSpec Result() const;

 private:
  enum Kind : uint32_t {
    kLogical = 1,
    kDecimal = 2,  // plain decimals, exact in the engine's numeric fields
    kDouble = 4,   // numbers a double holds exactly
    kDate = 8,
    kTimestamp = 16,
    kTime = 32,
  };
  void ObserveNumber(std::string_view text);

  uint32_t possible_ = kLogical | kDecimal | kDouble | kDate | kTimestamp | kTime;
  bool any_ = false;          // a value was observed
  size_t longest_ = 0;        // bytes of the longest value
  size_t widest_whole_ = 0;   // sign and whole digits of the widest decimal
  size_t whole_digits_ = 0;   // most whole digits of a decimal
  size_t decimals_ = 0;       // most decimals written
  bool fits_integer_ = true;  // every decimal a whole number of 32 bits
  bool fits_whole64_ = true;  // every decimal a whole number of 64 bits
};

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_CSV_CSV_INFERENCE_H
