// TNdsConnection in stored descriptions: reading sets the published
// properties, connects only after loading, and writing honours the stored
// rules.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dataset/streaming.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds_test_support.h"

namespace nds_test {

using namespace nds;

namespace {

// The root of the descriptions: offers handlers for the connection's events.
class TConnectionForm : public dataset::TComponent {
 public:
  explicit TConnectionForm(dataset::TComponent* owner) : TComponent(owner) {}
  ~TConnectionForm() override { DestroyComponents(); }

  dataset::TMethod FindMethod(const std::string& name) override {
    if (name == "ConnectionConnected")
      return [this](dataset::TObject*) { log.push_back("connected"); };
    if (name == "ConnectionCommitted")
      return [this](dataset::TObject*) { log.push_back("committed"); };
    if (name == "ConnectionLogin")
      return TNdsDatabaseLoginEvent(
          [this](dataset::TObject*, std::string& user, std::string& password) {
            log.push_back("login");
            user = "Pilot";
            password = "s3cret";
          });
    return {};
  }
  std::vector<std::string> log;
};

class ConnectionStreamingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterConnectionClasses();
    dataset::RegisterClass<TConnectionForm, dataset::TComponent>("TConnectionForm");
    database_ = dir_.MakeDir("data");
    dir_.WriteIni("[Databases]\nVOLANTRAX=" + database_ + "\n");
  }

  std::unique_ptr<TConnectionForm> Read(const std::string& text) {
    auto* form = dynamic_cast<TConnectionForm*>(dataset::ReadComponentFromText(text, nullptr));
    EXPECT_NE(form, nullptr);
    return std::unique_ptr<TConnectionForm>(form);
  }
  static TNdsConnection* Connection(dataset::TComponent* form) {
    return dynamic_cast<TNdsConnection*>(form->FindComponent("NdsConnection1"));
  }

  nds_test::IniDir dir_;
  std::string database_;
};

TEST_F(ConnectionStreamingTest, RepairWindowConnectionIsReadWithoutConnecting) {
  auto form = Read(R"(object Form1: TConnectionForm
  object NdsConnection1: TNdsConnection
    AliasName = 'VOLANTRAX'
    IsConnected = False
    NdsServerTypes = [stNDS_REMOTE, stNDS_LOCAL]
    LoginPrompt = False
    Compression = ccNdsCompressionNotSet
    CommunicationType = ctNdsDefault
  end
end
)");
  TNdsConnection* c = Connection(form.get());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->AliasName(), "VOLANTRAX");
  EXPECT_EQ(c->ServerPath(), database_);  // looked up while reading
  EXPECT_FALSE(c->IsConnected());
  EXPECT_EQ(c->NdsServerTypes(), (TNdsServerTypes{stNDS_REMOTE, stNDS_LOCAL}));
  EXPECT_FALSE(c->LoginPrompt());
  EXPECT_EQ(c->Owner(), form.get());
}

TEST_F(ConnectionStreamingTest, IsConnectedTrueConnectsAfterEverythingIsRead) {
  // IsConnected comes before the properties it needs and before the event
  // handler: connecting waits for the after-loading step.
  auto form = Read(R"(object Form1: TConnectionForm
  object NdsConnection1: TNdsConnection
    IsConnected = True
    AliasName = 'VOLANTRAX'
    NdsServerTypes = [stNDS_LOCAL]
    OnConnect = ConnectionConnected
    AfterCommit = ConnectionCommitted
  end
end
)");
  TNdsConnection* c = Connection(form.get());
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->IsConnected());
  EXPECT_EQ(form->log, (std::vector<std::string>{"connected"}));
  c->StartTransaction();
  c->CommitTransaction();
  EXPECT_EQ(form->log, (std::vector<std::string>{"connected", "committed"}));
}

TEST_F(ConnectionStreamingTest, FailingConnectAfterLoadingReachesTheReader) {
  EXPECT_THROW(Read(R"(object Form1: TConnectionForm
  object NdsConnection1: TNdsConnection
    IsConnected = True
    AliasName = 'NOT_IN_INI'
  end
end
)"),
               NdsConnectionError);
}

TEST_F(ConnectionStreamingTest, WritingHonoursTheStoredRules) {
  TConnectionForm form(nullptr);
  form.SetName("Form1");
  auto* c = new TNdsConnection(&form);
  c->SetName("NdsConnection1");
  std::string text = dataset::WriteComponentToText(&form);
  // Defaults: what is always stored is there, the rest is not.
  EXPECT_NE(text.find("IsConnected = False"), std::string::npos) << text;
  EXPECT_NE(text.find("NdsServerTypes = []"), std::string::npos) << text;
  EXPECT_NE(text.find("LoginPrompt = True"), std::string::npos) << text;
  EXPECT_NE(text.find("Compression = ccNdsCompressionNotSet"), std::string::npos) << text;
  EXPECT_NE(text.find("CommunicationType = ctNdsDefault"), std::string::npos) << text;
  for (const char* absent : {"MiddleTierConnection", "StoreConnected", "StoredProcedureConnection",
                             "ReadOnly", "AliasName", "ConnectPath"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent << " in\n" << text;

  c->SetStoreConnected(false);
  c->SetMiddleTierConnection(true);
  c->SetReadOnly(true);
  c->SetConnectPath(database_);
  c->SetCompression(ccNdsCompressInternet);
  c->SetNdsServerTypes({stNDS_AIS});
  c->OnConnect = [](dataset::TObject*) {};
  c->SetEventHandlerName("OnConnect", "ConnectionConnected");
  text = dataset::WriteComponentToText(&form);
  EXPECT_EQ(text.find("IsConnected"), std::string::npos) << text;
  EXPECT_NE(text.find("StoreConnected = False"), std::string::npos) << text;
  EXPECT_NE(text.find("MiddleTierConnection = True"), std::string::npos) << text;
  EXPECT_NE(text.find("ReadOnly = True"), std::string::npos) << text;
  EXPECT_NE(text.find("ConnectPath = '" + database_ + "'"), std::string::npos) << text;
  EXPECT_NE(text.find("Compression = ccNdsCompressInternet"), std::string::npos) << text;
  EXPECT_NE(text.find("NdsServerTypes = [stNDS_AIS]"), std::string::npos) << text;
  EXPECT_NE(text.find("OnConnect = ConnectionConnected"), std::string::npos) << text;

  // And it reads back to the same settings.
  auto copy = Read(text);
  TNdsConnection* read = Connection(copy.get());
  ASSERT_NE(read, nullptr);
  EXPECT_FALSE(read->StoreConnected());
  EXPECT_TRUE(read->MiddleTierConnection());
  EXPECT_TRUE(read->ReadOnly());
  EXPECT_EQ(read->ConnectPath(), database_);
  EXPECT_EQ(read->Compression(), ccNdsCompressInternet);
  EXPECT_EQ(read->NdsServerTypes(), TNdsServerTypes{stNDS_AIS});
  EXPECT_EQ(read->EventHandlerName("OnConnect"), "ConnectionConnected");
  EXPECT_TRUE(static_cast<bool>(read->OnConnect));
}

TEST_F(ConnectionStreamingTest, OnLoginIsReadWrittenAndAskedAtConnect) {
  // A data dictionary whose one user the stored handler logs in as.
  const std::string dictionary = dir_.Write("Volantra.ndd", "");
  {
    TNdsConnection first(nullptr);  // creates the dictionary's catalog
    first.SetConnectPath(dictionary);
    first.SetLoginPrompt(false);
    first.Connect();
  }
  ASSERT_TRUE(nce::testing::SetDictionaryUser(dictionary, "Pilot", "s3cret", ""));
  const std::string text =
      "object Form1: TConnectionForm\n"
      "  object NdsConnection1: TNdsConnection\n"
      "    IsConnected = False\n"
      "    ConnectPath = '" +
      dictionary +
      "'\n"
      "    NdsServerTypes = []\n"
      "    LoginPrompt = True\n"
      "    Username = 'nobody'\n"
      "    Compression = ccNdsCompressionNotSet\n"
      "    CommunicationType = ctNdsDefault\n"
      "    OnLogin = ConnectionLogin\n"
      "  end\n"
      "end\n";
  auto form = Read(text);
  EXPECT_EQ(dataset::WriteComponentToText(form.get()), text);
  Connection(form.get())->Connect();
  EXPECT_EQ(form->log, std::vector<std::string>{"login"});
  EXPECT_EQ(Connection(form.get())->Username(), "Pilot");

  // A handler of another event type is refused, naming its line.
  std::string wrong = text;
  wrong.replace(wrong.find("ConnectionLogin"), 15, "ConnectionConnected");
  EXPECT_EQ(nds_test::MessageOf([&] { Read(wrong); }),
            "Line 10: Error reading NdsConnection1.OnLogin: Method 'ConnectionConnected' is not a "
            "TNdsDatabaseLoginEvent");
}

}  // namespace
}  // namespace nds_test
