#include "dataset/bcd.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "dataset/exceptions.h"
#include "dataset/text.h"

namespace dataset {

namespace {

// A decimal being worked on: value = digits / 10^scale, with the integer
// digits first. digits.size() >= scale always holds.
struct Decimal {
  bool negative = false;
  std::string digits;  // '0'..'9'
  int scale = 0;
};

int IntegerDigits(const Decimal& d) {
  return static_cast<int>(d.digits.size()) - d.scale;
}

// Drops leading zeros of the integer part; zero has no sign.
void Canonicalize(Decimal& d) {
  size_t strip = 0;
  while (static_cast<int>(d.digits.size() - strip) > d.scale && d.digits[strip] == '0') ++strip;
  d.digits.erase(0, strip);
  if (d.digits.empty()) d.digits = "0";
  if (d.digits.find_first_not_of('0') == std::string::npos) d.negative = false;
}

// Adds one unit in the last place of the magnitude.
void IncrementMagnitude(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return;
    }
  }
  digits.insert(digits.begin(), '1');
}

// Sets the number of decimal places, rounding half away from zero.
void Rescale(Decimal& d, int places) {
  if (places >= d.scale) {
    d.digits.append(static_cast<size_t>(places - d.scale), '0');
    d.scale = places;
    return;
  }
  size_t keep = d.digits.size() - static_cast<size_t>(d.scale - places);
  bool round_up = d.digits[keep] >= '5';
  d.digits.resize(keep);
  d.scale = places;
  if (d.digits.empty()) d.digits = "0";
  if (round_up) IncrementMagnitude(d.digits);
  Canonicalize(d);
}

// Fits `d` into 32 digits by rounding off decimal places.
bool FitPrecision(Decimal& d) {
  Canonicalize(d);
  while (static_cast<int>(d.digits.size()) > kMaxBcdPrecision) {
    int excess = static_cast<int>(d.digits.size()) - kMaxBcdPrecision;
    if (d.scale == 0) return false;
    Rescale(d, std::max(0, d.scale - excess));
  }
  return true;
}

TBcd Pack(Decimal d) {
  if (!FitPrecision(d)) throw EBcdOverflowException("BCD overflow");
  TBcd out;
  std::memset(&out, 0, sizeof out);
  out.Precision = static_cast<uint8_t>(d.digits.size());
  out.SignSpecialPlaces = static_cast<uint8_t>((d.negative ? 0x80 : 0) | d.scale);
  for (size_t i = 0; i < d.digits.size(); ++i) {
    uint8_t nibble = static_cast<uint8_t>(d.digits[i] - '0');
    out.Fraction[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(nibble << 4) : nibble;
  }
  return out;
}

Decimal Unpack(const TBcd& v) {
  Decimal d;
  int precision = v.Precision;
  int scale = v.SignSpecialPlaces & 0x3F;
  if (precision > kMaxBcdPrecision || scale > std::max(precision, 0) || (precision == 0 && scale))
    throw EBcdException("Invalid BCD value");
  d.negative = (v.SignSpecialPlaces & 0x80) != 0;
  d.scale = scale;
  for (int i = 0; i < precision; ++i) {
    uint8_t byte = v.Fraction[i / 2];
    int nibble = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    if (nibble > 9) throw EBcdException("Invalid BCD value");
    d.digits += static_cast<char>('0' + nibble);
  }
  Canonicalize(d);
  return d;
}

std::string Text(const Decimal& d) {
  std::string out = d.negative ? "-" : "";
  int int_digits = IntegerDigits(d);
  out += int_digits > 0 ? d.digits.substr(0, static_cast<size_t>(int_digits)) : "0";
  if (d.scale > 0) out += "." + d.digits.substr(static_cast<size_t>(int_digits));
  return out;
}

// Parses text into a decimal of any length; false when malformed.
bool Parse(const std::string& text, Decimal& d, bool& overflow) {
  overflow = false;
  std::string t = Trim(text);
  size_t i = 0;
  d = Decimal();
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.negative = t[i++] == '-';
  bool any = false;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') d.digits += t[i++], any = true;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') d.digits += t[i++], ++d.scale, any = true;
  }
  if (!any) return false;
  long exponent = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    bool exp_digits = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      if (exponent < 100000) exponent = exponent * 10 + (t[i] - '0');
      ++i;
      exp_digits = true;
    }
    if (!exp_digits) return false;
    if (neg) exponent = -exponent;
  }
  if (i != t.size()) return false;
  Canonicalize(d);
  if (exponent == 0) return true;
  bool zero = d.digits.find_first_not_of('0') == std::string::npos;
  if (zero) {
    d.scale = std::max(0, d.scale - static_cast<int>(std::clamp(exponent, -64L, 64L)));
    d.digits = std::string(static_cast<size_t>(std::max(d.scale, 1)), '0');
    return true;
  }
  long new_scale = d.scale - exponent;
  if (new_scale < 0) {
    if (IntegerDigits(d) - new_scale > kMaxBcdPrecision) {
      overflow = true;
      return true;
    }
    d.digits.append(static_cast<size_t>(-new_scale), '0');
    d.scale = 0;
  } else {
    // Keep at most a few digits beyond what 32 digits can show; the rest
    // rounds away to zero.
    long limit = kMaxBcdPrecision + 2;
    if (new_scale > static_cast<long>(d.digits.size()) + limit) {
      d.digits = "0";
      d.scale = 0;
      d.negative = false;
      return true;
    }
    if (static_cast<long>(d.digits.size()) < new_scale)
      d.digits.insert(0, static_cast<size_t>(new_scale) - d.digits.size(), '0');
    d.scale = static_cast<int>(new_scale);
  }
  Canonicalize(d);
  return true;
}

// Magnitude comparison of two decimals brought to the same scale.
int CompareMagnitude(Decimal a, Decimal b) {
  int scale = std::max(a.scale, b.scale);
  Rescale(a, scale);
  Rescale(b, scale);
  size_t n = std::max(a.digits.size(), b.digits.size());
  a.digits.insert(0, n - a.digits.size(), '0');
  b.digits.insert(0, n - b.digits.size(), '0');
  int c = a.digits.compare(b.digits);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// |a| + |b| or |a| - |b| (|a| >= |b| required for subtraction), at the
// larger scale.
std::string AddMagnitudes(std::string a, std::string b, bool subtract) {
  size_t n = std::max(a.size(), b.size());
  a.insert(0, n - a.size(), '0');
  b.insert(0, n - b.size(), '0');
  std::string out(n, '0');
  int carry = 0;
  for (size_t i = n; i-- > 0;) {
    int x = a[i] - '0', y = b[i] - '0';
    int r = subtract ? x - y - carry : x + y + carry;
    carry = subtract ? (r < 0) : (r >= 10);
    if (subtract && r < 0) r += 10;
    if (!subtract && r >= 10) r -= 10;
    out[i] = static_cast<char>('0' + r);
  }
  if (carry && !subtract) out.insert(out.begin(), '1');
  return out;
}

Decimal Add(Decimal a, Decimal b) {
  int scale = std::max(a.scale, b.scale);
  Rescale(a, scale);
  Rescale(b, scale);
  Decimal r;
  r.scale = scale;
  if (a.negative == b.negative) {
    r.digits = AddMagnitudes(a.digits, b.digits, false);
    r.negative = a.negative;
  } else if (CompareMagnitude(a, b) >= 0) {
    r.digits = AddMagnitudes(a.digits, b.digits, true);
    r.negative = a.negative;
  } else {
    r.digits = AddMagnitudes(b.digits, a.digits, true);
    r.negative = b.negative;
  }
  Canonicalize(r);
  return r;
}

}  // namespace

bool TryStrToBcd(const std::string& text, TBcd& value) {
  Decimal d;
  bool overflow;
  if (!Parse(text, d, overflow) || overflow) return false;
  if (!FitPrecision(d)) return false;
  value = Pack(d);
  return true;
}

TBcd StrToBcd(const std::string& text) {
  Decimal d;
  bool overflow;
  if (!Parse(text, d, overflow)) throw EConvertError("'" + text + "' is not a valid BCD value");
  if (overflow) throw EBcdOverflowException("BCD overflow");
  return Pack(d);
}

std::string BcdToStr(const TBcd& value) {
  return Text(Unpack(value));
}

std::string BcdToStrFixed(const TBcd& value, int precision, int digits) {
  Decimal d = Unpack(value);
  digits = std::clamp(digits, 0, 64);
  Rescale(d, digits);
  int int_digits = IntegerDigits(d);
  bool int_zero =
      d.digits.substr(0, static_cast<size_t>(std::max(int_digits, 0))).find_first_not_of('0') ==
      std::string::npos;
  if (precision <= 0 || int_zero || int_digits <= precision) return Text(d);
  // Exponent form with `precision` significant digits.
  Decimal m = Unpack(value);
  int exponent = IntegerDigits(m) - 1;
  m.scale = static_cast<int>(m.digits.size()) - 1;
  Rescale(m, std::min(precision - 1, 31));
  if (IntegerDigits(m) > 1) {  // rounding carried into a new digit
    ++exponent;
    m.scale += 1;
    Rescale(m, std::min(precision - 1, 31));
  }
  std::string mantissa = Text(m);
  if (mantissa.find('.') != std::string::npos) {
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  std::string e = std::to_string(exponent);
  if (e.size() < 2) e.insert(0, "0");
  return mantissa + "E+" + e;
}

TBcd Int64ToBcd(int64_t value) {
  return StrToBcd(std::to_string(value));
}

int64_t BcdToInt64(const TBcd& value) {
  Decimal d = Unpack(value);
  int int_digits = IntegerDigits(d);
  std::string integer = int_digits > 0 ? d.digits.substr(0, static_cast<size_t>(int_digits)) : "0";
  if (d.negative) integer.insert(0, "-");
  int64_t out;
  if (!TryStrToInt64(integer, out) || integer.size() > 20)
    throw EBcdOverflowException("BCD overflow");
  return out;
}

TBcd DoubleToBcd(double value) {
  if (!std::isfinite(value)) throw EBcdOverflowException("BCD overflow");
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;
  return StrToBcd(std::string(buf, end));
}

double BcdToDouble(const TBcd& value) {
  // Up to 15 digits and 22 decimal places both the digits and the power of
  // ten are exact doubles, so one division rounds exactly as reading the
  // text would; reading fields of a walk goes this way.
  const int precision = value.Precision;
  const int places = value.SignSpecialPlaces & 0x3F;
  if (precision <= 15 && places <= 22 && places <= precision) {
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    int64_t digits = 0;
    bool valid = true;
    for (int i = 0; i < precision; ++i) {
      const uint8_t byte = value.Fraction[i / 2];
      const int nibble = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
      valid = valid && nibble <= 9;
      digits = digits * 10 + nibble;
    }
    if (valid) {
      const double magnitude = static_cast<double>(digits) / kPowers[places];
      return (value.SignSpecialPlaces & 0x80) != 0 ? -magnitude : magnitude;
    }
  }
  std::string t = BcdToStr(value);
  double out = 0;
  std::from_chars(t.data(), t.data() + t.size(), out);
  return out;
}

TBcd CurrToBcd(int64_t scaled, int precision) {
  Decimal d;
  d.negative = scaled < 0;
  uint64_t magnitude =
      scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  d.digits = std::to_string(magnitude);
  if (d.digits.size() < 4) d.digits.insert(0, 4 - d.digits.size(), '0');
  d.scale = 4;
  Canonicalize(d);
  TBcd out;
  if (!NormalizeBcd(Pack(d), out, std::clamp(precision, 4, kMaxBcdPrecision), 4))
    throw EBcdOverflowException("BCD overflow");
  return out;
}

bool BcdToCurr(const TBcd& value, int64_t& scaled) {
  Decimal d = Unpack(value);
  Rescale(d, 4);
  std::string text = (d.negative ? "-" : "") + d.digits;
  if (d.digits.size() > 19) return false;
  return TryStrToInt64(text, scaled);
}

bool NormalizeBcd(const TBcd& value, TBcd& out, int precision, int places) {
  if (precision < 1 || precision > kMaxBcdPrecision || places < 0 || places > precision)
    return false;
  Decimal d = Unpack(value);
  Rescale(d, places);
  Canonicalize(d);
  int int_digits = IntegerDigits(d);
  if (int_digits == 1 && d.digits[0] == '0') int_digits = 0;
  if (int_digits > precision - places) return false;
  // Pad the integer part with zeros so the value has exactly `precision`
  // digits, the form fixed-size fields expect.
  int pad = precision - static_cast<int>(d.digits.size());
  if (pad > 0) d.digits.insert(0, static_cast<size_t>(pad), '0');
  if (static_cast<int>(d.digits.size()) > precision) d.digits.erase(0, d.digits.size() - precision);
  TBcd r;
  std::memset(&r, 0, sizeof r);
  r.Precision = static_cast<uint8_t>(precision);
  r.SignSpecialPlaces = static_cast<uint8_t>((d.negative ? 0x80 : 0) | places);
  for (size_t i = 0; i < d.digits.size(); ++i) {
    uint8_t nibble = static_cast<uint8_t>(d.digits[i] - '0');
    r.Fraction[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(nibble << 4) : nibble;
  }
  out = r;
  return true;
}

int BcdCompare(const TBcd& a, const TBcd& b) {
  Decimal x = Unpack(a), y = Unpack(b);
  if (x.negative != y.negative) return x.negative ? -1 : 1;
  int c = CompareMagnitude(x, y);
  return x.negative ? -c : c;
}

bool IsBcdZero(const TBcd& value) {
  Decimal d = Unpack(value);
  return d.digits.find_first_not_of('0') == std::string::npos;
}

bool IsBcdNegative(const TBcd& value) {
  return Unpack(value).negative;
}

int BcdScale(const TBcd& value) {
  return Unpack(value).scale;
}

int BcdPrecision(const TBcd& value) {
  Decimal d = Unpack(value);
  int int_digits = IntegerDigits(d);
  if (int_digits == 1 && d.digits[0] == '0') int_digits = 0;
  return std::max(int_digits + d.scale, 1);
}

TBcd BcdAdd(const TBcd& a, const TBcd& b) {
  return Pack(Add(Unpack(a), Unpack(b)));
}

TBcd BcdSubtract(const TBcd& a, const TBcd& b) {
  Decimal y = Unpack(b);
  y.negative = !y.negative;
  Canonicalize(y);
  return Pack(Add(Unpack(a), y));
}

TBcd BcdNegate(const TBcd& a) {
  Decimal d = Unpack(a);
  d.negative = !d.negative;
  Canonicalize(d);
  return Pack(d);
}

TBcd BcdMultiply(const TBcd& a, const TBcd& b) {
  Decimal x = Unpack(a), y = Unpack(b);
  std::vector<int> acc(x.digits.size() + y.digits.size(), 0);
  for (size_t i = x.digits.size(); i-- > 0;)
    for (size_t j = y.digits.size(); j-- > 0;)
      acc[i + j + 1] += (x.digits[i] - '0') * (y.digits[j] - '0');
  for (size_t k = acc.size(); k-- > 1;) {
    acc[k - 1] += acc[k] / 10;
    acc[k] %= 10;
  }
  Decimal r;
  for (int v : acc) r.digits += static_cast<char>('0' + v);
  r.scale = x.scale + y.scale;
  r.negative = x.negative != y.negative;
  Canonicalize(r);
  return Pack(r);
}

}  // namespace dataset
