#include "browser/browser_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "dataset/fields.h"
#include "dataset/index_defs.h"
#include "dataset/strings.h"

namespace ndsbrowser {

namespace {

using ndsqt::MessageOf;

std::string Utf8(const QString& text) {
  return text.toStdString();
}

// A free table is listed as its file name; SQL names it without the
// extension.
QString TableName(const std::string& listed) {
  QString name = QString::fromStdString(listed);
  const int dot = name.lastIndexOf('.');
  return dot > 0 ? name.left(dot) : name;
}

}  // namespace

BrowserWindow::BrowserWindow(QWidget* parent)
    : QMainWindow(parent),
      connection_(std::make_unique<nds::TNdsConnection>(nullptr)),
      query_(std::make_unique<nds::TNdsQuery>(nullptr)),
      model_(std::make_unique<ndsqt::DataSetModel>()) {
  connection_->SetName("Browser");
  connection_->SetLoginPrompt(false);
  connection_->SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_LOCAL});
  query_->SetNdsConnection(connection_.get());
  query_->SetRequestLive(true);
  model_->SetErrorHandler([this](const QString& message) { ShowError(message); });
  BuildWidgets();
  setWindowTitle("Table Browser");
  resize(900, 560);
}

BrowserWindow::~BrowserWindow() {
  // The model lets go of the query before the query and the connection go.
  model_->SetDataSet(nullptr);
}

void BrowserWindow::BuildWidgets() {
  QToolBar* tools = addToolBar("Transaction");
  tools->setMovable(false);
  connect(tools->addAction("Begin"), &QAction::triggered, this, [this] { Begin(); });
  connect(tools->addAction("Commit"), &QAction::triggered, this, [this] { Commit(); });
  connect(tools->addAction("Rollback"), &QAction::triggered, this, [this] { Rollback(); });
  tools->addSeparator();
  connect(tools->addAction("First"), &QAction::triggered, this, [this] { ShowFirst(); });
  connect(tools->addAction("Last"), &QAction::triggered, this, [this] { ShowLast(); });
  connect(tools->addAction("New Record"), &QAction::triggered, this, [this] { NewRecord(); });
  connect(tools->addAction("Delete Record"), &QAction::triggered, this,
          [this] { DeleteCurrentRecord(); });
  tools->addSeparator();
  connect(tools->addAction("Import..."), &QAction::triggered, this, [this] { AskImport(); });
  connect(tools->addAction("Export..."), &QAction::triggered, this, [this] { AskExport(); });

  tables_ = new QListWidget;
  connect(tables_, &QListWidget::currentTextChanged, this, [this](const QString& table) {
    if (!table.isEmpty()) ShowTable(table);
  });

  indexes_ = new QComboBox;
  connect(indexes_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!filling_) ChooseIndex(index <= 0 ? QString() : indexes_->itemText(index));
  });
  filter_ = new QLineEdit;
  filter_->setPlaceholderText("filter, e.g. id > 10 .AND. name = 'A'");
  connect(filter_, &QLineEdit::returnPressed, this, [this] { ApplyFilter(filter_->text()); });
  locateField_ = new QComboBox;
  locateValue_ = new QLineEdit;
  locateValue_->setPlaceholderText("value to locate");
  connect(locateValue_, &QLineEdit::returnPressed, this,
          [this] { LocateValue(locateField_->currentText(), locateValue_->text()); });

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Order:"));
  controls->addWidget(indexes_);
  controls->addWidget(new QLabel("Filter:"));
  controls->addWidget(filter_, 1);
  controls->addWidget(new QLabel("Locate:"));
  controls->addWidget(locateField_);
  controls->addWidget(locateValue_);

  view_ = new QTableView;
  view_->setModel(model_.get());
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->horizontalHeader()->setStretchLastSection(true);
  // Rows before the first shown come as the user scrolls to the top.
  connect(view_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value != view_->verticalScrollBar()->minimum() || !model_->CanFetchBefore()) return;
    const int added = model_->FetchBefore();
    if (added > 0) view_->scrollTo(model_->index(added, 0), QAbstractItemView::PositionAtTop);
  });
  // The dataset follows the row the user picks.
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) model_->MoveToRow(current.row());
          });

  auto* right = new QWidget;
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addLayout(controls);
  rightLayout->addWidget(view_, 1);

  // The xBase files not imported yet, apart, each with Import as its action.
  unimported_ = new QListWidget;
  auto* importListed = new QPushButton("Import");
  connect(importListed, &QPushButton::clicked, this, [this] {
    if (QListWidgetItem* item = unimported_->currentItem())
      ImportFile(item->data(Qt::UserRole).toString());
  });
  connect(unimported_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { ImportFile(item->data(Qt::UserRole).toString()); });
  auto* left = new QWidget;
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(tables_, 3);
  leftLayout->addWidget(new QLabel("Not imported:"));
  leftLayout->addWidget(unimported_, 1);
  leftLayout->addWidget(importListed);

  auto* split = new QSplitter;
  split->addWidget(left);
  split->addWidget(right);
  split->setStretchFactor(1, 1);
  split->setSizes({180, 720});
  setCentralWidget(split);

  transaction_ = new QLabel;
  statusBar()->addPermanentWidget(transaction_);
  ShowStatus();
}

void BrowserWindow::ShowError(const QString& message) {
  lastError_ = message;
  statusBar()->showMessage(message, 10000);
  if (!quiet_) QMessageBox::warning(this, windowTitle(), message);
}

void BrowserWindow::ShowStatus() {
  bool inTransaction = false;
  try {
    inTransaction = connection_->IsConnected() && connection_->TransactionIsActive();
  } catch (const std::exception&) {
    // A connection that cannot answer is shown as not in a transaction.
  }
  transaction_->setText(inTransaction ? "in transaction" : "no transaction");
}

bool BrowserWindow::OpenDatabase(const QString& database, const QString& user,
                                 const QString& password) {
  try {
    model_->SetDataSet(nullptr);
    query_->Close();
    connection_->SetIsConnected(false);
    // A path that exists is a directory of free tables or a dictionary
    // file; anything else is taken for an alias of nds.ini.
    if (QFileInfo::exists(database)) {
      connection_->SetAliasName("");
      connection_->SetConnectPath(Utf8(database));
    } else {
      connection_->SetConnectPath("");
      connection_->SetAliasName(Utf8(database));
    }
    connection_->SetUsername(Utf8(user));
    connection_->SetPassword(Utf8(password));
    connection_->Connect();
    ListTables();
    setWindowTitle("Table Browser - " + database);
    ShowStatus();
    return true;
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
    return false;
  }
}

void BrowserWindow::ListTables() {
  dataset::TStringList names;
  connection_->GetTableNames(&names, "*");
  tables_->clear();
  for (int i = 0; i < names.Count(); ++i) tables_->addItem(TableName(names[i]));
  unimported_->clear();
  uint32_t length = 0;
  NDSHANDLE handle = connection_->ConnectionHandle();
  if (NdsGetUnimportedTables(handle, nullptr, &length) == NDS_E_INSUFFICIENT_BUFFER && length) {
    std::string files(length + 1, '\0');
    uint32_t room = length + 1;
    if (NdsGetUnimportedTables(handle, files.data(), &room) != NDS_SUCCESS) return;
    for (const QString& path : QString::fromStdString(files.substr(0, length)).split('\n')) {
      if (path.isEmpty()) continue;
      auto* item = new QListWidgetItem(QFileInfo(path).fileName(), unimported_);
      item->setData(Qt::UserRole, path);
    }
  }
}

int32_t BrowserWindow::TransferProgress(void* window, uint64_t done, uint64_t total) {
  auto* self = static_cast<BrowserWindow*>(window);
  if (self->progress_) {
    // The dialog counts in thousandths: a file's size may pass an int.
    self->progress_->setMaximum(total ? 1000 : 0);
    if (total) self->progress_->setValue(static_cast<int>(done * 1000 / total));
    if (self->progress_->wasCanceled()) self->cancelTransfer_ = true;
  }
  QApplication::processEvents();
  return self->cancelTransfer_ ? 1 : 0;
}

bool BrowserWindow::RunTransfer(const QString& title,
                                const std::function<uint32_t(NDSTRANSFER*)>& work) {
  // The dialog is modal: nothing else reaches the connection while the
  // engine works, though events are handled between its steps.
  QProgressDialog dialog(title, "Cancel", 0, 0, this);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(quiet_ ? 1000000 : 500);
  progress_ = &dialog;
  cancelTransfer_ = false;
  NDSTRANSFER transfer{};
  transfer.size = sizeof transfer;
  transfer.progress = &BrowserWindow::TransferProgress;
  transfer.context = this;
  const uint32_t rc = work(&transfer);
  progress_ = nullptr;
  if (rc != NDS_SUCCESS) {
    uint32_t number = 0;
    char text[NDS_MAX_ERROR_LEN + 1] = {};
    uint16_t length = NDS_MAX_ERROR_LEN;
    NdsGetLastError(&number, text, &length);
    ShowError(QString::fromUtf8(text));
    return false;
  }
  statusBar()->showMessage(title + ": " + QString::number(transfer.rows) + " rows", 10000);
  return true;
}

bool BrowserWindow::ImportFile(const QString& file, const QString& table, uint32_t options) {
  if (!connection_->IsConnected()) return false;
  // The shown table may be the one replaced: let go of it first.
  model_->SetDataSet(nullptr);
  query_->Close();
  const std::string path = Utf8(file), name = Utf8(table);
  const bool done = RunTransfer("Importing " + QFileInfo(file).fileName(), [&](NDSTRANSFER* t) {
    t->options = options;
    return NdsImportTable(connection_->ConnectionHandle(), path.c_str(),
                          name.empty() ? nullptr : name.c_str(), t);
  });
  try {
    ListTables();
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
  }
  return done;
}

bool BrowserWindow::ExportTo(const QString& source, const QString& file) {
  if (!connection_->IsConnected()) return false;
  const std::string what = Utf8(source), path = Utf8(file);
  return RunTransfer("Exporting to " + QFileInfo(file).fileName(), [&](NDSTRANSFER* t) {
    return NdsExportTable(connection_->ConnectionHandle(), what.c_str(), path.c_str(), t);
  });
}

void BrowserWindow::AskImport() {
  if (!connection_->IsConnected()) return;
  const QString file = QFileDialog::getOpenFileName(
      this, "Import", QString(), "xBase tables and CSV files (*.dbf *.DBF *.csv *.CSV)");
  if (file.isEmpty()) return;
  bool ok = false;
  const QString table = QInputDialog::getText(this, "Import", "Into table:", QLineEdit::Normal,
                                              QFileInfo(file).completeBaseName(), &ok);
  if (!ok || table.isEmpty()) return;
  uint32_t options = 0;
  if (!tables_->findItems(table, Qt::MatchFixedString).isEmpty()) {
    QMessageBox ask(QMessageBox::Question, "Import", "The table " + table + " exists already.",
                    QMessageBox::Cancel, this);
    QPushButton* replace = ask.addButton("Replace it", QMessageBox::DestructiveRole);
    QPushButton* append = ask.addButton("Add the rows", QMessageBox::AcceptRole);
    ask.exec();
    if (ask.clickedButton() == replace)
      options = NDS_TRANSFER_REPLACE;
    else if (ask.clickedButton() == append)
      options = NDS_TRANSFER_APPEND;
    else
      return;
  }
  ImportFile(file, table, options);
}

void BrowserWindow::AskExport() {
  QListWidgetItem* current = tables_->currentItem();
  if (!connection_->IsConnected() || !current) return;
  const QString file =
      QFileDialog::getSaveFileName(this, "Export " + current->text(), current->text() + ".dbf",
                                   "xBase tables (*.dbf);;CSV files (*.csv)");
  if (!file.isEmpty()) ExportTo(current->text(), file);
}

bool BrowserWindow::ShowTable(const QString& table) {
  try {
    model_->SetDataSet(nullptr);
    query_->Close();
    query_->SetFiltered(false);
    query_->SetFilter("");
    query_->SetIndexName("");
    dataset::TStringList sql;
    sql.SetText("select * from " + Utf8(table));
    query_->SetSQL(&sql);
    query_->Open();
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
    return false;
  }
  filter_->clear();
  FillIndexChoices();
  FillLocateFields();
  model_->SetDataSet(query_.get());
  if (model_->rowCount() > 0) view_->selectRow(0);
  return true;
}

void BrowserWindow::FillIndexChoices() {
  filling_ = true;
  indexes_->clear();
  indexes_->addItem("(natural order)");
  try {
    dataset::TIndexDefs& defs = query_->IndexDefs();
    defs.Update();
    for (int i = 0; i < defs.Count(); ++i)
      indexes_->addItem(QString::fromStdString(defs[i]->Name()));
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
  }
  filling_ = false;
}

void BrowserWindow::FillLocateFields() {
  locateField_->clear();
  for (int i = 1; i <= query_->FieldCount(); ++i) {
    locateField_->addItem(QString::fromStdString(query_->FieldByNumber(i)->FieldName()));
  }
}

void BrowserWindow::ChooseIndex(const QString& name) {
  try {
    query_->SetIndexName(Utf8(name));
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
  }
}

bool BrowserWindow::ApplyFilter(const QString& expression) {
  try {
    query_->SetFilter(Utf8(expression.trimmed()));
    query_->SetFiltered(!expression.trimmed().isEmpty());
    return true;
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
    return false;
  }
}

bool BrowserWindow::LocateValue(const QString& field, const QString& value) {
  try {
    if (!query_->Locate(
            Utf8(field), dataset::Variant(Utf8(value)),
            dataset::TLocateOptions{dataset::loCaseInsensitive, dataset::loPartialKey})) {
      statusBar()->showMessage("No record where " + field + " is " + value, 10000);
      return false;
    }
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
    return false;
  }
  SelectCurrentRecord();
  return true;
}

void BrowserWindow::SelectCurrentRecord() {
  int row = model_->CurrentRow();
  while (row < 0 && model_->canFetchMore(QModelIndex())) {
    model_->fetchMore(QModelIndex());
    row = model_->CurrentRow();
  }
  if (row >= 0) view_->selectRow(row);
}

void BrowserWindow::ShowFirst() {
  if (!query_->Active()) return;
  model_->ShowFirst();
  if (model_->rowCount() > 0) view_->selectRow(0);
}

void BrowserWindow::ShowLast() {
  if (!query_->Active()) return;
  model_->ShowLast();
  if (model_->rowCount() > 0) view_->selectRow(model_->rowCount() - 1);
}

bool BrowserWindow::DeleteCurrentRecord() {
  const QModelIndex current = view_->currentIndex();
  if (!current.isValid()) return false;
  return model_->removeRows(current.row(), 1);
}

// A form with one line per field; posted as a new record when accepted. A
// refused post shows the message and keeps the form open for correction.
void BrowserWindow::NewRecord() {
  if (!query_->Active()) return;
  QDialog form(this);
  form.setWindowTitle("New Record");
  auto* layout = new QFormLayout(&form);
  std::vector<QLineEdit*> edits;
  for (int i = 1; i <= query_->FieldCount(); ++i) {
    dataset::TField* field = query_->FieldByNumber(i);
    auto* edit = new QLineEdit;
    edit->setEnabled(!field->IsBlob() && !field->ReadOnly());
    layout->addRow(QString::fromStdString(field->DisplayLabel()), edit);
    edits.push_back(edit);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addRow(buttons);
  connect(buttons, &QDialogButtonBox::rejected, &form, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::accepted, &form, [&] {
    QStringList values;
    for (QLineEdit* edit : edits) values << (edit->isEnabled() ? edit->text() : QString());
    if (AppendRecord(values)) form.accept();
  });
  form.exec();
}

bool BrowserWindow::AppendRecord(const QStringList& values) {
  if (!query_->Active()) return false;
  try {
    query_->Append();
    for (int i = 0; i < values.size() && i < query_->FieldCount(); ++i) {
      if (!values[i].isEmpty()) query_->FieldByNumber(i + 1)->SetAsString(Utf8(values[i]));
    }
    query_->Post();
  } catch (const std::exception& e) {
    if (query_->State() != dataset::dsBrowse) query_->Cancel();
    ShowError(MessageOf(e));
    return false;
  }
  SelectCurrentRecord();
  return true;
}

void BrowserWindow::Begin() {
  RunTransactionStep([this] { connection_->StartTransaction(); });
}

void BrowserWindow::Commit() {
  RunTransactionStep([this] { connection_->CommitTransaction(); });
}

void BrowserWindow::Rollback() {
  RunTransactionStep([this] { connection_->RollbackTransaction(); });
}

void BrowserWindow::RunTransactionStep(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    ShowError(MessageOf(e));
  }
  ShowStatus();
}

}  // namespace ndsbrowser
