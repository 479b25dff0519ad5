// The table browser's main window: a database's tables on the left, the
// chosen table in a table view on the right, with its index order, a filter
// in the engine's expression language, a locate box, new and delete record
// buttons and the transaction's begin, commit and rollback. Under the
// tables, the xBase tables of the database's directory that it does not
// hold yet, each brought in by Import; Import... and Export... bring any
// xBase table or CSV file in and take a table out, with a progress dialog
// whose Cancel leaves nothing behind. Every failure is shown to the user in
// a message box and leaves the window usable.
#ifndef BROWSER_BROWSER_WINDOW_H_
#define BROWSER_BROWSER_WINDOW_H_

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "qtmodel/dataset_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressDialog;
class QTableView;

namespace ndsbrowser {

class BrowserWindow : public QMainWindow {
 public:
  explicit BrowserWindow(QWidget* parent = nullptr);
  ~BrowserWindow() override;

  // Connects to `database`: a directory of free tables, a data dictionary
  // file or an alias of nds.ini; `user` and `password` for a dictionary that
  // checks logins. Lists its tables; false (after telling the user) on
  // failure.
  bool OpenDatabase(const QString& database, const QString& user = QString(),
                    const QString& password = QString());
  // Shows `table` of the open database; false when it cannot be opened.
  bool ShowTable(const QString& table);
  // The steps behind the controls, for the buttons and for tests.
  void ChooseIndex(const QString& name);        // empty: natural order
  bool ApplyFilter(const QString& expression);  // empty: no filter
  bool LocateValue(const QString& field, const QString& value);
  bool DeleteCurrentRecord();
  // Appends a record with the texts of `values` (one per field in order,
  // empty: left null) and posts it; a refusal is told and nothing is kept.
  bool AppendRecord(const QStringList& values);
  // The first rows of the table, or its last (without reading the rest).
  void ShowFirst();
  void ShowLast();
  void Begin();
  void Commit();
  void Rollback();
  // Imports `file` (.dbf or .csv) into `table` (empty: the file's name
  // without extension) with NdsImportTable's option bits, then lists the
  // tables afresh; false (after telling the user) when it failed, and then
  // the database is as it was.
  bool ImportFile(const QString& file, const QString& table = QString(), uint32_t options = 0);
  // Exports a table or a SELECT to `file` (.dbf or .csv); false (after
  // telling the user) when it failed, and then no file was written.
  bool ExportTo(const QString& source, const QString& file);
  // Stops the import or export under way, as its dialog's Cancel does.
  void CancelTransfer() { cancelTransfer_ = true; }

  nds::TNdsQuery& Query() { return *query_; }
  ndsqt::DataSetModel& Model() { return *model_; }
  QListWidget& Tables() { return *tables_; }
  // The xBase files of the directory the database does not hold yet.
  QListWidget& Unimported() { return *unimported_; }
  QTableView& View() { return *view_; }
  // The message of the last failure shown to the user.
  const QString& LastError() const { return lastError_; }
  // Message boxes are skipped (tests); failures still reach LastError.
  void SetQuiet(bool quiet) { quiet_ = quiet; }

 private:
  void BuildWidgets();
  // Lists the database's tables and the xBase files it does not hold.
  void ListTables();
  // The dialogs behind Import... and Export...
  void AskImport();
  void AskExport();
  // Runs an import or export (`work`: the engine call given the transfer
  // settings) under a progress dialog; false when it failed or was cancelled.
  bool RunTransfer(const QString& title, const std::function<uint32_t(NDSTRANSFER*)>& work);
  static int32_t TransferProgress(void* window, uint64_t done, uint64_t total);
  void NewRecord();
  void ShowError(const QString& message);
  // Runs a transaction step, telling its failure; the status follows.
  void RunTransactionStep(const std::function<void()>& step);
  void ShowStatus();
  void FillIndexChoices();
  void FillLocateFields();
  // Selects the row of the dataset's current record, fetching rows until
  // the view holds it.
  void SelectCurrentRecord();

  std::unique_ptr<nds::TNdsConnection> connection_;
  std::unique_ptr<nds::TNdsQuery> query_;
  std::unique_ptr<ndsqt::DataSetModel> model_;
  QListWidget* tables_ = nullptr;
  QListWidget* unimported_ = nullptr;
  QProgressDialog* progress_ = nullptr;  // while a transfer runs
  bool cancelTransfer_ = false;          // the transfer under way is to stop
  QTableView* view_ = nullptr;
  QComboBox* indexes_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QComboBox* locateField_ = nullptr;
  QLineEdit* locateValue_ = nullptr;
  QLabel* transaction_ = nullptr;
  QString lastError_;
  bool quiet_ = false;
  bool filling_ = false;  // the index list is being filled, not chosen
};

}  // namespace ndsbrowser

#endif  // BROWSER_BROWSER_WINDOW_H_
