// A value handed to the engine by one of the value setters (NdsSetString,
// NdsSetDouble, ...), held until it is bound to SQL or written to a field.
// Values take their natural SQL form: dates as 'YYYY-MM-DD', times as
// 'HH:MM:SS.mmm', timestamps as 'YYYY-MM-DD HH:MM:SS.mmm'.
#ifndef ENGINE_BASE_VALUES_H
#define ENGINE_BASE_VALUES_H

#include <cstdint>
#include <string>

#include "nce/nce.h"

namespace nce {

struct Value {
  enum class Kind { kUnset, kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kUnset;
  int64_t integer = 0;  // kInteger
  double real = 0;      // kReal
  std::string bytes;    // kText, kBlob

  static Value Null() { return Value{Kind::kNull, 0, 0, {}}; }
  static Value Integer(int64_t v) { return Value{Kind::kInteger, v, 0, {}}; }
  static Value Real(double v) { return Value{Kind::kReal, 0, v, {}}; }
  static Value Text(std::string v) { return Value{Kind::kText, 0, 0, std::move(v)}; }
  static Value Blob(std::string v) { return Value{Kind::kBlob, 0, 0, std::move(v)}; }
};

// A field argument: a name, or an ordinal given through NDS_FIELD_ORDINAL.
struct FieldRef {
  uint32_t ordinal = 0;  // 1-based number, 0 when a name is given
  std::string name;      // the name when ordinal is 0
};

// Reads a field argument; throws NDS_E_INVALID_ARGUMENT for a null pointer.
FieldRef ReadFieldRef(NDSFIELD field);

}  // namespace nce

#endif  // ENGINE_BASE_VALUES_H
