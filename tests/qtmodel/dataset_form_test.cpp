// A form over the model: Qt's QDataWidgetMapper keeps line edits, a date
// edit, a check box and a memo editor on the dataset's current record, and
// posts what the user typed as one record; moves, inserts and refusals of
// the dataset reach the form.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDataWidgetMapper>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndstable.h"
#include "qtmodel/dataset_model.h"
#include "tests/nds/query_test_support.h"
#include "tests/qtmodel/test_application.h"

namespace {

using Strings = std::vector<std::string>;

class DataSetFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "create table crew (id integer, name char(20), born date, active logical, notes memo)");
    std::string insert = "insert into crew values ";
    for (int i = 1; i <= 30; ++i) {
      const std::string n = std::to_string(i);
      insert += (i > 1 ? ", (" : "(") + n + ", 'crew " + n + "', '1990-01-" + (i < 10 ? "0" : "") +
                n + "', " + (i % 2 ? "1" : "0") + ", 'notes of " + n + "')";
    }
    db_.Exec(insert);
    query_.SetNdsConnection(&db_.Connection());
    nds_test::SetText(query_, "select * from crew");
    query_.SetRequestLive(true);
    query_.Open();
    model_.SetFetchSize(10);
    model_.SetEditStrategy(ndsqt::DataSetModel::EditStrategy::kOnManualSubmit);
    model_.SetErrorHandler([this](const QString& message) { errors_ += message.toStdString(); });
    model_.SetDataSet(&query_);
    mapper_.setModel(&model_);
    mapper_.setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    mapper_.addMapping(&id_, 0);
    mapper_.addMapping(&name_, 1);
    mapper_.addMapping(&born_, 2);
    mapper_.addMapping(&active_, 3);
    mapper_.addMapping(&notes_, 4);
    QObject::connect(&model_, &ndsqt::DataSetModel::currentRowChanged, &mapper_,
                     &QDataWidgetMapper::setCurrentIndex);
    mapper_.setCurrentIndex(model_.CurrentRow());
  }

  std::string Name() const { return name_.text().toStdString(); }

  // Widgets need the application before they are made.
  struct ApplicationFirst {
    ApplicationFirst() { qtmodel_test::Application(); }
  } application_;
  nds_test::QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
  ndsqt::DataSetModel model_;
  // Checks every signal the model sends, the new record's row among them.
  QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
  QDataWidgetMapper mapper_;
  QLineEdit id_, name_;
  QDateEdit born_;
  QCheckBox active_;
  QPlainTextEdit notes_;
  std::string errors_;
  nce::testing::FailpointGuard failpoints_;
};

TEST_F(DataSetFormTest, TheFormFollowsEveryMoveOfTheDataset) {
  EXPECT_EQ(Name(), "crew 1");
  EXPECT_EQ(born_.date(), QDate(1990, 1, 1));
  EXPECT_TRUE(active_.isChecked());
  EXPECT_EQ(notes_.toPlainText(), "notes of 1");

  query_.Next();
  EXPECT_EQ(Name(), "crew 2");
  EXPECT_FALSE(active_.isChecked());
  // The last record lies beyond the ten rows fetched: the rows are read
  // again around it, a page each way, not all the way to it.
  query_.Last();
  EXPECT_EQ(Name(), "crew 30");
  EXPECT_LE(model_.rowCount(), 20);
  query_.Prior();
  EXPECT_EQ(Name(), "crew 29");
  ASSERT_TRUE(model_.MoveToRow(0));
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), model_.data(model_.index(0, 0)).toInt());
  EXPECT_EQ(mapper_.currentIndex(), 0);
  query_.First();
  EXPECT_EQ(Name(), "crew 1");
  EXPECT_TRUE(errors_.empty()) << errors_;
}

TEST_F(DataSetFormTest, TheFormPostsWholeRecordsAndTellsRefusals) {
  query_.Next();
  name_.setText("Ortiz");
  born_.setDate(QDate(2001, 2, 3));
  active_.setChecked(true);
  notes_.setPlainText("two\nlines");
  ASSERT_TRUE(mapper_.submit()) << errors_;
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
  EXPECT_EQ(db_.Column("select name || '|' || born || '|' || active || '|' || notes from crew "
                       "where id = 2"),
            Strings{"Ortiz|2001-02-03|1|two\nlines"});
  EXPECT_EQ(Name(), "Ortiz");

  // A new record gets a row of its own where the current one was, and an
  // empty form.
  const int rows = model_.rowCount();
  query_.Insert();
  EXPECT_EQ(model_.rowCount(), rows + 1);
  EXPECT_EQ(model_.CurrentRow(), 1);
  EXPECT_EQ(Name(), "");
  id_.setText("99");
  name_.setText("Newman");
  ASSERT_TRUE(mapper_.submit()) << errors_;
  EXPECT_EQ(db_.Column("select name from crew where id = 99"), Strings{"Newman"});
  EXPECT_EQ(query_.FieldByName("id")->AsInteger(), 99);
  EXPECT_EQ(Name(), "Newman");
  EXPECT_TRUE(errors_.empty()) << errors_;

  // A required field left empty: the post is refused with the dataset's
  // message, the record stays in insert until it is cancelled.
  query_.FieldByName("name")->SetRequired(true);
  query_.Insert();
  id_.setText("100");
  EXPECT_FALSE(mapper_.submit());
  EXPECT_NE(errors_.find("must have a value"), std::string::npos) << errors_;
  EXPECT_EQ(query_.State(), dataset::dsInsert);
  model_.revert();
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
  EXPECT_EQ(Name(), "Newman");
  EXPECT_EQ(db_.Column("select count(*) from crew where id = 100"), Strings{"0"});

  // A value the field cannot hold: the other fields are not posted without
  // it; once it is mended, the record posts.
  errors_.clear();
  id_.setText("not a number");
  name_.setText("Half");
  EXPECT_FALSE(mapper_.submit());
  EXPECT_FALSE(errors_.empty());
  EXPECT_EQ(db_.Column("select count(*) from crew where name = 'Half'"), Strings{"0"});
  id_.setText("98");
  ASSERT_TRUE(mapper_.submit()) << errors_;
  EXPECT_EQ(db_.Column("select id from crew where name = 'Half'"), Strings{"98"});

  // A record locked by another user: told once, not posted; the same form
  // posts once the lock is gone.
  errors_.clear();
  name_.setText("Locked out");
  nce::testing::ArmFailpoint("NdsLockRecord", NDS_E_LOCK_FAILED, "locked by another user");
  EXPECT_FALSE(mapper_.submit());
  EXPECT_EQ(nce::testing::FailpointHits("NdsLockRecord"), 1);
  EXPECT_NE(errors_.find("locked by another user"), std::string::npos) << errors_;
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
  nce::testing::DisarmAllFailpoints();
  ASSERT_TRUE(mapper_.submit()) << errors_;
  EXPECT_EQ(db_.Column("select name from crew where id = 98"), Strings{"Locked out"});
}

}  // namespace
