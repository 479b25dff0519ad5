// Client processes editing the same few records at once through live
// queries under optimistic locking, each with its own connection
// (bench/clients/counter_clients.h, the benchmark's clients run small): every
// post either lands or is refused as a conflict, so the counters add up to
// the posts that succeeded, on a server as on a SQLite store.
#include <gtest/gtest.h>

#include <string>

#include "bench/clients/counter_clients.h"
#include "tests/nds/nds_test_support.h"
#include "tests/store/test_server.h"

namespace nds_test {
namespace {

enum class Store { kSqlite, kServer };

std::string StoreName(const ::testing::TestParamInfo<Store>& store) {
  return store.param == Store::kServer ? "Server" : "Sqlite";
}

class OptimisticClients : public ::testing::TestWithParam<Store> {};

INSTANTIATE_TEST_SUITE_P(Stores, OptimisticClients,
                         ::testing::Values(Store::kSqlite, Store::kServer), StoreName);

TEST_P(OptimisticClients, ConflictsAreRefusedAndNoPostIsLost) {
  TempDir dir;
  const std::string path = GetParam() == Store::kServer
                               ? test_support::ServerUri(test_support::FreshDatabase())
                               : dir.MakeDir("db");
  // Three clients on three records, pausing between Edit and Post: most
  // edits overlap another client's edit of the same record.
  constexpr int kRecords = 3;
  counter_clients::MakeTable(path, kRecords);
  counter_clients::Work work;
  work.path = path;
  work.seconds = 1.5;
  work.holdMicroseconds = 500;
  std::vector<counter_clients::Tally> tallies;
  {
    counter_clients::Clients clients(work, 3);
    ASSERT_EQ(clients.Started(), 3);
    clients.Start();
    tallies = clients.Finish();
  }

  std::int64_t posts = 0, conflicts = 0;
  for (const counter_clients::Tally& tally : tallies) {
    EXPECT_EQ(tally.otherErrors, 0) << tally.firstError;
    EXPECT_EQ(tally.busy, 0);
    EXPECT_GT(tally.posts, 0);
    posts += tally.posts;
    conflicts += tally.changed + tally.lockFailed;
  }
  EXPECT_GT(conflicts, 0);
  std::int64_t sum = 0, records = 0;
  counter_clients::ReadTotals(path, &sum, &records);
  EXPECT_EQ(records, kRecords);
  EXPECT_EQ(sum, posts) << conflicts << " conflicts reported";
}

}  // namespace
}  // namespace nds_test
