// TNdsConnection: defaults, opening and closing with their events, the
// AliasName and ConnectPath rules, login credentials and refusals.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds_test_support.h"

namespace nds_test {

using namespace nds;

namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;
using nce::testing::LiveHandleCount;

// A connection whose events write their names to `log`.
struct LoggedConnection {
  std::vector<std::string> log;  // outlives the connection, which logs when destroyed
  std::unique_ptr<TNdsConnection> connection = std::make_unique<TNdsConnection>(nullptr);

  LoggedConnection() {
    TNdsConnection& c = *connection;
    auto logger = [this, &c](const char* name) {
      return [this, name, self = &c](dataset::TObject* sender) {
        EXPECT_EQ(sender, self);
        log.push_back(name);
      };
    };
    c.BeforeConnect = logger("BeforeConnect");
    c.AfterConnect = logger("AfterConnect");
    c.OnConnect = logger("OnConnect");
    c.BeforeDisconnect = logger("BeforeDisconnect");
    c.AfterDisconnect = logger("AfterDisconnect");
    c.OnDisconnect = logger("OnDisconnect");
  }
  TNdsConnection* operator->() { return connection.get(); }
};

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = dir_.MakeDir("data");
    dir_.WriteIni("[Databases]\nVOLANTRAX=" + database_ + "\nNTXDB=" + database_ + ";N\n");
  }

  nds_test::IniDir dir_;
  std::string database_;
  FailpointGuard failpoints_;
};

template <typename E>
std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.Message();
  }
  ADD_FAILURE() << "nothing raised";
  return {};
}

TEST_F(ConnectionTest, NewConnectionDefaults) {
  TNdsConnection c(nullptr);
  EXPECT_TRUE(c.LoginPrompt());
  EXPECT_TRUE(c.StoreConnected());
  EXPECT_TRUE(c.NdsServerTypes().Empty());
  EXPECT_EQ(c.Compression(), ccNdsCompressionNotSet);
  EXPECT_EQ(c.CommunicationType(), ctNdsDefault);
  EXPECT_FALSE(c.MiddleTierConnection());
  EXPECT_FALSE(c.StoredProcedureConnection());
  EXPECT_FALSE(c.ReadOnly());
  EXPECT_FALSE(c.IsConnected());
  EXPECT_EQ(c.ConnectionHandle(), 0u);
  EXPECT_EQ(c.AliasName(), "");
  EXPECT_EQ(c.ConnectPath(), "");
  EXPECT_EQ(c.RegisteredDataSetCount(), 0);
  EXPECT_EQ(c.CreatingThread(), std::this_thread::get_id());
}

TEST_F(ConnectionTest, ConnectByAliasFiresEventsInOrder) {
  LoggedConnection c;
  c->SetAliasName("volantrax");
  c->SetNdsServerTypes({stNDS_REMOTE, stNDS_LOCAL});
  c->Connect();
  EXPECT_TRUE(c->IsConnected());
  EXPECT_NE(c->ConnectionHandle(), 0u);
  EXPECT_EQ(c->ServerPath(), database_);
  EXPECT_EQ(c.log, (std::vector<std::string>{"BeforeConnect", "AfterConnect", "OnConnect"}));

  c.log.clear();
  c->Connect();  // already open: nothing happens
  EXPECT_TRUE(c.log.empty());

  c->Disconnect();
  EXPECT_FALSE(c->IsConnected());
  EXPECT_EQ(c->ConnectionHandle(), 0u);
  EXPECT_EQ(c.log,
            (std::vector<std::string>{"BeforeDisconnect", "AfterDisconnect", "OnDisconnect"}));
  c.log.clear();
  c->SetIsConnected(false);
  EXPECT_TRUE(c.log.empty());
}

TEST_F(ConnectionTest, MissingAliasIsRefusedAtConnectUntilNdsIniKnowsIt) {
  LoggedConnection c;
  c->SetAliasName("LATER");  // accepted without complaint
  EXPECT_EQ(c->AliasName(), "LATER");
  EXPECT_EQ(MessageOf<NdsConnectionError>([&] { c->Connect(); }),
            "TNdsConnection.AliasName is not valid");
  EXPECT_FALSE(c->IsConnected());
  EXPECT_EQ(c.log, (std::vector<std::string>{"BeforeConnect"}));

  dir_.WriteIni("[Databases]\nLATER=" + database_ + "\n");
  c->Connect();
  EXPECT_TRUE(c->IsConnected());
  EXPECT_EQ(c->ServerPath(), database_);
}

TEST_F(ConnectionTest, NoServerPathIsRefused) {
  LoggedConnection c;
  EXPECT_EQ(MessageOf<NdsConnectionError>([&] { c->Connect(); }),
            "Must specify connection string before getting a server connection.");
  EXPECT_FALSE(c->IsConnected());
  EXPECT_EQ(c.log, (std::vector<std::string>{"BeforeConnect"}));
}

TEST_F(ConnectionTest, EngineRefusalLeavesTheConnectionClosed) {
  LoggedConnection c;
  c->SetConnectPath(dir_ / "no-such-directory");
  try {
    c->Connect();
    FAIL() << "connected to a missing directory";
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), NDS_E_INVALID_PATH);
    EXPECT_NE(e.Message().find("no-such-directory"), std::string::npos) << e.Message();
    EXPECT_EQ(e.DataSetName(), "");
  }
  EXPECT_FALSE(c->IsConnected());
  EXPECT_EQ(c->ConnectionHandle(), 0u);
  EXPECT_EQ(c.log, (std::vector<std::string>{"BeforeConnect"}));
}

TEST_F(ConnectionTest, ServerTypeMaskReachesTheEngine) {
  EXPECT_EQ(EngineServerTypeMask({}), 0);
  EXPECT_EQ(EngineServerTypeMask({stNDS_REMOTE, stNDS_LOCAL}), 3);
  EXPECT_EQ(EngineServerTypeMask({stNDS_LOCAL}), 1);
  EXPECT_EQ(EngineServerTypeMask({stNDS_REMOTE}), 2);
  EXPECT_EQ(EngineServerTypeMask({stNDS_AIS, stNDS_REMOTE}), 6);

  // This engine serves only the local server: a mask without the local bit
  // is refused by it, which shows the mask is the one passed.
  TNdsConnection c(nullptr);
  c.SetConnectPath(database_);
  c.SetNdsServerTypes({stNDS_REMOTE});
  try {
    c.Connect();
    FAIL() << "a remote-only mask was accepted";
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), NDS_E_REMOTE_SERVER);
  }
  c.SetNdsServerTypes({stNDS_REMOTE, stNDS_LOCAL});
  c.Connect();
  EXPECT_TRUE(c.IsConnected());
}

TEST_F(ConnectionTest, ConnectOptionSums) {
  EXPECT_EQ(EngineConnectOptions(false, false, ccNdsCompressionNotSet, ctNdsDefault), 0u);
  EXPECT_EQ(EngineConnectOptions(false, false, ccNdsCompressInternet, ctNdsTCPIP), 140u);
  EXPECT_EQ(EngineConnectOptions(true, true, ccNdsCompressAlways, ctNdsUDPIP), 1u + 2 + 4 + 32);
  EXPECT_EQ(EngineConnectOptions(false, true, ccNdsCompressNever, ctNdsIPX), 2u + 8 + 64);
}

TEST_F(ConnectionTest, AliasNameAndConnectPathReplaceEachOther) {
  TNdsConnection c(nullptr);
  c.SetConnectPath("/some/path");
  c.SetAliasName("VOLANTRAX");  // found: the path goes
  EXPECT_EQ(c.ConnectPath(), "");
  EXPECT_EQ(c.ServerPath(), database_);

  c.SetConnectPath("/other/path");  // the alias goes
  EXPECT_EQ(c.AliasName(), "");
  EXPECT_EQ(c.ServerPath(), "/other/path");
  EXPECT_EQ(c.AliasTableType(), kAliasTypeUnspecified);

  c.SetAliasName("NOT_IN_INI");  // not found: the path stays
  EXPECT_EQ(c.AliasName(), "NOT_IN_INI");
  EXPECT_EQ(c.ConnectPath(), "/other/path");
  EXPECT_EQ(c.ServerPath(), "/other/path");

  c.SetAliasName("NTXDB");
  EXPECT_EQ(c.AliasTableType(), kAliasTypeNTX);
  c.SetAliasName("");
  EXPECT_EQ(c.AliasName(), "");
  EXPECT_EQ(c.AliasTableType(), kAliasTypeUnspecified);
  EXPECT_EQ(c.ServerPath(), "");
}

TEST_F(ConnectionTest, ConnectPathAfterAMissingAliasConnects) {
  TNdsConnection c(nullptr);
  c.SetAliasName("NOT_IN_INI");
  c.SetConnectPath(database_);  // the stale alias state is cleared at connect
  c.Connect();
  EXPECT_TRUE(c.IsConnected());
  EXPECT_EQ(c.AliasName(), "");
}

TEST_F(ConnectionTest, WhereToConnectCannotChangeWhileOpen) {
  TNdsConnection c(nullptr);
  c.SetAliasName("VOLANTRAX");
  c.Connect();
  EXPECT_EQ(MessageOf<NdsConnectionError>([&] { c.SetAliasName("NTXDB"); }),
            "The TNdsConnection.AliasName may not be changed when IsConnected is TRUE");
  EXPECT_EQ(MessageOf<NdsConnectionError>([&] { c.SetConnectPath("/x"); }),
            "The TNdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
  EXPECT_EQ(c.AliasName(), "VOLANTRAX");
  EXPECT_EQ(c.ConnectPath(), "");
  EXPECT_EQ(c.ServerPath(), database_);
}

TEST_F(ConnectionTest, DataDictionaryPathsAndLogin) {
  const std::string dictionary = dir_.Write("App.NdD", "");  // an empty store
  TNdsConnection c(nullptr);
  c.SetConnectPath(dictionary);
  EXPECT_TRUE(c.IsDictionaryConnection());
  c.SetUsername("stored user");
  c.SetPassword("stored password");

  std::vector<std::pair<std::string, std::string>> asked;
  c.OnLogin = [&](dataset::TObject* sender, std::string& user, std::string& password) {
    EXPECT_EQ(sender, &c);
    asked.emplace_back(user, password);  // handed in empty
    user = "pilot";
    password = "secret";
  };
  c.Connect();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].first, "");
  EXPECT_EQ(asked[0].second, "");
  EXPECT_EQ(c.Username(), "pilot");  // what OnLogin gave is kept
  EXPECT_EQ(c.Password(), "secret");
  c.Disconnect();

  // Without LoginPrompt the stored credentials are used and OnLogin is not asked.
  c.SetLoginPrompt(false);
  c.Connect();
  EXPECT_EQ(asked.size(), 1u);
  c.Disconnect();

  // A path without ".ndd" is no dictionary: no login at all.
  c.SetLoginPrompt(true);
  c.SetConnectPath(database_);
  EXPECT_FALSE(c.IsDictionaryConnection());
  c.Connect();
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(c.DatabaseDirectory(), database_);
}

// A data dictionary that checks logins: user "Pilot" with password "s3cret".
class DictionaryLoginTest : public ConnectionTest {
 protected:
  void SetUp() override {
    ConnectionTest::SetUp();
    dictionary_ = dir_.Write("Volantra.ndd", "");
    TNdsConnection first(nullptr);  // creates the dictionary's catalog
    first.SetConnectPath(dictionary_);
    first.SetLoginPrompt(false);
    first.Connect();
    first.Disconnect();
    ASSERT_TRUE(nce::testing::SetDictionaryUser(dictionary_, "Pilot", "s3cret", "crew;admin"));
    ASSERT_TRUE(nce::testing::SetDictionaryUser(dictionary_, "Long", std::string(260, 'p'), ""));
    connection_.SetConnectPath(dictionary_);
  }

  std::uint32_t ConnectError() {
    try {
      connection_.Connect();
    } catch (const ENDSDatabaseError& e) {
      EXPECT_FALSE(connection_.IsConnected());
      return e.EngineErrorCode();
    }
    connection_.Disconnect();
    return 0;
  }

  std::string dictionary_;
  TNdsConnection connection_{nullptr};
};

TEST_F(DictionaryLoginTest, OnLoginSuppliesTheCredentials) {
  connection_.SetUsername("Pilot");
  connection_.SetPassword("wrong");  // replaced by what OnLogin gives
  connection_.OnLogin = [](dataset::TObject*, std::string& user, std::string& password) {
    user = "Pilot";
    password = "s3cret";
  };
  EXPECT_EQ(ConnectError(), 0u);
  EXPECT_EQ(connection_.Password(), "s3cret");

  connection_.OnLogin = [](dataset::TObject*, std::string& user, std::string& password) {
    user = "Pilot";
    password = "guess";
  };
  EXPECT_EQ(ConnectError(), NDS_E_LOGIN_FAILED);
}

TEST_F(DictionaryLoginTest, StoredCredentialsWithoutOnLoginOrLoginPrompt) {
  connection_.SetUsername("Pilot");
  connection_.SetPassword("s3cret");
  EXPECT_EQ(ConnectError(), 0u);  // LoginPrompt without a handler: the stored ones
  connection_.SetLoginPrompt(false);
  connection_.OnLogin = [](dataset::TObject*, std::string&, std::string&) {
    ADD_FAILURE() << "OnLogin asked without LoginPrompt";
  };
  EXPECT_EQ(ConnectError(), 0u);
  connection_.SetPassword("S3CRET");
  EXPECT_EQ(ConnectError(), NDS_E_LOGIN_FAILED);
}

TEST_F(DictionaryLoginTest, CredentialsAreCutTo260Characters) {
  connection_.SetLoginPrompt(false);
  connection_.SetUsername("Long");
  connection_.SetPassword(std::string(300, 'p'));
  EXPECT_EQ(ConnectError(), 0u);
  connection_.SetPassword(std::string(259, 'p'));
  EXPECT_EQ(ConnectError(), NDS_E_LOGIN_FAILED);
}

TEST_F(ConnectionTest, OverlongServerPathIsRefusedNotCut) {
  TNdsConnection c(nullptr);
  c.SetConnectPath(database_ + "/" + std::string(300, 'x'));
  EXPECT_EQ(MessageOf<NdsConnectionError>([&] { c.Connect(); }),
            "The server path is longer than 254 characters.");
  EXPECT_FALSE(c.IsConnected());

  // 254 characters reach the engine whole (it names a missing directory).
  std::string exact = database_ + "/";
  exact += std::string(254 - exact.size(), 'y');
  c.SetConnectPath(exact);
  try {
    c.Connect();
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_NE(e.Message().find(exact), std::string::npos) << e.Message();
  }
}

TEST_F(ConnectionTest, FailedDisconnectStillClosesThenRaises) {
  LoggedConnection c;
  c->SetAliasName("VOLANTRAX");
  c->Connect();
  c.log.clear();
  ArmFailpoint("NdsDisconnect", NDS_E_GENERAL, "disconnect refused by the test");
  EXPECT_EQ(MessageOf<NdsError>([&] { c->Disconnect(); }), "disconnect refused by the test");
  EXPECT_FALSE(c->IsConnected());
  EXPECT_EQ(c->ConnectionHandle(), 0u);
  EXPECT_EQ(c.log,
            (std::vector<std::string>{"BeforeDisconnect", "AfterDisconnect", "OnDisconnect"}));
}

TEST_F(ConnectionTest, DestroyingAnOpenConnectionClosesItQuietly) {
  const std::size_t handlesBefore = LiveHandleCount();
  std::vector<std::string> log;
  {
    LoggedConnection c;
    c->SetAliasName("VOLANTRAX");
    c->Connect();
    EXPECT_GT(LiveHandleCount(), handlesBefore);
    c.log.clear();
    c.connection.reset();
    log = c.log;
  }
  EXPECT_EQ(log, (std::vector<std::string>{"OnDisconnect"}));
  EXPECT_EQ(LiveHandleCount(), handlesBefore);
}

TEST_F(ConnectionTest, DestructionSurvivesAFailingDisconnect) {
  auto c = std::make_unique<TNdsConnection>(nullptr);
  c->SetAliasName("VOLANTRAX");
  c->Connect();
  ArmFailpoint("NdsDisconnect", NDS_E_NOT_CONNECTED, "already gone");
  c.reset();  // must neither raise nor leave a registry entry behind
  int registered = 0;
  WithConnectionRegistry(
      [&](const std::vector<TNdsConnection*>& all) { registered = static_cast<int>(all.size()); });
  EXPECT_EQ(registered, 0);
}

TEST_F(ConnectionTest, ConnectingWaitsForTheEndOfLoading) {
  LoggedConnection c;
  c->SetAliasName("VOLANTRAX");
  c->Loading();
  c->SetIsConnected(true);
  EXPECT_FALSE(c->IsConnected());
  EXPECT_TRUE(c.log.empty());
  c->Loaded();
  EXPECT_TRUE(c->IsConnected());
  EXPECT_EQ(c.log, (std::vector<std::string>{"BeforeConnect", "AfterConnect", "OnConnect"}));

  // IsConnected read as false while loading does nothing at all.
  LoggedConnection other;
  other->SetAliasName("VOLANTRAX");
  other->Loading();
  other->SetIsConnected(false);
  other->Loaded();
  EXPECT_FALSE(other->IsConnected());
  EXPECT_TRUE(other.log.empty());
}

TEST_F(ConnectionTest, LoadingWithAFailingConnectRaisesToTheLoader) {
  TNdsConnection c(nullptr);
  c.SetAliasName("NOT_IN_INI");
  c.Loading();
  c.SetIsConnected(true);
  EXPECT_THROW(c.Loaded(), NdsConnectionError);
  EXPECT_FALSE(c.IsConnected());
}

TEST(ConnectionDirectory, DataDictionaryFileIsCutToItsDirectory) {
  TNdsConnection c(nullptr);
  auto directoryOf = [&](const std::string& path) {
    c.SetConnectPath(path);
    return c.DatabaseDirectory();
  };
  EXPECT_EQ(directoryOf("C:\\DATA\\APP.NDD"), "C:\\DATA");
  EXPECT_EQ(directoryOf("APP.NDD"), ".\\");
  EXPECT_EQ(directoryOf("//server/share/db/app.ndd"), "//server/share/db");
  EXPECT_EQ(directoryOf("C:\\DATA"), "C:\\DATA");
  EXPECT_EQ(directoryOf("/srv/data/app.Ndd"), "/srv/data");
  EXPECT_EQ(directoryOf("/srv/mixed\\dir/app.ndd"), "/srv/mixed\\dir");
  EXPECT_EQ(directoryOf("/app.ndd"), "/");
  EXPECT_EQ(directoryOf(".ndd"), ".ndd");  // four characters: no file name
  EXPECT_EQ(directoryOf("/srv/app.nddx"), "/srv/app.nddx");
}

TEST(ConnectionRegistry, HoldsEveryLiveConnectionInOrder) {
  auto first = std::make_unique<TNdsConnection>(nullptr);
  auto second = std::make_unique<TNdsConnection>(nullptr);
  std::vector<TNdsConnection*> seen;
  ASSERT_TRUE(ConnectionRegistryExists());
  WithConnectionRegistry([&](const std::vector<TNdsConnection*>& all) { seen = all; });
  EXPECT_EQ(seen, (std::vector<TNdsConnection*>{first.get(), second.get()}));
  first.reset();
  WithConnectionRegistry([&](const std::vector<TNdsConnection*>& all) { seen = all; });
  EXPECT_EQ(seen, (std::vector<TNdsConnection*>{second.get()}));
}

TEST(ConnectionRegistry, OwnerDestroysItsConnection) {
  auto owner = std::make_unique<dataset::TComponent>(nullptr);
  auto* c = new TNdsConnection(owner.get());
  c->SetName("NdsConnection1");
  EXPECT_EQ(owner->FindComponent("NDSCONNECTION1"), c);
  owner.reset();
  int registered = -1;
  WithConnectionRegistry(
      [&](const std::vector<TNdsConnection*>& all) { registered = static_cast<int>(all.size()); });
  EXPECT_EQ(registered, 0);
}

}  // namespace
}  // namespace nds_test
