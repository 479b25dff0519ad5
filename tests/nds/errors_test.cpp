// The layer's exceptions: NdsError, ENDSDatabaseError and CheckEngineCode.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"

namespace nds_test {

using namespace nds;

namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;

TEST(NdsErrorTest, MessageIsTheEnginesLastErrorText) {
  NdsSetLastError(5046, "no transaction is open");
  const NdsError e(5046);
  EXPECT_EQ(e.Message(), "no transaction is open");
}

TEST(NdsErrorTest, EngineThatCannotTellItsErrorGivesAnEmptyMessage) {
  FailpointGuard failpoints;
  NdsSetLastError(5046, "never read");
  ArmFailpoint("NdsGetLastError", NDS_E_GENERAL, "");
  testing::internal::CaptureStderr();
  const NdsError e(5046);
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(e.Message(), "");
  // The engine's own error display was called with the fixed title.
  EXPECT_NE(shown.find("Nds Exception Error"), std::string::npos) << shown;
}

TEST(CheckEngineCodeTest, ZeroPassesAndAnyOtherCodeRaises) {
  EXPECT_NO_THROW(CheckEngineCode(nullptr, 0));
  // The error carries the engine's last error number, not the code passed.
  NdsSetLastError(5054, "Insufficient rights to update the record.");
  try {
    CheckEngineCode(nullptr, 5000);
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), 5054u);
    EXPECT_EQ(e.Message(), "Insufficient rights to update the record.");
    EXPECT_EQ(e.DataSetName(), "");
    EXPECT_EQ(e.DataSetOwnerName(), "");
    EXPECT_EQ(e.DatabaseName(), "");
    EXPECT_EQ(e.DatabasePath(), "");
    EXPECT_EQ(e.TableName(), "");
    EXPECT_EQ(e.ColumnName(), "");
    EXPECT_EQ(e.SqlNativeCode(), 0);
  }
  EXPECT_FALSE(IsBuildingDatabaseError());
}

TEST(CheckEngineCodeTest, RealEngineFailureReachesTheCaller) {
  NDSHANDLE handle = 0;
  const NDSRESULT rc = NdsConnect("/no/such/directory/anywhere", &handle);
  ASSERT_NE(rc, 0u);
  try {
    CheckEngineCode(nullptr, rc);
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), rc);
    EXPECT_NE(e.Message().find("/no/such/directory/anywhere"), std::string::npos);
  }
}

TEST(CheckEngineCodeTest, LongEngineTextIsCutAtTheBufferLength) {
  NdsSetLastError(5000, std::string(2000, 'e').c_str());
  try {
    CheckEngineCode(nullptr, 5000);
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_LE(e.Message().size(), NDS_MAX_ERROR_LEN);
    EXPECT_FALSE(e.Message().empty());
  }
}

TEST(SqlNativeCodeTest, ReadFromSqlErrorTextsOnly) {
  EXPECT_EQ(SqlNativeCodeOf("Error 7200: AQE Error: State = 42000; NativeError = 2121; bad"), 2121);
  EXPECT_EQ(SqlNativeCodeOf("error 7200: x nativeerror = -19;"), -19);
  EXPECT_EQ(SqlNativeCodeOf("Error 7200: NativeError = 17"), 17);  // no ";": all of the rest
  EXPECT_EQ(SqlNativeCodeOf("Error 5000: NativeError = 2121;"), 0);
  EXPECT_EQ(SqlNativeCodeOf("Error 7200: NativeError = abc;"), 0);
  EXPECT_EQ(SqlNativeCodeOf("Error 7200: NativeError = 12x;"), 0);
  EXPECT_EQ(SqlNativeCodeOf("Error 7200: NativeError = 99999999999;"), 0);
  EXPECT_EQ(SqlNativeCodeOf("Error 7200: NativeError = ;"), 0);
  EXPECT_EQ(SqlNativeCodeOf("Error 7200: NativeError=5;"), 0);  // the spaces are part of the key
  EXPECT_EQ(SqlNativeCodeOf(""), 0);
}

TEST(SqlNativeCodeTest, CarriedByTheRaisedError) {
  NdsSetLastError(7200, "Error 7200: SQL failed. NativeError = 1; near \"x\": syntax error");
  try {
    CheckEngineCode(nullptr, 7200);
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.SqlNativeCode(), 1);
  }
}

TEST(ColumnNameTest, TextAfterColumnQuoteUpToTheNextQuote) {
  EXPECT_EQ(ColumnNameOf("Value too long for column \"TAIL_NO\" of table acft"), "TAIL_NO");
  EXPECT_EQ(ColumnNameOf("column \"unterminated"), "unterminated");
  EXPECT_EQ(ColumnNameOf("no column named here"), "");
  EXPECT_EQ(ColumnNameOf("Column \"X\""), "");  // the word is matched as written
  EXPECT_EQ(ColumnNameOf("column \"" + std::string(1000, 'c') + "\"").size(), 900u);
  // Without a dataset an error names no column, whatever its number.
  NdsSetLastError(5148, "Value too large for column \"QTY\"");
  try {
    CheckEngineCode(nullptr, 5148);
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.ColumnName(), "");
  }
}

TEST(BuildingFlagTest, KeptPerThread) {
  EXPECT_FALSE(IsBuildingDatabaseError());
  bool otherThread = true;
  std::thread([&] { otherThread = IsBuildingDatabaseError(); }).join();
  EXPECT_FALSE(otherThread);
  const ENDSDatabaseError e(nullptr, 5121, "refused");
  EXPECT_EQ(e.EngineErrorCode(), 5121u);
  EXPECT_EQ(e.Message(), "refused");
  EXPECT_FALSE(IsBuildingDatabaseError());
}

}  // namespace
}  // namespace nds_test
