// Record locks between cursors of two connections and between two real
// processes: a lock held elsewhere refuses locks, writes and deletes with a
// lock-conflict error, and goes when it is unlocked, its cursor closes, its
// connection ends, or its process dies.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cursor_test_support.h"

namespace nce_test {
namespace {

template <class Base>
class RecordLocksBase : public Base {
 protected:
  RecordLocksBase() {
    this->Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
    this->FillNumbered("items", 5);
  }
  NDSHANDLE OpenOn(NDSHANDLE connection, uint32_t options = 0) {
    NDSHANDLE cursor = 0;
    EXPECT_EQ(NdsOpenTable(connection, "items", 0, 0, options, &cursor), 0u) << LastErrorText();
    return cursor;
  }
};

class RecordLocks : public RecordLocksBase<StoreCursorTest> {
 protected:
  NDSHANDLE Connect() { return store_.Connect(); }
  const std::string& Path() const { return store_.path(); }
  std::string Names() { return store_.Read("SELECT name FROM items ORDER BY rowid"); }
  // Runs `attempt` until it stops failing on a lock: a server ends a killed
  // client's session once it sees the connection closed, which may take it
  // a moment. On SQLite the kernel frees the locks with the process.
  template <class Attempt>
  NDSRESULT AfterHolderDied(Attempt attempt) {
    NDSRESULT rc = attempt();
    for (int wait = 0; rc == NDS_E_LOCK_FAILED && OnServer() && wait < 100; ++wait) {
      usleep(50 * 1000);
      rc = attempt();
    }
    return rc;
  }
};
INSTANTIATE_TEST_SUITE_P(Stores, RecordLocks, BothStores(), StoreKindName);

TEST_P(RecordLocks, TwoConnectionsContendForARecord) {
  NDSHANDLE mine = OpenTable("items");
  NDSHANDLE otherConnection = Connect();
  NDSHANDLE theirs = OpenOn(otherConnection);

  ASSERT_EQ(NdsLockRecord(mine, 2), 0u) << LastErrorText();
  ASSERT_EQ(NdsLockRecord(mine, 2), 0u);  // locking again is harmless
  ExpectError(NdsLockRecord(theirs, 2), NDS_E_LOCK_FAILED, "locked by another user");
  ASSERT_EQ(NdsGotoRecord(theirs, 2), 0u);
  ExpectError(NdsSetField(theirs, "name", "x", 1), NDS_E_LOCK_FAILED);
  ExpectError(NdsDeleteRecord(theirs), NDS_E_LOCK_FAILED);
  // Other records stay free, and the holder itself may write.
  ASSERT_EQ(NdsLockRecord(theirs, 3), 0u);
  ASSERT_EQ(NdsGotoRecord(mine, 2), 0u);
  ASSERT_EQ(NdsSetField(mine, "name", "mine", 4), 0u);
  ASSERT_EQ(NdsWriteRecord(mine), 0u) << LastErrorText();
  ExpectError(NdsLockRecord(mine, 3), NDS_E_LOCK_FAILED);

  // Unlock frees it.
  ASSERT_EQ(NdsUnlockRecord(mine, 2), 0u);
  ASSERT_EQ(NdsLockRecord(theirs, 2), 0u) << LastErrorText();
  ExpectError(NdsLockRecord(mine, 2), NDS_E_LOCK_FAILED);
  // Closing the holder's cursor frees its locks.
  ASSERT_EQ(NdsCloseTable(theirs), 0u);
  ASSERT_EQ(NdsLockRecord(mine, 2), 0u) << LastErrorText();
  ASSERT_EQ(NdsLockRecord(mine, 3), 0u) << LastErrorText();
  // Ending the holder's connection frees them too.
  NDSHANDLE third = OpenOn(otherConnection);
  ASSERT_EQ(NdsUnlockRecord(mine, 3), 0u);
  ASSERT_EQ(NdsLockRecord(third, 3), 0u);
  ExpectError(NdsLockRecord(mine, 3), NDS_E_LOCK_FAILED);
  ASSERT_EQ(NdsDisconnect(otherConnection), 0u);
  ASSERT_EQ(NdsLockRecord(mine, 3), 0u) << LastErrorText();
  ExpectError(NdsLockRecord(mine, 99), NDS_E_INVALID_RECORD);
}

TEST_P(RecordLocks, AnAppendedRecordIsOnlyItsCursorsUntilWritten) {
  NDSHANDLE mine = OpenTable("items");
  NDSHANDLE theirs = OpenTable("items");  // a second cursor contends like another user
  ASSERT_EQ(NdsAppendRecord(mine), 0u);
  uint32_t recno = RecNo(mine);
  // Its number is reserved, but there is no record to lock or visit yet.
  ExpectError(NdsLockRecord(theirs, recno), NDS_E_INVALID_RECORD);
  ExpectError(NdsGotoRecord(theirs, recno), NDS_E_INVALID_RECORD);
  // The owner may lock it, and keeps that lock past the write.
  ASSERT_EQ(NdsLockRecord(mine, 0), 0u) << LastErrorText();
  ASSERT_EQ(NdsWriteRecord(mine), 0u);
  ExpectError(NdsLockRecord(theirs, recno), NDS_E_LOCK_FAILED);
  ASSERT_EQ(NdsUnlockRecord(mine, recno), 0u);
  ASSERT_EQ(NdsLockRecord(theirs, recno), 0u) << LastErrorText();
}

TEST_P(RecordLocks, ExclusiveOpensShutOutOtherOpens) {
  NDSHANDLE otherConnection = Connect();
  NDSHANDLE exclusive = OpenOn(otherConnection, NDS_OPEN_EXCLUSIVE);
  uint32_t options = 0;
  ASSERT_EQ(NdsGetTableOpenOptions(exclusive, &options), 0u);
  EXPECT_TRUE(options & NDS_OPEN_EXCLUSIVE);
  NDSHANDLE refused = 0;
  ExpectError(NdsOpenTable(conn_, "items", 0, 0, 0, &refused), NDS_E_LOCK_FAILED, "exclusively");
  ASSERT_EQ(NdsCloseTable(exclusive), 0u);
  NDSHANDLE shared = OpenTable("items");
  ASSERT_NE(shared, 0u);
  ExpectError(NdsOpenTable(otherConnection, "items", 0, 0, NDS_OPEN_EXCLUSIVE, &refused),
              NDS_E_LOCK_FAILED);
  NdsDisconnect(otherConnection);
}

// A second process that opens the table with `options`, locks record
// `recno` (none for 0) and then obeys one-letter
// commands from `commands`: 'u' unlock, 'c' close the cursor; it answers
// each with a byte on `answers` and otherwise sleeps until killed.
pid_t StartHolder(const std::string& path, uint32_t recno, int* commands, int* answers,
                  uint32_t options = 0) {
  return StartChild(
      [&](int in, int out) {
        NDSHANDLE connection = 0, cursor = 0;
        char status = 'L';
        if (NdsConnect60(path.c_str(), NDS_LOCAL_SERVER | NDS_REMOTE_SERVER, "", "", 0,
                         &connection) != 0 ||
            NdsOpenTable(connection, "items", 0, 0, options, &cursor) != 0 ||
            (recno != 0 && NdsLockRecord(cursor, recno) != 0))
          status = 'E';
        if (write(out, &status, 1) != 1) _exit(2);
        char command;
        while (read(in, &command, 1) == 1) {
          NDSRESULT rc = command == 'u' ? NdsUnlockRecord(cursor, recno) : NdsCloseTable(cursor);
          char answer = rc == 0 ? 'k' : 'E';
          if (write(out, &answer, 1) != 1) _exit(2);
        }
        pause();
      },
      commands, answers);
}

char Await(int answers) {
  char byte = 0;
  return read(answers, &byte, 1) == 1 ? byte : '?';
}

TEST_P(RecordLocks, TwoProcessesContendAndUnlockReleases) {
  int commands, answers;
  pid_t holder = StartHolder(Path(), 4, &commands, &answers);
  ASSERT_GT(holder, 0);
  ASSERT_EQ(Await(answers), 'L');
  NDSHANDLE cursor = OpenTable("items");
  ExpectError(NdsLockRecord(cursor, 4), NDS_E_LOCK_FAILED);
  ASSERT_EQ(NdsGotoRecord(cursor, 4), 0u);
  ExpectError(NdsSetField(cursor, "name", "x", 1), NDS_E_LOCK_FAILED);
  ASSERT_EQ(NdsLockRecord(cursor, 5), 0u);
  ASSERT_EQ(write(commands, "u", 1), 1);
  ASSERT_EQ(Await(answers), 'k');
  ASSERT_EQ(NdsLockRecord(cursor, 4), 0u) << LastErrorText();
  ASSERT_EQ(NdsUnlockRecord(cursor, 4), 0u);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(commands);
  close(answers);
}

TEST_P(RecordLocks, ACrashedHolderLeavesNoLockBehind) {
  int commands, answers;
  pid_t holder = StartHolder(Path(), 2, &commands, &answers);
  ASSERT_GT(holder, 0);
  ASSERT_EQ(Await(answers), 'L');
  NDSHANDLE cursor = OpenTable("items");
  ExpectError(NdsLockRecord(cursor, 2), NDS_E_LOCK_FAILED);
  ASSERT_EQ(kill(holder, SIGKILL), 0);
  ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
  ASSERT_EQ(AfterHolderDied([&] { return NdsLockRecord(cursor, 2); }), 0u) << LastErrorText();
  ASSERT_EQ(NdsGotoRecord(cursor, 2), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "after", 5), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  close(commands);
  close(answers);
}

TEST_P(RecordLocks, SqlWritesOfOtherProcessesStopAtLockedRecords) {
  int commands, answers;
  pid_t holder = StartHolder(Path(), 2, &commands, &answers);
  ASSERT_GT(holder, 0);
  ASSERT_EQ(Await(answers), 'L');
  std::string before = Names();
  std::vector<std::string> writes = {
      "UPDATE items SET name = 'x' WHERE id = 2", "UPDATE items SET name = 'x' WHERE id > 1",
      "DELETE FROM items", "DELETE FROM items WHERE id BETWEEN 1 AND 3"};
  if (!OnServer()) writes.push_back("REPLACE INTO items(rowid, id, name) VALUES (2, 2, 'x')");
  for (const std::string& sql : writes) {
    SCOPED_TRACE(sql);
    ExpectError(RunSql(conn_, sql), NDS_E_LOCK_FAILED, "Record 2 of table items");
    EXPECT_EQ(Names(), before);
  }
  // Statements over other records pass.
  EXPECT_EQ(RunSql(conn_, "UPDATE items SET name = 'three' WHERE id = 3"), 0u) << LastErrorText();
  EXPECT_EQ(RunSql(conn_, "DELETE FROM items WHERE id = 5"), 0u) << LastErrorText();
  EXPECT_EQ(RunSql(conn_, "INSERT INTO items VALUES (6, 'six')"), 0u) << LastErrorText();
  // The lock goes with the process that held it.
  ASSERT_EQ(kill(holder, SIGKILL), 0);
  ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
  EXPECT_EQ(AfterHolderDied([&] { return RunSql(conn_, "DELETE FROM items WHERE id = 2"); }), 0u)
      << LastErrorText();
  close(commands);
  close(answers);
}

TEST_P(RecordLocks, SqlWritesStopAtAnotherProcesssExclusiveOpen) {
  int commands, answers;
  pid_t holder = StartHolder(Path(), 0, &commands, &answers, NDS_OPEN_EXCLUSIVE);
  ASSERT_GT(holder, 0);
  ASSERT_EQ(Await(answers), 'L');
  std::string before = Names();
  for (const char* sql : {"INSERT INTO items VALUES (9, 'nine')",
                          "UPDATE items SET name = 'x' WHERE id = 1", "DELETE FROM items"})
    ExpectError(RunSql(conn_, sql), NDS_E_LOCK_FAILED, "opened exclusively");
  EXPECT_EQ(Names(), before);
  // Reading stays open to everyone.
  EXPECT_EQ(RunSql(conn_, "SELECT * FROM items"), 0u) << LastErrorText();
  ASSERT_EQ(write(commands, "c", 1), 1);
  ASSERT_EQ(Await(answers), 'k');
  EXPECT_EQ(RunSql(conn_, "INSERT INTO items VALUES (9, 'nine')"), 0u) << LastErrorText();
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(commands);
  close(answers);
}

TEST_P(RecordLocks, SqlWritesHonourOtherConnectionsButNotTheirOwnLocks) {
  NDSHANDLE otherConnection = Connect();
  NDSHANDLE theirs = OpenOn(otherConnection);
  ASSERT_EQ(NdsLockRecord(theirs, 1), 0u) << LastErrorText();
  NDSHANDLE mine = OpenTable("items");
  ASSERT_EQ(NdsLockRecord(mine, 4), 0u) << LastErrorText();
  ExpectError(RunSql(conn_, "UPDATE items SET name = 'x' WHERE id = 1"), NDS_E_LOCK_FAILED,
              "Record 1");
  EXPECT_EQ(RunSql(conn_, "UPDATE items SET name = 'mine' WHERE id = 4"), 0u) << LastErrorText();
  ExpectError(RunSql(otherConnection, "DELETE FROM items WHERE id = 4"), NDS_E_LOCK_FAILED,
              "Record 4");
  // Statements led in by common table expressions are checked alike.
  ExpectError(RunSql(conn_,
                     "WITH one(n) AS (SELECT 1) UPDATE items SET name = 'x' WHERE id IN "
                     "(SELECT n FROM one)"),
              NDS_E_LOCK_FAILED, "Record 1");
  ExpectError(RunSql(otherConnection,
                     "WITH four AS (SELECT 4 AS n) DELETE FROM items WHERE id = "
                     "(SELECT n FROM four)"),
              NDS_E_LOCK_FAILED, "Record 4");
  EXPECT_EQ(store_.Read("SELECT count(*) FROM items WHERE name = 'x'"), "0\n");
  ASSERT_EQ(NdsUnlockRecord(theirs, 1), 0u);
  EXPECT_EQ(RunSql(conn_, "UPDATE items SET name = 'x' WHERE id = 1"), 0u) << LastErrorText();
  NdsDisconnect(otherConnection);
}

}  // namespace
}  // namespace nce_test
