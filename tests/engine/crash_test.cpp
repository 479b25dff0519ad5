// A process killed in the middle of a script leaves the store as it was
// before the script, and one killed after a commit leaves the commit: the
// next connection finds every committed row and none of the half-done work.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/engine/engine_test_support.h"
#include "tests/engine/repair_database.h"

namespace nce_test {
namespace {

// CPU time a process has used, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = content.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(content.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

// The child: runs the repair script followed by a statement that computes
// for minutes, inside a transaction (or the engine's own run scope), and
// tells the parent through `ready` just before it executes.
[[noreturn]] void RunScriptForever(const std::string& path, bool explicit_transaction, int ready) {
  NDSHANDLE connection = 0, statement = 0;
  if (NdsConnect(path.c_str(), &connection) != NDS_SUCCESS) _exit(3);
  if (explicit_transaction && NdsBeginTransaction(connection) != NDS_SUCCESS) _exit(4);
  if (NdsCreateSQLStatement(connection, &statement) != NDS_SUCCESS) _exit(5);
  std::string script = RepairScriptText() +
                       ";\r\ninsert into acftcomp(Rec_No) select x from (with recursive "
                       "c(x) as (select 1 union all select x + 1 from c where x < 4000000000) "
                       "select x from c where x < 0)";
  if (NdsPrepareSQL(statement, script.c_str()) != NDS_SUCCESS) _exit(6);
  char byte = 'x';
  if (write(ready, &byte, 1) != 1) _exit(7);
  NdsExecuteSQL(statement, nullptr);
  _exit(0);
}

// Forks a child that runs `body`, which never returns, with the write end
// of a pipe to report through; the parent gets the read end in `reports`.
pid_t ForkReporting(const std::function<void(int report)>& body, int* reports) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    body(ends[1]);
    _exit(0);
  }
  close(ends[1]);
  *reports = ends[0];
  return child;
}

class KilledMidScript : public ::testing::TestWithParam<bool> {};

TEST_P(KilledMidScript, StoreReopensUnchanged) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  BuildRepairDatabase(connection, Damage::kRandom, 11);
  ASSERT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
  std::string before = DumpUserTables(StoreFile(dir));

  int reports = -1;
  pid_t child =
      ForkReporting([&](int report) { RunScriptForever(dir.str(), GetParam(), report); }, &reports);
  ASSERT_GT(child, 0);
  char byte = 0;
  ASSERT_EQ(read(reports, &byte, 1), 1) << "the child failed before executing";
  close(reports);
  // Wait until the child has worked well past the repair statements and is
  // deep in the last one (the repair part takes a few milliseconds of CPU).
  for (int i = 0; i < 6000 && CpuTicks(child) < 30; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "the child ended on its own before it was killed (status " << status << ")";

  connection = ConnectOrFail(dir.str());
  ASSERT_NE(connection, 0u);
  EXPECT_EQ(QueryDirect(StoreFile(dir), "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(DumpUserTables(StoreFile(dir)), before);
  // The reopened store takes writes at once: no lock of the dead writer
  // is left behind.
  RunSqlOrFail(connection, "DELETE FROM a_acftcomp");
  EXPECT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutTransaction, KilledMidScript, ::testing::Bool());

// The child: commits a transaction larger than its page cache, which writes
// pages to the WAL as it goes and then writes many of them again, then
// starts another such transaction and waits to be killed in it. It tells the
// parent after each step.
[[noreturn]] void CommitThenWriteForever(const std::string& path, int ready) {
  NDSHANDLE connection = 0;
  if (NdsConnect(path.c_str(), &connection) != NDS_SUCCESS) _exit(3);
  char byte = 'x';
  if (NdsBeginTransaction(connection) != NDS_SUCCESS ||
      RunSql(connection,
             "INSERT INTO big SELECT x, printf('%0200d', x) FROM (WITH RECURSIVE c(x) AS "
             "(SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 60000) SELECT x FROM c)") !=
          NDS_SUCCESS ||
      RunSql(connection, "UPDATE big SET n = n + 1") != NDS_SUCCESS ||
      NdsCommitTransaction(connection) != NDS_SUCCESS || write(ready, &byte, 1) != 1)
    _exit(4);
  if (NdsBeginTransaction(connection) != NDS_SUCCESS ||
      RunSql(connection, "UPDATE big SET n = -n, pad = 'gone'") != NDS_SUCCESS ||
      write(ready, &byte, 1) != 1)
    _exit(5);
  for (;;) pause();
}

// What a commit wrote is in the WAL file when the commit returns, with the
// checksums that let the next opener take it; what the open transaction
// wrote is not taken. A reader keeps the commit out of the database file, so
// that the next opener has to read it from the WAL.
TEST(KilledAfterCommit, NextOpenerFindsTheCommitAndNothingMore) {
  TempDir dir;
  NDSHANDLE connection = ConnectOrFail(dir.str());
  RunSqlOrFail(connection, "CREATE TABLE big (n INTEGER, pad CHAR(200))");
  ASSERT_EQ(NdsDisconnect(connection), NDS_SUCCESS);
  test_support::StoreSql reader(StoreFile(dir));
  ASSERT_EQ(reader.Exec("BEGIN; SELECT count(*) FROM big;"), "");

  int reports = -1;
  pid_t child =
      ForkReporting([&](int report) { CommitThenWriteForever(dir.str(), report); }, &reports);
  ASSERT_GT(child, 0);
  char bytes[2] = {};
  ASSERT_EQ(read(reports, &bytes[0], 1), 1) << "the child failed before its commit";
  ASSERT_EQ(read(reports, &bytes[1], 1), 1) << "the child failed after its commit";
  close(reports);
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(reader.Text("SELECT count(*) FROM big"), "0");  // its snapshot
  ASSERT_EQ(reader.Exec("COMMIT"), "");

  std::filesystem::path wal = StoreFile(dir) + "-wal";
  ASSERT_TRUE(std::filesystem::exists(wal));
  // Plain SQLite, as another program would open the store.
  test_support::StoreSql opener(StoreFile(dir));
  EXPECT_EQ(opener.Text("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(opener.Text("SELECT count(*) || ' ' || sum(n) || ' ' || min(length(pad)) FROM big"),
            "60000 1800090000 200");
}

}  // namespace
}  // namespace nce_test
