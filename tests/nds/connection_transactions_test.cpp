// Transactions on TNdsConnection: events, the transaction flag, engine
// refusals through failpoints, savepoints and what reaches the database.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds_engine_support.h"
#include "nds_test_support.h"

namespace nds_test {

using namespace nds;

namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;
using nce::testing::FailpointHits;
using nds_test::CountRows;
using nds_test::ExecSql;

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_.SetConnectPath(dir_.MakeDir("data"));
    auto logger = [this](const char* name) {
      return [this, name](dataset::TObject* sender) {
        EXPECT_EQ(sender, &connection_);
        log_.push_back(name);
      };
    };
    connection_.BeforeCommit = logger("BeforeCommit");
    connection_.AfterCommit = logger("AfterCommit");
    connection_.BeforeRollback = logger("BeforeRollback");
    connection_.AfterRollback = logger("AfterRollback");
    connection_.Connect();
    ExecSql(connection_.ConnectionHandle(), "CREATE TABLE t (x INTEGER)");
  }

  long Rows() { return CountRows(connection_.ConnectionHandle(), "SELECT * FROM t"); }
  void Insert(int x) {
    ExecSql(connection_.ConnectionHandle(), "INSERT INTO t VALUES (" + std::to_string(x) + ")");
  }

  nds_test::TempDir dir_;
  TNdsConnection connection_{nullptr};
  std::vector<std::string> log_;
  FailpointGuard failpoints_;
};

using Log = std::vector<std::string>;

TEST_F(TransactionTest, CommitKeepsTheWorkWithEventsAroundTheEngineCommit) {
  connection_.StartTransaction();
  EXPECT_TRUE(connection_.TransactionIsActive());
  EXPECT_TRUE(log_.empty());  // begin fires nothing
  Insert(1);
  connection_.BeforeCommit = [&](dataset::TObject*) {
    log_.push_back("BeforeCommit");
    // The engine has not committed yet: still inside the transaction.
    EXPECT_TRUE(connection_.TransactionIsActive());
  };
  connection_.CommitTransaction();
  EXPECT_EQ(log_, (Log{"BeforeCommit", "AfterCommit"}));
  EXPECT_FALSE(connection_.TransactionIsActive());
  EXPECT_EQ(Rows(), 1);
}

TEST_F(TransactionTest, RollbackUndoesTheWorkWithItsEvents) {
  connection_.StartTransaction();
  Insert(1);
  Insert(2);
  connection_.RollbackTransaction();
  EXPECT_EQ(log_, (Log{"BeforeRollback", "AfterRollback"}));
  EXPECT_FALSE(connection_.TransactionIsActive());
  EXPECT_EQ(Rows(), 0);
}

TEST_F(TransactionTest, RollbackToAnEmptySavepointIsAFullRollback) {
  connection_.StartTransaction();
  Insert(1);
  connection_.RollbackToSavepoint("");
  EXPECT_EQ(log_, (Log{"BeforeRollback", "AfterRollback"}));
  EXPECT_FALSE(connection_.TransactionIsActive());
  EXPECT_EQ(Rows(), 0);
}

TEST_F(TransactionTest, SavepointsUndoOnlyWhatFollowsThem) {
  connection_.StartTransaction();
  Insert(1);
  connection_.CreateSavepoint("sp1");
  Insert(2);
  connection_.RollbackToSavepoint("sp1");
  EXPECT_TRUE(log_.empty());  // no events for a partial rollback
  EXPECT_TRUE(connection_.TransactionIsActive());
  connection_.CommitTransaction();
  EXPECT_EQ(Rows(), 1);
}

TEST_F(TransactionTest, RefusedSavepointsRaiseDatabaseErrors) {
  connection_.StartTransaction();
  try {
    connection_.RollbackToSavepoint("never_created");
    FAIL() << "rollback to an unknown savepoint was accepted";
  } catch (const ENDSDatabaseError& e) {
    EXPECT_NE(e.EngineErrorCode(), 0u);
    EXPECT_FALSE(e.Message().empty());
  }
  ArmFailpoint("NdsCreateSavepoint", 5123, "no savepoints today");
  try {
    connection_.CreateSavepoint("sp");
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.EngineErrorCode(), 5123u);
    EXPECT_EQ(e.Message(), "no savepoints today");
  }
  EXPECT_TRUE(connection_.TransactionIsActive());
}

TEST_F(TransactionTest, RefusedBeginLeavesNoTransaction) {
  ArmFailpoint("NdsBeginTransaction", NDS_E_TRANSACTION_OPEN, "begin refused");
  try {
    connection_.StartTransaction();
    FAIL();
  } catch (const NdsError& e) {
    EXPECT_EQ(e.Message(), "begin refused");
  }
  EXPECT_FALSE(connection_.TransactionIsActive());
}

TEST_F(TransactionTest, RefusedCommitFiresOnlyBeforeCommit) {
  connection_.StartTransaction();
  Insert(1);
  ArmFailpoint("NdsCommitTransaction", NDS_E_BUSY, "commit refused");
  try {
    connection_.CommitTransaction();
    FAIL();
  } catch (const NdsError& e) {
    EXPECT_EQ(e.Message(), "commit refused");
  }
  EXPECT_EQ(log_, (Log{"BeforeCommit"}));
  EXPECT_TRUE(connection_.TransactionIsActive());
  // The repair run's answer to a failed commit: roll back.
  log_.clear();
  connection_.RollbackTransaction();
  EXPECT_EQ(log_, (Log{"BeforeRollback", "AfterRollback"}));
  EXPECT_EQ(Rows(), 0);
}

TEST_F(TransactionTest, RefusedRollbackFiresOnlyBeforeRollback) {
  connection_.StartTransaction();
  ArmFailpoint("NdsRollbackTransaction", NDS_E_GENERAL, "rollback refused");
  try {
    connection_.RollbackTransaction();
    FAIL();
  } catch (const NdsError& e) {
    EXPECT_EQ(e.Message(), "rollback refused");
  }
  EXPECT_EQ(log_, (Log{"BeforeRollback"}));
  EXPECT_TRUE(connection_.TransactionIsActive());
}

TEST_F(TransactionTest, RollbackWithoutATransactionStillAsksTheEngine) {
  // The flag is not consulted: the engine answers, here with a refusal.
  EXPECT_THROW(connection_.RollbackTransaction(), NdsError);
  EXPECT_EQ(log_, (Log{"BeforeRollback"}));
  EXPECT_THROW(connection_.CommitTransaction(), NdsError);
}

TEST_F(TransactionTest, EveryOperationRefusesOnAClosedConnection) {
  connection_.Disconnect();
  ArmFailpoint("NdsBeginTransaction", NDS_E_GENERAL, "must not be called");
  const std::vector<std::function<void()>> operations = {
      [&] { connection_.StartTransaction(); },        [&] { connection_.CommitTransaction(); },
      [&] { connection_.RollbackTransaction(); },     [&] { connection_.RollbackToSavepoint(""); },
      [&] { connection_.RollbackToSavepoint("sp"); }, [&] { connection_.CreateSavepoint("sp"); },
      [&] { connection_.TransactionIsActive(); },
  };
  for (const auto& operation : operations) {
    try {
      operation();
      ADD_FAILURE() << "accepted on a closed connection";
    } catch (const NdsConnectionError& e) {
      EXPECT_EQ(e.Message(), "No connection to Nimbus server.");
    }
  }
  EXPECT_TRUE(log_.empty());
  EXPECT_FALSE(connection_.IsConnected());  // none of them connects
  EXPECT_EQ(FailpointHits("NdsBeginTransaction"), 0);
}

TEST_F(TransactionTest, ReconnectingStartsWithoutATransaction) {
  connection_.StartTransaction();
  Insert(1);
  connection_.Disconnect();  // the engine ends the transaction with the connection
  connection_.Connect();
  EXPECT_FALSE(connection_.TransactionIsActive());
  EXPECT_EQ(Rows(), 0);
}

}  // namespace
}  // namespace nds_test
