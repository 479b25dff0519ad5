// Two processes on one store while the WAL turns over: one commits many
// small transactions, and every few dozen a checkpoint lets the next one
// write the WAL from its start again, over frames the other process has
// read; the other reads through the engine's own file layer all the while.
// Every read must see one commit whole: the same pad in every row and the
// balance unchanged.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/store.h"
#include "tests/engine/engine_test_support.h"

namespace nce_test {
namespace {

constexpr int kRows = 400;  // a commit writes about 25 pages
constexpr int kCommits = 300;

// The writer: each commit moves one unit from every odd row to the even row
// before it, so the balance stays, and gives every row the commit's pad.
[[noreturn]] void CommitMany(const std::string& path) {
  NDSHANDLE connection = 0;
  if (NdsConnect(path.c_str(), &connection) != NDS_SUCCESS) _exit(3);
  for (int commit = 1; commit <= kCommits; ++commit) {
    std::string pad = std::to_string(commit);
    if (RunSql(connection,
               "UPDATE acct SET bal = bal + CASE WHEN id % 2 = 0 THEN 1 ELSE -1 END, "
               "pad = printf('%0200d', " +
                   pad + ")") != NDS_SUCCESS)
      _exit(4);
  }
  _exit(0);
}

TEST(StoreWal, ReadersInAnotherProcessSeeEveryCommitWhole) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  RunSqlOrFail(connection, "CREATE TABLE acct (id INTEGER, bal INTEGER, pad CHAR(200))");
  RunSqlOrFail(connection,
               "INSERT INTO acct SELECT x, 100, printf('%0200d', 0) FROM (WITH RECURSIVE c(x) "
               "AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
                   std::to_string(kRows) + ") SELECT x FROM c)");
  ASSERT_EQ(NdsDisconnect(connection), NDS_SUCCESS);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) CommitMany(dir.str());

  std::unique_ptr<nce::Store> store = nce::Store::Open(nce::ResolveStoreLocation(dir.str()), 10000);
  const std::string whole = std::to_string(kRows) + " " + std::to_string(kRows * 100) + " 1";
  std::vector<std::string> seen;  // the distinct states read, in order
  int status = 0;
  for (bool running = true; running;) {
    running = waitpid(child, &status, WNOHANG) == 0;
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(test_support::ReadRows(
        store->db(), "SELECT count(*), sum(bal), min(pad) = max(pad), max(pad) FROM acct", &rows));
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0][0] + " " + rows[0][1] + " " + rows[0][2], whole)
        << "after commit " << std::stoi(rows[0][3]);
    if (seen.empty() || seen.back() != rows[0][3]) seen.push_back(rows[0][3]);
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
  EXPECT_EQ(std::stoi(seen.back()), kCommits);
  EXPECT_GT(seen.size(), 2u) << "the reads did not overlap the commits";
}

}  // namespace
}  // namespace nce_test
