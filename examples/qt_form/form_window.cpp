#include "form_window.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

namespace qtform {

namespace {

// A date edit always holds a date; a field may hold none. The date edit's
// minimum date stands for "no date" (shown as its special value text), so
// that a new record left without a date gets none rather than the date
// the edit showed last.
class NullableDateDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* dateEdit = qobject_cast<QDateEdit*>(editor);
    if (dateEdit == nullptr) return QStyledItemDelegate::setEditorData(editor, index);
    const QVariant value = index.data(Qt::EditRole);
    dateEdit->setDate(value.isNull() ? dateEdit->minimumDate() : value.toDate());
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    auto* dateEdit = qobject_cast<QDateEdit*>(editor);
    if (dateEdit == nullptr) return QStyledItemDelegate::setModelData(editor, model, index);
    const QDate date = dateEdit->date();
    model->setData(index, date == dateEdit->minimumDate() ? QVariant() : QVariant(date));
  }
};

}  // namespace

FormWindow::FormWindow(nds::TNdsQuery& query, bool quiet) : query_(query), quiet_(quiet) {
  setWindowTitle("Crew");
  // The mapper writes the editors one field at a time: the record is posted
  // once, whole, when the user presses Post.
  model_.SetEditStrategy(ndsqt::DataSetModel::EditStrategy::kOnManualSubmit);
  model_.SetErrorHandler([this](const QString& message) { Refuse(message); });
  model_.SetDataSet(&query_);
  grid_.setModel(&model_);
  grid_.setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_.setSelectionMode(QAbstractItemView::SingleSelection);
  mapper_.setModel(&model_);
  mapper_.setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
  mapper_.addMapping(&id_, kIdColumn);
  mapper_.addMapping(&name_, kNameColumn);
  mapper_.addMapping(&born_, kBornColumn);
  mapper_.addMapping(&active_, kActiveColumn);
  mapper_.addMapping(&notes_, kNotesColumn);
  mapper_.setItemDelegate(new NullableDateDelegate(&mapper_));
  born_.setCalendarPopup(true);
  born_.setDisplayFormat("yyyy-MM-dd");
  born_.setMinimumDate(kNoDate);
  born_.setSpecialValueText(" ");
  BuildLayout();
  Connect();
  const int row = model_.CurrentRow();
  mapper_.setCurrentIndex(row);
  if (row >= 0) grid_.selectRow(row);
}

void FormWindow::BuildLayout() {
  auto* form = new QFormLayout;
  form->addRow("Id", &id_);
  form->addRow("Name", &name_);
  form->addRow("Born", &born_);
  form->addRow("Active", &active_);
  form->addRow("Notes", &notes_);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button :
       {&first_, &prior_, &next_, &last_, &insert_, &delete_, &post_, &cancel_})
    buttons->addWidget(button);
  auto* top = new QHBoxLayout;
  top->addWidget(&grid_, 3);
  top->addLayout(form, 2);
  auto* whole = new QVBoxLayout(this);
  whole->addLayout(top);
  whole->addLayout(buttons);
  whole->addWidget(&status_);
  status_.setStyleSheet("color: darkred");
  status_.setWordWrap(true);
}

void FormWindow::Connect() {
  // The dataset moved: the form and the grid's selection follow.
  connect(&model_, &ndsqt::DataSetModel::currentRowChanged, this, [this](int row) {
    mapper_.setCurrentIndex(row);
    if (row >= 0 && grid_.selectionModel()->currentIndex().row() != row) grid_.selectRow(row);
  });
  // A row picked in the grid: the dataset moves there (and the form with it).
  connect(grid_.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid() && current.row() != model_.CurrentRow()) {
              status_.clear();
              model_.MoveToRow(current.row());
            }
          });
  connect(&first_, &QPushButton::clicked, this, [this] { Act([this] { query_.First(); }); });
  connect(&prior_, &QPushButton::clicked, this, [this] { Act([this] { query_.Prior(); }); });
  connect(&next_, &QPushButton::clicked, this, [this] { Act([this] { query_.Next(); }); });
  connect(&last_, &QPushButton::clicked, this, [this] { Act([this] { query_.Last(); }); });
  connect(&insert_, &QPushButton::clicked, this, [this] { Act([this] { query_.Insert(); }); });
  connect(&delete_, &QPushButton::clicked, this, [this] { Act([this] { query_.Delete(); }); });
  // Post writes every editor into the record and posts it; a refusal was
  // told through the model's error handler.
  connect(&post_, &QPushButton::clicked, this, [this] { Act([this] { mapper_.submit(); }); });
  connect(&cancel_, &QPushButton::clicked, this, [this] {
    Act([this] {
      model_.revert();
      mapper_.revert();  // the editors drop what was typed when nothing was in edit
    });
  });
}

void FormWindow::Act(const std::function<void()>& action) {
  status_.clear();
  try {
    action();
  } catch (const std::exception& e) {
    Refuse(ndsqt::MessageOf(e));
  }
}

void FormWindow::Refuse(const QString& message) {
  // One action may be refused twice (a value, then the post): both are told.
  status_.setText(status_.text().isEmpty() ? message : status_.text() + "\n" + message);
  // The box waits until the dataset's operation is over: its event loop
  // must not let the user act on a dataset halfway through a post.
  if (!quiet_)
    QTimer::singleShot(0, this,
                       [this, message] { QMessageBox::warning(this, windowTitle(), message); });
}

}  // namespace qtform
