// Record images: every field form and null form of NDT and DBF-kind tables
// round-trips between stored values and image bytes, and values that do not
// fit their field are refused with the column named.
#include "engine/record/record_image.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>

#include "engine/base/errors.h"
#include "engine/storage/sqlite_values.h"

namespace nce_test {

using namespace nce;

namespace {

FieldDesc Field(uint16_t type, uint32_t length, uint16_t decimals = 0, const char* name = "F") {
  return FieldDesc{name, FieldSpec{type, length, decimals}, 1};
}

struct Case {
  uint16_t type;
  uint32_t length;
  uint16_t decimals;
  Value value;
};

std::vector<Case> Cases(bool ndt) {
  std::vector<Case> cases = {
      {NDS_LOGICAL, 1, 0, Value::Integer(1)},
      {NDS_LOGICAL, 1, 0, Value::Integer(0)},
      {NDS_NUMERIC, 10, 2, Value::Real(-1234.5)},
      {NDS_NUMERIC, 6, 0, Value::Integer(-12345)},
      {NDS_DATE, ndt ? 4u : 8u, 0, Value::Text("2000-01-01")},
      {NDS_STRING, 8, 0, Value::Text("ab")},
      {NDS_CISTRING, 3, 0, Value::Text("XyZ")},
      {NDS_COMPACTDATE, 3, 0, Value::Text("2024-03-05")},
      {NDS_DOUBLE, 8, 0, Value::Real(3.25)},
      {NDS_CURDOUBLE, 8, 0, Value::Real(-0.5)},
      {NDS_INTEGER, 4, 0, Value::Integer(-70000)},
      {NDS_SHORTINT, 2, 0, Value::Integer(-300)},
  };
  if (ndt) {
    std::vector<Case> more = {
        {NDS_TIME, 4, 0, Value::Text("13:45:07.250")},
        {NDS_TIMESTAMP, 8, 0, Value::Text("1999-12-31 23:59:59.999")},
        {NDS_MODTIME, 8, 0, Value::Text("2024-02-29 00:00:00.000")},
        {NDS_AUTOINC, 4, 0, Value::Integer(4000000000LL)},
        {NDS_RAW, 4, 0, Value::Blob(std::string("\x01\x00\xff\x02", 4))},
        {NDS_MONEY, 8, 4, Value::Real(12.3456)},
        {NDS_MONEY, 8, 4, Value::Integer(-7)},
        {NDS_ROWVERSION, 8, 0, Value::Integer(1LL << 40)},
    };
    cases.insert(cases.end(), more.begin(), more.end());
  }
  return cases;
}

void ExpectSameValue(const Value& expected, const Value& actual, const std::string& what) {
  ASSERT_EQ(static_cast<int>(expected.kind), static_cast<int>(actual.kind)) << what;
  switch (expected.kind) {
    case Value::Kind::kInteger:
      EXPECT_EQ(expected.integer, actual.integer) << what;
      break;
    case Value::Kind::kReal:
      EXPECT_DOUBLE_EQ(expected.real, actual.real) << what;
      break;
    default:
      EXPECT_EQ(expected.bytes, actual.bytes) << what;
      break;
  }
}

TEST(RecordImage, EveryFormRoundTripsForBothTableFamilies) {
  for (bool ndt : {true, false}) {
    for (const Case& c : Cases(ndt)) {
      FieldDesc f = Field(c.type, c.length, c.decimals);
      std::vector<uint8_t> image(1 + c.length + 1, 0xEE);
      EncodeValue(f, ndt, c.value, image.data());
      EXPECT_EQ(image.back(), 0xEE) << "type " << c.type << " wrote past its field";
      Value back = DecodeImage(f, ndt, image.data() + 1, c.length);
      ExpectSameValue(c.value, back, "type " + std::to_string(c.type) + (ndt ? " NDT" : " DBF"));
      // The text form reads back to the same value too.
      Value fromText = DecodeText(f, ndt, FormatText(f, ndt, c.value));
      ExpectSameValue(c.value, fromText, "text of type " + std::to_string(c.type));
    }
  }
}

TEST(RecordImage, EveryNullFormReadsBackAsNull) {
  for (bool ndt : {true, false}) {
    for (const Case& c : Cases(ndt)) {
      FieldDesc f = Field(c.type, c.length, c.decimals);
      std::vector<uint8_t> image(1 + c.length, 0x55);
      EncodeNull(f, ndt, image.data());
      Value back = DecodeImage(f, ndt, image.data() + 1, c.length);
      bool dbfNeverNull = !ndt && (c.type == NDS_DOUBLE || c.type == NDS_CURDOUBLE ||
                                   c.type == NDS_INTEGER || c.type == NDS_SHORTINT);
      if (dbfNeverNull) {
        // DBF numbers have no null form: an empty one is zero.
        EXPECT_EQ(back.kind == Value::Kind::kInteger ? back.integer : back.real, 0) << c.type;
      } else {
        EXPECT_TRUE(IsNull(back)) << "type " << c.type << (ndt ? " NDT" : " DBF");
      }
    }
  }
}

TEST(RecordImage, NdtNullFormsAreTheDocumentedBytes) {
  uint8_t image[9];
  auto words = [&](uint16_t type, uint32_t length) {
    std::memset(image, 0x77, sizeof image);
    EncodeNull(Field(type, length), true, image);
    uint32_t w[2] = {};
    std::memcpy(w, image + 1, std::min<uint32_t>(length, 8));
    return std::make_pair(w[0], w[1]);
  };
  EXPECT_EQ(words(NDS_DOUBLE, 8), std::make_pair(0x20u, 0x80000000u));
  EXPECT_EQ(words(NDS_INTEGER, 4).first, 0x80000000u);
  EXPECT_EQ(words(NDS_SHORTINT, 2).first & 0xFFFF, 0x8000u);
  EXPECT_EQ(words(NDS_TIME, 4).first, 0xFFFFFFFFu);
  EXPECT_EQ(words(NDS_AUTOINC, 4).first, 0xFFFFFFFFu);
  EXPECT_EQ(words(NDS_TIMESTAMP, 8), std::make_pair(0u, 0xFFFFFFFFu));
  EXPECT_EQ(words(NDS_MONEY, 8), std::make_pair(0u, 0x80000000u));
  EXPECT_EQ(words(NDS_ROWVERSION, 8), std::make_pair(0u, 0x80000000u));
  words(NDS_LOGICAL, 1);
  EXPECT_EQ(image[1], ' ');
  words(NDS_STRING, 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image + 1), 5), std::string(5, '\0'));
  // DBF: strings and logicals blank, numbers and memo markers zero.
  std::memset(image, 0x77, sizeof image);
  EncodeNull(Field(NDS_STRING, 3), false, image);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image + 1), 3), "   ");
  EncodeNull(Field(NDS_INTEGER, 4), false, image);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image + 1), 4), std::string(4, '\0'));
}

TEST(RecordImage, KnownImagesOfDatesLogicalsAndStrings) {
  uint8_t compact[4] = {0, 0x0F, 0xD0, 0x65};
  Value date = DecodeImage(Field(NDS_COMPACTDATE, 3), false, compact + 1, 3);
  EXPECT_EQ(date.bytes, "2024-03-05");

  uint8_t ndtDate[5] = {0};
  EncodeValue(Field(NDS_DATE, 4), true, Value::Text("2000-01-01"), ndtDate);
  int32_t julian;
  std::memcpy(&julian, ndtDate + 1, 4);
  EXPECT_EQ(julian, 2451545);

  uint8_t dbfDate[9] = {0};
  EncodeValue(Field(NDS_DATE, 8), false, Value::Text("2024-03-05"), dbfDate);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dbfDate + 1), 8), "20240305");

  const uint8_t lowerY[] = {'y'}, upperN[] = {'N'}, blank[] = {' '};
  EXPECT_EQ(DecodeImage(Field(NDS_LOGICAL, 1), false, lowerY, 1).integer, 1);
  EXPECT_EQ(DecodeImage(Field(NDS_LOGICAL, 1), false, upperN, 1).integer, 0);
  EXPECT_TRUE(IsNull(DecodeImage(Field(NDS_LOGICAL, 1), false, blank, 1)));

  uint8_t text[6] = {0};
  EncodeValue(Field(NDS_STRING, 5), true, Value::Text("ab"), text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), 5), "ab   ");
  EXPECT_EQ(DecodeImage(Field(NDS_STRING, 5), true, text + 1, 5).bytes, "ab");

  uint8_t numeric[11] = {0};
  EncodeValue(Field(NDS_NUMERIC, 10, 2), false, Value::Real(12.5), numeric);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(numeric + 1), 10), "     12.50");
}

void ExpectMisfit(uint32_t number, const std::function<void()>& action) {
  try {
    action();
    ADD_FAILURE() << "no error raised, expected " << number;
  } catch (const EngineError& e) {
    EXPECT_EQ(e.number(), number) << e.text();
    EXPECT_NE(e.text().find("column \"Amount\""), std::string::npos) << e.text();
  }
}

TEST(RecordImage, ValuesThatDoNotFitAreRefusedNamingTheColumn) {
  ExpectMisfit(NDS_E_VALUE_TOO_LONG,
               [] { DecodeText(Field(NDS_NUMERIC, 5, 2, "Amount"), true, "123.45"); });
  ExpectMisfit(NDS_E_VALUE_TOO_LONG,
               [] { DecodeText(Field(NDS_SHORTINT, 2, 0, "Amount"), true, "40000"); });
  ExpectMisfit(NDS_E_VALUE_TOO_LONG,
               [] { DecodeText(Field(NDS_INTEGER, 4, 0, "Amount"), true, "-2147483648"); });
  ExpectMisfit(NDS_E_VALUE_TOO_LONG,
               [] { DecodeText(Field(NDS_STRING, 3, 0, "Amount"), true, "abcd"); });
  ExpectMisfit(NDS_E_VALUE_TOO_LONG, [] {
    std::string raw(9, 'x');
    DecodeImage(Field(NDS_INTEGER, 4, 0, "Amount"), true,
                reinterpret_cast<const uint8_t*>(raw.data()), 9);
  });
  ExpectMisfit(NDS_E_VALUE_INVALID,
               [] { DecodeText(Field(NDS_DATE, 4, 0, "Amount"), true, "2023-02-29"); });
  ExpectMisfit(NDS_E_VALUE_INVALID,
               [] { DecodeText(Field(NDS_NUMERIC, 8, 2, "Amount"), true, "12,5x"); });
  ExpectMisfit(NDS_E_VALUE_INVALID, [] {
    const uint8_t bad[] = {'Q'};
    DecodeImage(Field(NDS_LOGICAL, 1, 0, "Amount"), true, bad, 1);
  });
  // Trailing blanks of a string do not count against its length.
  EXPECT_EQ(DecodeText(Field(NDS_STRING, 3), true, "abc   ").bytes, "abc");
}

}  // namespace
}  // namespace nce_test

namespace nce_test {
namespace {

// Cases the field-value fuzzer found: wide numbers stay exact or are
// refused, and money beyond its 64-bit form is refused rather than garbled.
TEST(RecordImage, WideNumbersStayExactOrAreRefused) {
  FieldDesc wide = Field(NDS_NUMERIC, 23, 0, "Amount");
  Value big = DecodeText(wide, true, "600000000000001000");
  ASSERT_EQ(big.kind, Value::Kind::kInteger);
  std::vector<uint8_t> image(1 + 23);
  EncodeValue(wide, true, big, image.data());
  EXPECT_EQ(DecodeImage(wide, true, image.data() + 1, 23).integer, 600000000000001000);
  ExpectMisfit(NDS_E_VALUE_TOO_LONG, [&] { DecodeText(wide, true, "9704189641294348289"); });

  FieldDesc money = Field(NDS_MONEY, 8, 4, "Amount");
  // Every 64-bit amount but the null form reads back exactly.
  int64_t scaled = INT64_MIN + 255;
  Value near_smallest = DecodeImage(money, true, reinterpret_cast<const uint8_t*>(&scaled), 8);
  EXPECT_EQ(near_smallest.bytes, "-922337203685477.5553");
  std::vector<uint8_t> money_image(1 + 8);
  EncodeValue(money, true, near_smallest, money_image.data());
  EXPECT_EQ(std::memcmp(money_image.data() + 1, &scaled, 8), 0);
  ExpectMisfit(NDS_E_VALUE_TOO_LONG, [&] { DecodeText(money, true, "1e15"); });
  // A DBF field of a type DBF files do not carry: blank is empty, zero is zero.
  FieldDesc counter = Field(NDS_AUTOINC, 4);
  std::vector<uint8_t> dbf(5);
  EncodeValue(counter, false, Value::Integer(0), dbf.data());
  EXPECT_EQ(DecodeImage(counter, false, dbf.data() + 1, 4).integer, 0);
  EncodeNull(counter, false, dbf.data());
  EXPECT_TRUE(IsNull(DecodeImage(counter, false, dbf.data() + 1, 4)));
}

// The walk builds images straight from stored columns; whatever the stored
// value, the bytes must be those the value path writes, including values
// the fast path hands over (a whole number beyond 32 bits) or cannot show
// (a number too wide, a text that is no date).
TEST(RecordImage, ImagesFromStoredColumnsMatchImagesFromValues) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_stmt* select = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT ?", -1, &select, nullptr), SQLITE_OK);
  auto expectSame = [&](const FieldDesc& f, bool ndt, const Value& v) {
    sqlite3_reset(select);
    BindValue(select, 1, v);
    ASSERT_EQ(sqlite3_step(select), SQLITE_ROW);
    std::vector<uint8_t> byColumn(1 + f.shape.length, 0x5A), byValue(byColumn);
    EncodeColumn(f, ndt, select, 0, byColumn.data());
    EncodeValue(f, ndt, v, byValue.data());
    EXPECT_EQ(byColumn, byValue) << "type " << f.shape.type << (ndt ? " NDT" : " DBF");
  };
  for (bool ndt : {true, false}) {
    for (const Case& c : Cases(ndt)) {
      expectSame(Field(c.type, c.length, c.decimals), ndt, c.value);
      expectSame(Field(c.type, c.length, c.decimals), ndt, Value::Null());
    }
    expectSame(Field(NDS_INTEGER, 4), ndt, Value::Integer(3000000000LL));
    expectSame(Field(NDS_NUMERIC, 4, 2), ndt, Value::Real(123.5));
    expectSame(Field(NDS_NUMERIC, 3), ndt, Value::Integer(12345));
    expectSame(Field(NDS_DATE, ndt ? 4 : 8), ndt, Value::Text("not a date"));
    // Stored date texts: leap days, the ends of the calendar, impossible days.
    for (const char* day : {"2000-02-29", "1900-02-29", "2001-02-29", "2024-04-31", "0001-01-01",
                            "9999-12-31", "0000-01-01", "2000-00-10", "2000-13-01", "2024-1a-01"})
      expectSame(Field(NDS_DATE, ndt ? 4 : 8), ndt, Value::Text(day));
    expectSame(Field(NDS_LOGICAL, 1), ndt, Value::Text("yes"));
    expectSame(Field(NDS_STRING, 4), ndt, Value::Real(2.5));
    expectSame(Field(NDS_DOUBLE, 8), ndt, Value::Text("x"));
    // Empty texts and blobs (SQLite hands over an empty blob without a pointer).
    expectSame(Field(NDS_STRING, 4), ndt, Value::Text(""));
    expectSame(Field(NDS_RAW, 4), ndt, Value::Blob(""));
  }
  // An empty blob read back is still a blob, not a NULL.
  sqlite3_reset(select);
  BindValue(select, 1, Value::Blob(""));
  ASSERT_EQ(sqlite3_step(select), SQLITE_ROW);
  Value empty = ValueFromColumn(select, 0);
  EXPECT_EQ(empty.kind, Value::Kind::kBlob);
  EXPECT_EQ(empty.bytes, "");
  sqlite3_finalize(select);
  sqlite3_close(db);
}

// Values handed in shorter or longer than their field: texts are padded,
// raw bytes zero-filled, blank tails of texts ignored; fixed-width binary
// forms are refused, as is a field type the engine does not know.
TEST(RecordImage, ShortAndLongImagesAreTakenOnlyWhereTheFormAllows) {
  auto decode = [](const FieldDesc& f, bool ndt, const std::string& bytes) {
    return DecodeImage(f, ndt, reinterpret_cast<const uint8_t*>(bytes.data()),
                       static_cast<uint32_t>(bytes.size()));
  };
  EXPECT_EQ(decode(Field(NDS_STRING, 5), true, "ab").bytes, "ab");
  EXPECT_EQ(decode(Field(NDS_RAW, 4), true, "\x01").bytes, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(decode(Field(NDS_DATE, 8), false, "20240305").bytes, "2024-03-05");
  EXPECT_EQ(decode(Field(NDS_DATE, 10), false, "20240305").bytes, "2024-03-05");
  EXPECT_EQ(decode(Field(NDS_NUMERIC, 4), true, std::string("12  \0", 5)).integer, 12);
  ExpectMisfit(NDS_E_VALUE_INVALID, [&] { decode(Field(NDS_DATE, 4, 0, "Amount"), true, "ab"); });
  ExpectMisfit(NDS_E_VALUE_TOO_LONG,
               [&] { decode(Field(NDS_STRING, 2, 0, "Amount"), true, "abc"); });
  ExpectMisfit(NDS_E_VALUE_TOO_LONG,
               [&] { decode(Field(NDS_SHORTINT, 2, 0, "Amount"), true, std::string(3, '\0')); });
  ExpectMisfit(NDS_E_VALUE_INVALID,
               [&] { decode(Field(19, 4, 0, "Amount"), true, std::string(4, '\x01')); });
  ExpectMisfit(NDS_E_VALUE_INVALID, [&] { DecodeText(Field(99, 4, 0, "Amount"), true, "1"); });
  // A type DBF files do not carry reads blank as empty there.
  EXPECT_TRUE(IsNull(decode(Field(NDS_TIME, 4), false, "    ")));
  uint8_t image[5];
  EncodeValue(Field(19, 4), true, Value::Integer(7), image);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image + 1), 4), std::string(4, '\0'));
}

}  // namespace
}  // namespace nce_test
