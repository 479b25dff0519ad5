// TBcd: an exact decimal of up to 32 digits, the framework's value form of
// ftBCD and ftFMTBcd fields and parameters. A value keeps the number of
// decimal places it was given, so "1.50" reads back as "1.50".
#ifndef DATASET_BCD_H
#define DATASET_BCD_H

#include <cstdint>
#include <string>

namespace dataset {

constexpr int kMaxBcdPrecision = 32;

// Plain data, copied byte for byte into record buffers.
struct TBcd {
  uint8_t Precision;          // Digits held, 1 to 32 (0 only in a zeroed TBcd, read as 0)
  uint8_t SignSpecialPlaces;  // Bit 7: negative; bits 0-5: decimal places (<= Precision)
  uint8_t Fraction[16];       // The digits, two per byte, most significant nibble first
};

// Text. StrToBcd reads an optional sign, digits with an optional "." and an
// optional exponent ("1.5E3"); leading zeros are dropped, the decimal places
// written are kept. More than 32 digits: excess decimal places are rounded
// off (half away from zero); too many integer digits raise
// EBcdOverflowException. Malformed text raises EConvertError
// "'s' is not a valid BCD value".
TBcd StrToBcd(const std::string& text);
bool TryStrToBcd(const std::string& text, TBcd& value);
// The value with its decimal places: "-12.50", "0.00", "7".
std::string BcdToStr(const TBcd& value);

// Fixed-point text with exactly `digits` decimal places (rounded half away
// from zero). When the integer part has more than `precision` digits the
// text is in exponent form ("1.2345E+20"), as floating-point formatting does.
std::string BcdToStrFixed(const TBcd& value, int precision, int digits);

// Numbers.
TBcd Int64ToBcd(int64_t value);
// Truncates toward zero; EBcdOverflowException when out of 64-bit range.
int64_t BcdToInt64(const TBcd& value);
// The shortest decimal that reads back as `value`; EBcdOverflowException for
// NaN, infinities and magnitudes needing more than 32 integer digits.
TBcd DoubleToBcd(double value);
double BcdToDouble(const TBcd& value);
// Currency held as a 64-bit integer scaled by 10 000 (four implied
// decimals), as a BCD of `precision` digits with 4 decimal places.
TBcd CurrToBcd(int64_t scaled, int precision = 20);
// Rounds to four decimals; false when the result does not fit 64 bits.
bool BcdToCurr(const TBcd& value, int64_t& scaled);

// Rescales `value` to `places` decimal places (rounding half away from zero)
// and checks that it fits `precision` digits; false when it does not.
bool NormalizeBcd(const TBcd& value, TBcd& out, int precision, int places);

// -1, 0 or 1 by numeric value (1.5 equals 1.50).
int BcdCompare(const TBcd& a, const TBcd& b);
inline bool operator==(const TBcd& a, const TBcd& b) {
  return BcdCompare(a, b) == 0;
}
bool IsBcdZero(const TBcd& value);
bool IsBcdNegative(const TBcd& value);
int BcdScale(const TBcd& value);      // Decimal places
int BcdPrecision(const TBcd& value);  // Significant digits: integer digits without leading zeros
                                      // plus decimal places

// Exact arithmetic. The result keeps the larger number of decimal places
// (their sum for a product, reduced by rounding when it would exceed 32
// digits); results beyond 32 integer digits raise EBcdOverflowException.
TBcd BcdAdd(const TBcd& a, const TBcd& b);
TBcd BcdSubtract(const TBcd& a, const TBcd& b);
TBcd BcdMultiply(const TBcd& a, const TBcd& b);
TBcd BcdNegate(const TBcd& a);

}  // namespace dataset

#endif  // DATASET_BCD_H
