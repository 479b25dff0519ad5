#include "dataset/variant.h"

#include <cmath>

#include "dataset/exceptions.h"
#include "dataset/text.h"

namespace dataset {

namespace {

bool IsIntegral(TVarType t) {
  return t == varSmallint || t == varInteger || t == varWord || t == varInt64 || t == varBoolean;
}

// Rounds a double to an integer as the framework does (ties to even);
// ERangeError when it does not fit 64 bits.
int64_t RoundToInt64(double v) {
  double r = std::nearbyint(v);
  if (!std::isfinite(r) || r < -9223372036854775808.0 || r >= 9223372036854775808.0)
    throw ERangeError("Range check error");
  return static_cast<int64_t>(r);
}

bool TextToBoolean(const std::string& s, bool& value) {
  std::string t = Trim(s);
  if (SameText(t, "True")) return value = true, true;
  if (SameText(t, "False")) return value = false, true;
  double d;
  if (TryStrToFloat(t, d)) return value = d != 0, true;
  return false;
}

}  // namespace

std::string VarTypeName(TVarType type) {
  switch (type) {
    case varEmpty:
      return "Empty";
    case varNull:
      return "Null";
    case varSmallint:
      return "Smallint";
    case varInteger:
      return "Integer";
    case varWord:
      return "Word";
    case varInt64:
      return "Int64";
    case varDouble:
      return "Double";
    case varCurrency:
      return "Currency";
    case varDate:
      return "Date";
    case varBoolean:
      return "Boolean";
    case varString:
      return "String";
    case varBcd:
      return "FMTBcd";
    case varBytes:
      return "Bytes";
    case varArray:
      return "Array";
  }
  return "Unknown";
}

Variant::Variant(bool value) : type_(varBoolean), int_(value ? 1 : 0) {}
Variant::Variant(int value) : type_(varInteger), int_(value) {}
Variant::Variant(long value) : type_(varInt64), int_(value) {}
Variant::Variant(long long value) : type_(varInt64), int_(static_cast<int64_t>(value)) {}
Variant::Variant(unsigned value) : type_(varInt64), int_(value) {}
Variant::Variant(double value) : type_(varDouble), double_(value) {}
Variant::Variant(const char* value) : type_(varString), text_(value ? value : "") {}
Variant::Variant(std::string value) : type_(varString), text_(std::move(value)) {}
Variant::Variant(const TBcd& value) : type_(varBcd), bcd_(value) {}
Variant::Variant(TBytes value) : type_(varBytes), text_(value.begin(), value.end()) {}
Variant::Variant(std::vector<Variant> elements) : type_(varArray), elements_(std::move(elements)) {}

Variant Variant::Null() {
  Variant v;
  v.type_ = varNull;
  return v;
}

Variant Variant::Smallint(int16_t value) {
  Variant v(static_cast<int>(value));
  v.type_ = varSmallint;
  return v;
}

Variant Variant::Word(uint16_t value) {
  Variant v(static_cast<int>(value));
  v.type_ = varWord;
  return v;
}

Variant Variant::Currency(double value) {
  Variant v(value);
  v.type_ = varCurrency;
  return v;
}

Variant Variant::Date(TDateTime value) {
  Variant v(value);
  v.type_ = varDate;
  return v;
}

Variant Variant::Bytes(const void* data, size_t size) {
  Variant v;
  v.type_ = varBytes;
  if (size) v.text_.assign(static_cast<const char*>(data), size);
  return v;
}

std::string Variant::TypeName() const {
  return VarTypeName(type_);
}

void Variant::CannotConvert(const char* target) const {
  throw EVariantError("Could not convert variant of type (" + TypeName() + ") into type (" +
                      target + ")");
}

std::string Variant::AsString() const {
  switch (type_) {
    case varEmpty:
    case varNull:
      return std::string();
    case varBoolean:
      return int_ ? "True" : "False";
    case varSmallint:
    case varInteger:
    case varWord:
    case varInt64:
      return IntToStr(int_);
    case varDouble:
    case varCurrency:
      return FloatToStr(double_);
    case varDate:
      return DateTimeToStr(double_);
    case varString:
    case varBytes:
      return text_;
    case varBcd:
      return BcdToStr(bcd_);
    case varArray:
      break;
  }
  CannotConvert("String");
}

int64_t Variant::AsInt64() const {
  switch (type_) {
    case varEmpty:
      return 0;
    case varBoolean:
      return int_ ? -1 : 0;  // the framework's true is all bits set
    case varSmallint:
    case varInteger:
    case varWord:
    case varInt64:
      return int_;
    case varDouble:
    case varCurrency:
    case varDate:
      return RoundToInt64(double_);
    case varString: {
      int64_t v;
      if (TryStrToInt64(text_, v)) return v;
      double d;
      if (TryStrToFloat(text_, d)) return RoundToInt64(d);
      throw EConvertError("'" + text_ + "' is not a valid integer value");
    }
    case varBcd:
      return RoundToInt64(BcdToDouble(bcd_));
    default:
      break;
  }
  CannotConvert("Int64");
}

int32_t Variant::AsInteger() const {
  if (type_ == varNull || type_ == varArray || type_ == varBytes) CannotConvert("Integer");
  int64_t v = AsInt64();
  if (v < INT32_MIN || v > INT32_MAX) throw ERangeError("Range check error");
  return static_cast<int32_t>(v);
}

double Variant::AsDouble() const {
  switch (type_) {
    case varEmpty:
      return 0;
    case varBoolean:
      return int_ ? -1 : 0;
    case varSmallint:
    case varInteger:
    case varWord:
    case varInt64:
      return static_cast<double>(int_);
    case varDouble:
    case varCurrency:
    case varDate:
      return double_;
    case varString: {
      double d;
      if (TryStrToFloat(text_, d)) return d;
      TDateTime dt;
      if (TryStrToDateTime(text_, dt)) return dt;
      throw EConvertError("'" + text_ + "' is not a valid floating point value");
    }
    case varBcd:
      return BcdToDouble(bcd_);
    default:
      break;
  }
  CannotConvert("Double");
}

double Variant::AsCurrency() const {
  if (type_ == varNull || type_ == varArray || type_ == varBytes) CannotConvert("Currency");
  double v = AsDouble();
  if (!std::isfinite(v) || std::fabs(v) >= 922337203685477.0)
    throw ERangeError("Range check error");
  return std::nearbyint(v * 10000.0) / 10000.0;
}

bool Variant::AsBoolean() const {
  switch (type_) {
    case varEmpty:
      return false;
    case varBoolean:
    case varSmallint:
    case varInteger:
    case varWord:
    case varInt64:
      return int_ != 0;
    case varDouble:
    case varCurrency:
    case varDate:
      return double_ != 0;
    case varString: {
      bool b;
      if (TextToBoolean(text_, b)) return b;
      throw EConvertError("'" + text_ + "' is not a valid boolean value");
    }
    case varBcd:
      return !IsBcdZero(bcd_);
    default:
      break;
  }
  CannotConvert("Boolean");
}

TDateTime Variant::AsDateTime() const {
  switch (type_) {
    case varString: {
      TDateTime dt;
      if (TryStrToDateTime(text_, dt)) return dt;
      double d;
      if (TryStrToFloat(text_, d)) return d;
      throw EConvertError("'" + text_ + "' is not a valid date and time");
    }
    case varNull:
    case varArray:
    case varBytes:
    case varBoolean:
      CannotConvert("Date");
    default:
      return AsDouble();
  }
}

TBcd Variant::AsBcd() const {
  switch (type_) {
    case varEmpty:
      return Int64ToBcd(0);
    case varSmallint:
    case varInteger:
    case varWord:
    case varInt64:
      return Int64ToBcd(int_);
    case varBoolean:
      return Int64ToBcd(int_ ? -1 : 0);
    case varDouble:
    case varCurrency:
    case varDate:
      return DoubleToBcd(double_);
    case varString:
      return StrToBcd(text_);
    case varBcd:
      return bcd_;
    default:
      break;
  }
  CannotConvert("FMTBcd");
}

TBytes Variant::AsBytes() const {
  switch (type_) {
    case varEmpty:
      return {};
    case varString:
    case varBytes:
      return TBytes(text_.begin(), text_.end());
    case varArray: {
      TBytes out;
      for (const Variant& e : elements_) {
        int64_t b = e.AsInt64();
        if (b < 0 || b > 255) throw ERangeError("Range check error");
        out.push_back(static_cast<uint8_t>(b));
      }
      return out;
    }
    default:
      break;
  }
  CannotConvert("Bytes");
}

int Variant::ArrayLength() const {
  return static_cast<int>(elements_.size());
}

const Variant& Variant::operator[](int index) const {
  if (index < 0 || index >= ArrayLength()) throw ERangeError("Variant array index out of bounds");
  return elements_[static_cast<size_t>(index)];
}

bool Variant::operator==(const Variant& other) const {
  if (IsClear() || other.IsClear()) return type_ == other.type_;
  if (type_ == varArray || other.type_ == varArray) {
    return type_ == other.type_ && elements_ == other.elements_;
  }
  try {
    if ((type_ == varString || type_ == varBytes) &&
        (other.type_ == varString || other.type_ == varBytes))
      return text_ == other.text_;
    if (type_ == varBcd || other.type_ == varBcd) return BcdCompare(AsBcd(), other.AsBcd()) == 0;
    if (type_ == varBoolean || other.type_ == varBoolean) return AsBoolean() == other.AsBoolean();
    if (IsIntegral(type_) && IsIntegral(other.type_)) return AsInt64() == other.AsInt64();
    return AsDouble() == other.AsDouble();
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace dataset
