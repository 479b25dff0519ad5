// The per-thread last error, and the engine's date conversions.
#include <thread>

#include "engine/testing/nce_failpoints.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"

namespace nce_test {
namespace {

TEST(LastError, SetAndGetKeepTheCallersNumberAndText) {
  EXPECT_EQ(NdsSetLastError(5054, "Update permission not granted on this table."), 5054u);
  uint32_t number = 0;
  char text[601];
  uint16_t length = 600;
  ASSERT_EQ(NdsGetLastError(&number, text, &length), NDS_SUCCESS);
  EXPECT_EQ(number, 5054u);
  EXPECT_STREQ(text, "Update permission not granted on this table.");
  EXPECT_EQ(length, 44);
}

TEST(LastError, LongTextIsCutToTheBuffer) {
  std::string long_text(900, 'e');
  NdsSetLastError(7200, long_text.c_str());
  uint32_t number = 0;
  char text[601];
  text[600] = 'z';
  uint16_t length = 600;
  ASSERT_EQ(NdsGetLastError(&number, text, &length), NDS_SUCCESS);
  EXPECT_EQ(number, 7200u);
  EXPECT_EQ(length, 599);
  EXPECT_EQ(std::string(text), std::string(599, 'e'));
  EXPECT_EQ(text[600], 'z');  // nothing written past the buffer
  EXPECT_EQ(NdsGetLastError(nullptr, text, &length), NDS_E_INVALID_ARGUMENT);
}

TEST(LastError, EachThreadHasItsOwn) {
  NdsSetLastError(1111, "main thread");
  std::thread other([] {
    EXPECT_EQ(LastErrorNumber(), 0u);
    NdsSetLastError(2222, "other thread");
    EXPECT_EQ(LastErrorNumber(), 2222u);
  });
  other.join();
  EXPECT_EQ(LastErrorNumber(), 1111u);
  EXPECT_EQ(LastErrorText(), "main thread");
}

TEST(LastError, EngineFailuresCarryTheirNumberInTheText) {
  NDSHANDLE statement = 0;
  EXPECT_EQ(NdsCreateSQLStatement(4242, &statement), NDS_E_INVALID_HANDLE);
  EXPECT_EQ(LastErrorNumber(), NDS_E_INVALID_HANDLE);
  EXPECT_EQ(LastErrorText().rfind("Error 5018: ", 0), 0u) << LastErrorText();
  EXPECT_EQ(NdsShowError("Nds Exception Error"), NDS_SUCCESS);
  nce::testing::FailpointGuard guard;
  nce::testing::ArmFailpoint("NdsSetLastError", 5000, "set refused");
  EXPECT_EQ(NdsSetLastError(5054, "x"), 5000u);
}

TEST(Dates, StringsAndJulianDaysConvertBothWays) {
  double julian = 0;
  ASSERT_EQ(NdsConvertStringToJulian("20000101", 8, &julian), NDS_SUCCESS);
  EXPECT_EQ(julian, 2451545.0);
  ASSERT_EQ(NdsConvertStringToJulian("2000-03-01", 10, &julian), NDS_SUCCESS);
  EXPECT_EQ(julian, 2451605.0);
  ASSERT_EQ(NdsConvertStringToJulian("02/29/2000", 10, &julian), NDS_SUCCESS);
  EXPECT_EQ(julian, 2451604.0);
  ASSERT_EQ(NdsConvertStringToJulian("00010101", 8, &julian), NDS_SUCCESS);
  EXPECT_EQ(julian, 1721426.0);  // day 1 of the framework's numbering
  // Only the given length is read: a record image's date needs no zero byte.
  ASSERT_EQ(NdsConvertStringToJulian("19991231XYZ", 8, &julian), NDS_SUCCESS);
  EXPECT_EQ(julian, 2451544.0);
  ASSERT_EQ(NdsConvertStringToJulian("        ", 8, &julian), NDS_SUCCESS);
  EXPECT_EQ(julian, 0.0);  // the empty date

  char text[13];
  uint16_t length = sizeof text;
  ASSERT_EQ(NdsConvertJulianToString(2451604.0, text, &length), NDS_SUCCESS);
  EXPECT_STREQ(text, "20000229");
  EXPECT_EQ(length, 8);
  length = sizeof text;
  ASSERT_EQ(NdsConvertJulianToString(5373484.0, text, &length), NDS_SUCCESS);
  EXPECT_STREQ(text, "99991231");
  length = 8;
  EXPECT_EQ(NdsConvertJulianToString(2451604.0, text, &length), NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 8);
}

TEST(Dates, ImpossibleDatesAreRefused) {
  double julian = 99;
  for (const char* bad :
       {"20010229", "2000-13-01", "abcdefgh", "2000011", "00000101", "20000132"}) {
    EXPECT_EQ(NdsConvertStringToJulian(bad, static_cast<uint16_t>(strlen(bad)), &julian),
              NDS_E_INVALID_ARGUMENT)
        << bad;
    EXPECT_EQ(julian, 0.0);
  }
  EXPECT_NE(LastErrorText().find("is not a date"), std::string::npos);
  char text[13];
  uint16_t length = sizeof text;
  EXPECT_EQ(NdsConvertJulianToString(100.0, text, &length), NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsConvertJulianToString(1e300, text, &length), NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsConvertStringToJulian(nullptr, 8, &julian), NDS_E_INVALID_ARGUMENT);
}

class DatesOnBothStores : public ::testing::TestWithParam<StoreKind> {};

INSTANTIATE_TEST_SUITE_P(Stores, DatesOnBothStores, BothStores(), StoreKindName);

TEST_P(DatesOnBothStores, ServerDateTextThroughAConnection) {
  TestStore store(GetParam());
  NDSHANDLE connection = store.Connect();
  double julian = 0;
  ASSERT_EQ(NdsConvertDateToJulian(connection, "20240229", 8, &julian), NDS_SUCCESS);
  EXPECT_EQ(julian, 2460370.0);
  NdsDisconnect(connection);
  EXPECT_EQ(NdsConvertDateToJulian(connection, "20240229", 8, &julian), NDS_E_INVALID_HANDLE);
}

}  // namespace
}  // namespace nce_test
