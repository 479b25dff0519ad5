// How a dataset finds its database: connections by name (four passes),
// aliases of nds.ini, paths, and the table type rules that go with them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "dataset/component.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/nds_test_support.h"

namespace nds_test {
namespace {

using nds_test::ScopedCurrentDirectory;
using nds_test::TempDir;

constexpr const char kTypeMismatch[] =
    "The table type must remain identical to the table type associated with the alias.";

using nds_test::MessageOf;

// nds.ini in a temporary current directory, with aliases of a database
// directory: PLAIN (no type), CDXDB (";C"), NTXDB (";N"), NDTDB (";a").
class DatabaseBinding : public ::testing::Test {
 protected:
  DatabaseBinding() : dbDir_(temp_.MakeDir("data")), cwd_(temp_.str()) {
    temp_.Write("nds.ini", "[Databases]\nPLAIN=" + dbDir_ + "\nCDXDB=" + dbDir_ +
                               ";C\nNTXDB=" + dbDir_ + ";N\nNDTDB=" + dbDir_ + ";a\n");
    form_ = std::make_unique<dataset::TComponent>(nullptr);
    form_->SetName("Form1");
  }

  nds::TNdsConnection* NewConnection(dataset::TComponent* owner, const std::string& name) {
    auto* c = new nds::TNdsConnection(owner);
    c->SetName(name);
    if (owner == nullptr) unowned_.emplace_back(c);
    return c;
  }

  TempDir temp_;
  std::string dbDir_;
  ScopedCurrentDirectory cwd_;
  std::unique_ptr<dataset::TComponent> form_;
  std::vector<std::unique_ptr<nds::TNdsConnection>> unowned_;
};

TEST_F(DatabaseBinding, NameOfAConnectionOnTheSameOwnerBindsIt) {
  nds::TNdsConnection* conn = NewConnection(form_.get(), "Conn1");
  conn->SetConnectPath(dbDir_);
  nds::TNdsQuery& query = *new nds::TNdsQuery(form_.get());  // owned by the form
  query.SetDatabaseName("CONN1");
  EXPECT_EQ(query.NdsConnection(), conn);
  EXPECT_EQ(query.DatabaseName(), "CONN1");
  EXPECT_EQ(conn->RegisteredDataSetCount(), 1);
  EXPECT_EQ(query.ResolveDatabasePath(), dbDir_);
}

TEST_F(DatabaseBinding, TableTypeFollowsTheBoundConnectionsAlias) {
  nds::TNdsConnection* conn = NewConnection(form_.get(), "Conn1");
  conn->SetAliasName("CDXDB");
  nds::TNdsQuery& query = *new nds::TNdsQuery(form_.get());  // owned by the form
  query.SetDatabaseName("Conn1");
  EXPECT_EQ(query.SourceTableType(), nds::ttNdsCDX);
  EXPECT_EQ(query.TableTypeCode(), 2);
  // Bound without a DatabaseName, the connection's alias type refuses
  // other types.
  nds::TNdsQuery& bound = *new nds::TNdsQuery(form_.get());
  bound.SetNdsConnection(conn);
  EXPECT_EQ(bound.SourceTableType(), nds::ttNdsCDX);
  EXPECT_EQ(MessageOf([&] { bound.SetSourceTableType(nds::ttNdsNDT); }),
            std::string(kTypeMismatch));

  nds::TNdsConnection* ntx = NewConnection(form_.get(), "Conn2");
  ntx->SetAliasName("NTXDB");
  nds::TNdsQuery& other = *new nds::TNdsQuery(form_.get());
  // A query refuses NTX unless its connection is a data dictionary.
  EXPECT_EQ(MessageOf([&] { other.SetDatabaseName("Conn2"); }),
            "The TNdsQuery component does not support the NTX table type");
}

TEST_F(DatabaseBinding, OwnerDotNameBindsWhenNoConnectionHasThatWholeName) {
  nds::TNdsConnection* conn = NewConnection(form_.get(), "Conn1");
  nds::TNdsQuery query(nullptr);
  query.SetDatabaseName("form1.CONN1");
  EXPECT_EQ(query.NdsConnection(), conn);
}

TEST_F(DatabaseBinding, ConnectionOfTheCurrentThreadComesBeforeOneOfTheOwner) {
  dataset::TComponent otherOwner(nullptr);
  nds::TNdsConnection* foreign = nullptr;
  std::thread([&] { foreign = new nds::TNdsConnection(form_.get()); }).join();
  foreign->SetName("Shared");
  nds::TNdsConnection* local = NewConnection(&otherOwner, "Shared");
  nds::TNdsQuery& query = *new nds::TNdsQuery(form_.get());  // owned by the form
  query.SetDatabaseName("Shared");
  EXPECT_EQ(query.NdsConnection(), local);
  query.SetDatabaseName("");
  query.SetNdsConnection(nullptr);
}

TEST_F(DatabaseBinding, AliasSetsThePathAndTheTableType) {
  nds::TNdsQuery query(nullptr);
  query.SetDatabaseName("cdxdb");
  EXPECT_EQ(query.NdsConnection(), nullptr);
  EXPECT_EQ(query.AliasPath(), dbDir_);
  EXPECT_EQ(query.SourceTableType(), nds::ttNdsCDX);
  EXPECT_EQ(query.TableTypeCode(), 2);
  EXPECT_EQ(query.ResolveDatabasePath(), dbDir_);

  nds::TNdsQuery plain(nullptr);
  plain.SetDatabaseName("PLAIN");
  EXPECT_EQ(plain.SourceTableType(), nds::ttNdsNDT);
  // An alias without a type counts as NDT.
  EXPECT_EQ(MessageOf([&] { plain.SetSourceTableType(nds::ttNdsCDX); }),
            std::string(kTypeMismatch));
  EXPECT_EQ(plain.SourceTableType(), nds::ttNdsNDT);
}

TEST_F(DatabaseBinding, PathsLoseOneTrailingSeparatorOnly) {
  nds::TNdsQuery query(nullptr);
  query.SetDatabaseName("C:\\DATA\\");
  EXPECT_EQ(query.ResolveDatabasePath(), "C:\\DATA");
  query.SetDatabaseName("\\");
  EXPECT_EQ(query.ResolveDatabasePath(), "\\");
  query.SetDatabaseName("/srv/db/");
  EXPECT_EQ(query.ResolveDatabasePath(), "/srv/db");
  // A path is never looked up as an alias: any table type is accepted.
  query.SetSourceTableType(nds::ttNdsCDX);
  EXPECT_EQ(query.SourceTableType(), nds::ttNdsCDX);
}

TEST_F(DatabaseBinding, UnknownNameIsUsedAsThePath) {
  nds::TNdsQuery query(nullptr);
  query.SetDatabaseName("NoSuchThing");
  EXPECT_EQ(query.AliasPath(), "");
  EXPECT_EQ(query.ResolveDatabasePath(), "NoSuchThing");
}

TEST_F(DatabaseBinding, NdsConnectionSetterMovesTheRegistration) {
  nds::TNdsConnection* a = NewConnection(nullptr, "A");
  nds::TNdsConnection* b = NewConnection(nullptr, "B");
  b->SetConnectPath(dbDir_ + "/app.ndd");
  nds::TNdsQuery query(nullptr);
  query.SetNdsConnection(a);
  EXPECT_EQ(a->RegisteredDataSetCount(), 1);
  query.SetNdsConnection(b);
  EXPECT_EQ(a->RegisteredDataSetCount(), 0);
  EXPECT_EQ(b->RegisteredDataSetCount(), 1);
  // An empty DatabaseName names the bound connection: its directory.
  EXPECT_EQ(query.ResolveDatabasePath(), dbDir_);
  // NTX is accepted on a data dictionary connection.
  query.SetSourceTableType(nds::ttNdsNTX);
  EXPECT_EQ(query.TableTypeCode(), 1);
  query.SetNdsConnection(nullptr);
  EXPECT_EQ(b->RegisteredDataSetCount(), 0);
}

TEST_F(DatabaseBinding, DestroyedDataSetLeavesItsConnection) {
  nds::TNdsConnection* conn = NewConnection(nullptr, "C");
  {
    nds::TNdsQuery query(nullptr);
    query.SetNdsConnection(conn);
    EXPECT_EQ(conn->RegisteredDataSetCount(), 1);
  }
  EXPECT_EQ(conn->RegisteredDataSetCount(), 0);
}

TEST(DataSetRegistry, HoldsEveryDataSetInExistence) {
  auto count = [] {
    size_t n = 0;
    nds::WithDataSetRegistry([&](const std::vector<nds::TNdsDataSet*>& all) { n = all.size(); });
    return n;
  };
  const size_t before = count();
  {
    nds::TNdsQuery a(nullptr), b(nullptr);
    EXPECT_TRUE(nds::DataSetRegistryExists());
    EXPECT_EQ(count(), before + 2);
  }
  EXPECT_EQ(count(), before);
}

}  // namespace
}  // namespace nds_test
