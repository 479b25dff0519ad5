// The SQL text routines of the provider support.
#include "dataset/sql_text.h"

#include "dataset_fixture.h"

namespace dataset_test {
namespace {

TEST(SqlText, TableNameIsTheDottedNameAfterTheFirstFrom) {
  EXPECT_EQ(TableNameFromSQL("select * from acftlog where x=1"), "acftlog");
  EXPECT_EQ(TableNameFromSQL("SELECT a FROM archive.a_acftlog a"), "archive.a_acftlog");
  EXPECT_EQ(TableNameFromSQL("select 'from x' as t from \"my table\""), "my table");
  EXPECT_EQ(TableNameFromSQL("select * /* from hidden */ from [real]"), "real");
  EXPECT_EQ(TableNameFromSQL("select * from (select 1)"), "");
  EXPECT_EQ(TableNameFromSQL("delete from"), "");
  EXPECT_EQ(TableNameFromSQL("select 1"), "");
}

TEST(SqlText, OrderByColumnsByNameNumberAndDirection) {
  auto columns = OrderByColumns(
      "select * from t where id in (select id from u order by z) "
      "order by t.name desc, 2, upper(x), y collate nocase asc nulls last limit 5");
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0].name, "name");
  EXPECT_TRUE(columns[0].descending);
  EXPECT_EQ(columns[1].position, 2);
  EXPECT_FALSE(columns[1].descending);
  EXPECT_EQ(columns[2].name, "y");
  EXPECT_TRUE(OrderByColumns("select * from t").empty());
  EXPECT_TRUE(OrderByColumns("select * from t order by").empty());
  EXPECT_TRUE(OrderByColumns("select * from t order by 0, 99999999999").empty());
  EXPECT_TRUE(OrderByColumns("select 'order by a' from t").empty());
  EXPECT_TRUE(OrderByColumns("select * from t order by \"").empty());  // unterminated, empty name
  EXPECT_EQ(TableNameFromSQL("select * from \"\""), "");
}

TEST(SqlText, IndexDefinitionNamesFieldsOfTheDataset) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 0);  // ID, NAME
  auto def = IndexDefForOrderBy("select * from t order by name desc, 1, missing", dataset);
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->Fields(), "NAME;ID");
  EXPECT_EQ(def->DescFields(), "NAME");
  EXPECT_EQ(def->Name(), "");
  EXPECT_EQ(IndexDefForOrderBy("select * from t order by missing, 3", dataset), nullptr);
  EXPECT_EQ(IndexDefForOrderBy("select * from t", dataset), nullptr);
}

}  // namespace
}  // namespace dataset_test
