// The text forms of field values, as NdsGetField hands them out and
// NdsSetField takes them: one reader and one writer per engine field type,
// in a table indexed by type.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/base/money.h"
#include "engine/record/calendar_texts.h"
#include "engine/record/field_values.h"
#include "engine/record/image_bytes.h"
#include "engine/record/record_image.h"
#include "engine/record/stored_values.h"
#include "nce/nce.h"

namespace nce {

namespace {

struct TextForm {
  // Reads the field's text form; raises EngineError when it is no value of
  // the field.
  Value (*read)(const FieldDesc& f, bool ndt, std::string_view text);
  // Writes a non-null value's text form; empty when the field cannot show it.
  std::string (*write)(const FieldDesc& f, bool ndt, const Value& v);
};

bool IsTextual(const Value& v) {
  return v.kind == Value::Kind::kText || v.kind == Value::Kind::kBlob;
}

// ---- readers ----------------------------------------------------------------------------

Value ReadTextBlob(const FieldDesc&, bool, std::string_view text) {
  return Value::Text(std::string(text));
}

Value ReadBinaryBlob(const FieldDesc&, bool, std::string_view text) {
  return Value::Blob(std::string(text));
}

// Raw bytes read as an image of the field.
Value ReadRaw(const FieldDesc& f, bool ndt, std::string_view text) {
  if (text.size() > f.shape.length)
    TooLong(f, std::to_string(text.size()) + " bytes given, the field holds " +
                   std::to_string(f.shape.length));
  return DecodeImage(f, ndt, reinterpret_cast<const uint8_t*>(text.data()),
                     static_cast<uint32_t>(text.size()));
}

Value ReadString(const FieldDesc& f, bool, std::string_view text) {
  // Zero bytes only: the NDT form of an empty field.
  if (!text.empty() && text.find_first_not_of('\0') == std::string_view::npos) return Value::Null();
  std::string_view s = text.substr(0, text.find('\0'));
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.size() > f.shape.length)
    TooLong(f, std::to_string(s.size()) + " characters given, the field holds " +
                   std::to_string(f.shape.length));
  return Value::Text(std::string(s));
}

// The other readers take the text without surrounding blanks; a blank text
// is an empty field.
template <Value (*Read)(const FieldDesc& f, const std::string& s)>
Value ReadTrimmed(const FieldDesc& f, bool, std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty()) return Value::Null();
  return Read(f, std::string(t));
}

Value ReadLogical(const FieldDesc& f, const std::string& s) {
  std::string up;
  for (char c : s) up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (up == "T" || up == "TRUE" || up == "Y" || up == "YES" || up == "1" || up == ".T.")
    return Value::Integer(1);
  if (up == "F" || up == "FALSE" || up == "N" || up == "NO" || up == "0" || up == ".F.")
    return Value::Integer(0);
  NotAValue(f, "\"" + s + "\" is not a logical value");
}

Value ReadNumeric(const FieldDesc& f, const std::string& s) {
  return NumericValue(f, s);
}

Value ReadDate(const FieldDesc& f, const std::string& s) {
  int64_t julian;
  if (!ParseDate(s, &julian, nullptr)) NotAValue(f, "\"" + s + "\" is not a date");
  return Value::Text(IsoDate(julian));
}

Value ReadTime(const FieldDesc& f, const std::string& s) {
  int64_t ms;
  if (!ParseTime(s, &ms)) NotAValue(f, "\"" + s + "\" is not a time of day");
  return Value::Text(IsoTime(ms));
}

Value ReadTimestamp(const FieldDesc& f, const std::string& s) {
  int64_t julian, ms;
  if (!ParseTimestamp(s, &julian, &ms)) NotAValue(f, "\"" + s + "\" is not a timestamp");
  return TimestampValue(f, julian, ms);
}

// A number text read both as a whole number and as a real.
struct NumberText {
  int64_t whole_value = 0;
  bool whole = false;
  double real = 0;
  bool number = false;
};

// Readers of binary numbers; a whole number beyond 64 bits is refused for
// all of them before they look at the text.
template <Value (*Read)(const FieldDesc& f, const std::string& s, const NumberText& n)>
Value ReadNumber(const FieldDesc& f, const std::string& s) {
  NumberText n;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n.whole_value);
  n.whole = ec == std::errc() && end == s.data() + s.size();
  char* dend = nullptr;
  n.real = std::strtod(s.c_str(), &dend);
  n.number = dend && *dend == '\0' && std::isfinite(n.real);
  if (ec == std::errc::result_out_of_range) TooLong(f, "\"" + s + "\" is too large");
  return Read(f, s, n);
}

Value ReadDouble(const FieldDesc& f, const std::string& s, const NumberText& n) {
  if (!n.number) NotAValue(f, "\"" + s + "\" is not a number");
  return Value::Real(n.real);
}

void RequireWhole(const FieldDesc& f, const std::string& s, const NumberText& n) {
  if (!n.whole) NotAValue(f, "\"" + s + "\" is not a whole number");
}

Value ReadInteger(const FieldDesc& f, const std::string& s, const NumberText& n) {
  RequireWhole(f, s, n);
  return IntegerValue(f, n.whole_value, INT32_MIN + 1, INT32_MAX);
}

Value ReadAutoinc(const FieldDesc& f, const std::string& s, const NumberText& n) {
  RequireWhole(f, s, n);
  return IntegerValue(f, n.whole_value, 0, UINT32_MAX - 1);
}

Value ReadShortint(const FieldDesc& f, const std::string& s, const NumberText& n) {
  RequireWhole(f, s, n);
  return IntegerValue(f, n.whole_value, -32767, 32767);
}

Value ReadRowversion(const FieldDesc& f, const std::string& s, const NumberText& n) {
  RequireWhole(f, s, n);
  return Value::Integer(n.whole_value);
}

// An amount text first; else any number money can hold.
Value ReadMoney(const FieldDesc& f, const std::string& s, const NumberText& n) {
  int64_t scaled = 0;
  switch (ParseMoney(s, &scaled)) {
    case MoneyParse::kOk:
      return MoneyValue(scaled);
    case MoneyParse::kTooManyDecimals:
      TooLong(f, "\"" + s + "\" has more than four decimals");
    case MoneyParse::kOutOfRange:
      TooLong(f, "\"" + s + "\" lies beyond what money holds");
    case MoneyParse::kNotAnAmount:
      break;
  }
  if (!n.number) NotAValue(f, "\"" + s + "\" is not a number");
  if (!MoneyFromValue(Value::Real(n.real), &scaled))
    TooLong(f, "\"" + s + "\" lies beyond what money holds");
  return MoneyValue(scaled);
}

Value ReadUnknown(const FieldDesc& f, const std::string&, const NumberText&) {
  NotAValue(f, "unknown field type " + std::to_string(f.shape.type));
}

// ---- writers ----------------------------------------------------------------------------

// Padded to the field's length.
std::string WriteString(const FieldDesc& f, bool, const Value& v) {
  std::string s;
  if (IsTextual(v)) {
    s = v.bytes;
  } else if (v.kind == Value::Kind::kInteger) {
    s = std::to_string(v.integer);
  } else {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v.real);
    s = buf;
  }
  s.resize(f.shape.length, ' ');
  return s;
}

// Blob and raw fields give their whole contents.
std::string WriteContents(const FieldDesc&, bool, const Value& v) {
  return IsTextual(v) ? v.bytes : std::string();
}

// "T", "F" or nothing, as the image form says.
std::string WriteLogical(const FieldDesc& f, bool ndt, const Value& v) {
  uint8_t image[1];
  FieldDesc one{f.name, {f.shape.type, 1, 0}, 0};
  EncodeValue(one, ndt, v, image);
  return image[0] == ' ' ? std::string() : std::string(1, static_cast<char>(image[0]));
}

std::string WriteNumeric(const FieldDesc& f, bool, const Value& v) {
  double number;
  std::string text;
  if (AsNumber(v, &number) && NumericText(f, number, &text)) return std::string(Trim(text));
  return std::string();
}

std::string WriteDate(const FieldDesc&, bool, const Value& v) {
  int64_t julian;
  return AsDate(v, &julian) ? CompactDate(julian) : std::string();
}

std::string WriteTime(const FieldDesc&, bool, const Value& v) {
  int64_t ms;
  return AsTime(v, &ms) ? IsoTime(ms) : std::string();
}

std::string WriteTimestamp(const FieldDesc&, bool, const Value& v) {
  int64_t julian, ms;
  if (v.kind == Value::Kind::kText && ParseTimestamp(Trim(v.bytes), &julian, &ms))
    return CompactDate(julian) + " " + IsoTime(ms);
  return std::string();
}

std::string WriteDouble(const FieldDesc&, bool, const Value& v) {
  double number;
  if (!AsNumber(v, &number)) return std::string();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", number);
  return buf;
}

std::string WriteMoney(const FieldDesc&, bool, const Value& v) {
  int64_t scaled;
  return MoneyFromValue(v, &scaled) ? MoneyText(scaled) : std::string();
}

std::string WriteWhole(const FieldDesc&, bool, const Value& v) {
  int64_t integer;
  return AsInteger(v, &integer) ? std::to_string(integer) : std::string();
}

// ---- the table ----------------------------------------------------------------------

constexpr TextForm kUnknownForm = {ReadTrimmed<ReadNumber<ReadUnknown>>, WriteWhole};

// Indexed by engine field type; holes are types the engine does not know.
constexpr TextForm kForms[] = {
    kUnknownForm,                                           // 0
    {ReadTrimmed<ReadLogical>, WriteLogical},               // NDS_LOGICAL
    {ReadTrimmed<ReadNumeric>, WriteNumeric},               // NDS_NUMERIC
    {ReadTrimmed<ReadDate>, WriteDate},                     // NDS_DATE
    {ReadString, WriteString},                              // NDS_STRING
    {ReadTextBlob, WriteContents},                          // NDS_MEMO
    {ReadBinaryBlob, WriteContents},                        // NDS_BINARY
    {ReadBinaryBlob, WriteContents},                        // NDS_IMAGE
    {ReadTextBlob, WriteContents},                          // NDS_VARCHAR
    {ReadTrimmed<ReadDate>, WriteDate},                     // NDS_COMPACTDATE
    {ReadTrimmed<ReadNumber<ReadDouble>>, WriteDouble},     // NDS_DOUBLE
    {ReadTrimmed<ReadNumber<ReadInteger>>, WriteWhole},     // NDS_INTEGER
    {ReadTrimmed<ReadNumber<ReadShortint>>, WriteWhole},    // NDS_SHORTINT
    {ReadTrimmed<ReadTime>, WriteTime},                     // NDS_TIME
    {ReadTrimmed<ReadTimestamp>, WriteTimestamp},           // NDS_TIMESTAMP
    {ReadTrimmed<ReadNumber<ReadAutoinc>>, WriteWhole},     // NDS_AUTOINC
    {ReadRaw, WriteContents},                               // NDS_RAW
    {ReadTrimmed<ReadNumber<ReadDouble>>, WriteDouble},     // NDS_CURDOUBLE
    {ReadTrimmed<ReadNumber<ReadMoney>>, WriteMoney},       // NDS_MONEY
    kUnknownForm,                                           // 19
    {ReadString, WriteString},                              // NDS_CISTRING
    {ReadTrimmed<ReadNumber<ReadRowversion>>, WriteWhole},  // NDS_ROWVERSION
    {ReadTrimmed<ReadTimestamp>, WriteTimestamp},           // NDS_MODTIME
};

static_assert(sizeof kForms / sizeof kForms[0] == NDS_MODTIME + 1,
              "one text form per engine field type");

const TextForm& FormFor(uint16_t type) {
  return type < sizeof kForms / sizeof kForms[0] ? kForms[type] : kUnknownForm;
}

}  // namespace

Value DecodeText(const FieldDesc& f, bool ndt, std::string_view text) {
  return FormFor(f.shape.type).read(f, ndt, text);
}

std::string FormatText(const FieldDesc& f, bool ndt, const Value& v) {
  if (IsNull(v)) return std::string();
  return FormFor(f.shape.type).write(f, ndt, v);
}

}  // namespace nce
