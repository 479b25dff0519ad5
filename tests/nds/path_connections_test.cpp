// The path connection list: one engine connection per distinct path.
#include <gtest/gtest.h>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "nds_test_support.h"

namespace nds_test {

using namespace nds;

namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;
using nce::testing::LiveHandleCount;

class PathConnectionTest : public ::testing::Test {
 protected:
  nds_test::TempDir dir_;
  FailpointGuard failpoints_;
};

TEST_F(PathConnectionTest, AcquiredConnectionIsFoundAgainUnderItsExactPath) {
  const std::string data = dir_.MakeDir("Data");
  TDynamicConnList list;
  EXPECT_EQ(list.FindPathConnection(data), 0u);
  const NDSHANDLE handle = list.AcquirePathConnection(data);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(list.FindPathConnection(data), handle);
  EXPECT_EQ(list.Count(), 1);
  // Paths are compared as written: another letter case or a trailing
  // separator is another entry.
  EXPECT_EQ(list.FindPathConnection(dir_.str() + "/DATA"), 0u);
  EXPECT_EQ(list.FindPathConnection(data + "/"), 0u);
  const NDSHANDLE second = list.AcquirePathConnection(data + "/");
  EXPECT_NE(second, handle);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.FindPathConnection(data + "/"), second);
}

TEST_F(PathConnectionTest, FirstEntryWinsWhenAPathWasOpenedTwice) {
  const std::string data = dir_.MakeDir("data");
  TDynamicConnList list;
  const NDSHANDLE first = list.AcquirePathConnection(data);
  const NDSHANDLE second = list.AcquirePathConnection(data);
  EXPECT_NE(first, second);
  EXPECT_EQ(list.FindPathConnection(data), first);
}

TEST_F(PathConnectionTest, EngineRefusalRaisesAndRecordsNothing) {
  TDynamicConnList list;
  try {
    list.AcquirePathConnection(dir_ / "missing");
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), NDS_E_INVALID_PATH);
  }
  ArmFailpoint("NdsConnect", 5123, "server unreachable");
  try {
    list.AcquirePathConnection(dir_.MakeDir("data"));
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), 5123u);
    EXPECT_EQ(e.Message(), "server unreachable");
  }
  EXPECT_EQ(list.Count(), 0);
  // The lock was released: the list still works.
  EXPECT_NE(list.AcquirePathConnection(dir_ / "data"), 0u);
}

TEST_F(PathConnectionTest, DestructionClosesEveryConnection) {
  const std::size_t before = LiveHandleCount();
  {
    TDynamicConnList list;
    list.AcquirePathConnection(dir_.MakeDir("a"));
    list.AcquirePathConnection(dir_.MakeDir("b"));
    EXPECT_EQ(LiveHandleCount(), before + 2);
    // A refused disconnect does not stop the others from closing.
    ArmFailpoint("NdsDisconnect", NDS_E_GENERAL, "refused once");
  }
  EXPECT_EQ(LiveHandleCount(), before + 1);
}

TEST_F(PathConnectionTest, TheProcessHasOneList) {
  EXPECT_EQ(&PathConnections(), &PathConnections());
}

}  // namespace
}  // namespace nds_test
