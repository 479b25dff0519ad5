// Fault drills of the repair run on a database on a PostgreSQL server: the
// console twin, a real child process whose nds.ini names the database by
// its URI, repairs it as it repairs a SQLite store, is killed at points
// spread over its run, meets a table missing, and waits for another
// session's lock. Whatever happens, the database is found either exactly as
// before or exactly repaired, never in between.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "engine/storage/postgres/postgres_session.h"
#include "gtest/gtest.h"
#include "tests/drills/drill_support.h"
#include "tests/drills/server_support.h"
#include "tests/store/test_server.h"
#include "tests/support/link_relay.h"
#include "tools/demo_database.h"

namespace drills_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::ServerUri;

constexpr char kRepaired[] = "Archive Repaired!\n";
constexpr char kFailed[] = "Archive Repair Failed!\n";
constexpr char kUnableToConnect[] = "Unable to connect!\n";

// How long a killed client's server session may take to end.
constexpr std::chrono::seconds kSessionEnd{10};

// A demo database on the test server with its states before and after a
// clean repair by the console twin, taken from a copy; each drill works on
// a copy of its own that a site's nds.ini names. The databases are named
// after the test, so drills may run side by side.
class ServerDrill : public ::testing::Test {
 protected:
  // Changes the demo database before its states are taken.
  virtual void Prepare() {}

  void SetUp() override {
    pristine_ = test_support::FreshDatabase();
    work_ = pristine_.substr(0, 58) + "_work";
    demo::BuildDemoDatabase(ServerUri(pristine_));
    ASSERT_NO_FATAL_FAILURE(Prepare());
    before_ = ReadServerPairs(pristine_);
    demo::WriteAliasFile(site_.path().string(), ServerUri(work_));

    Restore();
    const auto start = std::chrono::steady_clock::now();
    const ConsoleRun run = RunConsole(site_.path());
    whole_run_ = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(run.output, kRepaired);
    ASSERT_EQ(run.status, 0);
    after_ = Found();
    ASSERT_NE(before_, after_) << "the demo database carries no damage to repair";
  }

  // Puts the pristine database in place of the drill's.
  void Restore() { CopyServerDatabase(pristine_, work_); }
  Snapshot Found() const { return ReadServerPairs(work_); }

  app_test::TempDir site_;
  std::string pristine_;  // the demo database as built, never run on
  std::string work_;      // the drill's database
  Snapshot before_;
  Snapshot after_;
  std::chrono::steady_clock::duration whole_run_{};  // of the clean run
};

// The same run on a SQLite store of the same demo data leaves the same rows,
// rowids and all, and a second run on the server finds nothing to change.
TEST_F(ServerDrill, RepairsAsTheSameRunRepairsSqlite) {
  app_test::TempDir sqlite_site;
  const fs::path database = sqlite_site.path() / "db";
  demo::BuildDemoDatabase(database.string());
  WriteAlias(sqlite_site.path(), database);
  const std::string server = ServerUri(work_);
  Restore();
  EXPECT_EQ(ReadPairsThroughEngine(server), ReadPairsThroughEngine(database.string()));

  const ConsoleRun on_server = RunConsole(site_.path());
  EXPECT_EQ(on_server.output, kRepaired);
  EXPECT_EQ(on_server.status, 0);
  const ConsoleRun on_sqlite = RunConsole(sqlite_site.path());
  ASSERT_EQ(on_sqlite.output, kRepaired);
  EXPECT_EQ(ReadPairsThroughEngine(server), ReadPairsThroughEngine(database.string()));

  const ConsoleRun again = RunConsole(site_.path());
  EXPECT_EQ(again.output, kRepaired);
  EXPECT_EQ(Found(), after_);
}

// The kill drill's database: every archive table's rows copied onto
// themselves seven times over (about 100 000 archive rows to
// de-duplicate), so that the database work takes most of the run rather
// than the program's start-up.
class ServerCrashDrill : public ServerDrill {
 protected:
  void Prepare() override { MultiplyArchiveRows(pristine_, 7); }
};

// SIGKILL at points spread evenly over the run. Once the server has ended
// the killed client's session, the database is untouched or fully
// repaired, and a second run repairs it.
TEST_F(ServerCrashDrill, KilledAnywhereLeavesBeforeOrRepaired) {
  constexpr int kPoints = 8;
  int found_before = 0, found_repaired = 0, killed_in_transaction = 0;
  for (int point = 1; point <= kPoints; ++point) {
    SCOPED_TRACE("kill point " + std::to_string(point) + " of " + std::to_string(kPoints));
    Restore();
    {
      ConsoleChild child(site_.path(), site_.path() / "console.out");
      std::this_thread::sleep_for(whole_run_ * point / (kPoints + 1));
      child.Kill();
      child.Wait();
    }
    ASSERT_TRUE(WaitForNoSessions(work_, kSessionEnd)) << "the killed client's session lingers";
    killed_in_transaction += RolledBackTransactions(work_) > 0;
    const Snapshot found = Found();
    const bool is_before = found == before_;
    const bool is_repaired = found == after_;
    EXPECT_TRUE(is_before || is_repaired) << "the database is neither as before nor repaired";
    found_before += is_before;
    found_repaired += is_repaired;

    const ConsoleRun again = RunConsole(site_.path());
    EXPECT_EQ(again.output, kRepaired);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(Found(), after_);
  }
  RecordProperty("found_before", found_before);
  RecordProperty("found_repaired", found_repaired);
  RecordProperty("killed_in_transaction", killed_in_transaction);
}

// The archive table that the de-duplication reaches last is gone: the run
// fails there, after 23 statements changed the database, and all of them
// are undone.
TEST_F(ServerDrill, MissingTableFailsWithNothingChanged) {
  Restore();
  nce::PostgresSession::Connect(ServerUri(work_))->Execute("DROP TABLE a_workcard");
  Snapshot expected = before_;
  expected.erase("a_workcard");

  const ConsoleRun run = RunConsole(site_.path());
  EXPECT_EQ(run.output, kFailed);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Found(), expected);
}

// Another session has updated a live row that the run's second to last
// statement deletes, and keeps its transaction open for the whole run. On
// a server the begin takes no lock, so the run gets that far, waits out the
// busy timeout for the row, fails and rolls everything back: "Archive
// Repair Failed!", exit status 1 (a SQLite store refuses the begin itself
// and the run says "Unable to connect!"). Once the other session has
// committed, a run repairs the database.
TEST_F(ServerDrill, BusyRowFailsAfterTheBusyTimeoutThenRepairs) {
  Restore();
  auto other = nce::PostgresSession::Connect(ServerUri(work_));
  other->Begin();
  auto update = other->Prepare(
      "UPDATE wcpartchange SET rec_no = rec_no WHERE rowid = (SELECT min(rowid) FROM "
      "wcpartchange WHERE rec_no IN (SELECT rec_no FROM a_wcpartchange)) RETURNING rowid");
  ASSERT_TRUE(update->Step()) << "no live row of wcpartchange is archived";

  const ConsoleRun blocked = RunConsole(site_.path());
  EXPECT_EQ(blocked.output, kFailed);
  EXPECT_EQ(blocked.status, 1);

  other->Commit();
  update.reset();  // a statement goes before its session
  other.reset();
  EXPECT_EQ(Found(), before_);
  const ConsoleRun later = RunConsole(site_.path());
  EXPECT_EQ(later.output, kRepaired);
  EXPECT_EQ(later.status, 0);
  EXPECT_EQ(Found(), after_);
}

// The link to the server breaks halfway through the repair, as the relay
// counts round trips: the run fails, "Archive Repair Failed!" when the
// rollback is answered, "Unable to connect!" when it cannot be, and the
// server, which rolls the cut session's transaction back, holds the
// database exactly as before.
TEST_F(ServerDrill, LinkCutMidRepairFailsWithNothingChanged) {
  test_support::LinkRelay relay("127.0.0.1", std::stoi(test_support::ServerPort()));
  demo::WriteAliasFile(site_.path().string(), test_support::ThroughRelay(ServerUri(work_), relay));
  Restore();
  uint64_t start = relay.RoundTrips();
  ASSERT_EQ(RunConsole(site_.path()).output, kRepaired);
  const uint64_t whole_run = relay.RoundTrips() - start;

  Restore();
  start = relay.RoundTrips();
  ConsoleChild child(site_.path(), site_.path() / "console.out");
  for (auto until = std::chrono::steady_clock::now() + 60s;
       relay.RoundTrips() - start < whole_run / 2 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(1ms);
  relay.Cut();
  const ConsoleRun run = child.Wait();
  EXPECT_TRUE(run.output == kFailed || run.output == kUnableToConnect) << run.output;
  EXPECT_EQ(run.status, run.output == kFailed ? 1 : 2);
  RecordProperty("said", run.output);
  ASSERT_TRUE(WaitForNoSessions(work_, kSessionEnd)) << "the cut session lingers";
  EXPECT_EQ(Found(), before_);
}

}  // namespace
}  // namespace drills_test
