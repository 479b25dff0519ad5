// Variant: a value of one of the framework's kinds, or null, or empty. Used
// for parameter and field values, Locate/Lookup keys and default values.
// Conversions between kinds follow the framework's text forms (text.h,
// datetime.h, bcd.h); a conversion that cannot succeed raises EConvertError
// (EVariantError for null, empty-to-text excepted, and arrays; ERangeError
// for a number that does not fit the requested kind).
#ifndef DATASET_VARIANT_H
#define DATASET_VARIANT_H

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/bcd.h"
#include "dataset/datetime.h"

namespace dataset {

enum TVarType {
  varEmpty,     // no value assigned
  varNull,      // the database null
  varSmallint,  // 16-bit signed
  varInteger,   // 32-bit signed
  varWord,      // 16-bit unsigned
  varInt64,
  varDouble,
  varCurrency,  // held as a double, four decimals meant
  varDate,      // TDateTime
  varBoolean,
  varString,  // 8-bit text
  varBcd,     // TBcd
  varBytes,   // raw bytes
  varArray,   // a list of variants
};

using TBytes = std::vector<uint8_t>;

class Variant {
 public:
  Variant() = default;  // empty
  Variant(bool value);
  Variant(int value);
  Variant(long value);
  Variant(long long value);
  Variant(unsigned value);
  Variant(double value);
  Variant(const char* value);
  Variant(std::string value);
  Variant(const TBcd& value);
  Variant(TBytes value);
  Variant(std::vector<Variant> elements);

  static Variant Null();
  static Variant Smallint(int16_t value);
  static Variant Word(uint16_t value);
  static Variant Currency(double value);
  static Variant Date(TDateTime value);
  static Variant Bytes(const void* data, size_t size);

  TVarType VarType() const { return type_; }
  bool IsEmpty() const { return type_ == varEmpty; }
  bool IsNull() const { return type_ == varNull; }
  // Null or empty.
  bool IsClear() const { return type_ == varEmpty || type_ == varNull; }
  bool IsArray() const { return type_ == varArray; }

  // Conversions. Empty converts to 0, "", false; null raises EVariantError
  // except for AsString, which gives "".
  std::string AsString() const;
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  double AsCurrency() const;  // rounded to four decimals
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  TBcd AsBcd() const;
  TBytes AsBytes() const;  // text gives its bytes

  // Arrays.
  int ArrayLength() const;                     // 0 for a non-array
  const Variant& operator[](int index) const;  // ERangeError when out of bounds
  const std::vector<Variant>& Elements() const { return elements_; }

  // Equality: both clear of the same kind, or values equal after converting
  // to the more precise of the two kinds (numbers numerically, text exactly).
  // Comparing a value with text that does not convert is false, not an error.
  bool operator==(const Variant& other) const;

 private:
  [[noreturn]] void CannotConvert(const char* target) const;
  std::string TypeName() const;

  TVarType type_ = varEmpty;
  int64_t int_ = 0;                // varSmallint, varInteger, varWord, varInt64, varBoolean
  double double_ = 0;              // varDouble, varCurrency, varDate
  std::string text_;               // varString and varBytes
  TBcd bcd_{};                     // varBcd
  std::vector<Variant> elements_;  // varArray
};

// The name of a kind as used in messages: "Integer", "String", "Null", ...
std::string VarTypeName(TVarType type);

}  // namespace dataset

#endif  // DATASET_VARIANT_H
