// The table browser on a real database: its tables listed, one shown
// through the model, failures told to the user with the window still usable.
#include "browser/browser_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QTableView>
#include <QTimer>
#include <fstream>
#include <string>
#include <vector>

#include "tests/nds/query_test_support.h"
#include "tests/qtmodel/test_application.h"

namespace {

using qtmodel_test::Application;

class BrowserWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table pilots (id integer, name char(20))");
    db_.Exec("insert into pilots (id, name) values (1, 'Ames'), (2, 'Baker'), (3, 'Cole')");
    db_.Exec("create table legs (leg integer)");
    window_.SetQuiet(true);
  }

  // Widgets need the application before they are made.
  struct ApplicationFirst {
    ApplicationFirst() { Application(); }
  } application_;
  nds_test::QueryDatabase db_;
  ndsbrowser::BrowserWindow window_;
};

TEST_F(BrowserWindowTest, ListsTablesAndShowsTheChosenOne) {
  ASSERT_TRUE(window_.OpenDatabase(QString::fromStdString(db_.Dir())))
      << window_.LastError().toStdString();
  ASSERT_EQ(window_.Tables().count(), 2);
  const auto pilots = window_.Tables().findItems("pilots", Qt::MatchFixedString);
  ASSERT_EQ(pilots.size(), 1);
  window_.Tables().setCurrentItem(pilots.first());
  EXPECT_EQ(window_.Model().rowCount(), 3);
  EXPECT_EQ(window_.Model().data(window_.Model().index(1, 1)).toString(), "Baker");

  // Picking a row moves the dataset there.
  window_.View().selectRow(2);
  EXPECT_EQ(window_.Query().FieldByName("name")->AsString(), "Cole");
}

TEST_F(BrowserWindowTest, FailuresAreToldAndLeaveTheWindowUsable) {
  EXPECT_FALSE(window_.OpenDatabase("NO_SUCH_ALIAS_ANYWHERE"));
  EXPECT_FALSE(window_.LastError().isEmpty());

  ASSERT_TRUE(window_.OpenDatabase(QString::fromStdString(db_.Dir())));
  EXPECT_FALSE(window_.ShowTable("missing"));
  EXPECT_FALSE(window_.LastError().isEmpty());
  EXPECT_TRUE(window_.ShowTable("legs"));
  EXPECT_EQ(window_.Model().rowCount(), 0);
  EXPECT_EQ(window_.Model().columnCount(), 1);
}

TEST_F(BrowserWindowTest, FilterLocateDeleteAndTransactions) {
  ASSERT_TRUE(window_.OpenDatabase(QString::fromStdString(db_.Dir())));
  ASSERT_TRUE(window_.ShowTable("pilots"));

  // A filter narrows the rows; one that does not parse is told and the
  // rows stay as they were.
  ASSERT_TRUE(window_.ApplyFilter("id >= 2")) << window_.LastError().toStdString();
  EXPECT_EQ(window_.Model().rowCount(), 2);
  EXPECT_FALSE(window_.ApplyFilter("id >= ("));
  EXPECT_FALSE(window_.LastError().isEmpty());
  EXPECT_EQ(window_.Model().rowCount(), 2);
  ASSERT_TRUE(window_.ApplyFilter(""));
  EXPECT_EQ(window_.Model().rowCount(), 3);

  // Locate selects the record's row.
  ASSERT_TRUE(window_.LocateValue("name", "col"));
  EXPECT_EQ(window_.View().currentIndex().row(), 2);
  EXPECT_FALSE(window_.LocateValue("name", "Zed"));

  // A new record is posted and shown; one whose value does not convert is
  // refused with nothing kept.
  ASSERT_TRUE(window_.AppendRecord({"4", "Dunn"})) << window_.LastError().toStdString();
  EXPECT_EQ(db_.Column("select name from pilots where id = 4"), std::vector<std::string>{"Dunn"});
  EXPECT_EQ(window_.Query().FieldByName("name")->AsString(), "Dunn");
  EXPECT_FALSE(window_.AppendRecord({"five", "Eddy"}));
  EXPECT_FALSE(window_.LastError().isEmpty());
  EXPECT_EQ(db_.Column("select count(*) from pilots"), std::vector<std::string>{"4"});

  // A delete inside a transaction is undone by the rollback.
  window_.Begin();
  window_.View().selectRow(0);
  ASSERT_TRUE(window_.DeleteCurrentRecord()) << window_.LastError().toStdString();
  window_.Rollback();
  EXPECT_EQ(db_.Column("select count(*) from pilots"), std::vector<std::string>{"4"});
}

// An xBase table beside the database is listed apart and comes in with its
// Import; a cancelled import leaves no table.
TEST_F(BrowserWindowTest, ImportsTablesOfTheDirectoryAndCancelsCleanly) {
  db_.Exec("select 1 from pilots");  // connected, so that the export below has a table
  const std::string dbf = db_.Dir() + "/CREW.DBF";
  ASSERT_EQ(NdsExportTable(db_.Connection().ConnectionHandle(), "pilots", dbf.c_str(), nullptr),
            NDS_SUCCESS);
  ASSERT_TRUE(window_.OpenDatabase(QString::fromStdString(db_.Dir())));
  ASSERT_EQ(window_.Unimported().count(), 1);
  EXPECT_EQ(window_.Unimported().item(0)->text(), "CREW.DBF");
  ASSERT_TRUE(window_.ImportFile(window_.Unimported().item(0)->data(Qt::UserRole).toString()))
      << window_.LastError().toStdString();
  EXPECT_EQ(window_.Unimported().count(), 0);
  EXPECT_EQ(window_.Tables().findItems("CREW", Qt::MatchFixedString).size(), 1);
  EXPECT_EQ(db_.Column("select name from CREW order by id"),
            (std::vector<std::string>{"Ames", "Baker", "Cole"}));

  const std::string csv = db_.Temp().MakeDir("in") + "/many.csv";
  {
    std::ofstream out(csv);
    out << "n\n";
    for (int i = 0; i < 20000; ++i) out << i << "\n";
  }
  QTimer::singleShot(0, [this] { window_.CancelTransfer(); });
  EXPECT_FALSE(window_.ImportFile(QString::fromStdString(csv)));
  EXPECT_NE(window_.LastError().toStdString().find("cancelled"), std::string::npos);
  EXPECT_TRUE(window_.Tables().findItems("many", Qt::MatchFixedString).isEmpty());
}

}  // namespace
