// Dataset operations a cursor dataset refuses with a fixed message.
#include <gtest/gtest.h>

#include "nds/ndsdata.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nds_test::MessageOf;

TEST(DataSetRefusals, FreeTablesCannotBeRenamedNorBatchMovedNorAskedForUpdateStatus) {
  nds_test::QueryDatabase db;
  db.Exec("create table crew (id integer)");
  nds::TNdsQuery query(nullptr);
  query.SetName("Q");
  query.SetNdsConnection(&db.Connection());
  EXPECT_EQ(MessageOf([&] { query.RenameTable("staff"); }),
            "Q: The method RenameTable in TNdsDataSet is not supported on free tables.");
  EXPECT_EQ(MessageOf([&] { query.BatchMove(); }),
            "Q: The method BatchMove in TNdsDataSet is not supported.");
  EXPECT_EQ(MessageOf([&] { query.UpdateStatus(); }),
            "Q: The method UpdateStatus in TNdsDataSet is not supported.");
  EXPECT_EQ(db.Count("crew"), 0);
}

}  // namespace
}  // namespace nds_test
