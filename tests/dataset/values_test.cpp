// Value types: text forms of numbers, BCD, date-time and Variant.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "dataset/bcd.h"
#include "dataset/datetime.h"
#include "dataset/exceptions.h"
#include "dataset/field_type.h"
#include "dataset/text.h"
#include "dataset/variant.h"

namespace dataset_test {

using namespace dataset;

namespace {

TEST(Text, IntegerTextIsStrict) {
  EXPECT_EQ(StrToInt64(" -42 "), -42);
  EXPECT_EQ(StrToInt64("$FF"), 255);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  for (const char* bad : {"", "12a", "1.5", "9223372036854775808", "--1", "$"}) {
    try {
      StrToInt64(bad);
      FAIL() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
  }
  EXPECT_THROW(StrToInt("2147483648"), EConvertError);
}

TEST(Text, FloatTextRoundTripsAndIgnoresLocale) {
  for (double v : {0.1, 1.5, -2.25, 100.0, 1e20, 1.2345678901234567e-7, 123456789012345.0}) {
    EXPECT_EQ(StrToFloat(FloatToStr(v)), v) << FloatToStr(v);
  }
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(-1.5), "-1.5");
  EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
  EXPECT_EQ(FloatToStr(1e-7), "1E-7");
  EXPECT_EQ(StrToFloat("+3.5e2"), 350);
  for (const char* bad : {"", "abc", "1,5", "1e", ".", "nan", "0x10", "1e999"})
    EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
}

TEST(Text, CaseFoldingAndQuoting) {
  EXPECT_TRUE(SameText("NdsQuery1", "NDSQUERY1"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(Trim("\t a b \r\n"), "a b");
}

TEST(FieldType, NamesRoundTrip) {
  for (int i = 0; i < kFieldTypeCount; ++i) {
    TFieldType t;
    ASSERT_TRUE(FieldTypeFromName(FieldTypeName(static_cast<TFieldType>(i)), t));
    EXPECT_EQ(t, i);
  }
  EXPECT_EQ(FieldTypeName(ftFMTBcd), "ftFMTBcd");
  EXPECT_EQ(FieldTypeName(ftLargeint), "ftLargeint");
  TFieldType t;
  EXPECT_FALSE(FieldTypeFromName("ftNothing", t));
}

TEST(Bcd, TextRoundTripKeepsDecimalPlaces) {
  for (const char* text : {"0", "7", "-12.50", "0.00", "0.001", "123456789012345678901234567890.12",
                           "-99999999999999999999999999999999"}) {
    EXPECT_EQ(BcdToStr(StrToBcd(text)), text);
  }
  EXPECT_EQ(BcdToStr(StrToBcd("  +007.5 ")), "7.5");
  EXPECT_EQ(BcdToStr(StrToBcd("-0.0")), "0.0");  // zero has no sign
  EXPECT_EQ(BcdToStr(StrToBcd("1.5E3")), "1500");
  EXPECT_EQ(BcdToStr(StrToBcd("15E-3")), "0.015");
  EXPECT_EQ(BcdPrecision(StrToBcd("-12.50")), 4);
  EXPECT_EQ(BcdScale(StrToBcd("-12.50")), 2);
}

TEST(Bcd, BadTextAndOverflowAreRefused) {
  for (const char* bad : {"", "abc", "1.2.3", "--1", "1e", "1,5", "."}) {
    try {
      StrToBcd(bad);
      FAIL() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid BCD value");
    }
  }
  EXPECT_THROW(StrToBcd("123456789012345678901234567890123"), EBcdOverflowException);
  EXPECT_THROW(StrToBcd("1E40"), EBcdOverflowException);
  TBcd v;
  EXPECT_FALSE(TryStrToBcd("1E40", v));
  // Excess decimal places round off instead.
  EXPECT_EQ(BcdToStr(StrToBcd("1.23456789012345678901234567890125")),
            "1.2345678901234567890123456789013");
}

TEST(Bcd, CompareIsNumeric) {
  EXPECT_EQ(BcdCompare(StrToBcd("1.5"), StrToBcd("1.50")), 0);
  EXPECT_LT(BcdCompare(StrToBcd("-2"), StrToBcd("1")), 0);
  EXPECT_LT(BcdCompare(StrToBcd("-2"), StrToBcd("-1.99")), 0);
  EXPECT_GT(BcdCompare(StrToBcd("10"), StrToBcd("9.999")), 0);
  EXPECT_TRUE(IsBcdZero(StrToBcd("0.000")));
}

TEST(Bcd, NumberConversions) {
  EXPECT_EQ(BcdToInt64(StrToBcd("-123.99")), -123);
  EXPECT_EQ(BcdToInt64(Int64ToBcd(INT64_MIN)), INT64_MIN);
  EXPECT_THROW(BcdToInt64(StrToBcd("9223372036854775808")), EBcdOverflowException);
  EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), "0.1");
  EXPECT_EQ(BcdToDouble(StrToBcd("2.5")), 2.5);
  // Short and long values read as their text reads, to the last bit.
  for (const char* text : {"-1234.50", "0.1", "0.3", "123456789012345", "-99999.99999",
                           "1.0000000000000000000001", "12345678901234567890.5"})
    EXPECT_EQ(BcdToDouble(StrToBcd(text)), std::strtod(text, nullptr)) << text;
  EXPECT_THROW(DoubleToBcd(NAN), EBcdOverflowException);

  // Money: 64-bit integers scaled by 10 000.
  TBcd money = CurrToBcd(-123456789);
  EXPECT_EQ(BcdToStr(money), "-12345.6789");
  EXPECT_EQ(money.Precision, 20);
  EXPECT_EQ(BcdScale(money), 4);
  int64_t scaled;
  ASSERT_TRUE(BcdToCurr(StrToBcd("1.23455"), scaled));
  EXPECT_EQ(scaled, 12346);  // half away from zero
  EXPECT_FALSE(BcdToCurr(StrToBcd("1E20"), scaled));
}

TEST(Bcd, NormalizeRoundsAndChecksPrecision) {
  TBcd out;
  ASSERT_TRUE(NormalizeBcd(StrToBcd("12.345"), out, 8, 2));
  EXPECT_EQ(BcdToStr(out), "12.35");
  EXPECT_EQ(out.Precision, 8);
  ASSERT_TRUE(NormalizeBcd(StrToBcd("-0.005"), out, 3, 2));
  EXPECT_EQ(BcdToStr(out), "-0.01");
  EXPECT_FALSE(NormalizeBcd(StrToBcd("1234567"), out, 8, 2));
  ASSERT_TRUE(NormalizeBcd(StrToBcd("999999.994"), out, 8, 2));
  EXPECT_FALSE(NormalizeBcd(StrToBcd("999999.995"), out, 8, 2));  // rounds to 7 integer digits
}

TEST(Bcd, FixedText) {
  EXPECT_EQ(BcdToStrFixed(StrToBcd("3.14159"), 9, 2), "3.14");
  EXPECT_EQ(BcdToStrFixed(StrToBcd("-2.5"), 9, 0), "-3");
  EXPECT_EQ(BcdToStrFixed(StrToBcd("7"), 9, 3), "7.000");
  EXPECT_EQ(BcdToStrFixed(StrToBcd("123456"), 4, 0), "1.235E+05");
}

TEST(Bcd, Arithmetic) {
  EXPECT_EQ(BcdToStr(BcdAdd(StrToBcd("1.25"), StrToBcd("-3.5"))), "-2.25");
  EXPECT_EQ(BcdToStr(BcdSubtract(StrToBcd("0.1"), StrToBcd("0.1"))), "0.0");
  EXPECT_EQ(BcdToStr(BcdMultiply(StrToBcd("-1.5"), StrToBcd("2.25"))), "-3.375");
  EXPECT_EQ(BcdToStr(BcdAdd(StrToBcd("99999999999999999999999999999999"), StrToBcd("-1"))),
            "99999999999999999999999999999998");
  EXPECT_THROW(BcdAdd(StrToBcd("99999999999999999999999999999999"), StrToBcd("1")),
               EBcdOverflowException);
}

TEST(Bcd, CorruptValuesAreRefused) {
  TBcd v{};
  EXPECT_TRUE(IsBcdZero(v));  // a zeroed value reads as zero
  v.Precision = 40;
  EXPECT_THROW(BcdToStr(v), EBcdException);
  v.Precision = 2;
  v.Fraction[0] = 0xA1;
  EXPECT_THROW(BcdToStr(v), EBcdException);
}

TEST(DateTime, DayZeroAndDayNumbers) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  int32_t n;
  ASSERT_TRUE(DateToDayNumber(1, 1, 1, n));
  EXPECT_EQ(n, 1);
  ASSERT_TRUE(DateToDayNumber(2000, 1, 1, n));
  EXPECT_EQ(n, 730120);  // Julian day 2 451 545 minus 1 721 425
  EXPECT_EQ(n + kJulianDayOfDay0, 2451545);
  int y, m, d;
  for (int32_t day : {1, 59, 60, 365, 366, 146097, 146096, 693594, 730120, 3652059}) {
    ASSERT_TRUE(DayNumberToDate(day, y, m, d));
    int32_t back;
    ASSERT_TRUE(DateToDayNumber(y, m, d, back));
    EXPECT_EQ(back, day);
  }
  // Every day of a plain and a leap year: the month lengths agree both ways.
  ASSERT_TRUE(DateToDayNumber(2023, 1, 1, n));
  for (int32_t day = n; day < n + 731; ++day) {
    ASSERT_TRUE(DayNumberToDate(day, y, m, d));
    int32_t back;
    ASSERT_TRUE(DateToDayNumber(y, m, d, back));
    ASSERT_EQ(back, day) << y << "-" << m << "-" << d;
  }
  ASSERT_TRUE(DayNumberToDate(3652059, y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 99991231);
  EXPECT_FALSE(DayNumberToDate(0, y, m, d));
}

TEST(DateTime, EncodeRefusesInvalidParts) {
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

TEST(DateTime, ValuesBeforeDayZeroKeepTimeForward) {
  TDateTime v = -1.25;  // 29 December 1899, 06:00
  int y, m, d, h, n, s, ms;
  DecodeDate(v, y, m, d);
  DecodeTime(v, h, n, s, ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
  TTimeStamp ts = DateTimeToTimeStamp(v);
  EXPECT_EQ(ts.Date, kDateDelta - 1);
  EXPECT_EQ(ts.Time, 6 * 3600000);
  EXPECT_EQ(TimeStampToDateTime(ts), v);
}

TEST(DateTime, TimeStampsAndMilliseconds) {
  TDateTime noon = EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 0);
  TTimeStamp ts = DateTimeToTimeStamp(noon);
  EXPECT_EQ(ts.Date, 730120);
  EXPECT_EQ(ts.Time, 43200000);
  double ms = TimeStampToMSecs(ts);
  EXPECT_EQ(ms, 730120.0 * 86400000 + 43200000);
  TTimeStamp back = MSecsToTimeStamp(ms);
  EXPECT_EQ(back.Date, ts.Date);
  EXPECT_EQ(back.Time, ts.Time);
  EXPECT_THROW(TimeStampToDateTime({-1, 5}), EConvertError);
  EXPECT_THROW(TimeStampToDateTime({0, 0}), EConvertError);
}

TEST(DateTime, EngineForms) {
  TDateTime noon = EncodeDate(2000, 1, 1) + 0.5;
  EXPECT_EQ(DateTimeToJulianDay(noon), 2451545);
  EXPECT_EQ(DateTimeToTimeMSecs(noon), 43200000);
  // Before day 0 the time part is the signed difference.
  EXPECT_EQ(DateTimeToJulianDay(-1.25), 2415018);
  EXPECT_EQ(DateTimeToTimeMSecs(-1.25), -21600000);
  EXPECT_THROW(DateTimeToJulianDay(3e9), ERangeError);
  EXPECT_THROW(DateTimeToJulianDay(NAN), ERangeError);
  EXPECT_EQ(JulianDayToDateTime(2451545), EncodeDate(2000, 1, 1));
  EXPECT_DOUBLE_EQ(DateTimeToJulianDate(noon), 2451545.0);
  EXPECT_DOUBLE_EQ(JulianDateToDateTime(2451545.0), noon);
}

TEST(DateTime, TextForms) {
  TDateTime v = EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 0);
  EXPECT_EQ(DateToStr(v), "2024-02-29");
  EXPECT_EQ(TimeToStr(v), "13:05:09");
  EXPECT_EQ(DateTimeToStr(v), "2024-02-29 13:05:09");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 2, 29)), "2024-02-29");
  TDateTime with_ms = v + EncodeTime(0, 0, 0, 250);
  EXPECT_NEAR(StrToDateTime(DateTimeToStr(with_ms)), with_ms, 1e-9);
  EXPECT_EQ(StrToDate("2024/2/29"), EncodeDate(2024, 2, 29));
  EXPECT_EQ(StrToTime("7:30"), EncodeTime(7, 30, 0, 0));
  EXPECT_THROW(StrToDate("2023-02-29"), EConvertError);
  EXPECT_THROW(StrToDate("2023-02"), EConvertError);
  EXPECT_THROW(StrToTime("25:00"), EConvertError);
  try {
    StrToDateTime("yesterday");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'yesterday' is not a valid date and time");
  }
}

TEST(Variant, NullEmptyAndKinds) {
  Variant empty, null = Variant::Null();
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(null.IsNull());
  EXPECT_EQ(empty.AsInteger(), 0);
  EXPECT_EQ(null.AsString(), "");
  try {
    null.AsInteger();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Integer)");
  }
  EXPECT_EQ(Variant(42).VarType(), varInteger);
  EXPECT_EQ(Variant(int64_t{42}).VarType(), varInt64);
  EXPECT_EQ(Variant(1.5).VarType(), varDouble);
  EXPECT_EQ(Variant("x").VarType(), varString);
  EXPECT_EQ(Variant(true).VarType(), varBoolean);
  EXPECT_EQ(Variant::Smallint(-3).AsInteger(), -3);
}

TEST(Variant, ConversionsFollowTheTextForms) {
  EXPECT_EQ(Variant(42).AsString(), "42");
  EXPECT_EQ(Variant(2.5).AsString(), "2.5");
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant("  17 ").AsInteger(), 17);
  EXPECT_EQ(Variant("2.5").AsDouble(), 2.5);
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);  // ties to even
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_TRUE(Variant("true").AsBoolean());
  EXPECT_FALSE(Variant("0").AsBoolean());
  EXPECT_EQ(Variant("1.50").AsBcd(), StrToBcd("1.5"));
  EXPECT_EQ(BcdToStr(Variant(StrToBcd("-0.50")).AsBcd()), "-0.50");
  EXPECT_EQ(Variant::Date(EncodeDate(2000, 1, 1)).AsString(), "2000-01-01");
  EXPECT_EQ(Variant("2000-01-01 12:00:00").AsDateTime(), EncodeDate(2000, 1, 1) + 0.5);
  EXPECT_EQ(Variant::Currency(1.23456).AsCurrency(), 1.2346);
  EXPECT_THROW(Variant("abc").AsInteger(), EConvertError);
  EXPECT_THROW(Variant("abc").AsDouble(), EConvertError);
  EXPECT_THROW(Variant("maybe").AsBoolean(), EConvertError);
  EXPECT_THROW(Variant("1.2.3").AsBcd(), EConvertError);
  EXPECT_THROW(Variant(1e12).AsInteger(), ERangeError);
  EXPECT_THROW(Variant(int64_t{1} << 40).AsInteger(), ERangeError);
}

TEST(Variant, BytesAndArrays) {
  const uint8_t raw[] = {0, 1, 255};
  Variant bytes = Variant::Bytes(raw, 3);
  EXPECT_EQ(bytes.AsBytes(), (TBytes{0, 1, 255}));
  EXPECT_EQ(bytes.AsString().size(), 3u);
  EXPECT_THROW(bytes.AsInteger(), EVariantError);
  Variant arr(std::vector<Variant>{1, "two", Variant::Null()});
  EXPECT_EQ(arr.ArrayLength(), 3);
  EXPECT_EQ(arr[1].AsString(), "two");
  EXPECT_TRUE(arr[2].IsNull());
  EXPECT_THROW(arr[3], ERangeError);
  EXPECT_THROW(arr.AsString(), EVariantError);
}

TEST(Variant, Equality) {
  EXPECT_EQ(Variant(1), Variant(1.0));
  EXPECT_EQ(Variant(int64_t{5}), Variant(5));
  EXPECT_EQ(Variant("a"), Variant("a"));
  EXPECT_FALSE(Variant("a") == Variant("A"));
  EXPECT_FALSE(Variant(1) == Variant("x"));
  EXPECT_EQ(Variant(StrToBcd("1.50")), Variant(1.5));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_FALSE(Variant::Null() == Variant());
  EXPECT_FALSE(Variant::Null() == Variant(0));
  EXPECT_EQ(Variant(true), Variant(1));
}

}  // namespace
}  // namespace dataset_test
