// Index orders of a cursor dataset: the order chosen by name, by field list
// and by the data dictionary's default index, switching orders while open,
// the index definitions read from the engine and the index file list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/index_defs.h"
#include "dataset/strings.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/nds_engine_support.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;

// A dataset over one table of its connection, as a table component opens it.
class TableDataSet : public nds::TNdsDataSet {
 public:
  using TNdsDataSet::TNdsDataSet;
  std::int32_t LastAutoIncValue() override { return 0; }

 protected:
  NDSHANDLE OpenEngineCursor() override {
    NDSHANDLE cursor = 0;
    nds::CheckEngineCode(this, NdsOpenTable(NdsConnection()->ConnectionHandle(),
                                            TableName().c_str(), 0, 0, 0, &cursor));
    SetEngineTableType(NDS_NDT);
    return cursor;
  }
};

// Rows whose id order, name order and city order all differ.
void FillCrew(QueryDatabase& db) {
  db.Exec("create table crew (id integer, name char(10), city char(10))");
  db.Exec(
      "insert into crew values (1, 'Dana', 'Bern'), (2, 'Ari', 'Oslo'), (3, 'Cleo', 'Bern'), "
      "(4, 'Bo', 'Rome'), (5, 'Eli', 'Oslo')");
  db.Exec("create index by_name on crew (name)");
  db.Exec("create index by_city_name on crew (city, name)");
  db.Exec("create index by_id_desc on crew (id desc)");
  db.Exec("create index by_city_desc on crew (city desc)");
}

std::vector<int> Ids(nds::TNdsDataSet& set) {
  std::vector<int> ids;
  for (set.First(); !set.Eof(); set.Next()) ids.push_back(set.FieldByName("id")->AsInteger());
  return ids;
}

class IndexOrders : public ::testing::Test {
 protected:
  void SetUp() override {
    FillCrew(db_);
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
    dataset::TStringList lines;
    lines.SetText("select * from crew");
    query_.SetSQL(&lines);
    query_.SetRequestLive(true);
  }

  QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
};

TEST_F(IndexOrders, OrderChosenByNameOrFieldListDecidesTheWalk) {
  query_.SetIndexName("BY_NAME");  // names compare without regard to case
  query_.Open();
  EXPECT_EQ(Ids(query_), (std::vector<int>{2, 4, 3, 1, 5}));
  EXPECT_EQ(query_.ActiveIndexFields(), "NAME");
  // Leading spaces and a field list naming only the first segment of a
  // two-field index select it; the descending index on city never is.
  query_.SetIndexFieldNames("  city ");
  EXPECT_EQ(query_.IndexFieldNames(), "city");
  EXPECT_TRUE(query_.IndexName().empty());
  EXPECT_EQ(Ids(query_), (std::vector<int>{3, 1, 2, 5, 4}));
  EXPECT_EQ(query_.ActiveIndexSegmentCount(), 2);
  EXPECT_EQ(query_.SegmentField(1), query_.FieldByName("name"));
  // Natural order again.
  query_.SetIndexFieldNames("");
  EXPECT_EQ(query_.ActiveIndexSegmentCount(), 0);
  EXPECT_EQ(Ids(query_), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(MessageOf([&] { query_.SegmentFieldNumber(0); }),
            "Q: Internal Error: GetSegmentFieldNum : No Active Index");
}

TEST_F(IndexOrders, RefusedOrderKeepsThePreviousOneInForce) {
  query_.SetIndexName("by_name");
  query_.Open();
  EXPECT_EQ(MessageOf([&] { query_.SetIndexFieldNames("id"); }),
            "Q: Not a valid index field name:id");  // only a descending index has id
  EXPECT_EQ(query_.IndexName(), "by_name");
  EXPECT_TRUE(query_.IndexFieldNames().empty());
  EXPECT_THROW(query_.SetIndexName("no_such_order"), nds::ENDSDatabaseError);
  EXPECT_EQ(query_.IndexName(), "by_name");
  EXPECT_EQ(Ids(query_), (std::vector<int>{2, 4, 3, 1, 5}));
  // A closed dataset with an unknown order refuses to open and stays closed.
  query_.Close();
  query_.SetIndexFieldNames("id");
  EXPECT_THROW(query_.Open(), nds::ENDSDatabaseError);
  EXPECT_FALSE(query_.Active());
}

TEST_F(IndexOrders, AStaticResultHasNoIndexOrders) {
  query_.SetRequestLive(false);
  query_.Open();
  EXPECT_EQ(MessageOf([&] { query_.SetIndexFieldNames("name"); }),
            "Q: Not a valid index field name:name");
  EXPECT_EQ(query_.IndexDefs().Count(), 0);
  EXPECT_EQ(Ids(query_), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(IndexOrders, SwitchingOrdersWhileOpenKeepsTheCurrentRecord) {
  query_.Open();
  query_.First();
  query_.Next();
  query_.Next();  // id 3, Cleo
  query_.SetIndexName("by_name");
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 3);
  query_.Next();
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 1);  // Dana follows Cleo
  query_.SetIndexName("by_id_desc");
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 1);
  query_.Next();
  EXPECT_TRUE(query_.Eof());
  // Bookmarks taken under the new order lead back to their record.
  query_.First();
  const dataset::TBookmark mark = query_.GetBookmark();
  query_.Last();
  query_.GotoBookmark(mark);
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 5);
}

TEST_F(IndexOrders, KeyEditingAdmitsOnlyTheFieldsOfTheActiveIndex) {
  query_.SetIndexName("by_city_name");
  query_.Open();
  query_.SetKey();
  EXPECT_TRUE(query_.FieldByName("city")->CanModify());
  EXPECT_TRUE(query_.FieldByName("name")->CanModify());
  EXPECT_FALSE(query_.FieldByName("id")->CanModify());
  query_.Cancel();
  // In natural order there are no segments to check against.
  query_.SetIndexName("");
  query_.SetKey();
  EXPECT_TRUE(query_.FieldByName("id")->CanModify());
  query_.Cancel();
}

TEST_F(IndexOrders, IndexDefsDescribeTheEngineIndexes) {
  query_.IndexDefs().Update();  // closed: read through a cursor of its own
  ASSERT_EQ(query_.IndexDefs().Count(), 4);
  const dataset::TIndexDef* cityName = query_.IndexDefs().Find("by_city_name");
  EXPECT_EQ(cityName->Fields(), "CITY;NAME");
  EXPECT_FALSE(cityName->Options().Contains(dataset::ixDescending));
  EXPECT_TRUE(query_.IndexDefs().Find("by_id_desc")->Options().Contains(dataset::ixDescending));
  EXPECT_FALSE(query_.Active());
}

TEST_F(IndexOrders, IndexFilesAreSortedKeptOnceAndOpenedWithTheDataSet) {
  db_.Exec("create index by_city on crew (city) in file extra.ndi");
  nds::TNdsIndexFiles& files = *query_.IndexFiles();
  files.Add("extra.ndi");
  files.Add("another.ndi");
  files.Add("extra.ndi");
  ASSERT_EQ(files.Count(), 2);
  EXPECT_EQ(files[0], "another.ndi");
  EXPECT_EQ(MessageOf([&] { files.Insert(0, "x.ndi"); }), "Operation not allowed on sorted list");
  EXPECT_EQ(MessageOf([&] { query_.OpenIndexFile("extra.ndi"); }), "Q: Table must be Active.");
  files.Delete(0);

  query_.SetIndexName("by_city");  // an order of the listed file
  query_.Open();
  EXPECT_EQ(Ids(query_), (std::vector<int>{1, 3, 2, 5, 4}));
  // Closing the file of the active order returns to natural order.
  files.Clear();
  EXPECT_TRUE(query_.IndexName().empty());
  EXPECT_EQ(Ids(query_), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_THROW(query_.SetIndexName("by_city"), nds::ENDSDatabaseError);
  // Added while open, the file opens at once.
  files.Add("extra.ndi");
  query_.SetIndexName("by_city");
  EXPECT_EQ(Ids(query_).front(), 1);
  EXPECT_THROW(files.Add("missing.ndi"), nds::ENDSDatabaseError);
  EXPECT_EQ(files.Count(), 1);
}

TEST(IndexFilesOwner, IsRequired) {
  EXPECT_EQ(MessageOf([] { nds::TNdsIndexFiles files(nullptr); }),
            "TNdsIndexFiles instances require a non-nil owner");
}

// A data dictionary whose crew table names by_name as its default index.
class DictionaryDefaultIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string dictionary = db_.Temp().Write("Crew.ndd", "");
    connection_.SetName("Dict");
    connection_.SetLoginPrompt(false);
    connection_.SetConnectPath(dictionary);
    connection_.Connect();
    const NDSHANDLE handle = connection_.ConnectionHandle();
    nds_test::ExecSql(handle, "create table crew (id integer, name char(10))");
    nds_test::ExecSql(handle, "insert into crew values (1, 'Dana'), (2, 'Ari'), (3, 'Cleo')");
    nds_test::ExecSql(handle, "create index by_name on crew (name)");
    nds_test::ExecSql(handle, "alter table crew set default index by_name");
    table_.SetName("T");
    table_.SetNdsConnection(&connection_);
  }

  QueryDatabase db_;
  nds::TNdsConnection connection_{nullptr};
  TableDataSet table_{nullptr};
};

TEST_F(DictionaryDefaultIndex, NamingTheTableChoosesTheDefaultOrder) {
  table_.SetTableName("crew");
  EXPECT_EQ(table_.IndexName(), "NDS_DEFAULT");
  EXPECT_EQ(table_.DefaultIndexName(), "by_name");
  table_.Open();
  EXPECT_EQ(Ids(table_), (std::vector<int>{2, 3, 1}));
  table_.SetIndexName("");
  EXPECT_EQ(Ids(table_), (std::vector<int>{1, 2, 3}));
  table_.SetIndexName("nds_default");
  EXPECT_EQ(Ids(table_), (std::vector<int>{2, 3, 1}));
}

TEST_F(DictionaryDefaultIndex, ConnectingReadsItAndATableWithoutOneFallsBackToNaturalOrder) {
  connection_.Disconnect();
  table_.SetTableName("crew");  // nothing to ask while disconnected
  EXPECT_TRUE(table_.IndexName().empty());
  connection_.Connect();
  EXPECT_EQ(table_.IndexName(), "NDS_DEFAULT");
  nds_test::ExecSql(connection_.ConnectionHandle(), "alter table crew drop default index");
  connection_.Disconnect();
  connection_.Connect();
  EXPECT_TRUE(table_.IndexName().empty());
  table_.Open();
  EXPECT_EQ(Ids(table_), (std::vector<int>{1, 2, 3}));
}

TEST_F(DictionaryDefaultIndex, RenamedTableKeepsItsDefaultOrder) {
  table_.SetTableName("crew");
  table_.RenameTable("staff");
  EXPECT_EQ(table_.TableName(), "staff");
  EXPECT_EQ(table_.IndexName(), "NDS_DEFAULT");
  table_.Open();
  EXPECT_EQ(Ids(table_), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(MessageOf([&] { table_.RenameTable("crew"); }),
            "Cannot perform this operation on an open dataset");
}

}  // namespace
}  // namespace nds_test
