// TNdsConnection and the datasets bound to it: renaming, aliases, closing,
// rollback, destruction, and the dataset details of database errors.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "nds_test_support.h"

namespace nds_test {

using namespace nds;

namespace {

// A form owning a connection and queries, as a window does.
class BoundDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = dir_.MakeDir("data");
    dir_.WriteIni("[Databases]\nVOLANTRAX=" + database_ + "\nCDXDB=" + database_ + ";C\n");
    form_ = std::make_unique<dataset::TComponent>(nullptr);
    form_->SetName("Form1");
    connection_ = new TNdsConnection(form_.get());
    connection_->SetName("Conn1");
    connection_->SetConnectPath(database_);
  }
  TNdsQuery* NewQuery(const std::string& name, dataset::TComponent* owner = nullptr) {
    auto* q = new TNdsQuery(owner ? owner : form_.get());
    q->SetName(name);
    return q;
  }

  nds_test::IniDir dir_;
  std::string database_;
  std::unique_ptr<dataset::TComponent> form_;
  TNdsConnection* connection_ = nullptr;  // owned by form_
  nce::testing::FailpointGuard failpoints_;
};

TEST_F(BoundDataSetTest, RenamingKeepsTheDataSetsThatNameTheConnection) {
  TNdsQuery* byName = NewQuery("ByName");
  byName->SetDatabaseName("conn1");
  TNdsQuery* qualified = NewQuery("Qualified");
  qualified->SetDatabaseName("FORM1.Conn1");
  auto* other = new TNdsConnection(form_.get());
  other->SetName("Other");
  TNdsQuery* boundElsewhere = NewQuery("BoundElsewhere");
  boundElsewhere->SetDatabaseName("Conn1");
  boundElsewhere->SetNdsConnection(other);
  TNdsQuery* unrelated = NewQuery("Unrelated");
  unrelated->SetDatabaseName(database_);

  connection_->SetName("Conn2");
  EXPECT_EQ(byName->DatabaseName(), "Conn2");
  EXPECT_EQ(byName->NdsConnection(), connection_);
  EXPECT_EQ(qualified->DatabaseName(), "Form1.Conn2");
  EXPECT_EQ(boundElsewhere->DatabaseName(), "Conn1");
  EXPECT_EQ(boundElsewhere->NdsConnection(), other);
  EXPECT_EQ(unrelated->DatabaseName(), database_);
}

TEST_F(BoundDataSetTest, RenamingWithoutAnOwnerWalksNothing) {
  TNdsConnection loose(nullptr);
  loose.SetName("Loose");
  TNdsQuery* q = NewQuery("Q");
  q->SetDatabaseName("Loose");
  loose.SetName("Loose2");
  EXPECT_EQ(q->DatabaseName(), "Loose");
}

TEST_F(BoundDataSetTest, AliasTableTypeReachesTheOwnedDataSets) {
  TNdsQuery* bound = NewQuery("Bound");
  bound->SetNdsConnection(connection_);
  TNdsQuery* notBound = NewQuery("NotBound");
  connection_->SetAliasName("CDXDB");
  EXPECT_EQ(bound->SourceTableType(), ttNdsCDX);
  EXPECT_EQ(notBound->SourceTableType(), ttNdsNDT);
  EXPECT_EQ(connection_->RegisteredDataSetCount(), 1);
  EXPECT_EQ(connection_->RegisteredDataSet(0), bound);
}

TEST_F(BoundDataSetTest, RollbackSkipsTheRefreshOfInactiveDataSets) {
  TNdsQuery* q = NewQuery("Q");
  q->SetNdsConnection(connection_);
  std::vector<std::string> log;
  connection_->BeforeRollback = [&](dataset::TObject*) { log.push_back("BeforeRollback"); };
  connection_->AfterRollback = [&](dataset::TObject*) { log.push_back("AfterRollback"); };
  connection_->Connect();
  connection_->StartTransaction();
  connection_->RollbackTransaction();  // an inactive dataset is cancelled, never refreshed
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeRollback", "AfterRollback"}));
  EXPECT_FALSE(q->Active());
}

TEST_F(BoundDataSetTest, ClosingReleasesTheDataSetsStatements) {
  TNdsQuery* q = NewQuery("Q");
  q->SetNdsConnection(connection_);
  q->SQL()->Add("CREATE TABLE t (x INTEGER)");
  q->ExecSQL();  // connects on demand and keeps its statement
  EXPECT_TRUE(connection_->IsConnected());
  EXPECT_NE(q->StatementHandle(), kNoHandle);
  connection_->Disconnect();
  EXPECT_EQ(q->StatementHandle(), kNoHandle);
  EXPECT_EQ(q->NdsConnection(), connection_);  // still bound
}

TEST_F(BoundDataSetTest, DestroyingTheConnectionClearsTheDataSetsReference) {
  auto* looseOwner = new dataset::TComponent(nullptr);
  std::unique_ptr<dataset::TComponent> holder(looseOwner);
  TNdsQuery* q = NewQuery("Q", looseOwner);
  q->SetNdsConnection(connection_);
  q->SQL()->Add("CREATE TABLE t (x INTEGER)");
  q->ExecSQL();
  delete connection_;  // open, with a registered dataset
  connection_ = nullptr;
  EXPECT_EQ(q->NdsConnection(), nullptr);
  EXPECT_EQ(q->StatementHandle(), kNoHandle);
  holder.reset();  // the query goes later without touching the connection
}

TEST_F(BoundDataSetTest, DatabaseErrorCarriesTheDataSetsDetails) {
  TNdsQuery* q = NewQuery("NdsQuery1");
  q->SetNdsConnection(connection_);
  NdsSetLastError(5148, "Value too large for column \"TAIL_NO\" in acftlog");
  try {
    CheckEngineCode(q, 5148);
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "NdsQuery1: Value too large for column \"TAIL_NO\" in acftlog");
    EXPECT_EQ(e.EngineErrorCode(), 5148u);
    EXPECT_EQ(e.DataSetName(), "NdsQuery1");
    EXPECT_EQ(e.DataSetOwnerName(), "Form1");
    EXPECT_EQ(e.DatabaseName(), "");
    EXPECT_EQ(e.DatabasePath(), database_);
    EXPECT_EQ(e.ColumnName(), "TAIL_NO");
  }
  // The same text under another number names no column.
  NdsSetLastError(5000, "Value too large for column \"TAIL_NO\" in acftlog");
  try {
    CheckEngineCode(q, 5000);
    FAIL();
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.ColumnName(), "");
  }
}

TEST_F(BoundDataSetTest, FailureWhileGatheringDetailsKeepsTheFirstError) {
  TNdsQuery* q = NewQuery("NdsQuery1");
  q->SetDatabaseName("LATER");  // not an alias yet: used as it is
  // Now the alias exists with a table type the query refuses (NTX): resolving
  // the database path while the error is built raises a second error.
  dir_.WriteIni("[Databases]\nLATER=" + database_ + ";N\n");
  try {
    throw ENDSDatabaseError(q, 5121, "first failure");
  } catch (const ENDSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "NdsQuery1: first failure");
    EXPECT_EQ(e.EngineErrorCode(), 5121u);
    EXPECT_EQ(e.DataSetName(), "NdsQuery1");
    EXPECT_EQ(e.DatabaseName(), "LATER");
    EXPECT_EQ(e.DatabasePath(), "");  // the lookup failed: gathered no further
  }
  EXPECT_FALSE(IsBuildingDatabaseError());
}

}  // namespace
}  // namespace nds_test
