// The query in a stored description: its published properties, the
// parameter list kept as stored, "Data" kept unchanged and "WaitCursor"
// accepted and dropped.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dataset/streaming.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "nds_test_support.h"

namespace nds_test {
namespace {

const char kDescription[] =
    "object Root: TComponent\n"
    "  object NdsQuery1: TNdsQuery\n"
    "    StoreActive = True\n"
    "    NdsTableOptions.NdsLockType = Compatible\n"
    "    NdsTableOptions.NdsRecordCache = rcAggressive\n"
    "    RequestLive = True\n"
    "    SQL.Strings = (\n"
    "      'select * from t where a = :a and b = :b'\n"
    "      '')\n"
    "    SourceTableType = ttNdsCDX\n"
    "    Data = {0102FF}\n"
    "    ParamData = <\n"
    "      item\n"
    "        DataType = ftInteger\n"
    "        Name = 'x'\n"
    "        ParamType = ptInput\n"
    "      end>\n"
    "    WaitCursor = crHourGlass\n"
    "  end\n"
    "end\n";

class QueryStored : public ::testing::Test {
 protected:
  void SetUp() override {
    nds::RegisterQueryClasses();
    nds::RegisterConnectionClasses();
  }

  std::unique_ptr<dataset::TComponent> Read(const std::string& text) {
    return std::unique_ptr<dataset::TComponent>(dataset::ReadComponentFromText(text, nullptr));
  }
  static nds::TNdsQuery& QueryOf(dataset::TComponent& root) {
    return *dynamic_cast<nds::TNdsQuery*>(root.FindComponent("NdsQuery1"));
  }
};

TEST_F(QueryStored, LoadedQueryKeepsItsStoredParametersAndSettings) {
  auto root = Read(kDescription);
  nds::TNdsQuery& query = QueryOf(*root);
  // The text is not parsed while loading: the stored list stands.
  ASSERT_EQ(query.ParamCount(), 1);
  EXPECT_EQ(query.Params()->Items(0)->Name(), "x");
  EXPECT_EQ(query.Params()->Items(0)->DataType(), dataset::ftInteger);
  EXPECT_EQ(query.SQL()->Count(), 2);
  EXPECT_EQ(query.NdsTableOptions()->NdsLockType(), nds::Compatible);
  EXPECT_EQ(query.NdsTableOptions()->NdsRecordCache(), nds::rcAggressive);
  EXPECT_TRUE(query.RequestLive());
  EXPECT_EQ(query.SourceTableType(), nds::ttNdsCDX);
  ASSERT_NE(query.BinaryData(), nullptr);
  EXPECT_EQ(*query.BinaryData(), (std::vector<std::uint8_t>{0x01, 0x02, 0xFF}));
  EXPECT_FALSE(query.Active());
}

TEST_F(QueryStored, WritesWhatItReadExceptWaitCursor) {
  auto root = Read(kDescription);
  const std::string written = dataset::WriteComponentToText(root.get());
  EXPECT_NE(written.find("0102FF}"), std::string::npos) << written;
  EXPECT_NE(written.find("StoreActive = True"), std::string::npos) << written;
  EXPECT_EQ(written.find("WaitCursor"), std::string::npos) << written;
  EXPECT_EQ(written.find(" Active = "), std::string::npos) << written;  // closed: default
  auto again = Read(written);
  EXPECT_EQ(dataset::WriteComponentToText(again.get()), written);
}

TEST_F(QueryStored, EmptyParameterListIsStillWritten) {
  auto root = Read(
      "object Root: TComponent\n"
      "  object NdsQuery1: TNdsQuery\n"
      "    SQL.Strings = (\n"
      "      'delete from t')\n"
      "    WaitCursor = 11\n"
      "  end\n"
      "end\n");
  const std::string written = dataset::WriteComponentToText(root.get());
  EXPECT_NE(written.find("ParamData = <>"), std::string::npos) << written;
  // Defaults are not written.
  EXPECT_EQ(written.find("RequestLive"), std::string::npos) << written;
  EXPECT_EQ(written.find("SourceTableType"), std::string::npos) << written;
  EXPECT_EQ(written.find("NdsTableOptions"), std::string::npos) << written;
}

TEST_F(QueryStored, NewTextAfterLoadingDropsTheDataBlockAndParsesParameters) {
  auto root = Read(kDescription);
  nds::TNdsQuery& query = QueryOf(*root);
  query.SQL()->Add("and c = :c");
  EXPECT_EQ(query.BinaryData(), nullptr);
  ASSERT_EQ(query.ParamCount(), 3);
  EXPECT_EQ(query.Params()->Items(2)->Name(), "c");
}

TEST_F(QueryStored, EngineRefusingTheStoredTextFailsTheRead) {
  nce::testing::FailpointGuard guard;
  nce::testing::ArmFailpoint("NdsGetSQLStmtParams", 5000, "stored text refused");
  EXPECT_THROW(Read(kDescription), dataset::Exception);
}

// An alias ending in ";N" names NTX tables, which the query supports only
// through a data dictionary: the description still reads (the program that
// holds it starts), and the refusal comes when the query is executed.
TEST_F(QueryStored, NtxAliasIsRefusedAtExecutionUnlessItNamesADataDictionary) {
  nds_test::IniDir dir;
  const std::string data = dir.MakeDir("data");
  const std::string dictionary = dir.Write("data/app.ndd", "");
  dir.WriteIni("[Databases]\nNTXDIR=" + data + ";N\nNTXDICT=" + dictionary + ";N\n");
  auto describe = [](const std::string& alias) {
    return "object Root: TComponent\n"
           "  object NdsConnection1: TNdsConnection\n"
           "    AliasName = '" +
           alias +
           "'\n"
           "    LoginPrompt = False\n"
           "  end\n"
           "  object NdsQuery1: TNdsQuery\n"
           "    NdsConnection = NdsConnection1\n"
           "    SQL.Strings = (\n"
           "      'create table t (id integer)')\n"
           "  end\n"
           "end\n";
  };

  auto root = Read(describe("NTXDIR"));
  nds::TNdsQuery& refused = QueryOf(*root);
  EXPECT_EQ(refused.SourceTableType(), nds::ttNdsNTX);
  EXPECT_EQ(nds_test::MessageOf([&] { refused.ExecSQL(); }),
            "NdsQuery1: The TNdsQuery component does not support the NTX table type");
  EXPECT_EQ(refused.StatementHandle(), nds::kNoHandle);
  // Outside reading, binding such a connection is refused at once.
  nds::TNdsQuery other(nullptr);
  EXPECT_THROW(other.SetNdsConnection(
                   dynamic_cast<nds::TNdsConnection*>(root->FindComponent("NdsConnection1"))),
               nds::ENDSDatabaseError);

  auto dictionaryRoot = Read(describe("NTXDICT"));
  nds::TNdsQuery& accepted = QueryOf(*dictionaryRoot);
  EXPECT_EQ(accepted.SourceTableType(), nds::ttNdsNTX);
  accepted.ExecSQL();
  EXPECT_NE(accepted.StatementHandle(), nds::kNoHandle);
}

}  // namespace
}  // namespace nds_test
