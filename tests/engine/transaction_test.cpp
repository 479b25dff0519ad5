// Transactions and savepoints on a connection, and what a second
// connection sees of them; the cases that hold on either store run on a
// SQLite store and on a database of the test PostgreSQL server.
#include "engine/testing/nce_failpoints.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/test_store.h"

namespace nce_test {
namespace {

class Transactions : public ::testing::Test {
 protected:
  explicit Transactions(StoreKind kind = StoreKind::kSqlite) : store_(kind) {}
  void SetUp() override {
    connection_ = store_.Connect();
    RunSqlOrFail(connection_, "CREATE TABLE t(k INTEGER); INSERT INTO t VALUES(1);");
  }
  void TearDown() override { NdsDisconnect(connection_); }
  // Reads the SQLite store file itself, for what only SQLite can tell.
  std::string Direct(const std::string& sql) { return QueryDirect(store_.StoreFile(), sql); }

  TestStore store_;
  NDSHANDLE connection_ = 0;
};

class TransactionsOnBothStores : public Transactions,
                                 public ::testing::WithParamInterface<StoreKind> {
 protected:
  TransactionsOnBothStores() : Transactions(GetParam()) {}
};

INSTANTIATE_TEST_SUITE_P(Stores, TransactionsOnBothStores, BothStores(), StoreKindName);

TEST_P(TransactionsOnBothStores, CommitKeepsAndRollbackUndoes) {
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS) << LastErrorText();
  uint16_t open = 0;
  ASSERT_EQ(NdsInTransaction(connection_, &open), NDS_SUCCESS);
  EXPECT_EQ(open, 1);
  EXPECT_EQ(NdsBeginTransaction(connection_), NDS_E_TRANSACTION_OPEN);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(2)");
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT count(*) FROM t"), "2\n");

  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "DELETE FROM t; CREATE TABLE u(x CHAR(2));");
  ASSERT_EQ(NdsRollbackTransaction(connection_), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM t"), "2\n");
  // The catalog rolls back with the table it describes.
  EXPECT_EQ(store_.Read("SELECT count(*) FROM _nce_tables WHERE name = 'u'"), "0\n");
}

TEST_P(TransactionsOnBothStores, CommitOrRollbackWithoutTransactionIsAnError) {
  EXPECT_EQ(NdsCommitTransaction(connection_), NDS_E_NO_TRANSACTION);
  EXPECT_NE(LastErrorText().find("No transaction is open"), std::string::npos);
  EXPECT_EQ(NdsRollbackTransaction(connection_), NDS_E_NO_TRANSACTION);
  EXPECT_EQ(NdsCreateSavepoint(connection_, "s", 0), NDS_E_NO_TRANSACTION);
  EXPECT_EQ(NdsBeginTransaction(0), NDS_E_INVALID_HANDLE);
}

TEST_P(TransactionsOnBothStores, SavepointsRollBackPartOfTheWork) {
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(2)");
  ASSERT_EQ(NdsCreateSavepoint(connection_, "before three", 0), NDS_SUCCESS) << LastErrorText();
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(3)");
  ASSERT_EQ(NdsRollbackTransaction80(connection_, "before three", 0), NDS_SUCCESS)
      << LastErrorText();
  EXPECT_EQ(NdsRollbackTransaction80(connection_, "never made", 0), NDS_E_SQL);
  EXPECT_NE(LastErrorText().find("no such savepoint"), std::string::npos) << LastErrorText();
  EXPECT_EQ(NdsCreateSavepoint(connection_, "", 0), NDS_E_INVALID_ARGUMENT);
  EXPECT_EQ(NdsCreateSavepoint(connection_, "s", 1), NDS_E_INVALID_OPTION);
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT k FROM t ORDER BY k"), "1\n2\n");
  // An empty savepoint name rolls back the whole transaction.
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "DELETE FROM t");
  ASSERT_EQ(NdsRollbackTransaction80(connection_, "", 0), NDS_SUCCESS);
  EXPECT_EQ(NdsRollbackTransaction(connection_), NDS_E_NO_TRANSACTION);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM t"), "2\n");
}

TEST_P(TransactionsOnBothStores, SecondConnectionSeesNothingUntilCommit) {
  NDSHANDLE other = store_.Connect();
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(2); DELETE FROM t WHERE k = 1;");
  NDSHANDLE statement = 0, cursor = 0;
  ASSERT_EQ(NdsCreateSQLStatement(other, &statement), NDS_SUCCESS);
  uint32_t count = 0;
  ASSERT_EQ(NdsExecuteSQLDirect(statement, "select k from t where k = 1", &cursor), NDS_SUCCESS)
      << LastErrorText();
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_IGNOREFILTERS, &count), NDS_SUCCESS);
  EXPECT_EQ(count, 1u);
  NdsCloseTable(cursor);
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS);
  ASSERT_EQ(NdsExecuteSQLDirect(statement, "select k from t", &cursor), NDS_SUCCESS);
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_IGNOREFILTERS, &count), NDS_SUCCESS);
  EXPECT_EQ(count, 1u);
  // The cursor is a copy: later changes do not reach it.
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(5)");
  ASSERT_EQ(NdsGetRecordCount(cursor, NDS_IGNOREFILTERS, &count), NDS_SUCCESS);
  EXPECT_EQ(count, 1u);
  NdsDisconnect(other);
}

// SQLite only: its writer locks the whole store, a server's writers of
// different rows do not meet.
TEST_F(Transactions, BlockedWriterGivesUpAfterTheBusyTimeout) {
  int saved = nce::testing::BusyTimeout();
  nce::testing::SetBusyTimeout(100);
  NDSHANDLE other = store_.Connect();
  nce::testing::SetBusyTimeout(saved);
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(2)");
  EXPECT_EQ(NdsBeginTransaction(other), NDS_E_BUSY);
  std::string text = LastErrorText();
  EXPECT_NE(text.find("locked by another connection"), std::string::npos) << text;
  EXPECT_NE(text.find("100 ms"), std::string::npos) << text;
  // A writer without an explicit transaction is refused the same way, and
  // changes nothing.
  EXPECT_EQ(RunSql(other, "INSERT INTO t VALUES(9)"), NDS_E_BUSY);
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS);
  EXPECT_EQ(Direct("SELECT group_concat(k) FROM t"), "1,2");
  // Once the lock is gone the other connection writes.
  ASSERT_EQ(RunSql(other, "INSERT INTO t VALUES(3)"), NDS_SUCCESS) << LastErrorText();
  NdsDisconnect(other);
}

TEST_P(TransactionsOnBothStores, DisconnectRollsBackAnOpenTransaction) {
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "DELETE FROM t");
  ASSERT_EQ(NdsDisconnect(connection_), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT count(*) FROM t"), "1\n");
  connection_ = store_.Connect();
}

// A script that fails inside a transaction leaves the transaction exactly as
// it was, whether the script was its first change (undone by beginning the
// transaction again), came after a savepoint, or came after other changes
// made by SQL or by a cursor.
TEST_P(TransactionsOnBothStores, FailingScriptLeavesTheTransactionAsItWas) {
  const std::string failing = "INSERT INTO t VALUES(7); INSERT INTO t VALUES('not a number')";
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  EXPECT_EQ(RunSql(connection_, failing), NDS_E_VALUE_INVALID);
  uint16_t open = 0;
  ASSERT_EQ(NdsInTransaction(connection_, &open), NDS_SUCCESS);
  EXPECT_EQ(open, 1);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(2)");
  EXPECT_EQ(RunSql(connection_, failing), NDS_E_VALUE_INVALID);
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT k FROM t ORDER BY rowid"), "1\n2\n");

  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  ASSERT_EQ(NdsCreateSavepoint(connection_, "kept", 0), NDS_SUCCESS);
  EXPECT_EQ(RunSql(connection_, failing), NDS_E_VALUE_INVALID);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(3)");
  ASSERT_EQ(NdsRollbackTransaction80(connection_, "kept", 0), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT k FROM t ORDER BY rowid"), "1\n2\n");

  // A cursor's delete is a change of the transaction too. A server serves
  // no table cursors yet.
  if (store_.OnServer()) return;
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(connection_, "t", 0, 0, 0, &cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsGotoTop(cursor), NDS_SUCCESS);
  ASSERT_EQ(NdsDeleteRecord(cursor), NDS_SUCCESS) << LastErrorText();
  ASSERT_EQ(NdsCloseTable(cursor), NDS_SUCCESS);
  EXPECT_EQ(RunSql(connection_, failing), NDS_E_VALUE_INVALID);
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS);
  EXPECT_EQ(store_.Read("SELECT k FROM t ORDER BY rowid"), "2\n");
}

// A SELECT that fails as it runs changes nothing of the transaction around
// it. The failure is each store's own: SQLite reads 1 / 0 as NULL, and a
// server's numeric k has no overflow.
TEST_P(TransactionsOnBothStores, FailingSelectLeavesTheTransactionAsItWas) {
  const std::string failing = store_.OnServer()
                                  ? "SELECT 1 / (k - 1) FROM t"
                                  : "SELECT abs(k - 9223372036854775807 - 2) FROM t WHERE k = 1";
  ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(2)");
  EXPECT_NE(RunSql(connection_, failing), NDS_SUCCESS);
  RunSqlOrFail(connection_, "INSERT INTO t VALUES(3)");
  ASSERT_EQ(NdsCommitTransaction(connection_), NDS_SUCCESS) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT k FROM t ORDER BY k"), "1\n2\n3\n");
}

TEST_F(Transactions, FailpointRefusesBegin) {
  nce::testing::FailpointGuard guard;
  nce::testing::ArmFailpoint("NdsBeginTransaction", 5000, "refused by test");
  EXPECT_EQ(NdsBeginTransaction(connection_), 5000u);
  EXPECT_EQ(LastErrorText(), "refused by test");
  uint16_t open = 1;
  ASSERT_EQ(NdsInTransaction(connection_, &open), NDS_SUCCESS);
  EXPECT_EQ(open, 0);
  EXPECT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
  EXPECT_EQ(NdsRollbackTransaction(connection_), NDS_SUCCESS);
}

// A write of the WAL that fails, as on a full disk, in the middle of a
// transaction or at its commit: the engine reports it, the store keeps its
// last commit whole, and the next transaction works.
TEST_F(Transactions, AFailedWalWriteFailsTheWorkAndKeepsTheLastCommit) {
  nce::testing::FailpointGuard guard;
  const std::string fill =
      "INSERT INTO t SELECT x FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
      "FROM c WHERE x < 400000) SELECT x FROM c)";  // more than the page cache holds
  for (bool at_commit : {false, true}) {
    SCOPED_TRACE(at_commit ? "at the commit" : "in the transaction");
    ASSERT_EQ(NdsBeginTransaction(connection_), NDS_SUCCESS);
    if (!at_commit) nce::testing::ArmFailpoint("StoreWalWriteOut", 1, "", 1);
    NDSRESULT insert = RunSql(connection_, fill);
    if (at_commit) {
      ASSERT_EQ(insert, NDS_SUCCESS) << LastErrorText();
      nce::testing::ArmFailpoint("StoreWalWriteOut", 1, "", 1);
      EXPECT_NE(NdsCommitTransaction(connection_), NDS_SUCCESS);
    } else {
      EXPECT_NE(insert, NDS_SUCCESS);
    }
    EXPECT_EQ(nce::testing::FailpointHits("StoreWalWriteOut"), 1);
    EXPECT_NE(LastErrorText().find("full"), std::string::npos) << LastErrorText();
    NdsRollbackTransaction(connection_);  // if the failure left it open
    EXPECT_EQ(Direct("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Direct("SELECT count(*) || ' ' || sum(k) FROM t"), "1 1");
  }
  nce::testing::DisarmAllFailpoints();
  RunSqlOrFail(connection_, fill);
  EXPECT_EQ(Direct("SELECT count(*) FROM t"), "400001");
}

}  // namespace
}  // namespace nce_test
