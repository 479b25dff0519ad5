// A window with one table as a grid and, beside it, a form of field editors
// on the current record: the grid is a QTableView over the dataset model,
// the form a QDataWidgetMapper over the same model. The buttons act on the
// dataset; the grid's selection, the form and the dataset's cursor follow
// one another. Every refusal of the dataset shows in the status line (and in
// a message box unless the window is quiet).
#ifndef EXAMPLES_QT_FORM_FORM_WINDOW_H_
#define EXAMPLES_QT_FORM_FORM_WINDOW_H_

#include <QCheckBox>
#include <QDataWidgetMapper>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QWidget>
#include <functional>

#include "nds/ndstable.h"
#include "qtmodel/dataset_model.h"

namespace qtform {

// The table the form edits: id, name, born, active, notes, in this order.
constexpr int kIdColumn = 0, kNameColumn = 1, kBornColumn = 2, kActiveColumn = 3, kNotesColumn = 4;

// What the date editor shows for a record without a date.
inline const QDate kNoDate{1752, 9, 14};

class FormWindow : public QWidget {
 public:
  // `query` must be open (live) on a table of the columns above and outlive
  // the window. A quiet window shows refusals only in its status line.
  FormWindow(nds::TNdsQuery& query, bool quiet);

  QTableView& Grid() { return grid_; }
  QLineEdit& IdEdit() { return id_; }
  QLineEdit& NameEdit() { return name_; }
  QDateEdit& BornEdit() { return born_; }
  QCheckBox& ActiveBox() { return active_; }
  QPlainTextEdit& NotesEdit() { return notes_; }
  QPushButton& First() { return first_; }
  QPushButton& Prior() { return prior_; }
  QPushButton& Next() { return next_; }
  QPushButton& Last() { return last_; }
  QPushButton& Insert() { return insert_; }
  QPushButton& Delete() { return delete_; }
  QPushButton& Post() { return post_; }
  QPushButton& Cancel() { return cancel_; }
  // The last refusal, empty after an action that went through.
  QString Status() const { return status_.text(); }
  ndsqt::DataSetModel& Model() { return model_; }

 private:
  void BuildLayout();
  void Connect();
  // Runs a button's action on the dataset; a refusal is shown.
  void Act(const std::function<void()>& action);
  void Refuse(const QString& message);

  nds::TNdsQuery& query_;  // the table shown, not owned
  bool quiet_;
  ndsqt::DataSetModel model_;
  QDataWidgetMapper mapper_;
  QTableView grid_;
  QLineEdit id_, name_;
  QDateEdit born_;
  QCheckBox active_;
  QPlainTextEdit notes_;
  QPushButton first_{"First"}, prior_{"Prior"}, next_{"Next"}, last_{"Last"};
  QPushButton insert_{"Insert"}, delete_{"Delete"}, post_{"Post"}, cancel_{"Cancel"};
  QLabel status_;  // the last refusal
};

}  // namespace qtform

#endif  // EXAMPLES_QT_FORM_FORM_WINDOW_H_
