// How often the components wait for the server: each case counts the round
// trips a piece of work through TNdsQuery or a table dataset takes over a
// relay between the engine and the test server.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"
#include "tests/store/test_server.h"
#include "tests/support/link_relay.h"

namespace nds_test {
namespace {

constexpr int kRecords = 5000;
// Windows of a walk over kRecords: 10 rows, then twice as many each time
// (10 + 20 + ... + 2560 >= 5001), the last one short, which tells the
// walk where the rows end.
constexpr uint64_t kWindows = 9;

class ServerRoundTrips : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_.SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_REMOTE});
    connection_.SetLoginPrompt(false);
    connection_.SetConnectPath(
        test_support::ThroughRelay(test_support::ServerUri(test_support::FreshDatabase()), relay_));
    connection_.Connect();
    connection_.ExecuteStatement(
        "CREATE TABLE probe (id INTEGER, name CHAR(20), amount DOUBLE); "
        "INSERT INTO probe (id, name, amount) SELECT g, 'n' || g, g * 1.5 FROM "
        "generate_series(1, " +
            std::to_string(kRecords) + ") g",
        nullptr, false, nullptr);
  }

  template <typename Work>
  uint64_t Trips(Work work) {
    const uint64_t before = relay_.RoundTrips();
    work();
    return relay_.RoundTrips() - before;
  }

  void OpenQuery(nds::TNdsQuery& query) {
    query.SetNdsConnection(&connection_);
    query.SetRequestLive(true);
    SetText(query, "select * from probe");
    query.Open();
  }

  // The round trips of a walk to the end and of one back to the start;
  // each must see every record.
  std::pair<uint64_t, uint64_t> WalkBothWays(nds::TNdsDataSet& data, int records) {
    int seen = 0;
    const uint64_t forward = Trips([&] {
      for (data.First(); !data.Eof(); data.Next()) ++seen;
    });
    EXPECT_EQ(seen, records);
    seen = 0;
    const uint64_t backward = Trips([&] {
      for (data.Last(); !data.Bof(); data.Prior()) ++seen;
    });
    EXPECT_EQ(seen, records);
    return {forward, backward};
  }

  test_support::LinkRelay relay_{"127.0.0.1", std::stoi(test_support::ServerPort())};
  nds::TNdsConnection connection_{nullptr};
};

// A live query over a table is a table cursor of the engine.
TEST_F(ServerRoundTrips, AWalkCostsOneTripAWindowBothWaysAndAnEditThreeTrips) {
  nds::TNdsQuery live(nullptr);
  OpenQuery(live);
  EXPECT_EQ(WalkBothWays(live, kRecords), std::make_pair(kWindows, kWindows));
  live.First();
  // Another workstation changes the record after it was read: the edit
  // starts from the row as the lock found it.
  nds::TNdsConnection other(nullptr);
  other.SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_REMOTE});
  other.SetLoginPrompt(false);
  other.SetConnectPath(connection_.ConnectPath());
  other.ExecuteStatement("UPDATE probe SET amount = -1 WHERE rowid = 1", nullptr, false, nullptr);
  // The lock with the row read under it in the same request, the UPDATE
  // returning the row as written, the unlock.
  EXPECT_EQ(Trips([&] {
              live.Edit();
              EXPECT_EQ(live.FieldByName("amount")->AsFloat(), -1.0);
              live.FieldByName("name")->SetAsString("edited");
              live.Post();
            }),
            3u);
  live.Append();
  live.FieldByName("id")->SetAsInteger(kRecords + 1);
  live.Post();
  EXPECT_EQ(WalkBothWays(live, kRecords + 1), std::make_pair(kWindows, kWindows));
  live.Close();
  live.Open();
  EXPECT_EQ(live.FieldByName("name")->AsString(), "edited");
}

// What the other pieces of work cost today; each a sharp count, so that a
// change that adds a trip shows.
TEST_F(ServerRoundTrips, OpeningSeekingOptimisticEditsAndAppendsCostFixedTrips) {
  connection_.ExecuteStatement("CREATE INDEX probe_id ON probe (id)", nullptr, false, nullptr);
  nds::TNdsQuery live(nullptr);
  // The rights' version once in each of the prepare and the execution
  // (whose cursor goes by the execution's look), the prepare's check, the
  // catalog's read of the table, the table's shared lock, the orders'
  // lookup and the first window.
  EXPECT_EQ(Trips([&] { OpenQuery(live); }), 7u);
  // The seek over the order's index, which brings the row found.
  EXPECT_EQ(Trips([&] { EXPECT_TRUE(live.Locate("id", dataset::Variant(2500), {})); }), 1u);
  EXPECT_EQ(live.FieldByName("id")->AsInteger(), 2500);
  live.NdsTableOptions()->SetNdsRecordLockingMode(nds::lmOptimistic);
  // The checksum and the read at the edit; the read at the post, the lock
  // with the row (whose checksum the post compares), the UPDATE, the unlock.
  EXPECT_EQ(Trips([&] {
              live.Edit();
              live.FieldByName("name")->SetAsString("optimistic");
              live.Post();
            }),
            6u);
  // The last window, the defaults' lookup (once per cursor), the record
  // number, the INSERT returning the row as written.
  EXPECT_EQ(Trips([&] {
              live.Append();
              live.FieldByName("id")->SetAsInteger(kRecords + 1);
              live.Post();
            }),
            4u);
  live.Close();
  live.Open();
  EXPECT_TRUE(live.Locate("id", dataset::Variant(2500), {}));
  EXPECT_EQ(live.FieldByName("name")->AsString(), "optimistic");
  EXPECT_TRUE(live.Locate("id", dataset::Variant(kRecords + 1), {}));
}

}  // namespace
}  // namespace nds_test
