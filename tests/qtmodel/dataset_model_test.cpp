// The Qt model over a real query: rows arrive page by page as a view asks,
// fetching leaves the dataset where it was, and changes made through the
// dataset reach the rows. Qt's model tester checks every signal the model
// sends against what it reports.
#include "qtmodel/dataset_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <string>
#include <vector>

#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

class DataSetModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table crew (id integer, name char(12))");
    std::string insert = "insert into crew (id, name) values ";
    for (int i = 1; i <= kRecords; ++i) {
      insert += (i > 1 ? ", (" : "(") + std::to_string(i) + ", 'crew " + std::to_string(i) + "')";
    }
    db_.Exec(insert);
    query_.SetNdsConnection(&db_.Connection());
    nds_test::SetText(query_, "select * from crew");
    query_.SetRequestLive(true);
    query_.Open();
    model_.SetFetchSize(40);
    model_.SetErrorHandler([this](const QString& message) { errors_ += message.toStdString(); });
  }

  static constexpr int kRecords = 100;
  nds_test::QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
  ndsqt::DataSetModel model_;
  QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
  std::string errors_;
};

TEST_F(DataSetModelTest, FetchesPageByPageAndLeavesTheDatasetWhereItWas) {
  query_.MoveBy(5);  // the sixth record is current
  model_.SetDataSet(&query_);
  ASSERT_EQ(model_.columnCount(), 2);
  EXPECT_EQ(model_.headerData(1, Qt::Horizontal).toString(), "name");
  EXPECT_EQ(model_.rowCount(), 40);
  EXPECT_TRUE(model_.canFetchMore(QModelIndex()));
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 6);
  EXPECT_EQ(model_.CurrentRow(), 5);

  model_.fetchMore(QModelIndex());
  model_.fetchMore(QModelIndex());
  EXPECT_EQ(model_.rowCount(), kRecords);
  EXPECT_FALSE(model_.canFetchMore(QModelIndex()));
  EXPECT_EQ(model_.data(model_.index(99, 0)).toString(), "100");
  EXPECT_EQ(model_.data(model_.index(99, 1)).toString(), "crew 100");
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 6);

  ASSERT_TRUE(model_.MoveToRow(70));
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 71);
  EXPECT_TRUE(errors_.empty()) << errors_;
}

TEST_F(DataSetModelTest, ShowsTheLastRecordsAndFetchesBackward) {
  model_.SetDataSet(&query_);
  model_.ShowLast();
  ASSERT_EQ(model_.rowCount(), 40);
  EXPECT_EQ(model_.data(model_.index(0, 0)).toString(), "61");
  EXPECT_EQ(model_.data(model_.index(39, 0)).toString(), "100");
  EXPECT_FALSE(model_.canFetchMore(QModelIndex()));
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 100);
  EXPECT_EQ(model_.CurrentRow(), 39);

  EXPECT_EQ(model_.FetchBefore(), 40);
  EXPECT_EQ(model_.FetchBefore(), 20);
  EXPECT_FALSE(model_.CanFetchBefore());
  EXPECT_EQ(model_.FetchBefore(), 0);
  ASSERT_EQ(model_.rowCount(), kRecords);
  for (int row = 0; row < kRecords; ++row) {
    ASSERT_EQ(model_.data(model_.index(row, 0)).toInt(), row + 1);
  }
  EXPECT_EQ(model_.CurrentRow(), 99);
  EXPECT_TRUE(errors_.empty()) << errors_;
}

TEST_F(DataSetModelTest, FollowsChangesMadeThroughTheDataset) {
  model_.SetDataSet(&query_);
  model_.fetchMore(QModelIndex());
  ASSERT_EQ(model_.rowCount(), 80);

  // Another writer changes a row; a refresh brings it in and keeps as many
  // rows as the view had fetched.
  db_.Exec("update crew set name = 'renamed' where id = 3");
  query_.Refresh();
  EXPECT_EQ(model_.rowCount(), 80);
  EXPECT_EQ(model_.data(model_.index(2, 1)).toString(), "renamed");

  query_.Close();
  EXPECT_EQ(model_.rowCount(), 0);
  EXPECT_EQ(model_.columnCount(), 0);
  query_.Open();
  EXPECT_EQ(model_.rowCount(), 40);

  model_.SetDataSet(nullptr);
  EXPECT_EQ(model_.rowCount(), 0);
  EXPECT_TRUE(errors_.empty()) << errors_;
}

TEST_F(DataSetModelTest, EditsArePostedAndRefusalsReported) {
  model_.SetDataSet(&query_);
  const QModelIndex name = model_.index(4, 1);
  ASSERT_TRUE(model_.flags(name) & Qt::ItemIsEditable);
  ASSERT_TRUE(model_.setData(name, "Ortiz"));
  EXPECT_EQ(model_.data(name).toString(), "Ortiz");
  EXPECT_EQ(db_.Column("select name from crew where id = 5"), std::vector<std::string>{"Ortiz"});

  // A value the field cannot hold is refused with the dataset's message;
  // the row and the stored record stay as they were.
  const QModelIndex id = model_.index(4, 0);
  EXPECT_FALSE(model_.setData(id, "not a number"));
  EXPECT_FALSE(errors_.empty());
  EXPECT_EQ(model_.data(id).toString(), "5");
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
  EXPECT_EQ(db_.Column("select id from crew where name = 'Ortiz'"), std::vector<std::string>{"5"});

  // Deleting a row deletes its record; the rows after it move up.
  errors_.clear();
  ASSERT_TRUE(model_.removeRows(0, 2));
  EXPECT_EQ(model_.data(model_.index(0, 0)).toString(), "3");
  EXPECT_EQ(db_.Column("select count(*) from crew"), std::vector<std::string>{"98"});
  EXPECT_TRUE(errors_.empty()) << errors_;
}

TEST_F(DataSetModelTest, ARefreshShowsWhatAnotherDatasetPosted) {
  model_.SetDataSet(&query_);
  nds::TNdsQuery other(nullptr);
  other.SetNdsConnection(&db_.Connection());
  nds_test::SetText(other, "select * from crew");
  other.SetRequestLive(true);
  other.Open();
  other.MoveBy(9);
  other.Edit();
  other.FieldByName("name")->SetAsString("changed");
  other.Post();

  query_.Refresh();
  EXPECT_EQ(model_.data(model_.index(9, 1)).toString(), "changed");
}

TEST_F(DataSetModelTest, NullFieldsShowNothing) {
  db_.Exec("insert into crew (id) values (0)");
  nds_test::SetText(query_, "select * from crew where id = 0");
  query_.Open();
  model_.SetDataSet(&query_);
  ASSERT_EQ(model_.rowCount(), 1);
  EXPECT_TRUE(model_.data(model_.index(0, 1)).isNull());
  EXPECT_EQ(model_.data(model_.index(0, 0), Qt::TextAlignmentRole).toInt(),
            int(Qt::AlignRight | Qt::AlignVCenter));
}

}  // namespace
