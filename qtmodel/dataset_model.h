// A Qt table model over any dataset of the framework. It is bound to the
// dataset through a data link of its own, so it follows the dataset as any
// data-aware control does:
// - rows are fetched as a view scrolls (canFetchMore/fetchMore), a page at a
//   time, never the whole result at once; each fetched row keeps the record's
//   bookmark and its fields' display texts;
// - an edit of a cell moves the dataset to the record, edits the field in its
//   display form and posts; the dataset's message goes to the error handler
//   and the record is left as it was;
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
#include <vector>

#include "dataset/data_source.h"
#include "dataset/dataset.h"

namespace ndsqt {

// The text a user should read for a failure of the framework, the
// components or anything else.
QString MessageOf(const std::exception& e);

class DataSetModel : public QAbstractTableModel {
 public:
  using ErrorHandler = std::function<void(const QString& message)>;

  explicit DataSetModel(QObject* parent = nullptr);
  ~DataSetModel() override;

  // Binds the model to `dataset` (null unbinds). The model does not own it.
  void SetDataSet(dataset::TDataSet* dataset);
  dataset::TDataSet* DataSet() const;
  // Called with the message of a failed edit, delete or fetch.
  void SetErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }
  // Records read per fetch (at least 1; 256 by default).
  void SetFetchSize(int rows) { fetchSize_ = rows < 1 ? 1 : rows; }

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

  // Moves the dataset to the record shown in `row`; false when it cannot.
  bool MoveToRow(int row);
  // The row that shows the dataset's current record; -1 when none does.
  int CurrentRow() const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Edits one field of one record and posts it.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  // Deletes `count` records from `row` on, through the dataset.
  bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  class Link;
  friend class Link;

  struct Row {
    dataset::TBookmark bookmark;
    std::vector<QString> texts;  // display text per column; null fields empty
    std::vector<bool> nulls;
  };

  // Forgets every row and column and reads the first `rows` records again,
  // or the last ones.
  void Reload(int rows);
  void ReloadFrom(bool fromEnd, int rows);
  // Reads up to `count` records after the last row, or before the first,
  // in the dataset's order (none while the dataset is not browsing); an
  // error is reported and ends the fetching that way.
  std::vector<Row> ReadRows(int count, bool backward);
  void AppendRows(std::vector<Row> rows);
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
  ErrorHandler onError_;
};

}  // namespace ndsqt

#endif  // QTMODEL_DATASET_MODEL_H_
