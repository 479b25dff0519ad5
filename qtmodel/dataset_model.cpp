#include "qtmodel/dataset_model.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "dataset/exceptions.h"
#include "dataset/fields.h"
#include "qtmodel/field_values.h"

namespace ndsqt {

QString MessageOf(const std::exception& e) {
  if (const auto* ours = dynamic_cast<const dataset::Exception*>(&e)) {
    return QString::fromStdString(ours->Message());
  }
  return QString::fromUtf8(e.what());
}

namespace {

bool IsNumeric(dataset::TFieldType type) {
  switch (type) {
    case dataset::ftSmallint:
    case dataset::ftInteger:
    case dataset::ftWord:
    case dataset::ftFloat:
    case dataset::ftCurrency:
    case dataset::ftBCD:
    case dataset::ftAutoInc:
    case dataset::ftLargeint:
      return true;
    default:
      return false;
  }
}

// Sets a flag for the life of a scope: the model's own moves and posts must
// not be taken for changes made elsewhere.
class Busy {
 public:
  explicit Busy(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~Busy() { flag_ = was_; }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  bool& flag_;
  bool was_;
};

}  // namespace

// The model's data link: turns the dataset's events into model changes,
// except while the model itself is moving or editing the dataset.
class DataSetModel::Link : public dataset::TDataLink {
 public:
  explicit Link(DataSetModel& model) : model_(model) {}

 protected:
  void ActiveChanged() override { Reload(); }
  void LayoutChanged() override { Reload(); }
  void DataSetChanged() override {
    if (!model_.walking_) model_.FollowDataSetChange();
  }
  // A scroll moves the current record, not the rows shown.
  void DataSetScrolled(int) override {
    if (!model_.walking_) model_.AnnounceCurrentRow(false);
  }
  void RecordChanged(dataset::TField*) override {
    if (!model_.walking_) model_.RefreshCurrentRow();
  }

 private:
  // Keeps as many rows as were fetched, so that a view keeps its place.
  void Reload() {
    if (model_.walking_) return;
    model_.Reload(std::max(static_cast<int>(model_.rows_.size()), model_.fetchSize_));
    model_.AnnounceCurrentRow(true);
  }

  DataSetModel& model_;
};

DataSetModel::DataSetModel(QObject* parent)
    : QAbstractTableModel(parent),
      source_(std::make_unique<dataset::TDataSource>(nullptr)),
      link_(std::make_unique<Link>(*this)) {
  link_->SetDataSource(source_.get());
}

DataSetModel::~DataSetModel() {
  Busy busy(walking_);
  link_->SetDataSource(nullptr);
}

void DataSetModel::SetDataSet(dataset::TDataSet* dataset) {
  {
    Busy busy(walking_);
    source_->SetDataSet(dataset);
  }
  Reload(fetchSize_);
  AnnounceCurrentRow(true);
}

dataset::TDataSet* DataSetModel::DataSet() const {
  return source_->DataSet();
}

void DataSetModel::Report(const QString& message) const {
  if (onError_) onError_(message);
}

void DataSetModel::ReadCurrentRecord(Row& row) const {
  row.texts.assign(columns_.size(), QString());
  row.nulls.assign(columns_.size(), true);
  row.edits.assign(columns_.size(), QVariant());
  for (size_t c = 0; c < columns_.size(); ++c) {
    dataset::TField& field = *columns_[c];
    row.nulls[c] = field.IsNull();
    if (row.nulls[c]) continue;
    row.texts[c] = QString::fromStdString(field.DisplayText());
    row.edits[c] = EditValueOf(field);
  }
}

void DataSetModel::Reload(int rows) {
  ReloadFrom(Origin::kFirst, rows);
}

void DataSetModel::ShowFirst() {
  Reload(fetchSize_);
  AnnounceCurrentRow(true);
}

void DataSetModel::ShowLast() {
  ReloadFrom(Origin::kLast, fetchSize_);
  if (!rows_.empty()) MoveToRow(static_cast<int>(rows_.size()) - 1);
  AnnounceCurrentRow(true);
}

void DataSetModel::ReloadFrom(Origin origin, int rows) {
  // Inserting rows while a change is being announced would nest one change
  // in another: a view that asks for more then gets it at its next request.
  Busy announcing(announcing_);
  beginResetModel();
  columns_.clear();
  rows_.clear();
  rowOfBookmark_.clear();
  newRecordRow_ = -1;
  dataset::TDataSet* dataset = DataSet();
  atEnd_ = dataset == nullptr || !dataset->Active();
  atStart_ = atEnd_;
  if (!atEnd_) {
    for (int i = 0; i < dataset->FieldCount(); ++i) {
      dataset::TField* field = dataset->FieldByNumber(i + 1);
      if (field != nullptr && field->Visible()) columns_.push_back(field);
    }
    switch (origin) {
      case Origin::kLast:
        atEnd_ = true;  // the rows end with the last record
        AppendRows(ReadRows(rows, true));
        break;
      case Origin::kFirst:
        atStart_ = true;
        AppendRows(ReadRows(rows, false));
        break;
      case Origin::kCurrent: {
        // The current record with a page after it and a page before it,
        // so that a view shows it among its neighbours.
        AppendRows(ReadRows(rows, false, true));
        std::vector<Row> before = ReadRows(rows, true);
        before.insert(before.end(), std::make_move_iterator(rows_.begin()),
                      std::make_move_iterator(rows_.end()));
        rows_.clear();
        rowOfBookmark_.clear();
        AppendRows(std::move(before));
        break;
      }
    }
  }
  endResetModel();
}

std::vector<DataSetModel::Row> DataSetModel::ReadRows(int count, bool backward, bool fromCurrent) {
  dataset::TDataSet* dataset = DataSet();
  std::vector<Row> fresh;
  bool& reachedEnd = backward ? atStart_ : atEnd_;
  // Moving away from a record being edited would post or lose it: fetching
  // waits until the dataset browses again.
  if (reachedEnd || dataset == nullptr || dataset->State() != dataset::dsBrowse) return fresh;
  {
    Busy busy(walking_);
    dataset->DisableControls();
    try {
      const dataset::TBookmark home = dataset->GetBookmark();
      if (rows_.empty()) {
        if (!fromCurrent) backward ? dataset->Last() : dataset->First();
      } else {
        dataset->GotoBookmark(backward ? rows_.front().bookmark : rows_.back().bookmark);
        dataset->MoveBy(backward ? -1 : 1);
      }
      auto beyond = [&] { return backward ? dataset->Bof() : dataset->Eof(); };
      // Moving back from the first record leaves it current with Bof set:
      // it is not read twice.
      while (static_cast<int>(fresh.size()) < count && !beyond()) {
        Row row;
        row.bookmark = dataset->GetBookmark();
        ReadCurrentRecord(row);
        fresh.push_back(std::move(row));
        dataset->MoveBy(backward ? -1 : 1);
      }
      reachedEnd = beyond();
      dataset->GotoBookmark(home);
    } catch (const std::exception& e) {
      // What was read is kept; the rest stays out of reach rather than
      // being retried at every scroll.
      reachedEnd = true;
      Report(MessageOf(e));
    }
    dataset->EnableControls();
  }
  if (backward) std::reverse(fresh.begin(), fresh.end());
  return fresh;
}

void DataSetModel::AppendRows(std::vector<Row> rows) {
  for (Row& row : rows) {
    rowOfBookmark_[row.bookmark] = static_cast<int>(rows_.size());
    rows_.push_back(std::move(row));
  }
}

void DataSetModel::IndexBookmarks() {
  rowOfBookmark_.clear();
  for (size_t r = 0; r < rows_.size(); ++r) {
    if (!rows_[r].bookmark.empty()) rowOfBookmark_[rows_[r].bookmark] = static_cast<int>(r);
  }
}

void DataSetModel::FollowDataSetChange() {
  dataset::TDataSet* dataset = DataSet();
  const dataset::TDataSetState state = dataset == nullptr ? dataset::dsInactive : dataset->State();
  if (state == dataset::dsInsert) {
    ShowNewRecord();
  } else if (state == dataset::dsBrowse || state == dataset::dsInactive) {
    refusedColumns_.clear();  // the edit is over, posted or cancelled
    Reload(std::max(static_cast<int>(rows_.size()), fetchSize_));
  } else {
    // An edit, a key edit: the rows stay, the current one is read again.
    RefreshCurrentRow();
  }
  AnnounceCurrentRow(true);
}

void DataSetModel::ShowNewRecord() {
  if (newRecordRow_ >= 0) {
    RefreshCurrentRow();
    return;
  }
  refusedColumns_.clear();  // a new edit
  // The dataset inserts before its current record: the new row takes that
  // record's row, or comes last when no row was current.
  const int count = static_cast<int>(rows_.size());
  const int at = announcedRow_ >= 0 && announcedRow_ < count ? announcedRow_ : count;
  Row row;
  ReadCurrentRecord(row);
  Busy announcing(announcing_);
  beginInsertRows(QModelIndex(), at, at);
  rows_.insert(rows_.begin() + at, std::move(row));
  newRecordRow_ = at;
  IndexBookmarks();
  endInsertRows();
}

void DataSetModel::AnnounceCurrentRow(bool always) {
  int row = CurrentRow();
  dataset::TDataSet* dataset = DataSet();
  if (row < 0 && dataset != nullptr && dataset->Active() && dataset->State() == dataset::dsBrowse &&
      !dataset->IsEmpty() && !rows_.empty()) {
    // The cursor went beyond the fetched rows (a Last, a search): the rows
    // are read again around it rather than fetched all the way to it.
    ReloadFrom(Origin::kCurrent, fetchSize_);
    row = CurrentRow();
    always = true;  // a view and a mapper lost their index in the reload
  }
  if (!always && row == announcedRow_) return;
  announcedRow_ = row;
  emit currentRowChanged(row);
}

bool DataSetModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !atEnd_ && !announcing_;
}

void DataSetModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  std::vector<Row> added = ReadRows(fetchSize_, false);
  if (added.empty()) return;
  const int first = static_cast<int>(rows_.size());
  Busy announcing(announcing_);
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
  AppendRows(std::move(added));
  endInsertRows();
}

bool DataSetModel::CanFetchBefore() const {
  return !atStart_ && !announcing_;
}

int DataSetModel::FetchBefore() {
  if (!CanFetchBefore()) return 0;
  std::vector<Row> added = ReadRows(fetchSize_, true);
  if (added.empty()) return 0;
  const int count = static_cast<int>(added.size());
  Busy announcing(announcing_);
  beginInsertRows(QModelIndex(), 0, count - 1);
  added.insert(added.end(), std::make_move_iterator(rows_.begin()),
               std::make_move_iterator(rows_.end()));
  rows_.clear();
  rowOfBookmark_.clear();
  AppendRows(std::move(added));
  endInsertRows();
  return count;
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()) ||
      index.column() >= static_cast<int>(columns_.size())) {
    return QVariant();
  }
  const Row& row = rows_[static_cast<size_t>(index.row())];
  const size_t column = static_cast<size_t>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      return row.nulls[column] ? QVariant() : QVariant(row.texts[column]);
    case Qt::EditRole:
      return row.edits[column];
    case Qt::TextAlignmentRole:
      return IsNumeric(columns_[column]->DataType())
                 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                 : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    default:
      return QVariant();
  }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return QVariant();
  if (orientation == Qt::Vertical) return section + 1;
  if (section < 0 || section >= static_cast<int>(columns_.size())) return QVariant();
  return QString::fromStdString(columns_[static_cast<size_t>(section)]->DisplayLabel());
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || index.column() >= static_cast<int>(columns_.size())) {
    return Qt::NoItemFlags;
  }
  Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  dataset::TField& field = *columns_[static_cast<size_t>(index.column())];
  if ((!field.IsBlob() || IsTextMemo(field)) && field.CanModify()) result |= Qt::ItemIsEditable;
  return result;
}

bool DataSetModel::MoveToRow(int row) {
  dataset::TDataSet* dataset = DataSet();
  if (dataset == nullptr || row < 0 || row >= static_cast<int>(rows_.size())) return false;
  if (row == CurrentRow()) return true;
  const dataset::TBookmark target = rows_[static_cast<size_t>(row)].bookmark;
  try {
    // A record being edited is posted (or its untouched insert dropped)
    // before the move, in view of the model: its rows change with it.
    if (dataset->State() != dataset::dsBrowse) dataset->CheckBrowseMode();
    {
      Busy busy(walking_);
      dataset->GotoBookmark(target);
    }
    editRefused_ = false;  // another record
  } catch (const std::exception& e) {
    Report(MessageOf(e));
    return false;
  }
  AnnounceCurrentRow(false);
  return true;
}

int DataSetModel::CurrentRow() const {
  dataset::TDataSet* dataset = DataSet();
  if (dataset == nullptr || !dataset->Active()) return -1;
  if (dataset->State() == dataset::dsInsert) return newRecordRow_;
  auto found = rowOfBookmark_.find(dataset->GetBookmark());
  return found == rowOfBookmark_.end() ? -1 : found->second;
}

void DataSetModel::RefreshCurrentRow() {
  const int row = CurrentRow();
  if (row < 0) return;
  ReadCurrentRecord(rows_[static_cast<size_t>(row)]);
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  if (!MoveToRow(index.row())) return false;
  if (strategy_ == EditStrategy::kOnManualSubmit) return SetEditedField(index, value);
  dataset::TDataSet& dataset = *DataSet();
  dataset::TField& field = *columns_[static_cast<size_t>(index.column())];
  bool posted = true;
  {
    Busy busy(walking_);
    try {
      dataset.Edit();
      SetFieldValue(field, value);
      dataset.Post();
    } catch (const std::exception& e) {
      posted = false;
      Report(MessageOf(e));
      try {
        if (dataset.State() != dataset::dsBrowse) dataset.Cancel();
      } catch (const std::exception&) {
        // The first message is the one the user needs.
      }
    }
  }
  // The row shows what the record holds now, posted or not.
  RefreshCurrentRow();
  return posted;
}

bool DataSetModel::SetEditedField(const QModelIndex& index, const QVariant& value) {
  dataset::TDataSet& dataset = *DataSet();
  dataset::TField& field = *columns_[static_cast<size_t>(index.column())];
  bool set = true;
  {
    Busy busy(walking_);
    try {
      if (dataset.State() == dataset::dsBrowse) {
        // A refused edit (a record locked by another user) is told once,
        // not again for every field a mapper writes after it.
        if (editRefused_) return false;
        refusedColumns_.clear();
        try {
          dataset.Edit();
        } catch (...) {
          editRefused_ = true;
          throw;
        }
      }
      SetFieldValue(field, value);
      refusedColumns_.erase(index.column());
    } catch (const std::exception& e) {
      set = false;
      if (dataset.State() != dataset::dsBrowse) refusedColumns_.insert(index.column());
      Report(MessageOf(e));
    }
  }
  // Only this cell is announced: a mapper repopulates every editor of a
  // changed range, and the editors not written yet hold the user's input.
  const int row = CurrentRow();
  if (row >= 0) {
    ReadCurrentRecord(rows_[static_cast<size_t>(row)]);
    const QModelIndex cell = this->index(row, index.column());
    emit dataChanged(cell, cell);
  }
  return set;
}

bool DataSetModel::submit() {
  if (editRefused_) {
    editRefused_ = false;  // the next round tries the edit again
    return false;
  }
  dataset::TDataSet* dataset = DataSet();
  if (dataset == nullptr || !dataset->Active()) return true;
  const dataset::TDataSetState state = dataset->State();
  if (state != dataset::dsEdit && state != dataset::dsInsert) return true;
  if (!refusedColumns_.empty()) {
    // The user was told a value was refused: the record is not stored
    // without it; it stays in edit to be mended or cancelled.
    Report(tr("The record was not posted: a value was refused."));
    return false;
  }
  try {
    dataset->Post();
  } catch (const std::exception& e) {
    Report(MessageOf(e));
    return false;
  }
  return true;
}

void DataSetModel::revert() {
  refusedColumns_.clear();
  editRefused_ = false;
  dataset::TDataSet* dataset = DataSet();
  if (dataset == nullptr || !dataset->Active()) return;
  try {
    dataset->Cancel();
  } catch (const std::exception& e) {
    Report(MessageOf(e));
  }
}

bool DataSetModel::removeRows(int row, int count, const QModelIndex& parent) {
  if (parent.isValid() || count <= 0 || row < 0 || row + count > static_cast<int>(rows_.size())) {
    return false;
  }
  // The records are found by bookmark at each step: a move may post a
  // record being edited, and the rows are read again then.
  std::vector<dataset::TBookmark> doomed;
  for (int r = row; r < row + count; ++r) doomed.push_back(rows_[static_cast<size_t>(r)].bookmark);
  auto rowOf = [this](const dataset::TBookmark& bookmark) {
    if (bookmark.empty()) return newRecordRow_;
    auto found = rowOfBookmark_.find(bookmark);
    return found == rowOfBookmark_.end() ? -1 : found->second;
  };
  bool removed = true;
  for (const dataset::TBookmark& bookmark : doomed) {
    if (!MoveToRow(rowOf(bookmark))) {
      removed = false;
      break;
    }
    const int at = rowOf(bookmark);
    try {
      Busy busy(walking_);
      DataSet()->Delete();  // the record being inserted is cancelled
    } catch (const std::exception& e) {
      Report(MessageOf(e));
      removed = false;
      break;
    }
    beginRemoveRows(QModelIndex(), at, at);
    rows_.erase(rows_.begin() + at);
    if (newRecordRow_ > at) --newRecordRow_;
    if (bookmark.empty()) newRecordRow_ = -1;
    IndexBookmarks();
    endRemoveRows();
  }
  AnnounceCurrentRow(true);
  return removed;
}

}  // namespace ndsqt
