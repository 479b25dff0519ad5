// Data sources and data links: a TDataSource joins one dataset to any
// number of TDataLinks (controls, detail datasets), which hear of every
// change of the dataset as data events, in the order the dataset sends them.
#ifndef DATASET_DATA_SOURCE_H
#define DATASET_DATA_SOURCE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "dataset/dataset_types.h"

namespace dataset {

class TDataLink;
class TDataSource;

using TDataChangeEvent = std::function<void(TDataSource& source, TField* field)>;
using TDataSourceNotifyEvent = std::function<void(TDataSource& source)>;

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner);
  // Detaches every link and leaves the dataset.
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataset_; }
  // Refuses with "Circular Data Link" when `dataset` takes its master
  // records from this source, directly or through other sources.
  void SetDataSet(TDataSet* dataset);
  // A disabled source tells its links that the dataset is inactive.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // Whether a link's Edit may put the dataset in edit state.
  bool AutoEdit() const { return auto_edit_; }
  void SetAutoEdit(bool value) { auto_edit_ = value; }
  // The dataset's state as the links see it (inactive while disabled).
  TDataSetState State() const { return state_; }
  // Puts the dataset in edit state when AutoEdit allows and it browses.
  void Edit();
  // True when `dataset` takes its master records from this source,
  // directly or through a chain of sources.
  bool IsLinkedTo(TDataSet* dataset) const;
  int LinkCount() const { return static_cast<int>(links_.size()); }

  TDataSourceNotifyEvent OnStateChange;  // the state seen by the links changed
  TDataChangeEvent OnDataChange;         // record or field data changed
  TDataSourceNotifyEvent OnUpdateData;   // the dataset asks for pending values

  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;

  // Called by the dataset for every data event.
  void DataEvent(TDataEvent event, std::intptr_t info);
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);
  void NotifyLinks(TDataEvent event, std::intptr_t info);
  void UpdateState();

  TDataSet* dataset_ = nullptr;  // not owned
  bool enabled_ = true;
  bool auto_edit_ = true;
  TDataSetState state_ = dsInactive;
  std::vector<TDataLink*> links_;  // not owned
};

// A link to a data source. Derived links override the reactions below;
// each default is documented. Not copyable.
class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  // Leaves its data source.
  virtual ~TDataLink();

  TDataSource* DataSource() const { return data_source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  // The source has an active dataset.
  bool Active() const { return active_; }
  // The link is editing its dataset (edit, insert or set-key state).
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // How many records the link shows at once (a grid shows many); the
  // dataset keeps at least as many buffers as its largest link asks.
  int BufferCount() const { return buffer_count_; }
  void SetBufferCount(int value);
  // The link's view of the window: the active record relative to the
  // link's first record, and how many records it can show now.
  int ActiveRecord() const;
  void SetActiveRecord(int value);
  int RecordCount() const;
  // Puts the dataset in edit state through the source; false when it could
  // not.
  bool Edit();
  // Writes pending values (UpdateData) without reacting to the resulting
  // field change.
  void UpdateRecord();

 protected:
  // Every data event, in the order the dataset sends it. The default turns
  // it into the reactions below and is what derived links call.
  virtual void DataEvent(TDataEvent event, std::intptr_t info);
  // The source became active or inactive. Default: nothing.
  virtual void ActiveChanged() {}
  // Editing started or ended. Default: nothing.
  virtual void EditingChanged() {}
  // The current record or one field of it (`field`, null: the whole
  // record) changed. Default: nothing.
  virtual void RecordChanged(TField* field) { (void)field; }
  // The dataset changed as a whole. Default: RecordChanged(null).
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  // The window scrolled by `distance` records. Default: DataSetChanged.
  virtual void DataSetScrolled(int distance) {
    (void)distance;
    DataSetChanged();
  }
  // The fields or their layout changed. Default: DataSetChanged.
  virtual void LayoutChanged() { DataSetChanged(); }
  // The dataset is about to leave its state; a link posts or drops what
  // it holds. Default: nothing.
  virtual void CheckBrowseMode() {}
  // Write pending values into the fields. Default: nothing.
  virtual void UpdateData() {}
  // A property of the dataset changed. Default: nothing.
  virtual void PropertyChanged() {}

 private:
  friend class TDataSource;

  void SetActive(bool value);
  void UpdateState();
  void ClampFirstRecord(int scroll);

  TDataSource* data_source_ = nullptr;  // not owned
  bool active_ = false;
  bool editing_ = false;
  bool read_only_ = false;
  bool updating_ = false;  // inside UpdateRecord
  int buffer_count_ = 1;
  int first_record_ = 0;  // window index of the link's first record
};

// A link that serves another dataset (a detail): DetailDataSet names it.
class TDetailDataLink : public TDataLink {
 public:
  virtual TDataSet* DetailDataSet() const { return nullptr; }
};

// The link of a detail dataset to its master: it keeps the master fields
// named by FieldNames and calls OnMasterChange when the master record
// changes or scrolls (or the link becomes active with fields), and
// OnMasterDisable when the master closes.
class TMasterDataLink : public TDetailDataLink {
 public:
  // `dataset` is the detail dataset; it must outlive the link.
  explicit TMasterDataLink(TDataSet* dataset) : dataset_(dataset) {}

  TDataSet* DetailDataSet() const override { return dataset_; }
  // Semicolon-separated names of fields of the master dataset.
  const std::string& FieldNames() const { return field_names_; }
  void SetFieldNames(const std::string& names);
  // The master fields, resolved while the link is active.
  const std::vector<TField*>& Fields() const { return fields_; }

  std::function<void()> OnMasterChange;
  std::function<void()> OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;

 private:
  TDataSet* dataset_;  // the detail dataset
  std::string field_names_;
  std::vector<TField*> fields_;  // master fields, not owned
};

}  // namespace dataset

#endif  // DATASET_DATA_SOURCE_H
