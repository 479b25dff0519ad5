// The query in a stored description: its published properties, the
// parameter list kept as stored, "Data" kept unchanged and "WaitCursor"
// accepted and dropped.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dataset/streaming.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndstable.h"

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
  void SetUp() override { nds::RegisterQueryClasses(); }

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

}  // namespace
