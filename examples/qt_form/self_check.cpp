#include "self_check.h"

#include <QTemporaryDir>
#include <exception>
#include <iostream>
#include <string>

#include "dataset/strings.h"
#include "demo_table.h"
#include "form_window.h"
#include "nds/ndscnnct.h"

namespace qtform {

namespace {

// Counts and prints the outcome of each step.
class Steps {
 public:
  void Expect(const std::string& step, const std::string& got, const std::string& want) {
    if (got == want) {
      std::cout << "ok      " << step << '\n';
    } else {
      ++failures_;
      std::cout << "FAILED  " << step << ": got '" << got << "', expected '" << want << "'\n";
    }
  }
  void Expect(const std::string& step, bool holds) {
    Expect(step, holds ? "true" : "false", "true");
  }
  int Failures() const { return failures_; }

 private:
  int failures_ = 0;
};

std::string Text(const QString& text) {
  return text.toStdString();
}

void Drive(FormWindow& window, nds::TNdsQuery& query, const std::string& dir, Steps& steps) {
  auto name = [&] { return Text(window.NameEdit().text()); };
  auto gridRow = [&] { return window.Grid().currentIndex().row(); };

  // Navigation: the buttons move the dataset; the form and the grid follow.
  steps.Expect("the form opens on the first record", name(), "Ames");
  window.Next().click();
  steps.Expect("Next shows the second record", name() + "@" + std::to_string(gridRow()), "Baker@1");
  window.Last().click();
  steps.Expect("Last shows the last record", name() + "@" + std::to_string(gridRow()), "Evans@4");
  window.Prior().click();
  steps.Expect("Prior shows the one before", name(), "Dunn");
  window.First().click();
  steps.Expect("First shows the first record", name(), "Ames");
  // A row picked in the grid moves the dataset and the form.
  window.Grid().selectRow(2);
  steps.Expect("a row picked in the grid moves the dataset",
               query.FieldByName("name")->AsString() + "/" + name(), "Cole/Cole");

  // An edit through the form's editors, posted once.
  window.NameEdit().setText("Colette");
  window.BornEdit().setDate(QDate(1976, 7, 16));
  window.ActiveBox().setChecked(true);
  window.NotesEdit().setPlainText("Back from leave\nflies again");
  window.Post().click();
  steps.Expect("Post stores every editor's value",
               Stored(dir, "select name, born, active, notes from crew where id = 3"),
               "Colette|1976-07-16|True|Back from leave\nflies again\n");
  steps.Expect("the grid shows the posted name",
               Text(window.Model().data(window.Model().index(2, kNameColumn)).toString()),
               "Colette");

  // A new record, filled in the form and posted.
  window.Insert().click();
  steps.Expect("Insert empties the form", name() + "|" + Text(window.IdEdit().text()), "|");
  window.IdEdit().setText("6");
  window.NameEdit().setText("Fox");
  window.BornEdit().setDate(QDate(1995, 5, 5));
  window.ActiveBox().setChecked(false);
  window.NotesEdit().setPlainText("New hire");
  window.Post().click();
  steps.Expect("Post stores the new record",
               Stored(dir, "select name, born, active, notes from crew where id = 6"),
               "Fox|1995-05-05|False|New hire\n");
  steps.Expect("the grid shows six rows", std::to_string(window.Model().rowCount()), "6");

  // Delete removes the current record (the one just posted).
  window.Delete().click();
  steps.Expect("Delete removes the current record",
               Stored(dir, "select count(*) from crew where id = 6") +
                   Stored(dir, "select count(*) from crew"),
               "0\n5\n");
  steps.Expect("the grid shows five rows", std::to_string(window.Model().rowCount()), "5");

  // A new record left without a date gets none, not the date shown before.
  window.Insert().click();
  steps.Expect("a new record shows no date", window.BornEdit().date() == kNoDate);
  window.IdEdit().setText("9");
  window.NameEdit().setText("Gale");
  window.Post().click();
  steps.Expect("a date left empty is stored as none",
               Stored(dir, "select name, born from crew where id = 9"), "Gale|NULL\n");
  window.Delete().click();

  // Cancel drops what was typed, and a new record not posted.
  window.First().click();
  window.NameEdit().setText("Zed");
  window.Cancel().click();
  steps.Expect("Cancel brings back the stored name", name(), "Ames");
  window.Insert().click();
  window.IdEdit().setText("7");
  window.Cancel().click();
  steps.Expect("Cancel drops a new record",
               std::to_string(window.Model().rowCount()) + "|" + name() + "|" +
                   Stored(dir, "select count(*) from crew"),
               "5|Ames|5\n");

  // A refusal: a new record without the required name is not posted, and
  // the form says why.
  window.Insert().click();
  window.IdEdit().setText("8");
  window.Post().click();
  steps.Expect("a post without a name is refused where the user sees it",
               Text(window.Status()).find("must have a value") != std::string::npos);
  steps.Expect("the refused record stays in insert", query.State() == dataset::dsInsert);
  window.Cancel().click();
  steps.Expect("nothing of the refused record is stored",
               Stored(dir, "select count(*) from crew where id = 8"), "0\n");
  steps.Expect("the form is back on a stored record", query.State() == dataset::dsBrowse &&
                                                          !name().empty() &&
                                                          Text(window.Status()).empty());

  // Another user edits the second record and holds its lock: an edit of it
  // through the form is refused where the user sees it, and nothing of it
  // is stored; once the other user is done, the same post goes through.
  nds::TNdsConnection otherUser(nullptr);
  otherUser.SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_LOCAL});
  otherUser.SetLoginPrompt(false);
  otherUser.SetConnectPath(dir);
  nds::TNdsQuery otherQuery(nullptr);
  otherQuery.SetNdsConnection(&otherUser);
  otherQuery.SetRequestLive(true);
  dataset::TStringList sql;
  sql.SetText("select * from crew where id = 2");
  otherQuery.SetSQL(&sql);
  otherQuery.Open();
  otherQuery.Edit();
  window.Grid().selectRow(1);
  window.NameEdit().setText("Barker");
  window.Post().click();
  steps.Expect("an edit of a record another user holds is refused where the user sees it",
               Text(window.Status()).find("locked by another user") != std::string::npos);
  steps.Expect("nothing of the refused edit is stored",
               Stored(dir, "select name from crew where id = 2"), "Baker\n");
  otherQuery.Cancel();
  window.Post().click();
  steps.Expect("the post goes through once the other user is done",
               Stored(dir, "select name from crew where id = 2") + Text(window.Status()),
               "Barker\n");
}

}  // namespace

int RunSelfCheck() {
  QTemporaryDir temp;
  if (!temp.isValid()) {
    std::cout << "FAILED  no temporary directory\n";
    return 1;
  }
  const std::string dir = temp.path().toStdString();
  Steps steps;
  try {
    MakeDemoTable(dir);
    nds::TNdsQuery query(nullptr);
    OpenCrew(query, dir);
    FormWindow window(query, true);
    window.show();
    Drive(window, query, dir, steps);
  } catch (const std::exception& e) {
    std::cout << "FAILED  " << ndsqt::MessageOf(e).toStdString() << '\n';
    return 1;
  }
  std::cout << (steps.Failures() == 0 ? "all steps passed\n" : "some steps failed\n");
  return steps.Failures() == 0 ? 0 : 1;
}

}  // namespace qtform
