// TDataSet: the generic record-buffer dataset under every dataset of the
// system. It keeps a window of record buffers, drives navigation, editing,
// calculated fields and data links, and leaves the records themselves to a
// derived class through the hooks of its base TDataSetHooks
// (dataset_hooks.h) and the few declared below whose defaults are the
// framework's own steps.
//
// A derived dataset decides what a record buffer holds (its size, layout and
// bookmark) and moves its own cursor; the framework decides when.
#ifndef DATASET_DATASET_H
#define DATASET_DATASET_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "dataset/database_error.h"
#include "dataset/dataset_hooks.h"
#include "dataset/dataset_types.h"
#include "dataset/exceptions.h"
#include "dataset/field_defs.h"
#include "dataset/field_type.h"
#include "dataset/fields.h"
#include "dataset/index_defs.h"
#include "dataset/variant.h"

namespace dataset {

class TDataSource;
class TDataLink;
class TParams;
class TStream;

// Event types.
using TDataSetNotifyEvent = std::function<void(TDataSet& dataset)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet& dataset, EDatabaseError& error, TDataAction& action)>;
using TFilterRecordEvent = std::function<void(TDataSet& dataset, bool& accept)>;
using TUpdateRecordEvent =
    std::function<void(TDataSet& dataset, TUpdateKind kind, TUpdateAction& action)>;

// Their names in messages of stored descriptions.
template <>
struct TEventTypeName<TDataSetNotifyEvent> {
  static constexpr const char* value = "TDataSetNotifyEvent";
};
template <>
struct TEventTypeName<TDataSetErrorEvent> {
  static constexpr const char* value = "TDataSetErrorEvent";
};
template <>
struct TEventTypeName<TFilterRecordEvent> {
  static constexpr const char* value = "TFilterRecordEvent";
};
template <>
struct TEventTypeName<TUpdateRecordEvent> {
  static constexpr const char* value = "TUpdateRecordEvent";
};

// The framework's messages.
extern const char* const kDataSetOpenMessage;  // "Cannot perform this operation on an open dataset"
extern const char* const
    kDataSetClosedMessage;  // "Cannot perform this operation on a closed dataset"
extern const char* const
    kDataSetEmptyMessage;  // "Cannot perform this operation on an empty dataset"
extern const char* const kDataSetReadOnlyMessage;   // "Cannot modify a read-only dataset"
extern const char* const kNotEditingMessage;        // "Dataset not in edit or insert mode"
extern const char* const kRecordNotFoundMessage;    // "Record not found"
extern const char* const kCircularDataLinkMessage;  // "Circular Data Link"

// Registers TDataSet, TDataSource and the field classes with their published
// properties for stored descriptions (once; RegisterFrameworkClasses calls
// it).
void RegisterDataSetClasses();

// The process-wide exception hook of the dataset layer: a procedure taking
// the dataset, empty from the start. A dataset whose user event handler
// raised calls it from inside the handler's catch block (so the hook may
// look at std::current_exception() or rethrow it); when it is empty the
// exception propagates instead. See TDataSet::HandleEventException.
using TDataSetExceptionHook = void (*)(TDataSet& dataset);
void SetDataSetExceptionHook(TDataSetExceptionHook hook);
TDataSetExceptionHook DataSetExceptionHook();

class TDataSet : public TDataSetHooks {
 public:
  explicit TDataSet(TComponent* owner);
  // Destroys the fields it owns and detaches its data sources and other
  // fields. A derived dataset must close itself in its own destructor
  // (Destroying(); Close(); closes without Before/AfterClose), because the
  // close step is one of its hooks.
  ~TDataSet() override;

  // ---- Opening and closing -------------------------------------------
  // Open: BeforeOpen; state opening; EstablishCursor; the record buffers;
  // the first records fetched; state browse; FireAfterOpen; AfterScroll when
  // the dataset is not empty. When any step before browse fails, the close
  // step (CloseEngineCursor) runs, the state returns to inactive and the
  // failure propagates. While the component is being read from a stored
  // description, SetActive only remembers the value; Loaded() opens.
  bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  void Loaded() override;
  // Whether Active is written to a stored description; a dataset with a
  // rule of its own (StoreActive) overrides it. Default: true.
  virtual bool StoresActive() const { return true; }
  // Raise kDataSetClosedMessage / kDataSetOpenMessage.
  void CheckActive() const;
  void CheckInactive() const;

  TDataSetState State() const { return state_; }
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  // ---- Navigation -----------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves the active record by `distance` records; returns how far it
  // moved (less at either end of the dataset).
  int MoveBy(int distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const { return bof_ && eof_; }
  // Record number of the active record and the number of records, as the
  // dataset counts them (ReadRecNo, CountRecords).
  int RecNo();
  void SetRecNo(int value);
  int RecordCount();
  bool IsSequenced() const;
  // Re-reads the current record and refills the window around it.
  void Refresh();
  // Refills the window around the cursor's current record.
  void Resync(TResyncMode mode);

  // Bookmarks.
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  bool BookmarkValid(const TBookmark& bookmark);
  // -1, 0 or 1; an empty (or foreign-sized) bookmark sorts after any other.
  int CompareBookmarks(const TBookmark& a, const TBookmark& b);
  int BookmarkSize() const { return bookmark_size_; }

  // Data links are held back between DisableControls and EnableControls
  // (counted); EnableControls sends one dataset-change when something
  // happened meanwhile.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ > 0; }

  // ---- Editing --------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  // Posts a pending edit when the record was modified, cancels it
  // otherwise, ends key editing in the set-key state.
  void CheckBrowseMode();
  // Inserts or appends a record with the given values (null for fields that
  // stay empty) and posts it through InternalAddRecord.
  void InsertRecord(const std::vector<Variant>& values);
  void AppendRecord(const std::vector<Variant>& values);
  // Sets every field of the record being edited to null.
  void ClearFields();
  // Sends the update-record event: data links write their pending values.
  void UpdateRecord();
  // Raises kDataSetReadOnlyMessage when CanModify() answers false.
  void CheckCanModify();
  // Raises "Field 'X' must have a value" for the first required data field
  // that is null.
  void CheckRequiredFields();

  // ---- Fields ---------------------------------------------------------
  TFields& Fields() { return fields_; }
  const TFields& Fields() const { return fields_; }
  int FieldCount() const { return fields_.Count(); }
  TField* FindField(const std::string& name) const { return fields_.FindField(name); }
  // Raises "Field 'X' not found".
  TField* FieldByName(const std::string& name) const { return fields_.FieldByName(name); }
  TField* FieldByNumber(int field_no) const { return fields_.FieldByNumber(field_no); }
  // The fields of a semicolon-separated list; raises for an unknown name.
  std::vector<TField*> GetFieldList(const std::string& names) const;
  // The value of one field, or an array of values for several.
  Variant FieldValues(const std::string& names) const;
  void SetFieldValues(const std::string& names, const Variant& value);

  TFieldDefs& FieldDefs() { return *field_defs_; }
  TIndexDefs& IndexDefs() { return *index_defs_; }
  // True when the field objects were created from the field definitions at
  // open (and are destroyed at close).
  bool DefaultFields() const { return default_fields_; }
  // Calculated-field area: its size (sum over calculated and lookup fields
  // of their data size + 1 has-value byte) and whether internal-calc fields
  // exist. Valid after BindFields.
  int CalcFieldsSize() const { return calc_fields_size_; }
  bool InternalCalcFields() const { return internal_calc_fields_; }
  // Number of blob data fields; each has BlobIndex 0, 1, ... in field order.
  int BlobFieldCount() const { return blob_field_count_; }
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool value) { auto_calc_fields_ = value; }

  // The dataset's class for a field type; a derived dataset substitutes its
  // own by overriding FieldClassFor.
  using TFieldFactory = std::function<TField*(TComponent* owner)>;
  virtual TFieldFactory FieldClassFor(TFieldType type);

  // ---- Filters and searches ------------------------------------------
  // The filter text; what it means is the dataset's (a cursor dataset hands
  // it to its engine). SetFilter calls the overridable SetFilterText.
  const std::string& Filter() const { return filter_text_; }
  void SetFilter(const std::string& text) { SetFilterText(text); }
  virtual void SetFilterText(const std::string& text);
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool value);
  const TFilterRecordEvent& OnFilterRecord() const { return on_filter_record_; }
  virtual void SetOnFilterRecord(TFilterRecordEvent handler);

  // Move to the first/last/next/prior record that satisfies the filter,
  // whether Filtered is on or not (FindRecord). Found() tells the result of
  // the last one.
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();
  bool Found() const { return found_; }

  // Locate: makes the first record whose fields `key_fields`
  // (semicolon-separated) hold `key_values` (one value, or an array with one
  // element per field) current. Lookup: the value(s) of `result_fields` of
  // that record, without moving; null when there is none.
  bool Locate(const std::string& key_fields, const Variant& key_values, TLocateOptions options);
  Variant Lookup(const std::string& key_fields, const Variant& key_values,
                 const std::string& result_fields);

  // Key editing: SetKey enters the set-key state, in which assignments go
  // to the dataset's key buffer; Post ends it keeping the key, Cancel ends
  // it discarding the key.
  void SetKey();

  // A stream over a blob field of the current record; the caller owns it.
  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

  // ---- Data sources ---------------------------------------------------
  // The data source this dataset takes its master records from, if any
  // (MasterDataSource).
  TDataSource* DataSource() { return MasterDataSource(); }
  // True when `source`'s dataset is this dataset or depends on it through a
  // chain of master data sources.
  bool IsLinkedTo(TDataSource* source);
  // Called by TDataLink when the buffer count it asks for changes.
  void UpdateBufferCount();

  // ---- Window of record buffers (for derived datasets and links) -------
  int BufferCount() const { return buffer_count_; }
  // Buffers holding records (0 .. BufferCount) and the active one.
  int WindowRecordCount() const { return record_count_; }
  int ActiveRecord() const { return active_record_; }
  // Makes buffer `index` (0 .. WindowRecordCount-1) the active record, for
  // data links that show several records.
  void SetActiveRecord(int index);
  TRecordBuffer ActiveBuffer() const {
    if (record_count_ == 0 && state_ != dsInsert) return nullptr;
    return Buffer(active_record_);
  }
  // The buffer whose calculated fields are being computed (calc-fields
  // state), null otherwise.
  TRecordBuffer CalcBuffer() const { return calc_buffer_; }
  // Buffer `index` of the window; null outside 0 .. BufferCount.
  TRecordBuffer Buffer(int index) const {
    if (index < 0 || index >= static_cast<int>(buffers_.size())) return nullptr;
    return buffers_[index];
  }

  // The cursor no longer stands where the framework last left it (a search,
  // a blob load, a bookmark test moved it). The next operation that needs
  // it on the active record brings it back with GoToBufferRecord.
  void CursorPosChanged() { current_record_ = -1; }
  // Brings the cursor back to the active record when it may have moved.
  void UpdateCursorPos();

  // Computes the calculated and lookup fields of `buffer` under the
  // temporary calc-fields state: ClearCalculatedArea, lookup fields,
  // OnCalcFields. Does nothing when the dataset has neither calculated nor
  // internal-calc fields; that test is inline, as most datasets have none
  // and every field write and record read asks.
  void CalculateFields(TRecordBuffer buffer) {
    if (buffer && (calc_fields_size_ != 0 || internal_calc_fields_)) RunCalculateFields(buffer);
  }

  // The value of `field` as seen in a temporary state: dsOldValue (before
  // the edit), dsNewValue, dsCurValue. Datasets without such images answer
  // what ReadFieldValue gives in that state.
  Variant StateFieldValue(TDataSetState state, TField& field);

  // ---- Events ---------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

 protected:
  // ---- Hooks whose defaults are the framework's own steps -------------
  // (every other hook is declared, with its contract, in TDataSetHooks)
  // Prepares a buffer for a new record. Default: ClearRecordImage,
  // ClearCalculatedArea, bookmark flag bfInserted. The framework then gives
  // the buffer a bookmark flag or bookmark of its own (Insert, Append).
  virtual void InitRecordBuffer(TRecordBuffer buffer);
  // Zero the calculated-field area. Default: CalcFieldsSize zero bytes
  // after RecordImageSize.
  virtual void ClearCalculatedArea(TRecordBuffer buffer);
  // Bring the field definitions up to date, also while closed. Called by
  // FieldDefs().Update() when they are not updated. Default: LoadFieldDefs
  // (a dataset that cannot describe a closed cursor overrides this).
  virtual void BuildFieldDefs();
  // Order of two bookmarks (either may be null): negative, 0 or positive.
  // Default: a bookmark before none, two bookmarks by their bytes.
  virtual int CompareBookmarkValues(const void* a, const void* b);
  // Called in the insert state once the new buffer is ready. Default:
  // OnNewRecord.
  virtual void NotifyNewRecord();
  // Post `buffer` (the active buffer, state insert) as a new record,
  // inserted at the cursor or appended (`append`), and leave the cursor on
  // it. Default: PostRecord.
  virtual void InternalAddRecord(TRecordBuffer buffer, bool append);
  // Sends a data event to the data sources (held back while controls are
  // disabled). A field change marks the record modified and recomputes the
  // calculated fields when AutoCalcFields is on; a property change marks
  // the field definitions not updated.
  virtual void NotifyDataEvent(TDataEvent event, std::intptr_t info = 0);
  // Fires AfterOpen.
  virtual void FireAfterOpen();
  // Called inside a catch block when a user event handler raised and the
  // process-wide hook is set; default: call the hook with this dataset.
  virtual void ForwardException();
  // Runs inside a catch block: ForwardException when the hook is set,
  // otherwise rethrows the current exception.
  void HandleEventException();
  // Leave the set-key state, keeping (`keep`) or discarding the key. Default:
  // check-browse-mode event, state browse, dataset-change event.
  virtual void EndKeyEdit(bool keep);

  // ---- Helpers for derived datasets -------------------------------------
  void SetBookmarkSize(int size) { bookmark_size_ = size; }
  // Creates one field object per field definition (FieldClassFor), owned by
  // this dataset.
  void CreateFields();
  // Binding gives every field its field number (from the definition of the
  // same name), calculated and lookup fields their offsets in the
  // calculated-field area and blob fields their blob index; unbinding
  // resets them.
  void BindFields(bool binding);
  // Destroys the field objects created by CreateFields.
  void DestroyFields();
  // Reallocates the buffer list with `size` buffers (0 frees them all).
  // Used around a change of the record layout; resynchronise afterwards.
  void SetBufListSize(int size);
  // Reads / writes a calculated or lookup field's slot in the calculated-
  // field area of `buffer`: a has-value byte then DataSize bytes.
  bool ReadCalcSlot(TRecordBuffer buffer, const TField& field, void* dest);
  void WriteCalcSlot(TRecordBuffer buffer, const TField& field, const void* value);
  // Enters a temporary state; RestoreState(previous) leaves it. Use
  // TempState for the pair.
  TDataSetState SetTempState(TDataSetState state);
  void RestoreState(TDataSetState previous);
  // Whether the fields of the current state's record equal `values` under
  // `options` (case-insensitive, partial key for strings). A helper for
  // LocateRecord implementations that compare record by record.
  bool FieldValuesMatch(const std::vector<TField*>& fields, const Variant& values,
                        TLocateOptions options);
  // Enters browse/edit/... and sends the update-state event.
  void SetState(TDataSetState value);
  // Fires an event when a handler is assigned: Fire(BeforeScroll).
  void Fire(const TDataSetNotifyEvent& event) {
    if (event) event(*this);
  }

  // Holds a temporary state for one scope.
  class TempState {
   public:
    TempState(TDataSet& dataset, TDataSetState state)
        : dataset_(dataset), previous_(dataset.SetTempState(state)) {}
    ~TempState() { dataset_.RestoreState(previous_); }
    TempState(const TempState&) = delete;
    TempState& operator=(const TempState&) = delete;

   private:
    TDataSet& dataset_;
    TDataSetState previous_;
  };

 private:
  // NotifyDataEvent's work for an event someone may see: field marks,
  // pending notices, the sources.
  [[gnu::noinline]] void DeliverDataEvent(TDataEvent event, std::intptr_t info);
  // Sends the event to every attached data source; out of line, so that an
  // event without sources sets up no copy of the list.
  [[gnu::noinline]] void SendToDataSources(TDataEvent event, std::intptr_t info);

  friend class TField;
  friend class TFieldDefs;
  friend class TIndexDefs;
  friend class TDataSource;
  friend class TDataLink;

  // Opening and closing.
  void OpenCursor();
  void CloseCursor();
  void FreeBuffers();

  // The window.
  void SetBufferCount(int value);
  void ClearBuffers();
  void ActivateBuffers();
  void MoveBuffer(int from, int to);
  void SetCurrentRecord(int index);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();

  // Editing.
  void BeginInsertAppend();
  void EndInsertAppend();
  void AddRecord(const std::vector<Variant>& values, bool append);
  void CloseBlobFields();
  // `operation` is one of the dataset's own steps, called through a member
  // pointer: no callable is wrapped per edit, post or delete.
  void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& on_error);
  void CheckAndPostRecord();
  void RunCalculateFields(TRecordBuffer buffer);

  // Fields and sources.
  void AddField(TField* field);
  void RemoveField(TField* field);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);

  TDataSetState state_ = dsInactive;
  bool modified_ = false;         // a data field changed since edit/insert began
  bool streamed_active_ = false;  // Active as read from a stored description
  bool default_fields_ = false;   // fields created at open from the definitions
  bool auto_calc_fields_ = true;
  bool found_ = false;  // result of the last FindFirst/Last/Next/Prior

  // The window of record buffers. buffers_ holds BufferCount + 1 buffers
  // (the last is spare); records occupy 0 .. record_count_-1.
  std::vector<TRecordBuffer> buffers_;
  int buffer_count_ = 0;
  int record_count_ = 0;
  int active_record_ = 0;
  int current_record_ = -1;  // buffer the cursor stands on, -1 unknown
  bool bof_ = true;
  bool eof_ = true;
  int bookmark_size_ = 0;
  TRecordBuffer calc_buffer_ = nullptr;  // buffer of the calc-fields state

  int disable_count_ = 0;               // DisableControls nesting
  bool enable_event_pending_ = false;   // an event was held back meanwhile
  bool layout_change_pending_ = false;  // ... and it changed the layout

  TFields fields_;  // field objects, in field order; not owned
  std::unique_ptr<TFieldDefs> field_defs_;
  std::unique_ptr<TIndexDefs> index_defs_;
  int calc_fields_size_ = 0;
  bool internal_calc_fields_ = false;
  int blob_field_count_ = 0;

  std::string filter_text_;
  bool filtered_ = false;
  TFilterRecordEvent on_filter_record_;

  std::vector<TDataSource*> data_sources_;  // attached sources, not owned
};

}  // namespace dataset

#endif  // DATASET_DATASET_H
