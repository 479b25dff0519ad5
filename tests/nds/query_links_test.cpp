// A query among other components: a detail query following its master, a
// dataset opened on a cursor obtained elsewhere, and a rollback of the
// connection cancelling and refreshing the datasets registered with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/strings.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;

using nds_test::SetText;

std::vector<std::string> Column(nds::TNdsQuery& query, const std::string& field) {
  std::vector<std::string> values;
  for (query.First(); !query.Eof(); query.Next())
    values.push_back(query.FieldByName(field)->AsString());
  return values;
}

class QueryLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table m (id integer, name char(8))");
    db_.Exec("insert into m values (1, 'one'), (2, 'two'), (3, 'three')");
    db_.Exec("create table d (mid integer, item char(8))");
    db_.Exec("insert into d values (1, 'a'), (1, 'b'), (3, 'c')");
    for (nds::TNdsQuery* q : {&master_, &detail_}) q->SetNdsConnection(&db_.Connection());
    SetText(master_, "select * from m");
    SetText(detail_, "select * from d where mid = :id");
    source_.SetDataSet(&master_);
  }

  QueryDatabase db_;
  nds::TNdsQuery master_{nullptr};
  nds::TNdsQuery detail_{nullptr};
  dataset::TDataSource source_{nullptr};
};

TEST_F(QueryLinks, ADetailQueryShowsTheRecordsOfTheMastersCurrentRecord) {
  detail_.SetDataSource(&source_);
  master_.Open();
  detail_.Open();
  EXPECT_EQ(Column(detail_, "item"), (std::vector<std::string>{"a", "b"}));
  master_.Next();
  EXPECT_TRUE(detail_.Active());
  EXPECT_TRUE(detail_.IsEmpty());
  master_.Next();
  EXPECT_EQ(Column(detail_, "item"), (std::vector<std::string>{"c"}));
  master_.First();
  EXPECT_EQ(detail_.FieldByName("item")->AsString(), "a");
}

TEST_F(QueryLinks, MasterFieldsRangeOverTheDetailsIndexAndNeedOne) {
  db_.Exec("create index d_mid on d (mid)");
  SetText(detail_, "select * from d");
  detail_.SetRequestLive(true);
  detail_.SetMasterSource(&source_);
  detail_.SetMasterFields("id");
  master_.Open();
  // Without an index order there is nothing to range over.
  EXPECT_NE(MessageOf([&] { detail_.Open(); }).find("needs an active index"), std::string::npos);
  EXPECT_FALSE(detail_.Active());
  // A master source alone (no fields) asks for no range.
  detail_.SetMasterFields("");
  detail_.Open();
  EXPECT_EQ(Column(detail_, "item").size(), 3u);
  detail_.SetIndexFieldNames("mid");
  detail_.SetMasterFields("id");
  EXPECT_EQ(Column(detail_, "item"), (std::vector<std::string>{"a", "b"}));
  master_.Next();
  EXPECT_TRUE(detail_.IsEmpty());
}

TEST_F(QueryLinks, ADataSetOpensOnACursorObtainedElsewhereAndClosesIt) {
  db_.Connection().SetIsConnected(true);
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(db_.Connection().ConnectionHandle(), "m", 0, 0, 0, &cursor), 0u);
  detail_.OpenOnHandle(cursor);
  ASSERT_TRUE(detail_.Active());
  EXPECT_EQ(Column(detail_, "name"), (std::vector<std::string>{"one", "two", "three"}));
  detail_.Close();
  std::uint16_t type = 0;
  EXPECT_NE(NdsGetHandleType(cursor, &type), 0u);  // the dataset closed it

  // A handle that is not a cursor is refused and leaves the dataset closed
  // and usable.
  EXPECT_NE(MessageOf([&] { detail_.OpenOnHandle(db_.Connection().ConnectionHandle()); }),
            "(nothing raised)");
  EXPECT_FALSE(detail_.Active());
  EXPECT_EQ(detail_.ActiveOrderHandle(), nds::kNoHandle);
  detail_.OpenOnHandle(0);  // only closes
  EXPECT_FALSE(detail_.Active());
  master_.Open();
  EXPECT_EQ(master_.RecordCount(), 3);
}

TEST_F(QueryLinks, ARollbackEndsKeyEditingThenRefreshesEveryOpenDataSet) {
  nds::TNdsConnection& connection = db_.Connection();
  connection.SetIsConnected(true);
  master_.SetRequestLive(true);
  connection.StartTransaction();
  db_.Exec("insert into m values (0, 'zero')");
  db_.Exec("delete from m where id = 1");
  master_.Open();
  ASSERT_EQ(master_.FieldByName("name")->AsString(), "two");
  detail_.Open();
  detail_.SetKey();

  std::vector<std::string> seen;
  master_.AfterRefresh = [&](dataset::TDataSet& ds) {
    seen.push_back("refresh:" + ds.FieldByName("name")->AsString());
  };
  detail_.BeforeRefresh = [&](dataset::TDataSet& ds) {
    seen.push_back(std::string("detail in set-key: ") +
                   (ds.State() == dataset::dsSetKey ? "yes" : "no"));
  };
  connection.RollbackTransaction();

  EXPECT_EQ(detail_.State(), dataset::dsBrowse);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_NE(std::find(seen.begin(), seen.end(), "detail in set-key: no"), seen.end());
  // The record added in the transaction is gone, the deleted one is back.
  EXPECT_EQ(Column(master_, "name"), (std::vector<std::string>{"one", "two", "three"}));
}

}  // namespace
}  // namespace nds_test
