// The components' stored values as the description holds them, above all
// the archive repair script, line by line, and the rule that loading the
// window does no database work.
#include <string>
#include <vector>

#include "app/repair_window.h"
#include "engine/testing/nce_failpoints.h"
#include "gtest/gtest.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/app/app_test_support.h"
#include "tools/demo_database.h"

namespace app_test {
namespace {

using app_test::LoadWindow;

// The script's 125 lines as the archive repair layout fixes them, built
// from the table pairs: live-row removals (kind L) and archive
// de-duplications (kind D), empty lines and tab lines between them.
std::vector<std::string> ExpectedScript() {
  const auto& pairs = demo::TablePairs();
  const std::string tab = "\t   ";
  auto live = [&](size_t i, bool semicolon = true) {
    const std::string t = pairs[i].live, k = pairs[i].key;
    return "delete from " + t + " where " + k + " in (select " + k + " from a_" + t + ")" +
           (semicolon ? ";" : "");
  };
  auto dedup = [&](size_t i) {
    const std::string t = pairs[i].live, k = pairs[i].key;
    return std::vector<std::string>{"delete from a_" + t, "where rowid not in ",
                                    "     (select min(rowid) from a_" + t + " ",
                                    "       group by " + k + ");"};
  };
  std::vector<std::string> lines;
  auto add = [&](const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
  };
  for (size_t i = 0; i < 6; ++i) add({live(i), ""});
  for (size_t i = 0; i < 12; ++i) {
    add(dedup(i));
    add({""});
  }
  add(dedup(12));
  add(dedup(13));
  add({tab});
  for (size_t i = 14; i < 18; ++i) {
    add(dedup(i));
    add({""});
  }
  for (size_t i = 6; i < 13; ++i) add({live(i), ""});
  add({live(13), tab});
  for (size_t i = 14; i < 17; ++i) add({live(i), ""});
  add({live(17, false), tab + tab + tab});
  return lines;
}

TEST(StoredDescription, QueryHoldsTheArchiveRepairScriptLineForLine) {
  auto form = LoadWindow();
  const dataset::TStrings& sql = *form->NdsQuery1()->SQL();
  const std::vector<std::string> expected = ExpectedScript();
  ASSERT_EQ(expected.size(), 125u);
  ASSERT_EQ(sql.Count(), 125);
  for (int i = 0; i < 125; ++i) EXPECT_EQ(sql[i], expected[i]) << "line " << i + 1;
  EXPECT_EQ(sql[12], "delete from a_acftcomp");
  EXPECT_EQ(sql[123], "delete from workcard where Rec_No in (select Rec_No from a_workcard)");
  EXPECT_EQ(sql.Text().find(':'), std::string::npos);
}

TEST(StoredDescription, QueryIsBoundToTheConnectionWithoutParameters) {
  auto form = LoadWindow();
  nds::TNdsQuery* query = form->NdsQuery1();
  EXPECT_EQ(query->NdsConnection(), form->NdsConnection1());
  EXPECT_EQ(query->Params()->Count(), 0);
  EXPECT_FALSE(query->Active());
  ASSERT_GE(form->NdsConnection1()->RegisteredDataSetCount(), 1);
  EXPECT_EQ(form->NdsConnection1()->RegisteredDataSet(0), query);
}

TEST(StoredDescription, ConnectionKeepsItsStoredSettings) {
  auto form = LoadWindow();
  nds::TNdsConnection* connection = form->NdsConnection1();
  EXPECT_EQ(connection->AliasName(), "VOLANTRAX");
  EXPECT_FALSE(connection->IsConnected());
  EXPECT_TRUE(connection->NdsServerTypes().Contains(nds::stNDS_REMOTE));
  EXPECT_TRUE(connection->NdsServerTypes().Contains(nds::stNDS_LOCAL));
  EXPECT_FALSE(connection->NdsServerTypes().Contains(nds::stNDS_AIS));
  EXPECT_FALSE(connection->LoginPrompt());
  EXPECT_EQ(connection->Compression(), nds::ccNdsCompressionNotSet);
  EXPECT_EQ(connection->CommunicationType(), nds::ctNdsDefault);
}

// Loading reads nds.ini but opens nothing: no engine handle exists, and the
// database is not even created where the alias points.
TEST(StoredDescription, LoadingTouchesNoDatabase) {
  app_test::TempDir site;
  app_test::CurrentDirectory cwd(site.path());
  const auto database = site.path() / "db";
  std::filesystem::create_directory(database);
  demo::WriteAliasFile(site.path().string(), database.string());
  const size_t handles = nce::testing::LiveHandleCount();
  auto form = LoadWindow();
  EXPECT_FALSE(form->NdsConnection1()->IsConnected());
  EXPECT_EQ(nce::testing::LiveHandleCount(), handles);
  EXPECT_TRUE(std::filesystem::is_empty(database));
  EXPECT_EQ(form->Label1()->Caption(), "< Click Button");
  EXPECT_EQ(form->Outcome(), app::RepairOutcome::kNotRun);
}

}  // namespace
}  // namespace app_test
