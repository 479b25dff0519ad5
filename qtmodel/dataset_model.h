// A Qt table model over any dataset of the framework. It is bound to the
// dataset through a data link of its own, so it follows the dataset as any
// data-aware control does:
// - rows are fetched as a view scrolls (canFetchMore/fetchMore), a page at a
//   time, never the whole result at once; each fetched row keeps the record's
//   bookmark and its fields' display texts;
// - the edit role gives dates, times and logicals typed, a memo as its text
//   (qtmodel/field_values.h), so that Qt's editors and QDataWidgetMapper take
//   them;
// - an edit of a cell moves the dataset to the record and sets the field;
//   it posts at once, or, with the manual-submit strategy, at submit()
//   (revert() cancels); the dataset's message goes to the error handler;
// - the current row follows the dataset's cursor both ways: MoveToRow moves
//   the dataset, and any move of the dataset (its own navigation, an insert,
//   a post) is announced by currentRowChanged, which a view's selection or a
//   QDataWidgetMapper follows; a new record shows as a row of its own until
//   it is posted or cancelled;
// - a change made elsewhere (a post, a refresh, a reopen, a new layout)
//   reaches the view: the changed record's row is read again, or the rows
//   are fetched afresh.
// Fetching moves the dataset's cursor; it holds the other controls back while
// it does and returns to the record that was current.
#ifndef QTMODEL_DATASET_MODEL_H_
#define QTMODEL_DATASET_MODEL_H_

#include <QAbstractTableModel>
#include <QString>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/dataset.h"

namespace ndsqt {

// The text a user should read for a failure of the framework, the
// components or anything else.
QString MessageOf(const std::exception& e);

class DataSetModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using ErrorHandler = std::function<void(const QString& message)>;

  // When an edit of a cell reaches the store.
  enum class EditStrategy {
    kOnFieldChange,   // each setData edits, sets the field and posts
    kOnManualSubmit,  // setData edits and sets the field; submit() posts
  };

  explicit DataSetModel(QObject* parent = nullptr);
  ~DataSetModel() override;

  // Binds the model to `dataset` (null unbinds). The model does not own it.
  void SetDataSet(dataset::TDataSet* dataset);
  dataset::TDataSet* DataSet() const;
  // Called with the message of a failed edit, delete or fetch.
  void SetErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }
  // Records read per fetch (at least 1; 256 by default).
  void SetFetchSize(int rows) { fetchSize_ = rows < 1 ? 1 : rows; }
  // kOnFieldChange by default. A form whose editors are written one field
  // at a time (QDataWidgetMapper::submit) wants kOnManualSubmit, so that the
  // record is posted once, whole.
  void SetEditStrategy(EditStrategy strategy) { strategy_ = strategy; }
  EditStrategy Strategy() const { return strategy_; }

  // Shows the last records instead of the first (the dataset's Last, not a
  // fetch of every row before them) and makes the last one current; rows
  // before them come with FetchBefore, as a view scrolls up.
  void ShowLast();
  // Back to the first records, as at the start.
  void ShowFirst();
  bool CanFetchBefore() const;
  // Reads a page of records before the first row and inserts them at the
  // top; answers how many.
  int FetchBefore();

  // Moves the dataset to the record shown in `row`; false when it cannot
  // (the message goes to the error handler). A record being edited
  // elsewhere is posted first, as any move of the dataset does.
  bool MoveToRow(int row);
  // The row that shows the dataset's current record (the new record's row
  // while one is inserted); -1 when none does.
  int CurrentRow() const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Edits one field of one record: moves the dataset to it unless it is the
  // record being edited, and sets the field (SetFieldValue); posts at once
  // under kOnFieldChange. A refused value is reported and answers false;
  // under kOnManualSubmit the record stays in edit, and submit() refuses to
  // post it until that field takes a value, so that a record is never
  // stored without a value the user was told was refused.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  // Posts the record the dataset is editing; false, with the message
  // reported and the record still in edit, when the dataset refuses; false
  // also when the record could not be put in edit for the values set since
  // the last submit (a record locked by another user). True when nothing is
  // being edited.
  bool submit() override;
  // Cancels the edit or insert of the dataset.
  void revert() override;
  // Deletes `count` records from `row` on, through the dataset.
  bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 signals:
  // The dataset's current record is now shown in `row` (-1: in none). Sent
  // after every move, insert, post, cancel, delete or refetch of the
  // dataset, also when the row number stays the same (a refetch leaves a
  // view and a mapper without their current index).
  void currentRowChanged(int row);

 private:
  class Link;
  friend class Link;

  struct Row {
    dataset::TBookmark bookmark;  // empty for a new record not posted yet
    std::vector<QString> texts;   // display text per column; null fields empty
    std::vector<bool> nulls;
    std::vector<QVariant> edits;  // edit-role value per column
  };

  // Where a reload starts reading.
  enum class Origin { kFirst, kLast, kCurrent };

  // Forgets every row and column and reads the first `rows` records again,
  // the last ones, or those from the current record on.
  void Reload(int rows);
  void ReloadFrom(Origin origin, int rows);
  // Reads up to `count` records after the last row, or before the first,
  // in the dataset's order (none while the dataset is not browsing); with
  // no rows yet, from the first or last record, or from the current one
  // when `fromCurrent`. An error is reported and ends the fetching that way.
  std::vector<Row> ReadRows(int count, bool backward, bool fromCurrent = false);
  void AppendRows(std::vector<Row> rows);
  void IndexBookmarks();
  // The dataset changed as a whole: a new record gets a row of its own,
  // a browsing dataset is read again.
  void FollowDataSetChange();
  // Shows the record being inserted in a row of its own, where the current
  // record was shown.
  void ShowNewRecord();
  // Announces the current row; when the current record lies beyond the
  // fetched rows, the rows are read again around it first.
  void AnnounceCurrentRow(bool always);
  // Sets a field of the record being edited; false when it is refused.
  bool SetEditedField(const QModelIndex& index, const QVariant& value);
  // The current record's texts into `row`.
  void ReadCurrentRecord(Row& row) const;
  // Re-reads the row showing the current record after it changed.
  void RefreshCurrentRow();
  void Report(const QString& message) const;

  std::unique_ptr<dataset::TDataSource> source_;
  std::unique_ptr<Link> link_;
  std::vector<dataset::TField*> columns_;  // the visible fields, in order
  std::vector<Row> rows_;
  std::map<dataset::TBookmark, int> rowOfBookmark_;
  bool atEnd_ = true;        // the rows reach the last record
  bool atStart_ = true;      // the rows begin with the first record
  bool walking_ = false;     // the model itself moves the dataset
  bool announcing_ = false;  // rows are being replaced or added
  int fetchSize_ = 256;
  int newRecordRow_ = -1;         // the row of the record being inserted
  int announcedRow_ = -1;         // the current row last announced
  std::set<int> refusedColumns_;  // columns whose last value in this edit was refused
  bool editRefused_ = false;      // the record could not be put in edit; until submit
  EditStrategy strategy_ = EditStrategy::kOnFieldChange;
  ErrorHandler onError_;
};

}  // namespace ndsqt

#endif  // QTMODEL_DATASET_MODEL_H_
