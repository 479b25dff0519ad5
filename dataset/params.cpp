#include "dataset/params.h"

#include <cstring>
#include <map>

#include "dataset/component.h"
#include "dataset/database_error.h"
#include "dataset/exceptions.h"
#include "dataset/param_parser.h"
#include "dataset/text.h"

namespace dataset {

namespace {

const char* const kParamTypeNames[] = {"ptUnknown", "ptInput", "ptOutput", "ptInputOutput",
                                       "ptResult"};

// The data type a value implies when a parameter has none yet.
TFieldType TypeOfValue(const Variant& v) {
  switch (v.VarType()) {
    case varSmallint:
      return ftSmallint;
    case varInteger:
      return ftInteger;
    case varWord:
      return ftWord;
    case varInt64:
      return ftLargeint;
    case varDouble:
      return ftFloat;
    case varCurrency:
      return ftCurrency;
    case varDate:
      return ftDateTime;
    case varBoolean:
      return ftBoolean;
    case varString:
      return ftString;
    case varBcd:
      return ftFMTBcd;
    case varBytes:
    case varArray:
      return ftVarBytes;
    default:
      return ftUnknown;
  }
}

// `v` converted to the kind that holds values of `type`; `v` itself for
// types without a scalar kind.
Variant ConvertTo(const Variant& v, TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftFmtMemo:
    case ftWideString:
      return v.VarType() == varString ? v : Variant(v.AsString());
    case ftSmallint: {
      int64_t i = v.AsInt64();
      if (i < INT16_MIN || i > INT16_MAX) throw ERangeError("Range check error");
      return Variant::Smallint(static_cast<int16_t>(i));
    }
    case ftInteger:
    case ftAutoInc:
      return Variant(v.AsInteger());
    case ftWord: {
      int64_t i = v.AsInt64();
      if (i < 0 || i > UINT16_MAX) throw ERangeError("Range check error");
      return Variant::Word(static_cast<uint16_t>(i));
    }
    case ftLargeint:
      return Variant(static_cast<long long>(v.AsInt64()));
    case ftBoolean:
      return Variant(v.AsBoolean());
    case ftFloat:
      return Variant(v.AsDouble());
    case ftCurrency:
      return Variant::Currency(v.AsCurrency());
    case ftBCD:
    case ftFMTBcd:
      return Variant(v.AsBcd());
    case ftDate:
    case ftTime:
    case ftDateTime:
      return Variant::Date(v.AsDateTime());
    default:
      return v;
  }
}

template <typename T>
void AppendRaw(TBytes& out, T value) {
  uint8_t buf[sizeof(T)];
  std::memcpy(buf, &value, sizeof(T));
  out.insert(out.end(), buf, buf + sizeof(T));
}

std::vector<std::string> SplitNames(const std::string& names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t semi = names.find(';', start);
    if (semi == std::string::npos) semi = names.size();
    std::string name = Trim(names.substr(start, semi - start));
    if (!name.empty()) out.push_back(name);
    start = semi + 1;
  }
  return out;
}

const TComponent* OwnerComponent(const TParams& params) {
  return dynamic_cast<const TComponent*>(params.Owner());
}

}  // namespace

std::string ParamTypeName(TParamType type) {
  int i = static_cast<int>(type);
  return (i >= 0 && i <= ptResult) ? kParamTypeNames[i] : kParamTypeNames[0];
}

bool ParamTypeFromName(const std::string& name, TParamType& type) {
  for (int i = 0; i <= ptResult; ++i) {
    if (SameText(name, kParamTypeNames[i])) {
      type = static_cast<TParamType>(i);
      return true;
    }
  }
  return false;
}

// --- TParam ----------------------------------------------------------------

TParam::TParam(TCollection* collection) : TCollectionItem(collection) {}

TParam::TParam(TCollection* collection, TParamType param_type)
    : TCollectionItem(collection), param_type_(param_type) {}

void TParam::SetDataType(TFieldType type) {
  data_type_ = type;
  if (value_.IsClear()) return;
  try {
    value_ = ConvertTo(value_, type);
  } catch (const Exception&) {
    value_ = Variant::Null();
  }
}

void TParam::SetValue(const Variant& value) {
  if (data_type_ == ftUnknown) data_type_ = TypeOfValue(value);
  value_ = value.IsEmpty() ? Variant::Null() : value;
  bound_ = !value.IsClear();
}

std::string TParam::AsString() const {
  return IsNull() ? std::string() : value_.AsString();
}

void TParam::SetAsString(const std::string& value) {
  if (data_type_ != ftFixedChar) data_type_ = ftString;
  SetValue(Variant(value));
}

int32_t TParam::AsInteger() const {
  return IsNull() ? 0 : value_.AsInteger();
}

void TParam::SetAsInteger(int32_t value) {
  data_type_ = ftInteger;
  SetValue(Variant(static_cast<int>(value)));
}

int16_t TParam::AsSmallInt() const {
  int32_t v = AsInteger();
  if (v < INT16_MIN || v > INT16_MAX) throw ERangeError("Range check error");
  return static_cast<int16_t>(v);
}

void TParam::SetAsSmallInt(int16_t value) {
  data_type_ = ftSmallint;
  SetValue(Variant::Smallint(value));
}

uint16_t TParam::AsWord() const {
  int32_t v = AsInteger();
  if (v < 0 || v > UINT16_MAX) throw ERangeError("Range check error");
  return static_cast<uint16_t>(v);
}

void TParam::SetAsWord(uint16_t value) {
  data_type_ = ftWord;
  SetValue(Variant::Word(value));
}

int64_t TParam::AsLargeInt() const {
  return IsNull() ? 0 : value_.AsInt64();
}

void TParam::SetAsLargeInt(int64_t value) {
  data_type_ = ftLargeint;
  SetValue(Variant(static_cast<long long>(value)));
}

double TParam::AsFloat() const {
  return IsNull() ? 0 : value_.AsDouble();
}

void TParam::SetAsFloat(double value) {
  data_type_ = ftFloat;
  SetValue(Variant(value));
}

double TParam::AsCurrency() const {
  return IsNull() ? 0 : value_.AsCurrency();
}

void TParam::SetAsCurrency(double value) {
  data_type_ = ftCurrency;
  SetValue(Variant::Currency(value));
}

TBcd TParam::AsBCD() const {
  return IsNull() ? Int64ToBcd(0) : value_.AsBcd();
}

void TParam::SetAsBCD(const TBcd& value) {
  data_type_ = ftBCD;
  SetValue(Variant(value));
}

TBcd TParam::AsFMTBCD() const {
  return AsBCD();
}

void TParam::SetAsFMTBCD(const TBcd& value) {
  data_type_ = ftFMTBcd;
  SetValue(Variant(value));
}

bool TParam::AsBoolean() const {
  return IsNull() ? false : value_.AsBoolean();
}

void TParam::SetAsBoolean(bool value) {
  data_type_ = ftBoolean;
  SetValue(Variant(value));
}

TDateTime TParam::AsDate() const {
  return AsDateTime();
}

void TParam::SetAsDate(TDateTime value) {
  data_type_ = ftDate;
  SetValue(Variant::Date(value));
}

TDateTime TParam::AsTime() const {
  return AsDateTime();
}

void TParam::SetAsTime(TDateTime value) {
  data_type_ = ftTime;
  SetValue(Variant::Date(value));
}

TDateTime TParam::AsDateTime() const {
  return IsNull() ? 0 : value_.AsDateTime();
}

void TParam::SetAsDateTime(TDateTime value) {
  data_type_ = ftDateTime;
  SetValue(Variant::Date(value));
}

std::string TParam::AsBlob() const {
  return AsString();
}

void TParam::SetAsBlob(const std::string& value) {
  data_type_ = ftBlob;
  SetValue(Variant(value));
}

std::string TParam::AsMemo() const {
  return AsString();
}

void TParam::SetAsMemo(const std::string& value) {
  data_type_ = ftMemo;
  SetValue(Variant(value));
}

TBytes TParam::AsBytes() const {
  return IsNull() ? TBytes() : value_.AsBytes();
}

void TParam::SetAsBytes(const TBytes& value) {
  data_type_ = ftVarBytes;
  SetValue(Variant(value));
}

TBytes TParam::GetData() const {
  if (data_type_ == ftUnknown) throw EDatabaseError("Field '" + name_ + "' is of an unknown type");
  TBytes out;
  if (IsNull()) return out;
  switch (data_type_) {
    case ftBytes:
    case ftVarBytes:
      return value_.AsBytes();
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob: {
      std::string text = value_.AsString();
      return TBytes(text.begin(), text.end());
    }
    case ftString:
    case ftFixedChar:
    case ftWideString: {
      std::string text = value_.AsString();
      out.assign(text.begin(), text.end());
      out.push_back(0);
      return out;
    }
    case ftSmallint:
      AppendRaw<int16_t>(out, AsSmallInt());
      return out;
    case ftWord:
      AppendRaw<uint16_t>(out, AsWord());
      return out;
    case ftInteger:
    case ftAutoInc:
      AppendRaw<int32_t>(out, AsInteger());
      return out;
    case ftLargeint:
      AppendRaw<int64_t>(out, AsLargeInt());
      return out;
    case ftBoolean:
      AppendRaw<int16_t>(out, AsBoolean() ? -1 : 0);
      return out;
    case ftFloat:
    case ftCurrency:
      AppendRaw<double>(out, AsFloat());
      return out;
    case ftBCD:
    case ftFMTBcd:
      AppendRaw<TBcd>(out, AsBCD());
      return out;
    case ftDate:
      AppendRaw<int32_t>(out, DateTimeToTimeStamp(AsDateTime()).Date);
      return out;
    case ftTime:
      AppendRaw<int32_t>(out, DateTimeToTimeStamp(AsDateTime()).Time);
      return out;
    case ftDateTime:
      AppendRaw<double>(out, TimeStampToMSecs(DateTimeToTimeStamp(AsDateTime())));
      return out;
    default: {
      std::string text = value_.AsString();
      return TBytes(text.begin(), text.end());
    }
  }
}

void TParam::Assign(const TPersistent* source) {
  const TParam* p = dynamic_cast<const TParam*>(source);
  if (!p) {
    TPersistent::Assign(source);
    return;
  }
  if (p == this) return;
  name_ = p->name_;
  data_type_ = p->data_type_;
  if (param_type_ == ptUnknown) param_type_ = p->param_type_;
  value_ = p->value_;
  bound_ = p->bound_;
  precision_ = p->precision_;
  numeric_scale_ = p->numeric_scale_;
  size_ = p->size_;
}

bool TParam::IsEqual(const TParam& other) const {
  return name_ == other.name_ && data_type_ == other.data_type_ &&
         param_type_ == other.param_type_ && value_.VarType() == other.value_.VarType() &&
         value_ == other.value_;
}

std::string TParam::DisplayName() const {
  return name_.empty() ? ClassName() : name_;
}

// --- TParams ---------------------------------------------------------------

TParams::TParams(TPersistent* owner)
    : TCollection([](TCollection* c) { return new TParam(c); }, owner) {}

TParam* TParams::Items(int index) const {
  return static_cast<TParam*>(TCollection::Items(index));
}

TParam* TParams::CreateParam(TFieldType type, const std::string& name, TParamType param_type) {
  TParam* p = Add();
  p->SetName(name);
  p->SetDataType(type);
  p->SetParamType(param_type);
  return p;
}

void TParams::AddParam(TParam* param) {
  if (param) param->SetCollection(this);
}

void TParams::RemoveParam(TParam* param) {
  if (param && param->Collection() == this) param->SetCollection(nullptr);
}

TParam* TParams::FindParam(const std::string& name) const {
  for (TCollectionItem* item : ItemList()) {
    TParam* p = static_cast<TParam*>(item);
    if (SameText(p->Name(), name)) return p;
  }
  return nullptr;
}

TParam* TParams::ParamByName(const std::string& name) const {
  TParam* p = FindParam(name);
  if (!p) DatabaseError("Parameter '" + name + "' not found", OwnerComponent(*this));
  return p;
}

std::vector<TParam*> TParams::GetParamList(const std::string& names) const {
  std::vector<TParam*> out;
  for (const std::string& name : SplitNames(names)) out.push_back(ParamByName(name));
  return out;
}

Variant TParams::ParamValues(const std::string& names) const {
  std::vector<TParam*> list = GetParamList(names);
  if (list.size() == 1) return list[0]->Value();
  std::vector<Variant> values;
  for (TParam* p : list) values.push_back(p->Value());
  return Variant(std::move(values));
}

void TParams::SetParamValues(const std::string& names, const Variant& values) {
  std::vector<TParam*> list = GetParamList(names);
  if (list.size() == 1 && !values.IsArray()) {
    list[0]->SetValue(values);
    return;
  }
  if (!values.IsArray() || values.ArrayLength() != static_cast<int>(list.size()))
    DatabaseError("Parameter values do not match the parameters " + names, OwnerComponent(*this));
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetValue(values[static_cast<int>(i)]);
}

void TParams::AssignValues(const TParams& source) {
  if (&source == this) return;
  // Occurrences of each name in the source, in order (names ignore case).
  std::map<std::string, std::vector<const TParam*>> by_name;
  for (int i = 0; i < source.Count(); ++i)
    by_name[UpperCase(source.Items(i)->Name())].push_back(source.Items(i));
  std::map<std::string, size_t> seen;
  for (int i = 0; i < Count(); ++i) {
    TParam* target = Items(i);
    std::string key = UpperCase(target->Name());
    auto found = by_name.find(key);
    if (found == by_name.end()) continue;
    size_t k = seen[key]++;
    const auto& occurrences = found->second;
    target->Assign(occurrences[std::min(k, occurrences.size() - 1)]);
  }
}

bool TParams::IsEqual(const TParams& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->IsEqual(*other.Items(i))) return false;
  return true;
}

std::string TParams::ParseSQL(const std::string& sql, bool do_create) {
  std::vector<std::string> names;
  std::string text = ParseSQLParams(sql, &names);
  if (do_create) {
    BeginUpdate();
    try {
      Clear();
      for (const std::string& name : names) Add()->SetName(name);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }
  return text;
}

}  // namespace dataset
