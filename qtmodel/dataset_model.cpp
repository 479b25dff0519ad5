#include "qtmodel/dataset_model.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "dataset/exceptions.h"
#include "dataset/fields.h"

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
  void DataSetChanged() override { Reload(); }
  // A scroll moves the current record, not the rows shown.
  void DataSetScrolled(int) override {}
  void RecordChanged(dataset::TField*) override {
    if (!model_.walking_) model_.RefreshCurrentRow();
  }

 private:
  // Keeps as many rows as were fetched, so that a view keeps its place.
  void Reload() {
    if (model_.walking_) return;
    model_.Reload(std::max(static_cast<int>(model_.rows_.size()), model_.fetchSize_));
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
  for (size_t c = 0; c < columns_.size(); ++c) {
    dataset::TField& field = *columns_[c];
    row.nulls[c] = field.IsNull();
    if (!row.nulls[c]) row.texts[c] = QString::fromStdString(field.DisplayText());
  }
}

void DataSetModel::Reload(int rows) {
  ReloadFrom(false, rows);
}

void DataSetModel::ShowFirst() {
  Reload(fetchSize_);
}

void DataSetModel::ShowLast() {
  ReloadFrom(true, fetchSize_);
  if (!rows_.empty()) MoveToRow(static_cast<int>(rows_.size()) - 1);
}

void DataSetModel::ReloadFrom(bool fromEnd, int rows) {
  // Inserting rows while a change is being announced would nest one change
  // in another: a view that asks for more then gets it at its next request.
  Busy announcing(announcing_);
  beginResetModel();
  columns_.clear();
  rows_.clear();
  rowOfBookmark_.clear();
  dataset::TDataSet* dataset = DataSet();
  atEnd_ = dataset == nullptr || !dataset->Active();
  atStart_ = atEnd_;
  if (!atEnd_) {
    for (int i = 0; i < dataset->FieldCount(); ++i) {
      dataset::TField* field = dataset->FieldByNumber(i + 1);
      if (field != nullptr && field->Visible()) columns_.push_back(field);
    }
    if (fromEnd) {
      atEnd_ = true;  // the rows end with the last record
      AppendRows(ReadRows(rows, true));
    } else {
      atStart_ = true;
      AppendRows(ReadRows(rows, false));
    }
  }
  endResetModel();
}

std::vector<DataSetModel::Row> DataSetModel::ReadRows(int count, bool backward) {
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
        backward ? dataset->Last() : dataset->First();
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
    case Qt::EditRole:
      return row.nulls[column] ? QVariant() : QVariant(row.texts[column]);
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
  if (!field.IsBlob() && field.CanModify()) result |= Qt::ItemIsEditable;
  return result;
}

bool DataSetModel::MoveToRow(int row) {
  dataset::TDataSet* dataset = DataSet();
  if (dataset == nullptr || row < 0 || row >= static_cast<int>(rows_.size())) return false;
  try {
    Busy busy(walking_);
    dataset->GotoBookmark(rows_[static_cast<size_t>(row)].bookmark);
    return true;
  } catch (const std::exception& e) {
    Report(MessageOf(e));
    return false;
  }
}

int DataSetModel::CurrentRow() const {
  dataset::TDataSet* dataset = DataSet();
  if (dataset == nullptr || !dataset->Active()) return -1;
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
  dataset::TDataSet& dataset = *DataSet();
  dataset::TField& field = *columns_[static_cast<size_t>(index.column())];
  bool posted = true;
  {
    Busy busy(walking_);
    try {
      dataset.Edit();
      const QString text = value.toString();
      if (value.isNull() || text.isEmpty()) {
        field.Clear();
      } else {
        field.SetAsString(text.toStdString());
      }
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

bool DataSetModel::removeRows(int row, int count, const QModelIndex& parent) {
  if (parent.isValid() || count <= 0 || row < 0 || row + count > static_cast<int>(rows_.size())) {
    return false;
  }
  for (int i = 0; i < count; ++i) {
    if (!MoveToRow(row)) return false;
    try {
      Busy busy(walking_);
      DataSet()->Delete();
    } catch (const std::exception& e) {
      Report(MessageOf(e));
      return false;
    }
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
  }
  rowOfBookmark_.clear();
  for (size_t r = 0; r < rows_.size(); ++r) rowOfBookmark_[rows_[r].bookmark] = static_cast<int>(r);
  return true;
}

}  // namespace ndsqt
