// The value conversions of the framework's field classes: text, integers,
// floats, BCD, Booleans, dates and bytes.
#include <cmath>
#include <cstring>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/fields.h"
#include "dataset/text.h"

namespace dataset {

namespace {

[[noreturn]] void ConvertError(const std::string& text, const char* kind, const TField& field) {
  throw EConvertError("'" + text + "' is not a valid " + kind + " value for field '" +
                      field.DisplayName() + "'");
}

// The nearest integer of `value`, refused when it is not finite or does not
// fit 64 bits.
int64_t RoundToInt64(double value, const TField& field) {
  double rounded = std::round(value);
  if (!std::isfinite(rounded) || rounded < -9.2233720368547758e18 ||
      rounded >= 9.2233720368547758e18) {
    throw ERangeError(FloatToStr(value) + " is not a valid value for field '" +
                      field.DisplayName() + "'");
  }
  return static_cast<int64_t>(rounded);
}

int32_t CheckedInt32(int64_t value, const TField& field) {
  if (value < INT32_MIN || value > INT32_MAX) {
    throw ERangeError(IntToStr(value) + " is out of the range of an integer (field '" +
                      field.DisplayName() + "')");
  }
  return static_cast<int32_t>(value);
}

}  // namespace

// ---- TStringField ------------------------------------------------------------

TStringField::TStringField(TComponent* owner, TFieldType type) : TField(owner, type) {
  InitSize(20);
}

void TStringField::SetSize(int size) {
  if (size < 1 || size > 65535) DatabaseError("Invalid field size");
  TField::SetSize(size);
}

namespace {

// A string field's text read through its value form.
std::string TextOfValueForm(const TStringField& field) {
  // Most text fields are short: read them into the stack, so a walk reading
  // a text per record does not allocate a scratch buffer each time.
  constexpr int kStackSize = 256;
  const int size = field.Size();
  char local[kStackSize];
  std::vector<char> heap;
  char* buffer = local;
  if (size + 1 > kStackSize) {
    heap.resize(static_cast<size_t>(size) + 1);
    buffer = heap.data();
  }
  std::memset(buffer, 0, static_cast<size_t>(size) + 1);
  if (!field.GetData(buffer)) return "";
  return std::string(buffer, strnlen(buffer, static_cast<size_t>(size)));
}

}  // namespace

std::string TStringField::AsString() const {
  // One named result: the text the dataset hands over directly is returned
  // in place, not moved (a move copies a short text's bytes).
  std::string text;
  bool is_null = false;
  if (!GetDataAsString(&text, &is_null)) text = TextOfValueForm(*this);
  return text;
}

void TStringField::SetAsString(const std::string& value) {
  // The field's bytes, NUL-padded; most fields fit on the stack, which
  // spares a bulk load an allocation per value.
  constexpr size_t kOnStack = 256;
  const size_t size = static_cast<size_t>(Size());
  char on_stack[kOnStack];
  std::vector<char> on_heap;
  char* buffer = on_stack;
  if (size + 1 > kOnStack) {
    on_heap.resize(size + 1);
    buffer = on_heap.data();
  }
  std::memset(buffer, 0, size + 1);
  std::memcpy(buffer, value.data(), std::min(value.size(), size));
  SetData(buffer);
}

int32_t TStringField::AsInteger() const {
  return IsNull() ? 0 : StrToInt(AsString());
}
void TStringField::SetAsInteger(int32_t value) {
  SetAsString(IntToStr(value));
}
int64_t TStringField::AsLargeInt() const {
  return IsNull() ? 0 : StrToInt64(AsString());
}
void TStringField::SetAsLargeInt(int64_t value) {
  SetAsString(IntToStr(value));
}
double TStringField::AsFloat() const {
  return IsNull() ? 0 : StrToFloat(AsString());
}
void TStringField::SetAsFloat(double value) {
  SetAsString(FloatToStr(value));
}

bool TStringField::AsBoolean() const {
  std::string text = AsString();
  return !text.empty() && std::strchr("TtYy1", text[0]) != nullptr;
}

void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? "T" : "F");
}
TDateTime TStringField::AsDateTime() const {
  return IsNull() ? 0 : StrToDateTime(AsString());
}
void TStringField::SetAsDateTime(TDateTime value) {
  SetAsString(DateTimeToStr(value));
}
TBcd TStringField::AsBCD() const {
  return IsNull() ? Int64ToBcd(0) : StrToBcd(AsString());
}
void TStringField::SetAsBCD(const TBcd& value) {
  SetAsString(BcdToStr(value));
}

Variant TStringField::AsVariant() const {
  std::vector<char> buffer(Size() + 1, '\0');
  if (!GetData(buffer.data())) return Variant::Null();
  return Variant(std::string(buffer.data(), strnlen(buffer.data(), Size())));
}

// ---- TIntegerField -------------------------------------------------------------

TIntegerField::TIntegerField(TComponent* owner, TFieldType type) : TField(owner, type) {
  switch (type) {
    case ftSmallint:
      min_range_ = INT16_MIN;
      max_range_ = INT16_MAX;
      break;
    case ftWord:
      min_range_ = 0;
      max_range_ = UINT16_MAX;
      break;
    case ftLargeint:
      min_range_ = INT64_MIN;
      max_range_ = INT64_MAX;
      break;
    default:
      min_range_ = INT32_MIN;
      max_range_ = INT32_MAX;
      break;
  }
}

int TIntegerField::DataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftLargeint:
      return 8;
    default:
      return 4;
  }
}

bool TIntegerField::GetValue(int64_t& value) const {
  switch (DataType()) {
    case ftSmallint: {
      int16_t v = 0;
      if (!GetData(&v)) return false;
      value = v;
      return true;
    }
    case ftWord: {
      uint16_t v = 0;
      if (!GetData(&v)) return false;
      value = v;
      return true;
    }
    case ftLargeint: {
      int64_t v = 0;
      if (!GetData(&v)) return false;
      value = v;
      return true;
    }
    default: {
      int32_t v = 0;
      if (!GetData(&v)) return false;
      value = v;
      return true;
    }
  }
}

void TIntegerField::CheckRange(int64_t value) const {
  int64_t low = min_range_, high = max_range_;
  if (min_value_ != 0 || max_value_ != 0) {
    low = min_value_;
    high = max_value_;
  }
  if (value < low || value > high) {
    throw ERangeError(IntToStr(value) + " is not a valid value for field '" + DisplayName() +
                      "'. The allowed range is " + IntToStr(low) + " to " + IntToStr(high));
  }
}

std::string TIntegerField::AsString() const {
  int64_t value = 0;
  return GetValue(value) ? IntToStr(value) : "";
}

void TIntegerField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  int64_t number = 0;
  if (!TryStrToInt64(value, number)) ConvertError(value, "integer", *this);
  SetAsLargeInt(number);
}

int32_t TIntegerField::AsInteger() const {
  // A 32-bit value form needs no range check.
  if (DataType() == ftInteger) {
    int32_t value = 0;
    return GetData(&value) ? value : 0;
  }
  return CheckedInt32(AsLargeInt(), *this);
}
void TIntegerField::SetAsInteger(int32_t value) {
  SetAsLargeInt(value);
}

int64_t TIntegerField::AsLargeInt() const {
  int64_t value = 0;
  return GetValue(value) ? value : 0;
}

void TIntegerField::SetAsLargeInt(int64_t value) {
  CheckRange(value);
  switch (DataType()) {
    case ftSmallint: {
      int16_t v = static_cast<int16_t>(value);
      SetData(&v);
      break;
    }
    case ftWord: {
      uint16_t v = static_cast<uint16_t>(value);
      SetData(&v);
      break;
    }
    case ftLargeint:
      SetData(&value);
      break;
    default: {
      int32_t v = static_cast<int32_t>(value);
      SetData(&v);
      break;
    }
  }
}

double TIntegerField::AsFloat() const {
  return static_cast<double>(AsLargeInt());
}
void TIntegerField::SetAsFloat(double value) {
  SetAsLargeInt(RoundToInt64(value, *this));
}
TBcd TIntegerField::AsBCD() const {
  return Int64ToBcd(AsLargeInt());
}

void TIntegerField::SetAsBCD(const TBcd& value) {
  TBcd whole;
  if (!NormalizeBcd(value, whole, kMaxBcdPrecision, 0)) ValueError();
  SetAsLargeInt(BcdToInt64(whole));
}

Variant TIntegerField::AsVariant() const {
  int64_t value = 0;
  if (!GetValue(value)) return Variant::Null();
  switch (DataType()) {
    case ftSmallint:
      return Variant::Smallint(static_cast<int16_t>(value));
    case ftWord:
      return Variant::Word(static_cast<uint16_t>(value));
    case ftLargeint:
      return Variant(static_cast<long long>(value));
    default:
      return Variant(static_cast<int>(value));
  }
}

// ---- TFloatField -------------------------------------------------------------------

TFloatField::TFloatField(TComponent* owner, TFieldType type) : TField(owner, type) {}

void TFloatField::SetPrecision(int value) {
  if (value < 2) value = 2;
  if (value > 15) value = 15;
  precision_ = value;
}

double TFloatField::AsFloat() const {
  double value = 0;
  return GetData(&value) ? value : 0;
}

void TFloatField::SetAsFloat(double value) {
  SetData(&value);
}

std::string TFloatField::AsString() const {
  double value = 0;
  return GetData(&value) ? FloatToStr(value) : "";
}

void TFloatField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  double number = 0;
  if (!TryStrToFloat(value, number)) ConvertError(value, "floating point", *this);
  SetAsFloat(number);
}

int32_t TFloatField::AsInteger() const {
  return CheckedInt32(AsLargeInt(), *this);
}
int64_t TFloatField::AsLargeInt() const {
  return RoundToInt64(AsFloat(), *this);
}
TBcd TFloatField::AsBCD() const {
  return DoubleToBcd(AsFloat());
}
void TFloatField::SetAsBCD(const TBcd& value) {
  SetAsFloat(BcdToDouble(value));
}

Variant TFloatField::AsVariant() const {
  double value = 0;
  if (!GetData(&value)) return Variant::Null();
  return currency_ ? Variant::Currency(value) : Variant(value);
}

// ---- TBCDField -------------------------------------------------------------------------

TBCDField::TBCDField(TComponent* owner, TFieldType type) : TField(owner, type) {
  InitSize(4);
}

void TBCDField::SetPrecision(int value) {
  if (value < 0 || value > kMaxBcdPrecision) DatabaseError("Invalid field size");
  CheckInactive();
  precision_ = value;
}

TBcd TBCDField::AsBCD() const {
  TBcd value{};
  return GetData(&value) ? value : Int64ToBcd(0);
}

void TBCDField::SetAsBCD(const TBcd& value) {
  // The value is rounded to the field's decimal places; one that then has
  // more digits than the field holds is refused rather than cut.
  int precision = precision_ > 0 ? precision_ : kMaxBcdPrecision;
  int places = std::min(Size(), precision);
  TBcd stored;
  if (!NormalizeBcd(value, stored, precision, places)) {
    throw ERangeError(BcdToStr(value) + " is not a valid value for field '" + DisplayName() + "'");
  }
  SetData(&stored);
}

std::string TBCDField::AsString() const {
  TBcd value{};
  return GetData(&value) ? BcdToStr(value) : "";
}

void TBCDField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  TBcd number{};
  if (!TryStrToBcd(Trim(value), number)) ConvertError(value, "BCD", *this);
  SetAsBCD(number);
}

int32_t TBCDField::AsInteger() const {
  return CheckedInt32(AsLargeInt(), *this);
}
int64_t TBCDField::AsLargeInt() const {
  return IsNull() ? 0 : BcdToInt64(AsBCD());
}
double TBCDField::AsFloat() const {
  double number = 0;
  bool is_null = false;
  if (GetDataAsDouble(&number, &is_null)) return number;
  // One read: a null field gives no value.
  TBcd value{};
  return GetData(&value) ? BcdToDouble(value) : 0;
}

void TBCDField::SetAsFloat(double value) {
  if (!std::isfinite(value)) ValueError();
  SetAsBCD(DoubleToBcd(value));
}

Variant TBCDField::AsVariant() const {
  TBcd value{};
  if (!GetData(&value)) return Variant::Null();
  return currency_ ? Variant::Currency(BcdToDouble(value)) : Variant(value);
}

// ---- TBooleanField -----------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* owner) : TField(owner, ftBoolean) {}

void TBooleanField::SetDisplayValues(const std::string& value) {
  size_t separator = value.find(';');
  std::string true_text = separator == std::string::npos ? value : value.substr(0, separator);
  std::string false_text = separator == std::string::npos ? "" : value.substr(separator + 1);
  if (true_text.empty() && false_text.empty())
    DatabaseError("Invalid display values for field '" + DisplayName() + "'");
  display_values_ = value;
  true_text_ = true_text;
  false_text_ = false_text;
}

bool TBooleanField::AsBoolean() const {
  int16_t value = 0;
  return GetData(&value) && value != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  int16_t stored = value ? -1 : 0;
  SetData(&stored);
}

std::string TBooleanField::AsString() const {
  int16_t value = 0;
  if (!GetData(&value)) return "";
  return value != 0 ? true_text_ : false_text_;
}

void TBooleanField::SetAsString(const std::string& value) {
  std::string text = Trim(value);
  if (text.empty()) {
    Clear();
    return;
  }
  auto is_prefix = [&text](const std::string& of) {
    return !of.empty() && text.size() <= of.size() && SameText(of.substr(0, text.size()), text);
  };
  // An exact text wins over a prefix of the other one.
  if (SameText(text, false_text_)) {
    SetAsBoolean(false);
  } else if (SameText(text, true_text_)) {
    SetAsBoolean(true);
  } else if (is_prefix(false_text_)) {
    SetAsBoolean(false);
  } else if (is_prefix(true_text_)) {
    SetAsBoolean(true);
  } else {
    ConvertError(value, "boolean", *this);
  }
}

Variant TBooleanField::AsVariant() const {
  int16_t value = 0;
  if (!GetData(&value)) return Variant::Null();
  return Variant(value != 0);
}

// ---- TDateTimeField -------------------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int TDateTimeField::DataSize() const {
  return DataType() == ftDateTime ? 8 : 4;
}

TDateTime TDateTimeField::AsDateTime() const {
  switch (DataType()) {
    case ftDate: {
      int32_t day = 0;
      if (!GetData(&day)) return 0;
      return TimeStampToDateTime(TTimeStamp{0, day});
    }
    case ftTime: {
      int32_t msecs = 0;
      if (!GetData(&msecs)) return 0;
      return static_cast<double>(msecs) / kMSecsPerDay;
    }
    default: {
      double msecs = 0;
      if (!GetData(&msecs)) return 0;
      return TimeStampToDateTime(MSecsToTimeStamp(msecs));
    }
  }
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
  if (!std::isfinite(value)) ValueError();
  TTimeStamp stamp = DateTimeToTimeStamp(value);
  switch (DataType()) {
    case ftDate:
      if (stamp.Date < 1) ValueError();
      SetData(&stamp.Date);
      break;
    case ftTime:
      SetData(&stamp.Time);
      break;
    default: {
      if (stamp.Date < 1) ValueError();
      double msecs = TimeStampToMSecs(stamp);
      SetData(&msecs);
      break;
    }
  }
}

std::string TDateTimeField::AsString() const {
  if (IsNull()) return "";
  TDateTime value = AsDateTime();
  switch (DataType()) {
    case ftDate:
      return DateToStr(value);
    case ftTime:
      return TimeToStr(value);
    default:
      return DateTimeToStr(value);
  }
}

void TDateTimeField::SetAsString(const std::string& value) {
  const std::string_view text = TrimView(value);
  if (text.empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case ftDate:
      SetAsDateTime(StrToDate(text));
      break;
    case ftTime:
      SetAsDateTime(StrToTime(text));
      break;
    default:
      SetAsDateTime(StrToDateTime(text));
      break;
  }
}

Variant TDateTimeField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::Date(AsDateTime());
}

// ---- TBytesField ------------------------------------------------------------------------------

TBytesField::TBytesField(TComponent* owner, TFieldType type) : TField(owner, type) {
  InitSize(16);
}

int TBytesField::DataSize() const {
  return DataType() == ftVarBytes ? Size() + 2 : Size();
}

void TBytesField::SetSize(int size) {
  if (size < 1 || size > 65535) DatabaseError("Invalid field size");
  TField::SetSize(size);
}

std::string TBytesField::AsString() const {
  std::vector<uint8_t> buffer(DataSize(), 0);
  if (!GetData(buffer.data())) return "";
  if (DataType() == ftBytes) return std::string(buffer.begin(), buffer.end());
  uint16_t length = 0;
  std::memcpy(&length, buffer.data(), sizeof length);
  length = std::min<uint16_t>(length, static_cast<uint16_t>(Size()));
  return std::string(buffer.begin() + 2, buffer.begin() + 2 + length);
}

void TBytesField::SetAsString(const std::string& value) {
  std::vector<uint8_t> buffer(DataSize(), 0);
  size_t length = std::min<size_t>(value.size(), Size());
  if (DataType() == ftBytes) {
    std::memcpy(buffer.data(), value.data(), length);
  } else {
    uint16_t stored = static_cast<uint16_t>(length);
    std::memcpy(buffer.data(), &stored, sizeof stored);
    std::memcpy(buffer.data() + 2, value.data(), length);
  }
  SetData(buffer.data());
}

Variant TBytesField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  std::string bytes = AsString();
  return Variant(TBytes(bytes.begin(), bytes.end()));
}

void TBytesField::SetAsVariant(const Variant& value) {
  if (value.IsClear()) {
    Clear();
    return;
  }
  TBytes bytes = value.AsBytes();
  SetAsString(std::string(bytes.begin(), bytes.end()));
}

}  // namespace dataset
