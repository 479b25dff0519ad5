#include "engine/interchange/stored_forms.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "engine/base/money.h"
#include "engine/record/field_codecs.h"
#include "engine/record/stored_values.h"

namespace nce {
namespace {

[[noreturn]] void Refuse(uint32_t number, const std::string& what) {
  throw EngineError(number, what);
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// A decimal text split into its parts: sign, integer digits without
// leading zeros, and fraction digits without trailing zeros.
struct Decimal {
  bool negative = false;
  std::string_view whole, fraction;
};

bool ReadDecimal(std::string_view text, Decimal* d) {
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    d->negative = text.front() == '-';
    text.remove_prefix(1);
  }
  size_t point = text.find('.');
  d->whole = text.substr(0, point);
  d->fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (d->whole.empty() && d->fraction.empty()) return false;
  for (std::string_view part : {d->whole, d->fraction})
    for (char c : part)
      if (c < '0' || c > '9') return false;
  while (d->whole.size() > 1 && d->whole.front() == '0') d->whole.remove_prefix(1);
  while (!d->fraction.empty() && d->fraction.back() == '0') d->fraction.remove_suffix(1);
  if (d->whole.empty()) d->whole = "0";
  return true;
}

// The decimal as a numeric field of `decimals` places writes it: "-12.50".
std::string FieldText(const Decimal& d, int decimals) {
  bool zero = d.whole == "0" && d.fraction.empty();
  std::string text = (d.negative && !zero) ? "-" : "";
  text += d.whole;
  if (decimals > 0) {
    text += '.';
    text += d.fraction;
    text.append(decimals - d.fraction.size(), '0');
  }
  return text;
}

// Sets `*out` to a number in place: its bytes keep their room for the
// next value the reader puts there.
void SetInteger(Value* out, int64_t whole) {
  out->kind = Value::Kind::kInteger;
  out->integer = whole;
}
void SetReal(Value* out, double real) {
  out->kind = Value::Kind::kReal;
  out->real = real;
}

// The common case of NumericToStored without a string made or strtod: a
// decimal of at most 15 significant digits at the field's decimals, which
// fits the field. Its digits at those decimals make a whole number m below
// 10^15 (below 2^53, so a double holds it exactly), and 10^decimals is a
// double exactly too: m / 10^decimals, one correctly rounded division, is
// the double nearest the decimal, the one strtod gives. And any decimal of
// at most 15 significant digits comes back from its nearest double (a
// double's 15.95 digits). False, with `out` untouched, for anything else:
// the careful path decides it, and words its refusal.
bool FastNumericToStored(const FieldSpec& f, std::string_view text, Value* out) {
  static const double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (f.decimals > 15) return false;
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  while (i < text.size() && text[i] == '0') ++i;  // leading zeros count for nothing
  bool any_digit = i > 0 && text[i - 1] == '0';
  uint64_t m = 0;
  int digits = 0;  // significant digits in m
  size_t whole_digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++whole_digits) {
    m = m * 10 + static_cast<uint64_t>(text[i] - '0');
    ++digits;
    any_digit = true;
  }
  uint32_t decimals = 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (decimals == f.decimals) {
        if (text[i] != '0') return false;  // more decimals than the field keeps
        continue;
      }
      m = m * 10 + static_cast<uint64_t>(text[i] - '0');
      if (m != 0) ++digits;
      ++decimals;
      any_digit = true;
    }
  }
  if (i != text.size() || !any_digit || digits > 15) return false;
  for (; decimals < f.decimals; ++decimals) {
    m *= 10;
    if (m != 0) ++digits;
  }
  if (digits > 15) return false;
  // The field's text: sign, whole digits (one at least), point and decimals.
  size_t width = (negative && m != 0 ? 1 : 0) + std::max<size_t>(whole_digits, 1) +
                 (f.decimals > 0 ? 1 + f.decimals : 0);
  if (width > f.length) return false;
  int64_t whole = negative ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
  if (f.decimals == 0)
    SetInteger(out, whole);
  else
    SetReal(out, static_cast<double>(whole) / kPowers[f.decimals]);
  return true;
}

void NumericToStored(const TableColumn& column, const std::string& text, Value* out,
                     bool whole_as_doubles) {
  const FieldSpec& f = column.shape;
  if (FastNumericToStored(f, text, out)) return;
  Decimal d;
  if (!ReadDecimal(text, &d)) Refuse(NDS_E_VALUE_INVALID, Quoted(text) + " is not a number");
  if (d.fraction.size() > f.decimals)
    Refuse(NDS_E_VALUE_TOO_LONG, Quoted(text) + " has more than " + std::to_string(f.decimals) +
                                     " decimals, which the field keeps");
  std::string exact = FieldText(d, f.decimals);
  if (exact.size() > f.length)
    Refuse(NDS_E_VALUE_TOO_LONG, Quoted(text) + " needs more than the field's " +
                                     std::to_string(f.length) + " characters");
  if (f.decimals == 0) {
    int64_t whole = 0;
    auto [end, ec] = std::from_chars(exact.data(), exact.data() + exact.size(), whole);
    if (ec != std::errc() || end != exact.data() + exact.size())
      Refuse(NDS_E_VALUE_TOO_LONG, Quoted(text) + " is too large for a whole number");
    double kept = static_cast<double>(whole);
    if (whole_as_doubles && !(std::fabs(kept) < 9.2e18 && static_cast<int64_t>(kept) == whole))
      Refuse(NDS_E_VALUE_TOO_LONG, Quoted(text) +
                                       " has more digits than a numeric field of this store keeps "
                                       "exactly (whole numbers up to 2^53)");
    *out = Value::Integer(whole);
    return;
  }
  // The field keeps a double: it must give the same digits back.
  double real = std::strtod(exact.c_str(), nullptr);
  char back[64];
  if (exact.size() > sizeof back ||
      !FixedText(real, f.decimals, static_cast<uint32_t>(exact.size()), back) ||
      std::string_view(back, exact.size()) != exact)
    Refuse(NDS_E_VALUE_TOO_LONG,
           Quoted(text) + " has more significant digits than a numeric field keeps exactly (15)");
  *out = Value::Real(real);
}

void NumericToInterchange(const TableColumn& column, const Value& stored, Value* out) {
  const FieldSpec& f = column.shape;
  if (stored.kind == Value::Kind::kInteger && f.decimals == 0) {
    *out = Value::Text(std::to_string(stored.integer));
    return;
  }
  double real;
  if (!AsNumber(stored, &real)) Refuse(NDS_E_VALUE_INVALID, "the stored value is not a number");
  char text[400];
  uint32_t width = sizeof text - 1;
  if (!FixedText(real, f.decimals, width, text))
    Refuse(NDS_E_VALUE_INVALID, "the stored number cannot be written");
  std::string_view written(text, width);
  written.remove_prefix(written.find_first_not_of(' '));
  *out = Value::Text(std::string(written));
}

}  // namespace

void ToStoredForm(const TableColumn& column, const Value& in, Value* out, bool whole_as_doubles) {
  if (in.kind == Value::Kind::kNull || in.kind == Value::Kind::kUnset) {
    *out = Value::Null();
    return;
  }
  switch (column.shape.type) {
    case NDS_NUMERIC:
      if (in.kind != Value::Kind::kText) break;
      NumericToStored(column, in.bytes, out, whole_as_doubles);
      return;
    case NDS_MONEY: {
      if (in.kind != Value::Kind::kText) break;
      int64_t scaled = 0;
      switch (ParseMoney(in.bytes, &scaled)) {
        case MoneyParse::kOk:
          *out = MoneyValue(scaled);
          return;
        case MoneyParse::kNotAnAmount:
          Refuse(NDS_E_VALUE_INVALID, Quoted(in.bytes) + " is not an amount");
        case MoneyParse::kTooManyDecimals:
          Refuse(NDS_E_VALUE_TOO_LONG, Quoted(in.bytes) + " has more than 4 decimals");
        case MoneyParse::kOutOfRange:
          Refuse(NDS_E_VALUE_TOO_LONG, Quoted(in.bytes) + " lies beyond the range of money");
      }
      break;
    }
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_RAW:
      if (in.bytes.size() > column.shape.length)
        Refuse(NDS_E_VALUE_TOO_LONG,
               "longer than the field's " + std::to_string(column.shape.length) + " bytes");
      break;
    default:
      break;
  }
  if (out != &in) *out = in;
}

bool FitsRecordImage(const TableColumn& column, bool ndt, const Value& stored,
                     std::vector<uint8_t>* scratch) {
  if (stored.kind == Value::Kind::kNull || stored.kind == Value::Kind::kUnset) return true;
  switch (column.shape.type) {
    case NDS_STRING:
    case NDS_CISTRING:
    case NDS_RAW:
      // The image would take a longer value when blanks end it; the field
      // would not.
      return stored.bytes.size() <= column.shape.length;
    case NDS_MEMO:
    case NDS_VARCHAR:
    case NDS_BINARY:
    case NDS_IMAGE:
      return true;  // any text or bytes
    default:
      break;
  }
  FieldDesc field;
  field.shape = column.shape;
  if (scratch->size() < column.shape.length) scratch->resize(column.shape.length);
  return CodecFor(column.shape.type).encode(field, ndt, stored, scratch->data());
}

void ToInterchangeForm(const TableColumn& column, const Value& stored, Value* out) {
  if (stored.kind == Value::Kind::kNull || stored.kind == Value::Kind::kUnset) {
    *out = Value::Null();
    return;
  }
  switch (column.shape.type) {
    case NDS_NUMERIC:
      NumericToInterchange(column, stored, out);
      return;
    case NDS_MONEY: {
      int64_t scaled = 0;
      if (!MoneyFromValue(stored, &scaled))
        Refuse(NDS_E_VALUE_INVALID, "the stored value is not an amount");
      *out = Value::Text(MoneyText(scaled));
      return;
    }
    case NDS_DOUBLE:
    case NDS_CURDOUBLE: {
      double real;
      if (!AsNumber(stored, &real)) Refuse(NDS_E_VALUE_INVALID, "the stored value is not a number");
      *out = Value::Real(real);
      return;
    }
    case NDS_LOGICAL:
    case NDS_INTEGER:
    case NDS_SHORTINT:
    case NDS_AUTOINC:
    case NDS_ROWVERSION: {
      int64_t whole;
      if (!AsInteger(stored, &whole))
        Refuse(NDS_E_VALUE_INVALID, "the stored value is not a whole number");
      *out = Value::Integer(column.shape.type == NDS_LOGICAL ? whole != 0 : whole);
      return;
    }
    case NDS_BINARY:
    case NDS_IMAGE:
    case NDS_RAW:
      *out = Value::Blob(stored.kind == Value::Kind::kInteger ? std::to_string(stored.integer)
                                                              : stored.bytes);
      return;
    default:
      break;
  }
  if (stored.kind == Value::Kind::kText || stored.kind == Value::Kind::kBlob) {
    *out = Value::Text(stored.bytes);
    return;
  }
  // A number in a text or date column, written by another tool.
  double real;
  AsNumber(stored, &real);
  *out = Value::Text(stored.kind == Value::Kind::kInteger ? std::to_string(stored.integer)
                                                          : std::to_string(real));
}

}  // namespace nce
