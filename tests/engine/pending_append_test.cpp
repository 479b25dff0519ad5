// Appends that reach the table only when they are written: the new record
// lives in its cursor (defaults shown, required columns filled before the
// row must satisfy them), other connections and processes never see it
// half-made, a cancelled or crashed append leaves nothing behind, and
// concurrent appenders, even a plain SQL insert, never lose a record.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "cursor_test_support.h"

namespace nce_test {
namespace {

class PendingAppend : public CursorTest {
 protected:
  std::string Rows(const std::string& table) {
    return QueryDirect(StoreFile(dir_), "SELECT count(*) FROM " + table);
  }
  uint32_t Count(NDSHANDLE cursor) {
    uint32_t count = 0;
    EXPECT_EQ(NdsGetRecordCount(cursor, NDS_IGNOREFILTERS, &count), 0u) << LastErrorText();
    return count;
  }
};

// Cases that hold on both stores. (A server's numbering never gives back a
// number an append left unused, so the cases that count on it stay above.)
class PendingAppendOnStores : public StoreCursorTest {};
INSTANTIATE_TEST_SUITE_P(Stores, PendingAppendOnStores, BothStores(), StoreKindName);

TEST_F(PendingAppend, ARequiredColumnWithoutDefaultIsFilledBeforeTheWrite) {
  Exec("CREATE TABLE req (id INTEGER, code CHAR(4) NOT NULL)");
  NDSHANDLE cursor = OpenTable("req");
  ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
  uint32_t recno = RecNo(cursor);
  EXPECT_EQ(recno, 1u);
  ASSERT_EQ(NdsSetField(cursor, "id", "5", 1), 0u);
  // Written while still empty: refused by name, nothing stored, the record
  // and its edits stay for another try.
  ExpectError(NdsWriteRecord(cursor), NDS_E_VALUE_REQUIRED, "column \"code\"");
  EXPECT_EQ(Rows("req"), "0");
  EXPECT_EQ(RecNo(cursor), recno);
  EXPECT_EQ(Text(cursor, "id"), "5");
  ASSERT_EQ(NdsSetField(cursor, "code", "AB", 2), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT rowid || id || code FROM req"), "15AB");
  EXPECT_EQ(Text(cursor, "code"), "AB");
  EXPECT_EQ(RecNo(cursor), recno);

  // Closing a cursor whose append cannot be written reports the failure,
  // stores nothing and frees the reserved number.
  NDSHANDLE closing = OpenTable("req");
  ASSERT_EQ(NdsAppendRecord(closing), 0u);
  EXPECT_EQ(RecNo(closing), 2u);
  open_.pop_back();
  ExpectError(NdsCloseTable(closing), NDS_E_VALUE_REQUIRED, "column \"code\"");
  EXPECT_EQ(Rows("req"), "1");
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  EXPECT_EQ(RecNo(cursor), 2u);
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
}

TEST_P(PendingAppendOnStores, TheNewRecordShowsTheColumnDefaultsAndIsReadLikeAnyOther) {
  Exec(
      "CREATE TABLE d (n INTEGER DEFAULT 7, s CHAR(5) DEFAULT 'abc', amount NUMERIC(6,2) "
      "DEFAULT '2.5', made TIMESTAMP DEFAULT CURRENT_TIMESTAMP, notes MEMO DEFAULT 'memo text', "
      "empty CHAR(3))");
  NDSHANDLE cursor = OpenTable("d");
  ASSERT_EQ(NdsSetFilter(cursor, "n > 5"), 0u) << LastErrorText();
  ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(Text(cursor, "n"), "7");
  EXPECT_EQ(Text(cursor, "s"), "abc");
  EXPECT_EQ(Text(cursor, "amount"), "2.50");
  EXPECT_EQ(Text(cursor, "notes"), "memo text");
  std::string made = Text(cursor, "made");
  EXPECT_FALSE(made.empty());
  uint16_t empty = 0;
  ASSERT_EQ(NdsIsEmpty(cursor, "empty", &empty), 0u);
  EXPECT_EQ(empty, 1u);
  uint32_t memo = 0;
  ASSERT_EQ(NdsGetMemoLength(cursor, "notes", &memo), 0u) << LastErrorText();
  EXPECT_EQ(memo, 9u);
  // Reads that would look the record up in the table use its own values.
  uint32_t crc = 0, again = 0;
  ASSERT_EQ(NdsGetRecordCRC(cursor, &crc, 0), 0u) << LastErrorText();
  uint16_t visible = 0, fits = 0;
  ASSERT_EQ(NdsIsRecordVisible(cursor, &visible), 0u) << LastErrorText();
  EXPECT_EQ(visible, 1u);
  ASSERT_EQ(NdsEvalLogicalExpr(cursor, "s = 'abc' .AND. n = 7", &fits), 0u) << LastErrorText();
  EXPECT_EQ(fits, 1u);
  ASSERT_EQ(NdsSetField(cursor, "n", "3", 1), 0u);
  ASSERT_EQ(NdsIsRecordVisible(cursor, &visible), 0u);
  EXPECT_EQ(visible, 0u);  // the filter now turns it away
  ASSERT_EQ(NdsGetRecordCRC(cursor, &again, 0), 0u);
  EXPECT_EQ(crc, again);  // own edits are not in the checksum
  ASSERT_EQ(NdsRefreshRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(Text(cursor, "n"), "3");
  EXPECT_EQ(Text(cursor, "made"), made);  // defaults are taken once, at the append

  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT n, s, amount, notes, empty FROM d"), "3|abc|2.50|memo text|\n");
  if (!OnServer()) {  // SQLite's natural values
    EXPECT_EQ(
        QueryDirect(store_.StoreFile(),
                    "SELECT n || '|' || s || '|' || amount || '|' || typeof(amount) || '|' || "
                    "notes || '|' || coalesce(empty, 'null') FROM d"),
        "3|abc|2.5|real|memo text|null");
  }
  EXPECT_EQ(Text(cursor, "made"), made);
}

TEST_F(PendingAppend, OthersSeeNothingUntilTheWriteAndCancelLeavesNoTrace) {
  Exec("CREATE TABLE items (id AUTOINC, name CHAR(12))");
  Exec("INSERT INTO items (name) VALUES ('first')");
  NDSHANDLE cursor = OpenTable("items");
  NDSHANDLE otherConnection = ConnectOrFail(dir_.str());
  NDSHANDLE theirs = 0;
  ASSERT_EQ(NdsOpenTable(otherConnection, "items", 0, 0, 0, &theirs), 0u);

  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "half made", 9), 0u);
  EXPECT_EQ(RecNo(cursor), 2u);
  EXPECT_EQ(Rows("items"), "1");
  EXPECT_EQ(Count(theirs), 1u);
  EXPECT_EQ(Count(cursor), 1u);
  EXPECT_EQ(WalkForward(theirs), std::vector<uint32_t>{1});

  // Cancelled: nothing to delete, no number used up, no lock left.
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
  EXPECT_EQ(Rows("items"), "1");
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT last_value FROM _nce_autoinc"), "1");
  // Deleting an unwritten append drops it the same way.
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  EXPECT_EQ(RecNo(cursor), 2u);
  ASSERT_EQ(NdsDeleteRecord(cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  ExpectError(NdsCancelUpdate(cursor), NDS_E_NOT_EDITING);
  EXPECT_EQ(Rows("items"), "1");

  // Written: numbered by the engine, seen by everyone.
  uint32_t autoinc = 0;
  ASSERT_EQ(NdsAppendRecord(theirs), 0u);
  EXPECT_EQ(RecNo(theirs), 2u);
  ASSERT_EQ(NdsGetLastAutoinc(theirs, &autoinc), 0u);
  EXPECT_EQ(autoinc, 0u);
  EXPECT_EQ(Text(theirs, "id"), "");
  ASSERT_EQ(NdsSetField(theirs, "name", "second", 6), 0u);
  ASSERT_EQ(NdsWriteRecord(theirs), 0u) << LastErrorText();
  ASSERT_EQ(NdsGetLastAutoinc(theirs, &autoinc), 0u);
  EXPECT_EQ(autoinc, 2u);
  EXPECT_EQ(Text(theirs, "id"), "2");
  EXPECT_EQ(Count(cursor), 2u);
  ASSERT_EQ(NdsGotoRecord(cursor, 2), 0u);
  EXPECT_EQ(Text(cursor, "name"), "second");
  NdsDisconnect(otherConnection);
}

TEST_P(PendingAppendOnStores, ConcurrentAppendsGetTheirOwnNumbersAndBothLand) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 3);
  NDSHANDLE first = OpenTable("items");
  NDSHANDLE otherConnection = store_.Connect();
  NDSHANDLE second = 0;
  ASSERT_EQ(NdsOpenTable(otherConnection, "items", 0, 0, 0, &second), 0u);
  ASSERT_EQ(NdsAppendRecord(first), 0u);
  ASSERT_EQ(NdsAppendRecord(second), 0u);
  EXPECT_EQ(RecNo(first), 4u);
  EXPECT_EQ(RecNo(second), 5u);
  ASSERT_EQ(NdsSetField(first, "name", "first", 5), 0u);
  ASSERT_EQ(NdsSetField(second, "name", "second", 6), 0u);
  ASSERT_EQ(NdsWriteRecord(second), 0u) << LastErrorText();
  ASSERT_EQ(NdsWriteRecord(first), 0u) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT rowid, name FROM items WHERE rowid > 3 ORDER BY rowid"),
            "4|first\n5|second\n");
  NdsDisconnect(otherConnection);
}

TEST_P(PendingAppendOnStores, AnSqlInsertTakingTheReservedNumberLosesNothing) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 2);
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  EXPECT_EQ(RecNo(cursor), 3u);
  ASSERT_EQ(NdsSetField(cursor, "name", "mine", 4), 0u);
  // A plain SQL insert takes new records; the reserved number moves on.
  NDSHANDLE other = store_.Connect();
  RunSqlOrFail(other, "INSERT INTO items (rowid, id, name) VALUES (3, 30, 'sql')");
  NdsDisconnect(other);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(cursor), 4u);  // moved to a free number
  EXPECT_EQ(Text(cursor, "name"), "mine");
  EXPECT_EQ(store_.Read("SELECT rowid, name FROM items ORDER BY rowid"),
            "1|name1\n2|name2\n3|sql\n4|mine\n");
}

// Inside a transaction bulk appends leave the numbering to SQLite when it
// gives the number reserved; a cursor that reserved above another's pending
// append must still get its own number, and the other keep its one.
TEST_F(PendingAppend, InsideATransactionEveryAppendGetsTheNumberItReserved) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 2);
  NDSHANDLE first = OpenTable("items");
  NDSHANDLE second = OpenTable("items");
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  auto append = [](NDSHANDLE c, const char* name) {
    ASSERT_EQ(NdsAppendRecord(c), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(c, "name", name, static_cast<uint32_t>(std::strlen(name))), 0u);
  };
  for (const char* name : {"a", "b", "c"}) {
    append(second, name);
    ASSERT_EQ(NdsWriteRecord(second), 0u) << LastErrorText();
  }
  append(first, "mine");
  append(second, "yours");
  EXPECT_EQ(RecNo(first), 6u);
  EXPECT_EQ(RecNo(second), 7u);
  ASSERT_EQ(NdsWriteRecord(second), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(second), 7u);
  ASSERT_EQ(NdsWriteRecord(first), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(first), 6u);
  ASSERT_EQ(NdsCommitTransaction(conn_), 0u) << LastErrorText();
  EXPECT_EQ(QueryDirect(StoreFile(dir_),
                        "SELECT group_concat(rowid || name, ',') FROM items WHERE rowid > 2"),
            "3a,4b,5c,6mine,7yours");
}

// Inside a transaction a write of one statement opens no savepoint of its
// own, and a reservation is not checked against the table again: a failed
// write still undoes only itself, and a number the connection's own SQL
// takes still moves the new record on.
TEST_F(PendingAppend, InsideATransactionAFailedWriteUndoesOnlyItselfAndATakenNumberMovesOn) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12) NOT NULL)");
  FillNumbered("items", 2);
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "kept", 4), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  // A failing edit and a failing append leave the earlier append alone.
  ASSERT_EQ(NdsGotoRecord(cursor, 1), 0u);
  ASSERT_EQ(NdsSetEmpty(cursor, "name"), 0u);
  ExpectError(NdsWriteRecord(cursor), NDS_E_VALUE_REQUIRED, "column \"name\"");
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  EXPECT_EQ(RecNo(cursor), 4u);
  ExpectError(NdsWriteRecord(cursor), NDS_E_VALUE_REQUIRED, "column \"name\"");
  // The connection's own SQL takes the reserved number meanwhile.
  RunSqlOrFail(conn_, "INSERT INTO items (rowid, id, name) VALUES (4, 40, 'sql')");
  ASSERT_EQ(NdsSetField(cursor, "name", "late", 4), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(cursor), 5u);
  ASSERT_EQ(NdsCommitTransaction(conn_), 0u) << LastErrorText();
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT group_concat(rowid || name, ',') FROM items"),
            "1name1,2name2,3kept,4sql,5late");
}

// Inside a transaction a cursor knows where its table ends after its own
// appends and moves to the end without reading; that knowledge must not
// survive anything that can move the end: another cursor's append, a
// rollback to a savepoint (which takes rows away or brings them back) or
// the end of the transaction.
TEST_F(PendingAppend, TheEndOfTheTableIsKnownOnlyWhileNothingCanHaveMovedIt) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 2);
  NDSHANDLE cursor = OpenTable("items");
  NDSHANDLE other = OpenTable("items");
  auto append = [](NDSHANDLE c) {
    ASSERT_EQ(NdsAppendRecord(c), 0u) << LastErrorText();
    ASSERT_EQ(NdsSetField(c, "name", "new", 3), 0u);
    ASSERT_EQ(NdsWriteRecord(c), 0u) << LastErrorText();
  };
  auto bottom = [this](NDSHANDLE c) {
    EXPECT_EQ(NdsGotoBottom(c), 0u) << LastErrorText();
    return RecNo(c);
  };
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  append(cursor);
  EXPECT_EQ(bottom(cursor), 3u);
  append(other);
  EXPECT_EQ(bottom(cursor), 4u);

  ASSERT_EQ(NdsCreateSavepoint(conn_, "s", 0), 0u) << LastErrorText();
  append(cursor);
  EXPECT_EQ(RecNo(cursor), 5u);
  ASSERT_EQ(NdsRollbackTransaction80(conn_, "s", 0), 0u) << LastErrorText();
  EXPECT_EQ(bottom(cursor), 4u);
  append(cursor);  // the number freed by the rollback is given again
  EXPECT_EQ(RecNo(cursor), 5u);

  ASSERT_EQ(NdsCreateSavepoint(conn_, "t", 0), 0u) << LastErrorText();
  ASSERT_EQ(NdsDeleteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(bottom(cursor), 4u);
  ASSERT_EQ(NdsRollbackTransaction80(conn_, "t", 0), 0u) << LastErrorText();
  ASSERT_EQ(NdsSkip(cursor, 1), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(cursor), 5u);  // back again
  ASSERT_EQ(NdsSkip(cursor, 1), 0u);
  EXPECT_TRUE(Eof(cursor));

  append(cursor);
  EXPECT_EQ(RecNo(cursor), 6u);
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u) << LastErrorText();
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  EXPECT_EQ(bottom(cursor), 2u);
  ASSERT_EQ(NdsCommitTransaction(conn_), 0u) << LastErrorText();

  // A commit ends it too: another process's row shows at the next move.
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  EXPECT_EQ(bottom(cursor), 2u);
  ASSERT_EQ(NdsCommitTransaction(conn_), 0u) << LastErrorText();
  EXPECT_EQ(ExecDirect(StoreFile(dir_), "INSERT INTO items (id, name) VALUES (3, 'outside')"), "");
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  ASSERT_EQ(NdsSkip(cursor, 1), 0u) << LastErrorText();
  EXPECT_EQ(Text(cursor, "name"), "outside");
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u) << LastErrorText();
}

// The insert fails on a record number clash; only a clash on the reserved
// number moves the record on. A key value the caller gave that clashes is
// the caller's error, reported as such, with nothing written.
TEST_F(PendingAppend, AClashingIntegerPrimaryKeyIsTheCallersError) {
  Exec("CREATE TABLE keyed (id INTEGER PRIMARY KEY, name CHAR(8))");
  Exec("INSERT INTO keyed VALUES (7, 'seven')");
  NDSHANDLE cursor = OpenTable("keyed");
  ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetField(cursor, "id", "7", 1), 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "again", 5), 0u);
  ExpectError(NdsWriteRecord(cursor), NDS_E_SQL, "UNIQUE constraint failed");
  EXPECT_EQ(Rows("keyed"), "1");
  ASSERT_EQ(NdsSetField(cursor, "id", "9", 1), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(cursor), 9u);
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT group_concat(id || name, ',') FROM keyed"),
            "7seven,9again");
}

TEST_F(PendingAppend, AStaleDeletionMarkDoesNotFollowANewRecord) {
  Exec("CREATE TABLE dbf (id INTEGER, name CHAR(8))", NDS_CDX);
  FillNumbered("dbf", 2);
  NDSHANDLE cursor = OpenTable("dbf");
  ASSERT_EQ(NdsGotoRecord(cursor, 2), 0u);
  ASSERT_EQ(NdsDeleteRecord(cursor), 0u);  // marked deleted
  // The row goes by SQL; its mark stays behind.
  NDSHANDLE other = ConnectOrFail(dir_.str());
  RunSqlOrFail(other, "DELETE FROM dbf WHERE rowid = 2");
  NdsDisconnect(other);
  ASSERT_EQ(NdsAppendRecord(cursor), 0u);
  EXPECT_EQ(RecNo(cursor), 2u);
  uint16_t deleted = 1;
  ASSERT_EQ(NdsIsRecordDeleted(cursor, &deleted), 0u);
  EXPECT_EQ(deleted, 0u);
  ASSERT_EQ(NdsSetField(cursor, "name", "new", 3), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  ASSERT_EQ(NdsIsRecordDeleted(cursor, &deleted), 0u);
  EXPECT_EQ(deleted, 0u);
  EXPECT_EQ(WalkForward(cursor), (std::vector<uint32_t>{1, 2}));
}

TEST_F(PendingAppend, AppendsSettingEverChangingFieldsAreAllWritten) {
  Exec("CREATE TABLE wide (a INTEGER, b INTEGER, c INTEGER, d INTEGER, e INTEGER, f INTEGER)");
  NDSHANDLE cursor = OpenTable("wide");
  const char* names[] = {"a", "b", "c", "d", "e", "f"};
  int64_t expected = 0;
  for (int mask = 1; mask < 64; ++mask) {
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    for (int bit = 0; bit < 6; ++bit) {
      if (!(mask & (1 << bit))) continue;
      std::string value = std::to_string(mask);
      ASSERT_EQ(NdsSetField(cursor, names[bit], value.c_str(), static_cast<uint32_t>(value.size())),
                0u);
      expected += mask;
    }
    ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  }
  EXPECT_EQ(QueryDirect(StoreFile(dir_),
                        "SELECT count(*) || '|' || (total(a) + total(b) + total(c) + total(d) + "
                        "total(e) + total(f)) FROM wide"),
            "63|" + std::to_string(expected) + ".0");
}

// A second process that, at each byte on `commands`, appends to `items`,
// reports the number its new record got on `answers` and cancels it.
pid_t StartProber(const std::string& path, int* commands, int* answers) {
  return StartChild(
      [&path](int in, int out) {
        NDSHANDLE connection = 0, cursor = 0;
        if (NdsConnect(path.c_str(), &connection) != 0 ||
            NdsOpenTable(connection, "items", 0, 0, 0, &cursor) != 0)
          _exit(2);
        char command;
        while (read(in, &command, 1) == 1) {
          uint32_t recno = 0;
          if (NdsAppendRecord(cursor) != 0 ||
              NdsGetRecordNum(cursor, NDS_IGNOREFILTERS, &recno) != 0 ||
              NdsCancelUpdate(cursor) != 0)
            recno = 0;
          if (write(out, &recno, sizeof recno) != sizeof recno) _exit(2);
        }
      },
      commands, answers);
}

uint32_t Probe(int commands, int answers) {
  uint32_t recno = 0;
  if (write(commands, "a", 1) != 1 || read(answers, &recno, sizeof recno) != sizeof recno) return 0;
  return recno;
}

TEST_F(PendingAppend, ATransactionKeepsItsNewNumbersFromOtherProcessesUntilItEnds) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 2);
  int commands = -1, answers = -1;
  pid_t prober = StartProber(dir_.str(), &commands, &answers);
  ASSERT_GT(prober, 0);
  NDSHANDLE cursor = OpenTable("items");
  auto append = [&](bool write) {
    ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
    if (write) {
      ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
    }
  };

  // Written but not committed, and the next numbers of the transaction:
  // the other process passes them by, so that its record cannot clash
  // with them once this transaction commits.
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u) << LastErrorText();
  append(true);
  append(true);
  EXPECT_EQ(RecNo(cursor), 4u);
  EXPECT_GT(Probe(commands, answers), 6u);

  // After the commit only a number still held (the pending append) stays
  // locked; the others are free again.
  append(false);
  EXPECT_EQ(RecNo(cursor), 5u);
  ASSERT_EQ(NdsCommitTransaction(conn_), 0u) << LastErrorText();
  EXPECT_EQ(Probe(commands, answers), 6u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();

  // A rollback frees them as well.
  ASSERT_EQ(NdsBeginTransaction(conn_), 0u);
  append(true);
  EXPECT_EQ(RecNo(cursor), 6u);
  EXPECT_GT(Probe(commands, answers), 7u);
  ASSERT_EQ(NdsRollbackTransaction(conn_), 0u) << LastErrorText();
  EXPECT_EQ(Probe(commands, answers), 6u);

  close(commands);
  ASSERT_EQ(waitpid(prober, nullptr, 0), prober);
  close(answers);
  EXPECT_EQ(Rows("items"), "5");
}

// A second process that appends to `items`, sets a field, reports the
// reserved record number on `answers` and then waits to be killed.
pid_t StartAppender(const std::string& path, int* answers) {
  int fromChild[2];
  if (pipe(fromChild) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fromChild[0]);
    NDSHANDLE connection = 0, cursor = 0;
    uint32_t recno = 0;
    if (NdsConnect(path.c_str(), &connection) != 0 ||
        NdsOpenTable(connection, "items", 0, 0, 0, &cursor) != 0 || NdsAppendRecord(cursor) != 0 ||
        NdsSetField(cursor, "name", "lost", 4) != 0 ||
        NdsGetRecordNum(cursor, NDS_IGNOREFILTERS, &recno) != 0)
      recno = 0;
    if (write(fromChild[1], &recno, sizeof recno) != sizeof recno) _exit(2);
    pause();
    _exit(0);
  }
  close(fromChild[1]);
  *answers = fromChild[0];
  return pid;
}

TEST_F(PendingAppend, AnAppenderKilledBeforeItsWriteLeavesNoRowAndNoLock) {
  Exec("CREATE TABLE items (id INTEGER, name CHAR(12))");
  FillNumbered("items", 2);
  // The child starts before this process touches the table's locks, so
  // that the two do not share the lock file's open description.
  int answers = -1;
  pid_t appender = StartAppender(dir_.str(), &answers);
  ASSERT_GT(appender, 0);
  uint32_t theirs = 0;
  ASSERT_EQ(read(answers, &theirs, sizeof theirs), static_cast<ssize_t>(sizeof theirs));
  EXPECT_EQ(theirs, 3u);

  // Appending beside it gets another number.
  NDSHANDLE cursor = OpenTable("items");
  ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(cursor), 4u);
  ASSERT_EQ(NdsCancelUpdate(cursor), 0u);
  EXPECT_EQ(Rows("items"), "2");

  ASSERT_EQ(kill(appender, SIGKILL), 0);
  ASSERT_EQ(waitpid(appender, nullptr, 0), appender);
  close(answers);
  EXPECT_EQ(Rows("items"), "2");
  // Its reservation died with it: the number is free again.
  ASSERT_EQ(NdsAppendRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(RecNo(cursor), 3u);
  ASSERT_EQ(NdsSetField(cursor, "name", "kept", 4), 0u);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(QueryDirect(StoreFile(dir_), "SELECT group_concat(name, ',') FROM items"),
            "name1,name2,kept");
}

}  // namespace
}  // namespace nce_test
