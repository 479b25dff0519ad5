// Fault drills of the repair run: the console twin, a real child process, is
// killed, starved of disk, kept waiting by another writer, denied writing,
// and given a database with a table missing. Whatever happens, the database
// is found either exactly as before or exactly repaired, never in between,
// and never corrupt.
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "tests/app/app_test_support.h"
#include "tests/drills/drill_support.h"
#include "tools/demo_database.h"

namespace drills_test {
namespace {

namespace fs = std::filesystem;
using app_test::ReadAllPairs;
using drills_test::ConsoleChild;
using drills_test::ConsoleRun;
using drills_test::RunConsole;
using drills_test::Snapshot;

constexpr char kRepaired[] = "Archive Repaired!\n";
constexpr char kFailed[] = "Archive Repair Failed!\n";

// A demo site (database in <root>/db, nds.ini naming it) with the states of
// its database before and after a clean repair, the latter taken from a
// repair of a copy.
class RepairDrill : public ::testing::Test {
 protected:
  // Changes the demo database before its states are taken.
  virtual void Prepare() {}

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    pristine_ = work_.path() / "pristine";
    drills_test::CopyDatabase(site_.Database(), pristine_);
    before_ = ReadAllPairs(site_.StoreFile());

    const fs::path reference = work_.path() / "reference";
    drills_test::CopyDatabase(pristine_, reference / "db");
    drills_test::WriteAlias(reference, reference / "db");
    const ConsoleRun run = RunConsole(reference);
    ASSERT_EQ(run.output, kRepaired);
    ASSERT_EQ(run.status, 0);
    after_ = ReadAllPairs(reference / "db" / "nce.db");
    ASSERT_NE(before_, after_) << "the demo database carries no damage to repair";
  }

  // Puts the pristine database back in place.
  void Restore() { drills_test::CopyDatabase(pristine_, site_.Database()); }

  app_test::DemoSite site_;
  app_test::TempDir work_;
  fs::path pristine_;
  Snapshot before_;
  Snapshot after_;
};

// The crash drill's database: every archive table's rows copied onto
// themselves five times over, so that the database work (about 35 000
// archive rows to de-duplicate) takes most of the run rather than the
// program's start-up.
class CrashDrill : public RepairDrill {
 protected:
  void Prepare() override {
    std::string sql = "BEGIN;";
    for (const demo::TablePair& pair : demo::TablePairs())
      for (int i = 0; i < 5; ++i)
        sql += std::string("insert into a_") + pair.live + " select * from a_" + pair.live + ";";
    ASSERT_EQ(app_test::ExecDirect(site_.StoreFile(), sql + "COMMIT;"), "");
  }
};

// SIGKILL at twenty points spread evenly over the run, from the program's
// start to its end. After each kill the database is untouched or fully
// repaired, sound, and a second run repairs it.
TEST_F(CrashDrill, KilledAnywhereLeavesBeforeOrRepaired) {
  using Clock = std::chrono::steady_clock;
  Restore();
  const auto start = Clock::now();
  ASSERT_EQ(RunConsole(site_.Root()).status, 0);
  const auto whole = Clock::now() - start;

  constexpr int kPoints = 20;
  int found_before = 0, found_repaired = 0;
  for (int point = 1; point <= kPoints; ++point) {
    SCOPED_TRACE("kill point " + std::to_string(point) + " of " + std::to_string(kPoints));
    Restore();
    {
      ConsoleChild child(site_.Root(), site_.Root() / "console.out");
      std::this_thread::sleep_for(whole * point / (kPoints + 1));
      child.Kill();
      child.Wait();
    }
    EXPECT_EQ(drills_test::IntegrityCheck(site_.StoreFile()), "ok");
    const Snapshot found = ReadAllPairs(site_.StoreFile());
    const bool is_before = found == before_;
    const bool is_repaired = found == after_;
    EXPECT_TRUE(is_before || is_repaired) << "the database is neither as before nor repaired";
    found_before += is_before;
    found_repaired += is_repaired;

    const ConsoleRun again = RunConsole(site_.Root());
    EXPECT_EQ(again.output, kRepaired);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(ReadAllPairs(site_.StoreFile()), after_);
  }
  RecordProperty("found_before", found_before);
  RecordProperty("found_repaired", found_repaired);
}

// A database lacking an archive table that the de-duplication reaches after
// six live tables were already cleaned: the run fails and those six
// deletions are undone.
TEST_F(RepairDrill, MissingTableUndoesEarlierStatements) {
  ASSERT_EQ(app_test::ExecDirect(site_.StoreFile(), "drop table a_fltsqk"), "");
  Snapshot expected = before_;
  expected.erase("a_fltsqk");

  const ConsoleRun run = RunConsole(site_.Root());
  EXPECT_EQ(run.output, kFailed);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(drills_test::IntegrityCheck(site_.StoreFile()), "ok");
  EXPECT_EQ(drills_test::ReadExistingPairs(site_.StoreFile()), expected);
}

// Another process holds a write transaction for the whole run: the engine's
// begin takes the write lock at once, so the run waits out the busy timeout
// there and fails before any statement ran, changing nothing. No transaction
// was opened, so the rollback that follows is refused, and the run ends as a
// refused rollback does: "Unable to connect!", exit status 2. Once the other
// process has committed, the run repairs the database.
TEST_F(RepairDrill, WaitsForAnotherWriterThenFailsAndLaterSucceeds) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(site_.StoreFile().c_str(), &other, SQLITE_OPEN_READWRITE, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other,
                         "BEGIN IMMEDIATE; CREATE TABLE drill_marker(x); "
                         "INSERT INTO drill_marker VALUES (1);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);

  const ConsoleRun blocked = RunConsole(site_.Root());
  EXPECT_EQ(blocked.output, "Unable to connect!\n");
  EXPECT_EQ(blocked.status, 2);

  EXPECT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  EXPECT_EQ(ReadAllPairs(site_.StoreFile()), before_);

  const ConsoleRun later = RunConsole(site_.Root());
  EXPECT_EQ(later.output, kRepaired);
  EXPECT_EQ(later.status, 0);
  EXPECT_EQ(ReadAllPairs(site_.StoreFile()), after_);
  EXPECT_EQ(app_test::QueryNumber(site_.StoreFile(), "select count(*) from drill_marker"), 1);
}

// A mount point of the test's own, unmounted when the object goes. Tests run
// as root here, so file permissions do not stop writes; a mount does.
class ScopedMount {
 public:
  ScopedMount(const fs::path& target) : target_(target) { fs::create_directories(target); }
  ~ScopedMount() {
    if (mounted_) ::umount2(target_.c_str(), MNT_DETACH);
  }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  // A tmpfs of `bytes`; false when this process may not mount.
  bool Tmpfs(size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tmpfs", target_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    return mounted_;
  }
  // A read-only view of `source`; false when this process may not mount.
  bool ReadOnlyBind(const fs::path& source) {
    if (::mount(source.c_str(), target_.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    mounted_ = true;
    return ::mount(nullptr, target_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) ==
           0;
  }
  const fs::path& Path() const { return target_; }

 private:
  fs::path target_;
  bool mounted_ = false;
};

// Fills the file system holding `directory` until fewer than `leave` bytes
// remain free.
void FillDisk(const fs::path& directory, size_t leave) {
  std::FILE* filler = std::fopen((directory / "filler").c_str(), "wb");
  ASSERT_NE(filler, nullptr);
  std::string block(4096, 'x');
  while (fs::space(directory).available > leave + block.size() &&
         std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    std::fflush(filler);
  }
  std::fclose(filler);
}

// The disk fills up while the run writes its changes: the run fails, and the
// database is unchanged and sound.
TEST_F(RepairDrill, FullDiskFailsWithNothingChanged) {
  ScopedMount small(work_.path() / "small");
  const size_t store_size = fs::file_size(site_.StoreFile());
  if (!small.Tmpfs(store_size + 512 * 1024))
    GTEST_SKIP() << "cannot mount a small file system here (needs CAP_SYS_ADMIN)";
  const fs::path database = small.Path() / "db";
  drills_test::CopyDatabase(pristine_, database);
  drills_test::WriteAlias(site_.Root(), database);
  FillDisk(small.Path(), 48 * 1024);

  const ConsoleRun run = RunConsole(site_.Root());
  EXPECT_EQ(run.output, kFailed);
  EXPECT_EQ(run.status, 1);

  fs::remove(small.Path() / "filler");
  EXPECT_EQ(drills_test::IntegrityCheck(database / "nce.db"), "ok");
  EXPECT_EQ(ReadAllPairs(database / "nce.db"), before_);

  const ConsoleRun with_room = RunConsole(site_.Root());
  EXPECT_EQ(with_room.output, kRepaired);
  EXPECT_EQ(ReadAllPairs(database / "nce.db"), after_);
}

// The database directory is read-only: a clear failure, nothing changed.
TEST_F(RepairDrill, ReadOnlyDirectoryFailsWithNothingChanged) {
  ScopedMount view(work_.path() / "readonly");
  if (!view.ReadOnlyBind(site_.Database()))
    GTEST_SKIP() << "cannot make a read-only bind mount here (needs CAP_SYS_ADMIN)";
  drills_test::WriteAlias(site_.Root(), view.Path());

  const ConsoleRun run = RunConsole(site_.Root());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output, kRepaired);
  EXPECT_TRUE(run.output == kFailed || run.output == "Unable to connect!\n") << run.output;
  EXPECT_EQ(ReadAllPairs(site_.StoreFile()), before_);
  EXPECT_EQ(drills_test::IntegrityCheck(site_.StoreFile()), "ok");
}

// The store file itself may not be written (immutable; root ignores mode
// bits): a clear failure, nothing changed.
TEST_F(RepairDrill, ReadOnlyStoreFileFailsWithNothingChanged) {
  const std::string store = site_.StoreFile().string();
  if (std::system(("chattr +i '" + store + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "the file system does not offer the immutable attribute";
  const ConsoleRun run = RunConsole(site_.Root());
  std::system(("chattr -i '" + store + "'").c_str());

  EXPECT_NE(run.status, 0);
  EXPECT_TRUE(run.output == kFailed || run.output == "Unable to connect!\n") << run.output;
  EXPECT_EQ(ReadAllPairs(site_.StoreFile()), before_);
  EXPECT_EQ(drills_test::IntegrityCheck(site_.StoreFile()), "ok");
}

}  // namespace
}  // namespace drills_test
