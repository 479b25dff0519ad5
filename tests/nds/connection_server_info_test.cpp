// Server information and catalogue queries of TNdsConnection.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "dataset/strings.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds_test_support.h"

namespace nds_test {

using namespace nds;

namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;
using nce::testing::FailpointHits;

class ServerInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { connection_.SetConnectPath(dir_.MakeDir("data")); }

  nds_test::TempDir dir_;
  TNdsConnection connection_{nullptr};
  FailpointGuard failpoints_;
};

TEST_F(ServerInfoTest, ClosedConnectionAnswersWithoutTheEngine) {
  ArmFailpoint("NdsGetConnectionType", NDS_E_GENERAL, "must not be called");
  ArmFailpoint("NdsIsConnectionAlive", NDS_E_GENERAL, "must not be called");
  ArmFailpoint("NdsCloseCachedTables", NDS_E_GENERAL, "must not be called");
  EXPECT_EQ(connection_.ServerTypeText(), "");
  EXPECT_FALSE(connection_.ConnectionAlive());
  connection_.CloseCachedTables();
  EXPECT_EQ(FailpointHits("NdsGetConnectionType"), 0);
  EXPECT_EQ(FailpointHits("NdsIsConnectionAlive"), 0);
  EXPECT_EQ(FailpointHits("NdsCloseCachedTables"), 0);
  EXPECT_EQ(connection_.UserGroups()->Count(), 0);
  EXPECT_EQ(connection_.UserGroupsText(), "");

  try {
    (void)connection_.ServerName();
    FAIL();
  } catch (const NdsConnectionError& e) {
    EXPECT_EQ(e.Message(), "Must be connected to get Nimbus server name.");
  }
  dataset::TStringList names;
  const std::vector<std::function<void()>> listings = {
      [&] { connection_.GetTableNames(&names, "*.ndt"); },
      [&] { connection_.GetTableNamePairs(&names, nullptr, "*.ndt"); }};
  for (const auto& list : listings) {
    try {
      list();
      ADD_FAILURE();
    } catch (const NdsConnectionError& e) {
      EXPECT_EQ(e.Message(), "No connection to Nimbus server.");
    }
  }
  EXPECT_FALSE(connection_.IsConnected());
}

TEST_F(ServerInfoTest, OpenLocalConnection) {
  connection_.Connect();
  EXPECT_EQ(connection_.ServerTypeText(), "Local");
  EXPECT_TRUE(connection_.ConnectionAlive());
  EXPECT_FALSE(connection_.ServerName().empty());
  connection_.CloseCachedTables();
  // Groups come only from a data dictionary: here none, and nothing is read.
  EXPECT_EQ(connection_.UserGroups()->Count(), 0);
}

TEST_F(ServerInfoTest, EngineRefusalsRaiseTheConnectionsErrors) {
  connection_.Connect();
  ArmFailpoint("NdsGetConnectionType", NDS_E_GENERAL, "type unknown");
  EXPECT_THROW(connection_.ServerTypeText(), NdsError);
  ArmFailpoint("NdsGetServerName", NDS_E_GENERAL, "name unknown");
  try {
    (void)connection_.ServerName();
    FAIL();
  } catch (const NdsError& e) {
    EXPECT_EQ(e.Message(), "name unknown");
  }
  ArmFailpoint("NdsIsConnectionAlive", NDS_E_GENERAL, "cannot tell");
  EXPECT_THROW(connection_.ConnectionAlive(), NdsError);
  ArmFailpoint("NdsCloseCachedTables", 5123, "tables busy");
  try {
    connection_.CloseCachedTables();
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), 5123u);
  }
}

TEST_F(ServerInfoTest, TableListingEndsQuietlyOnNoMoreTables) {
  connection_.Connect();
  dataset::TStringList names;
  names.Add("kept");
  ArmFailpoint("NdsFindFirstTable", NDS_E_NO_MORE_TABLES, "no tables");
  connection_.GetTableNames(&names, "*.ndt");
  EXPECT_EQ(names.Count(), 1);  // appended to, never cleared

  ArmFailpoint("NdsFindFirstTable", NDS_E_GENERAL, "search failed");
  try {
    connection_.GetTableNames(&names, "*.ndt");
    FAIL();
  } catch (const NdsError& e) {
    EXPECT_EQ(e.Message(), "search failed");
  }
  // Without a list nothing is searched.
  ArmFailpoint("NdsFindFirstTable", NDS_E_GENERAL, "must not be called");
  connection_.GetTableNames(nullptr, "*.ndt");
  EXPECT_EQ(FailpointHits("NdsFindFirstTable"), 0);
  // The pair listing searches even without lists.
  ArmFailpoint("NdsFindFirstTable62", NDS_E_NO_MORE_TABLES, "no tables");
  connection_.GetTableNamePairs(nullptr, nullptr, "*.ndt");
  EXPECT_EQ(FailpointHits("NdsFindFirstTable62"), 1);
}

TEST(TableSearch, PatternFollowsTheAliasTableType) {
  EXPECT_EQ(TableSearchText("/srv/data", kAliasTypeUnspecified, false, "*.ndt"),
            "/srv/data\\*.ndt");
  EXPECT_EQ(TableSearchText("/srv/data", kAliasTypeNTX, false, "*.ndt"), "/srv/data\\*.dbf");
  EXPECT_EQ(TableSearchText("/srv/data", kAliasTypeCDX, false, "*.ndt"), "/srv/data\\*.dbf");
  EXPECT_EQ(TableSearchText("/srv/data", kAliasTypeNDT, false, "*.dbf"), "/srv/data\\*.ndt");
  // One trailing separator goes, so that a single "\" precedes the pattern.
  EXPECT_EQ(TableSearchText("C:\\DATA\\", kAliasTypeUnspecified, false, "a*"), "C:\\DATA\\a*");
  EXPECT_EQ(TableSearchText("/srv/data/", kAliasTypeUnspecified, false, "a*"), "/srv/data\\a*");
  // A data dictionary lists its own tables; the mask is ignored.
  EXPECT_EQ(TableSearchText("/srv/app.ndd", kAliasTypeUnspecified, true, "*.ndt"), "");
}

TEST(ActiveLinkInfo, OnlySemicolonEndedPartsCount) {
  dataset::TStringList parts;
  AppendSemicolonEndedParts("a;b;c", parts);
  EXPECT_EQ(parts.ToVector(), (std::vector<std::string>{"a", "b"}));
  parts.Clear();
  AppendSemicolonEndedParts(";x;;", parts);
  EXPECT_EQ(parts.ToVector(), (std::vector<std::string>{"", "x", ""}));
  parts.Clear();
  AppendSemicolonEndedParts("no separator", parts);
  EXPECT_EQ(parts.Count(), 0);
}

}  // namespace
}  // namespace nds_test

namespace nds_test {
namespace {

TEST_F(ServerInfoTest, TablesUnderTheServerPath) {
  connection_.Connect();
  connection_.ExecuteStatement("CREATE TABLE pilots (id INTEGER); CREATE TABLE legs (id INTEGER)",
                               nullptr, false, nullptr);
  dataset::TStringList names;
  names.Add("kept");
  connection_.GetTableNames(&names, "*.ndt");
  EXPECT_EQ(names.ToVector(), (std::vector<std::string>{"kept", "legs", "pilots"}));

  dataset::TStringList tables, files;
  connection_.GetTableNamePairs(&tables, &files, "p*");
  EXPECT_EQ(tables.ToVector(), (std::vector<std::string>{"pilots"}));
  EXPECT_EQ(files.ToVector(), (std::vector<std::string>{"pilots.ndt"}));

  dataset::TStringList none;
  connection_.GetTableNames(&none, "zz*");
  EXPECT_EQ(none.Count(), 0);
}

TEST_F(ServerInfoTest, ServerTimeIsTodayOnTheLocalServer) {
  const dataset::TDateTime before = dataset::Now();
  const dataset::TDateTime server = connection_.ServerTime();  // connects first
  EXPECT_TRUE(connection_.IsConnected());
  EXPECT_LT(std::abs(server - before), 1.0);
}

TEST_F(ServerInfoTest, ActiveLinksOfAClosedConnectionAreTheEnginesAnswer) {
  // Handle 0 goes to the engine, which knows no such connection.
  EXPECT_THROW(connection_.ActiveLinkCount(), ENDSDatabaseError);
  dataset::TStringList parts;
  EXPECT_THROW(connection_.GetActiveLinkInfo(1, &parts), ENDSDatabaseError);
  connection_.GetActiveLinkInfo(1, nullptr);  // no list: nothing asked
}

TEST_F(ServerInfoTest, UserGroupsAndObjectsOfADataDictionary) {
  const std::string dictionary = dir_.Write("crew.ndd", "");
  connection_.SetConnectPath(dictionary);
  connection_.SetLoginPrompt(false);
  connection_.Connect();
  connection_.ExecuteStatement("CREATE TABLE roster (id INTEGER)", nullptr, false, nullptr);
  connection_.Disconnect();
  ASSERT_TRUE(nce::testing::SetDictionaryUser(dictionary, "Pilot", "s3cret", "crew;;admin"));
  connection_.SetUsername("Pilot");
  connection_.SetPassword("s3cret");
  connection_.Connect();

  EXPECT_EQ(connection_.UserGroups()->ToVector(), (std::vector<std::string>{"crew", "admin"}));
  EXPECT_EQ(connection_.UserGroupsText(), "crew;;admin");

  dataset::TStringList objects;
  connection_.GetDictionaryObjectNames(&objects);
  EXPECT_EQ(objects.ToVector(), (std::vector<std::string>{"roster"}));

  // Closing forgets the groups; a closed connection has none.
  connection_.Disconnect();
  EXPECT_EQ(connection_.UserGroups()->Count(), 0);
}

}  // namespace
}  // namespace nds_test
