// Parameter lists: TParam holds one named, typed value handed to an SQL
// statement; TParams is the ordered collection of them, filled from SQL
// text by the parameter parser (param_parser.h).
#ifndef DATASET_PARAMS_H
#define DATASET_PARAMS_H

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/bcd.h"
#include "dataset/collection.h"
#include "dataset/datetime.h"
#include "dataset/field_type.h"
#include "dataset/variant.h"

namespace dataset {

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// "ptInput" for ptInput; false from the parse when the name is unknown.
std::string ParamTypeName(TParamType type);
bool ParamTypeFromName(const std::string& name, TParamType& type);

class TParams;

// One parameter. A new parameter is null, unbound, of type ftUnknown.
// Each typed setter sets the matching data type (AsInteger: ftInteger, ...)
// and marks the parameter bound. Getters of a null parameter give 0, "",
// false or an empty value; getters convert between kinds as Variant does
// and raise EConvertError when the value does not convert.
class TParam : public TCollectionItem {
 public:
  // `collection` is normally a TParams; may be null.
  explicit TParam(TCollection* collection);
  TParam(TCollection* collection, TParamType param_type);

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  TFieldType DataType() const { return data_type_; }
  // Converts a held value to the new type; a value that does not convert
  // becomes null.
  void SetDataType(TFieldType type);
  TParamType ParamType() const { return param_type_; }
  void SetParamType(TParamType type) { param_type_ = type; }
  // Set by the application's value setters; a parameter that is not bound
  // takes its value from a master dataset when there is one.
  bool Bound() const { return bound_; }
  void SetBound(bool bound) { bound_ = bound; }
  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }
  int NumericScale() const { return numeric_scale_; }
  void SetNumericScale(int value) { numeric_scale_ = value; }
  int Size() const { return size_; }
  void SetSize(int value) { size_ = value; }

  bool IsNull() const { return value_.IsClear(); }
  // Makes the value null; the data type stays.
  void Clear() { value_ = Variant::Null(); }

  // The value as a Variant. Setting it infers the data type when it is
  // ftUnknown, and marks the parameter bound unless the value is null or
  // empty.
  const Variant& Value() const { return value_; }
  void SetValue(const Variant& value);

  std::string AsString() const;
  void SetAsString(const std::string& value);  // ftString (ftFixedChar stays)
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);
  int16_t AsSmallInt() const;  // ERangeError when the value does not fit
  void SetAsSmallInt(int16_t value);
  uint16_t AsWord() const;  // ERangeError when the value does not fit
  void SetAsWord(uint16_t value);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);
  double AsFloat() const;
  void SetAsFloat(double value);
  double AsCurrency() const;
  void SetAsCurrency(double value);
  TBcd AsBCD() const;
  void SetAsBCD(const TBcd& value);
  TBcd AsFMTBCD() const;
  void SetAsFMTBCD(const TBcd& value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  // Date-time values are TDateTime day counts (day 0 = 1899-12-30).
  TDateTime AsDate() const;
  void SetAsDate(TDateTime value);
  TDateTime AsTime() const;
  void SetAsTime(TDateTime value);
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime value);
  // Blob and memo values are 8-bit byte strings.
  std::string AsBlob() const;
  void SetAsBlob(const std::string& value);
  std::string AsMemo() const;
  void SetAsMemo(const std::string& value);
  TBytes AsBytes() const;
  void SetAsBytes(const TBytes& value);  // ftVarBytes

  // The value in the framework's binary form for the data type: byte and
  // blob types their bytes (blob, memo and graphic values the bytes of
  // their text), text with a terminating zero, numbers and dates in the
  // value forms of record buffers. Empty for a null parameter. ftUnknown
  // raises EDatabaseError "Field '<name>' is of an unknown type".
  TBytes GetData() const;
  int GetDataSize() const { return static_cast<int>(GetData().size()); }

  // Copies name, types, value, bound state, size, precision and scale of
  // another TParam (the parameter type only when this one's is unknown).
  void Assign(const TPersistent* source) override;
  // Same name, types and value.
  bool IsEqual(const TParam& other) const;
  std::string DisplayName() const override;

 private:
  std::string name_;
  TFieldType data_type_ = ftUnknown;
  TParamType param_type_ = ptUnknown;
  Variant value_ = Variant::Null();
  bool bound_ = false;
  int precision_ = 0;
  int numeric_scale_ = 0;
  int size_ = 0;
};

class TParams : public TCollection {
 public:
  // `owner` is the component the list belongs to (errors name it).
  explicit TParams(TPersistent* owner = nullptr);

  TParam* Items(int index) const;
  TParam* operator[](int index) const { return Items(index); }
  TParam* Add() { return static_cast<TParam*>(TCollection::Add()); }
  TParam* CreateParam(TFieldType type, const std::string& name, TParamType param_type);
  // Takes ownership of `param` (moving it from its former list).
  void AddParam(TParam* param);
  // Gives up `param` without destroying it; the caller then owns it.
  void RemoveParam(TParam* param);

  // The first parameter of that name, ignoring letter case; null when none.
  TParam* FindParam(const std::string& name) const;
  // As FindParam, but a missing name raises EDatabaseError
  // "Parameter '<name>' not found" (prefixed with the owner's name).
  TParam* ParamByName(const std::string& name) const;
  // The parameters named in a ";"-separated list, each by ParamByName.
  std::vector<TParam*> GetParamList(const std::string& names) const;
  // Values of the parameters named in a ";"-separated list: one name gives
  // its value, several an array of values.
  Variant ParamValues(const std::string& names) const;
  void SetParamValues(const std::string& names, const Variant& values);

  // Copies into this list's parameters the values of the parameters of the
  // same names in `source`; the set of parameters does not change. When a
  // name occurs several times, its occurrences are matched in order (the
  // second "a" takes the value of the source's second "a"); occurrences
  // without a counterpart take the source's last value of that name.
  void AssignValues(const TParams& source);
  // Same count and every parameter IsEqual to its counterpart.
  bool IsEqual(const TParams& other) const;

  // Runs the parameter parser over `sql`; with `do_create` the list is
  // cleared and gets one parameter per occurrence, in order. Returns the
  // rewritten text (parameters as "?", "::" as ":").
  std::string ParseSQL(const std::string& sql, bool do_create);
};

}  // namespace dataset

#endif  // DATASET_PARAMS_H
