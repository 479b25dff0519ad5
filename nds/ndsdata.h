// The cursor dataset unit: TNdsDataSet, the cursor dataset. Its companions
// (the database exception, table options, engine field descriptors, index
// files, blob caches and streams, key buffers, the record search, the
// dataset registry) each have a header of their own, all included here.
#ifndef NDS_NDSDATA_H_
#define NDS_NDSDATA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/dataset.h"
#include "nds/nce.h"
#include "nds/ndsdata_alias.h"
#include "nds/ndsdata_bind_params.h"
#include "nds/ndsdata_blob_cache.h"
#include "nds/ndsdata_blob_stream.h"
#include "nds/ndsdata_engine_fields.h"
#include "nds/ndsdata_errors.h"
#include "nds/ndsdata_index_files.h"
#include "nds/ndsdata_key_buffers.h"
#include "nds/ndsdata_record_layout.h"
#include "nds/ndsdata_record_search.h"
#include "nds/ndsdata_registry.h"
#include "nds/ndsdata_table_options.h"
#include "nds/ndsdata_types.h"

namespace nds {

class TNdsConnection;

// The cursor dataset: a framework dataset whose records come from one engine
// cursor, a table or the result set of an SQL statement. It never creates a
// cursor itself: a subclass supplies one through OpenEngineCursor, or a ready
// cursor is handed in with OpenOnHandle.
class TNdsDataSet : public dataset::TDataSet {
 public:
  // `owner` may be null. Registers the dataset in the process-wide dataset
  // registry.
  explicit TNdsDataSet(dataset::TComponent* owner);
  // Closes the dataset, leaves its connection's registry and the
  // process-wide one.
  ~TNdsDataSet() override;

  // ---- Database binding. All refuse while the dataset is open. ----------
  // DatabaseName names a connection (searched in the connection registry),
  // an alias of nds.ini or a directory path.
  const std::string& DatabaseName() const { return databaseName_; }
  virtual void SetDatabaseName(const std::string& name);
  // The bound connection, not owned; binding registers the dataset with it.
  // Refused with "Table must not be Active." while open.
  TNdsConnection* NdsConnection() const { return connection_; }
  virtual void SetNdsConnection(TNdsConnection* connection);
  // Called by a connection that is being destroyed: forgets it without
  // touching its registry.
  void ForgetConnection() { connection_ = nullptr; }
  // The directory of the dataset's database: the alias path, the bound
  // connection's DatabaseDirectory, or DatabaseName as a path; without its
  // trailing separator. May bring the table type in line with the alias or
  // the connection.
  std::string ResolveDatabasePath();
  // The path of an alias DatabaseName; empty when it is not an alias.
  const std::string& AliasPath() const { return aliasPath_; }

  // Table type setting; it must agree with an alias's or the bound
  // connection's alias table type.
  TNdsTableTypes SourceTableType() const { return tableType_; }
  virtual void SetSourceTableType(TNdsTableTypes type);
  // The engine's numbering of the setting: CDX 2, NTX 1, NDT and Default 3.
  std::uint16_t TableTypeCode() const { return tableTypeCode_; }

  // The table's name (published by table datasets); a new name clears the
  // index file list except while loading.
  const std::string& TableName() const { return tableName_; }
  void SetTableName(const std::string& name);
  // Index files opened with every cursor, relative to the database path.
  TNdsIndexFiles* IndexFiles() const { return indexFiles_.get(); }
  // Open or close one index file on the open cursor; a bare file name is
  // taken relative to the database path. Refused while closed.
  void OpenIndexFile(const std::string& name);
  void CloseIndexFile(const std::string& name);

  TNdsTableOptions* NdsTableOptions() const { return tableOptions_.get(); }
  void SetNdsTableOptions(const TNdsTableOptions* options) { tableOptions_->Assign(options); }

  // ---- The engine cursor. ----------------------------------------------
  // The open cursor; kNoHandle while closed.
  NDSHANDLE TableHandle() const { return tableHandle_; }
  // The handle navigation uses (the active index or the cursor); before
  // OpenOnHandle's open it holds the given cursor. kNoHandle when none.
  NDSHANDLE ActiveOrderHandle() const { return activeOrderHandle_; }
  // The table type the engine reports for the open cursor (3 = NDT).
  std::uint16_t EngineTableType() const { return engineTableType_; }
  // NDS_OPEN_* bits of the open cursor.
  std::uint32_t TableOpenOptions() const { return tableOpenOptions_; }
  // Set by a query from its settings and the cursor's live flag.
  bool ReadOnlyFlag() const { return readOnly_; }
  // The open cursor is a writable table cursor the engine opened
  // exclusively (NDS_OPEN_EXCLUSIVE, e.g. through OpenOnHandle), so no
  // other user shares the table and record locks are skipped. Only the open
  // decides it; closing clears it.
  bool Exclusive() const { return exclusive_; }
  // Closes the dataset, then opens it on `cursor` (a cursor obtained
  // elsewhere, which the dataset then owns). 0 or kNoHandle only close.
  void OpenOnHandle(NDSHANDLE cursor);

  // ---- Published settings of later steps (navigation, scopes). --------
  // Whether Active is written to the stored description.
  bool StoreActive() const { return storeActive_; }
  void SetStoreActive(bool value) { storeActive_ = value; }
  bool StoresActive() const override { return storeActive_; }
  const std::string& InfoStructure() const { return infoStructure_; }
  void SetInfoStructure(const std::string& value) { infoStructure_ = value; }
  bool Sequenced() const { return sequenced_; }
  void SetSequenced(bool value) { sequenced_ = value; }
  TNdsSequencedLevel SequencedLevel() const { return sequencedLevel_; }
  void SetSequencedLevel(TNdsSequencedLevel value) { sequencedLevel_ = value; }

  // ---- The active order and the scope. --------------------------------
  // The active order by index name (IndexName; "NDS_DEFAULT" names the
  // data dictionary's default index) or by a semicolon-separated field list
  // (IndexFieldNames); setting one clears the other, an empty value means
  // natural order. While open the change takes effect at once and the
  // current record stays current; a refused change keeps the old order.
  const std::string& IndexName() const { return indexName_; }
  virtual void SetIndexName(const std::string& name);
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  virtual void SetIndexFieldNames(const std::string& names);
  TNdsIndexKind IndexKind() const { return indexKind_; }
  // The dictionary's default index of the table; empty when unknown.
  const std::string& DefaultIndexName() const { return defaultIndexName_; }
  // Replaces the index definitions with copies of `defs`.
  void SetIndexDefs(const dataset::TIndexDefs& defs);
  // The index that orders by `fields` (exactly, or as its leading fields),
  // never a descending one; false and kNoHandle when there is none.
  bool IndexForFields(const std::string& fields, NDSHANDLE& index);
  // The field list of the active order; empty in natural order.
  std::string ActiveIndexFields();
  // Segments of the active index; 0 in natural order.
  std::uint16_t ActiveIndexSegmentCount();
  // Engine field number / dataset field of the active index's segment
  // `segment` (0-based). The number is refused in natural order.
  std::uint16_t SegmentFieldNumber(std::uint16_t segment);
  dataset::TField* SegmentField(std::uint16_t segment);
  // The connection's dictionary step: a table dataset reads its default
  // index from the data dictionary; a query does nothing.
  virtual void RunDictionaryStep() { ReadDictionaryDefaultIndex(); }
  // The scope: ScopeBegin and ScopeEnd (key texts, at most 4082
  // characters) bound the active index while Scoped is on. Turning it on
  // keeps the current record when it lies inside the scope, else moves to
  // the first record; turning it off returns to the same record. Refused
  // without an active index and while a range is applied.
  bool Scoped() const { return scoped_; }
  virtual void SetScoped(bool value);
  const std::string& ScopeBegin() const { return scopeBegin_; }
  virtual void SetScopeBegin(const std::string& text);
  const std::string& ScopeEnd() const { return scopeEnd_; }
  virtual void SetScopeEnd(const std::string& text);

  // Ranges over the active index. SetRangeStart and SetRangeEnd enter the
  // key-editing state with a cleared range buffer: the fields assigned then
  // (index fields only) give the range's first and last key; Post keeps the
  // key. ApplyRange hands the range to the engine and answers whether
  // anything changed (applying the same range again does nothing); the
  // caller moves to the first record then. ClearRange removes it and
  // answers whether there was one. A range is refused while Scoped is on.
  void SetRangeStart();
  void SetRangeEnd();
  bool ApplyRange();
  bool ClearRange();

  // The master link: records of the data source's dataset decide this
  // dataset's range over MasterFields. MasterSource refuses a source that
  // depends on this dataset with "Circular Data Link"; none clears
  // MasterFields.
  dataset::TDataSource* MasterSource() const;
  void SetMasterSource(dataset::TDataSource* source);
  const std::string& MasterFields() const { return masterFields_; }
  void SetMasterFields(const std::string& fields);

  // "8.10 (NCE m.nnL)": this layer's version and the engine's.
  std::string Version() const;

  // ---- The open cursor's description. ---------------------------------
  // One descriptor per engine field, rebuilt with the field definitions.
  const TNCEFieldDefs& EngineFieldDefs() const { return *engineFields_; }
  // Can-modify flag and read-only flag together: what editing will allow.
  bool CursorWritable() const { return canModify_ && !readOnly_; }
  // The Filter text goes to the engine (as an optimized filter or a
  // classic one, NdsOptimizedFilters) while Filtered is on; a quoted
  // literal ending in "*" matches as a prefix. A text the engine refuses
  // leaves the previous filter, the records and the position as they were.
  void SetFilterText(const std::string& text) override;
  void SetFiltered(bool value) override;

  // The search expression of `fields` as they stand in the filter buffer:
  // one comparison per field joined with " AND ", strings compared through
  // UPPER when `caseInsensitive`. Only in the filter state.
  std::string BuildFilterString(const std::vector<dataset::TField*>& fields, bool caseInsensitive);
  // ftString -> TNdsStringField, ftBCD -> TNdsBCDField, else the framework's.
  TFieldFactory FieldClassFor(dataset::TFieldType type) override;

  // Renames the table in the data dictionary (the dataset must be closed);
  // refused on free tables.
  void RenameTable(const std::string& newName);
  // Not supported by cursor datasets: always refused.
  void BatchMove();
  void UpdateStatus() override;

  // Applies one update for a provider (ProviderUpdateRecord).
  dataset::TUpdateRecordEvent OnUpdateRecord;

  // ---- Provider support. ----------------------------------------------
  // The dataset's SQL nature for a provider component: statements run and
  // transactions go through NdsConnection; without one the transaction
  // operations do nothing and statements are refused.
  void ProviderEndTransaction(bool commit) override;
  // Runs `sql` through the connection's statement cache with the dataset's
  // table options. With `result`, a new query (owned by the caller) is
  // opened on the cursor the statement returns and 0 is answered; without,
  // the rows affected.
  int ProviderExecuteStatement(const std::string& sql, dataset::TParams* params,
                               std::unique_ptr<dataset::TDataSet>* result) override;
  std::string ProviderQuoteChar() override { return "\""; }
  bool ProviderInTransaction() override;
  bool ProviderIsSQLBased() override { return true; }
  bool ProviderIsSQLSupported() override { return true; }
  // While open, also puts the cursor back on the first record.
  void ProviderReset() override;
  void ProviderStartTransaction() override;
  // True exactly when OnUpdateRecord applied the update (left the action at
  // uaApplied); false without a handler.
  bool ProviderUpdateRecord(dataset::TUpdateKind kind, dataset::TDataSet& delta) override;

  // ---- Operations for connections and subclasses. --------------------
  // Called by a connection that disconnects or is destroyed, for each
  // dataset in its registry, after making it inactive. Does nothing here.
  virtual void DetachFromConnection() {}
  // The last auto-increment value the cursor or statement produced.
  virtual std::int32_t LastAutoIncValue() = 0;

 protected:
  // Supplies a new engine cursor; also stores its engine table type
  // (SetEngineTableType) and opens the listed index files.
  virtual NDSHANDLE OpenEngineCursor() = 0;

  // Framework hooks: opening and closing.
  void EstablishCursor() override;
  // Closes the cursor; the engine's answer is not checked (never raises).
  void CloseEngineCursor() override;
  bool CursorIsOpen() override { return tableHandle_ != kNoHandle; }

  // Framework hooks: field definitions (from the cursor; a closed dataset
  // runs a temporary one) and the dataset's field classes.
  void BuildFieldDefs() override;
  void LoadFieldDefs() override;

  // Framework hooks: record buffers and their layout.
  dataset::TRecordBuffer AllocateRecordBuffer() override;
  void ReleaseRecordBuffer(dataset::TRecordBuffer& buffer) override;
  int RecordImageSize() override;
  void InitRecordBuffer(dataset::TRecordBuffer buffer) override;
  void ClearRecordImage(dataset::TRecordBuffer buffer) override;
  bool CopyCurrentRecord(void* dest) override;

  // Framework hooks: fetching and positioning.
  dataset::TGetResult FetchRecord(dataset::TRecordBuffer buffer, dataset::TGetMode mode) override;
  void GoBeforeFirst() override;
  void GoAfterLast() override;
  void GoToBookmark(const void* bookmark) override;
  void GoToBufferRecord(dataset::TRecordBuffer buffer) override;
  void RefreshCurrentRecord() override;

  // Framework hooks: bookmarks, record numbers and counts.
  void CopyBookmarkOut(dataset::TRecordBuffer buffer, void* bookmark) override;
  void CopyBookmarkIn(dataset::TRecordBuffer buffer, const void* bookmark) override;
  dataset::TBookmarkFlag ReadBookmarkFlag(dataset::TRecordBuffer buffer) override;
  void WriteBookmarkFlag(dataset::TRecordBuffer buffer, dataset::TBookmarkFlag flag) override;
  bool BookmarkIsValid(const void* bookmark) override;
  int CompareBookmarkValues(const void* a, const void* b) override;
  int ReadRecNo() override;
  void MoveToRecNo(int value) override;
  int CountRecords() override;
  bool SequencedQuery() const override { return sequenced_; }

  // Framework hooks: field values. A value is written into the buffer of
  // the current state (checked against the state, the field and the
  // column's rights); the engine sees it when the record is posted.
  bool ReadFieldValue(dataset::TField& field, void* dest) override;
  // A numeric column read into a BCD field: its text straight as a double.
  bool ReadFieldAsDouble(dataset::TField& field, double* value, bool* is_null) override;
  // A text column: the text without its trailing blanks, copied once.
  bool ReadFieldAsString(dataset::TField& field, std::string* text, bool* is_null) override;
  void WriteFieldValue(dataset::TField& field, const void* value) override;

  // Framework hooks: editing. CanModify: the cursor was opened writable and
  // the query did not make it read-only. BeginEditRecord locks the record
  // (pessimistic) or takes its checksum (optimistic), both skipped on an
  // exclusive table. A post that fails keeps the edit, its lock and every
  // assigned value for a second post, and leaves nothing half-written.
  bool CanModify() override;
  void BeginEditRecord() override;
  void PrepareInsert() override;
  // Refuses a new record without insert rights; fills the key fields from
  // an active master link, then OnNewRecord.
  void NotifyNewRecord() override;
  void PostRecord() override;
  void InternalAddRecord(dataset::TRecordBuffer buffer, bool append) override;
  void CancelRecordChanges() override;
  void DeleteCurrentRecord() override;

  // Framework hooks: blob streams. Writing (write or read-write mode) is
  // refused outside edit and insert. CloseBlobField does nothing: the
  // caches live as long as their buffers.
  std::unique_ptr<dataset::TStream> OpenBlobStream(dataset::TField& field,
                                                   dataset::TBlobStreamMode mode) override;
  void CloseBlobField(dataset::TField&) override {}

  // Blob caches of a record buffer, for the editing steps: the modified
  // ones stored (TNdsBlobCaches::StoreModified); every blob field emptied,
  // shown at once and stored by the next post (a record cleared in an edit).
  void StoreModifiedBlobCaches(dataset::TRecordBuffer buffer);
  void EmptyBlobCaches(dataset::TRecordBuffer buffer);

  // Framework hooks: key editing (SetKey), the master link, events.
  void BeginKeyEdit() override;
  void EndKeyEdit(bool keep) override;
  dataset::TDataSource* MasterDataSource() override;
  void FireAfterOpen() override;
  // A property change also marks the index definitions stale.
  void NotifyDataEvent(dataset::TDataEvent event, std::intptr_t info = 0) override;

  // Framework hooks: indexes.
  void UpdateIndexDefs() override;
  bool IsIndexField(dataset::TField& field) override;
  // Makes the order IndexKind names the active order and recomputes the
  // record buffer layout (the bookmark depends on the order).
  void SelectActiveIndex();
  // Reads the table's default index from the data dictionary (table
  // datasets on a dictionary connection only).
  void ReadDictionaryDefaultIndex();
  // Whether an index order, not natural order, is active.
  bool IndexIsActive() const {
    return tableHandle_ != kNoHandle && activeOrderHandle_ != kNoHandle &&
           activeOrderHandle_ != tableHandle_;
  }

  // Operations of this class, overridable by subclasses.
  // The record number of the engine's current record (Sequenced rules).
  virtual std::int32_t CurrentRecordNumber();
  // Whether CurrentRecordNumber answers the physical record number, which
  // reading a record brings along, so a fetch need not ask for it again.
  virtual bool PhysicalRecordNumbers() const { return !IndexIsActive() || !sequenced_; }
  // Hand Filter and the scope to the engine, or clear them.
  virtual void ActivateFilter();
  virtual void DeactivateFilter();
  virtual void ActivateScope();
  virtual void DeactivateScope();
  // From the engine's current record on, the first record OnFilterRecord
  // accepts, forwards or backwards; false at the end. Refused without a
  // handler.
  bool ScanWithFilterEvent(bool forward);

  // Framework hooks: searches.
  bool FindRecord(bool restart, bool forward) override;
  bool LocateRecord(const std::string& keyFields, const dataset::Variant& values,
                    dataset::TLocateOptions options) override;
  dataset::Variant LookupValues(const std::string& keyFields, const dataset::Variant& values,
                                const std::string& resultFields) override;
  // The search under Locate and Lookup (TNdsRecordSearch): true leaves the
  // engine cursor on the found record, false (or a failure) where it was.
  bool FindMatchingRecord(const std::string& keyFields, const dataset::Variant& values,
                          dataset::TLocateOptions options);
  // The raw key of the active index from key buffer `which`; with
  // `partial` string fields take only their given length.
  void BuildRawKeyFromBuffer(int which, bool partial, std::uint8_t* key, std::uint16_t& length);

  // The record layer's steps, for subclasses that read records themselves.
  // The current record, when the engine shows it and OnFilterRecord accepts
  // it (grError otherwise; grEOF or grBOF off either end).
  dataset::TGetResult ReadCurrentVisibleRecord(dataset::TRecordBuffer buffer,
                                               std::uint32_t& length);
  // The next or prior record the engine shows and OnFilterRecord accepts,
  // each one moved to and read in one engine call.
  dataset::TGetResult StepToVisibleRecord(dataset::TRecordBuffer buffer, std::uint32_t& length,
                                          dataset::TGetMode mode);
  // The engine's current record and bookmark into `buffer`.
  void ReadEngineRecord(dataset::TRecordBuffer buffer, std::uint32_t& length, bool calcFields);
  // The buffer the current state reads from; null when there is none.
  dataset::TRecordBuffer CurrentStateBuffer();
  // CurrentStateBuffer with the browse state, a walk's, first.
  dataset::TRecordBuffer ReadingBuffer() {
    if (State() != dataset::dsBrowse) return CurrentStateBuffer();
    return IsEmpty() ? nullptr : ActiveBuffer();
  }
  // Converts one field of `buffer`'s record image into its value form;
  // answers true when the value is null (then `dest` is untouched).
  bool ConvertFromEngineValue(dataset::TField& field, dataset::TRecordBuffer buffer, void* dest);
  // The record buffer layout of the open cursor and the active order.
  void ComputeBufferLayout();

  // Stores `value` (framework value form of `type`, null for none) as engine
  // field `fieldNumber` of the record image `image`, in the engine's form.
  // Refuses a number that does not fit the field ("Numeric out of range.").
  void ConvertToEngineValue(std::uint16_t fieldNumber, dataset::TFieldType type, const void* value,
                            std::uint8_t* image);
  // The same for a descriptor in hand, as a field write has it.
  void ConvertToEngineValue(const TNCEFieldDef& def, dataset::TFieldType type, const void* value,
                            std::uint8_t* image);
  // The per-field set-up of a record image the engine has just cleared:
  // which fields a post sends, autoincrement marks, DefaultExpression values.
  void ApplyDefaultExpressions(std::uint8_t* image, bool writeEveryField);

  void SetReadOnlyFlag(bool value) { readOnly_ = value; }
  void SetEngineTableType(std::uint16_t value) { engineTableType_ = value; }

 private:
  friend class TNdsBlobStream;    // reports what it wrote (NotifyBlobWritten)
  friend class TNdsRecordSearch;  // reads the dataset's filter steps
  friend class TNdsTableOptions;  // re-hands a filter (NdsOptimizedFilters)

  // Editing: rights refusals (engine error 5054), the engine record number
  // a buffer's bookmark names.
  [[noreturn]] void RefuseRights(const std::string& text) const;
  std::uint32_t BufferRecordNumber(dataset::TRecordBuffer buffer) const;
  // Writing values: a field's default value.
  void StoreDefaultValue(const TNCEFieldDef& def, const std::string& expression,
                         std::uint8_t* image);
  // Field definitions: one engine field into both descriptions.
  void ReadFieldCount(NDSHANDLE cursor, std::uint16_t& count);
  void AddEngineField(NDSHANDLE cursor, std::uint16_t fieldNumber);
  // Opening: field-class settings from the engine types.
  void ApplyEngineFieldSettings();
  // Ranges: key editing of a range buffer, one range end to the engine.
  void EditRangeBuffer(int which);
  void ApplyRangeEnd(int which, int current, std::uint16_t end);
  // The handle whose bookmarks a record buffer keeps.
  NDSHANDLE BookmarkHandle() const;
  // Master link notifications.
  void MasterChanged();
  // OnFilterRecord for `buffer` under the filter state; true: accepted.
  bool CallFilterEvent(dataset::TRecordBuffer buffer);
  void MasterDisabled();
  // Refuses a master range without an index order to bound.
  void CheckMasterRangeIndex() const;
  // Indexes: the record buffers after an order change.
  void ReallocateBuffersForOrder();
  // The engine record number a buffer holds; 0 for a new record.
  std::uint32_t BufferEngineRecord(dataset::TRecordBuffer buffer) const;
  void NotifyBlobWritten(dataset::TField& field);

  std::unique_ptr<TNCEFieldDefs> engineFields_;    // one per engine field of the cursor
  std::vector<std::uint8_t> oldRecordImage_;       // record as editing began; empty: none
  NDSHANDLE activeOrderHandle_ = kNoHandle;        // active index, the cursor, or a given cursor
  TNdsBlobCaches blobCaches_;                      // the blob caches of every record buffer
  TNdsRecordLayout layout_;                        // where a record buffer's parts lie
  TNdsKeyBuffers keyBuffers_;                      // SetKey, range and master link keys
  dataset::TRecordBuffer filterBuffer_ = nullptr;  // under evaluation in the filter state
  bool bookmarkMissed_ = false;         // the last bookmark named no record: none is current
  std::uint32_t readRecordNumber_ = 0;  // physical number of the record read last
  bool canModify_ = false;              // the cursor was opened writable
  std::string databaseName_;            // connection name, alias or path
  NDSHANDLE tableHandle_ = kNoHandle;   // the open cursor
  std::string masterFields_;            // MasterFields as assigned
  std::unique_ptr<dataset::TMasterDataLink> masterLink_;  // link to MasterSource
  std::uint16_t recordSize_ = 0;                          // engine record length of the open cursor
  std::uint32_t tableOpenOptions_ = 0;                    // NDS_OPEN_* bits of the open cursor
  std::string aliasPath_;                                 // path of an alias DatabaseName
  std::string infoStructure_;                             // stored only
  bool sequenced_ = false;
  std::unique_ptr<TNdsTableOptions> tableOptions_;
  bool exclusive_ = false;  // open exclusively: no record locks
  bool readOnly_ = false;   // the query's settings make it read-only
  std::string tableName_;
  TNdsTableTypes tableType_ = ttNdsNDT;
  std::uint16_t tableTypeCode_ = NDS_NDT;       // engine numbering of tableType_
  std::unique_ptr<TNdsIndexFiles> indexFiles_;  // index file names
  bool storeActive_ = true;                     // Active is written when true
  TNdsSequencedLevel sequencedLevel_ = slStandard;
  std::string indexName_;        // IndexName as assigned
  std::string indexFieldNames_;  // IndexFieldNames as assigned
  TNdsIndexKind indexKind_ = TNdsIndexKind::Natural;
  std::string defaultIndexName_;           // the dictionary's default index of the table
  bool scoped_ = false;                    // Scoped as assigned
  std::string scopeBegin_;                 // ScopeBegin as assigned
  std::string scopeEnd_;                   // ScopeEnd as assigned
  std::uint16_t engineTableType_ = 0;      // NdsGetTableType of the open cursor
  std::uint32_t savedRecordChecksum_ = 0;  // record checksum as an optimistic edit began
  TNdsConnection* connection_ = nullptr;   // bound connection, not owned
};

}  // namespace nds

#endif  // NDS_NDSDATA_H_
