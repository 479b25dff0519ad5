// TDataSetHooks: the operations through which the dataset framework leaves
// the records themselves to a derived dataset. TDataSet drives navigation,
// editing and links and calls these hooks; a dataset implements them. Each
// says when the framework calls it and what it must do. Hooks that only a
// cursor with extra abilities can offer (searches, blob streams, key
// editing, provider operations) have neutral defaults or refuse. The hooks
// whose defaults are the framework's own steps are declared in TDataSet.
#ifndef DATASET_DATASET_HOOKS_H
#define DATASET_DATASET_HOOKS_H

#include <cstdint>
#include <memory>
#include <string>

#include "dataset/component.h"
#include "dataset/dataset_types.h"
#include "dataset/index_defs.h"
#include "dataset/variant.h"

namespace dataset {

class TDataSet;
class TDataSource;
class TField;
class TParams;
class TStream;

// The base of TDataSet and nothing else: every TDataSetHooks is a TDataSet.
class TDataSetHooks : public TComponent {
 public:
  explicit TDataSetHooks(TComponent* owner) : TComponent(owner) {}

  // ---- Provider interface ---------------------------------------------
  // Operations through which a provider component reads a dataset's SQL
  // nature, runs statements for it, applies updates and brackets them in
  // transactions. The defaults describe a dataset that is not SQL based:
  // no transactions, no statements (refused), no parameters.
  virtual void ProviderEndTransaction(bool commit);
  // Runs `sql` with `params` (may be null). With `result` non-null and the
  // statement giving rows, a new dataset over them is stored there (owned
  // by the caller). Answers the rows affected.
  virtual int ProviderExecuteStatement(const std::string& sql, TParams* params,
                                       std::unique_ptr<TDataSet>* result);
  virtual std::string ProviderQuoteChar();
  virtual bool ProviderInTransaction();
  virtual bool ProviderIsSQLBased();
  virtual bool ProviderIsSQLSupported();
  // Prepares the dataset for a new provider request; the default does
  // nothing.
  virtual void ProviderReset();
  virtual void ProviderStartTransaction();
  // Applies one update of `delta` itself; true when done. The default
  // answers false (the provider applies it).
  virtual bool ProviderUpdateRecord(TUpdateKind kind, TDataSet& delta);
  virtual void ProviderExecute();
  // An index definition describing the dataset's natural order, or null.
  virtual std::unique_ptr<TIndexDef> ProviderDefaultOrder();
  virtual TParams* ProviderParams();
  virtual std::string ProviderTableName();
  virtual void ProviderSetParams(TParams& params);
  virtual void ProviderSetCommandText(const std::string& text);

 protected:
  // ---- Hooks: record buffers ------------------------------------------
  // Allocate one record buffer of the dataset's layout / free one. The
  // framework allocates BufferCount + 1 buffers after EstablishCursor and
  // frees them all after CloseEngineCursor; it reallocates them all when
  // the dataset calls SetBufListSize.
  virtual TRecordBuffer AllocateRecordBuffer() = 0;
  virtual void ReleaseRecordBuffer(TRecordBuffer& buffer) = 0;
  // Size of the record image at the start of a buffer; the calculated-field
  // area (CalcFieldsSize bytes) follows it (see ReadCalcSlot).
  virtual int RecordImageSize() = 0;
  // The dataset's empty record in the record image (default values
  // included). Called by InitRecordBuffer and by ClearFields.
  virtual void ClearRecordImage(TRecordBuffer buffer) = 0;

  // ---- Hooks: cursor ---------------------------------------------------
  // Open the cursor. Called in the opening state. Must leave the cursor
  // before the first record, set the bookmark size (SetBookmarkSize) and,
  // in this order: bring the field definitions up to date
  // (FieldDefs().Update()), create the field objects when DefaultFields()
  // (CreateFields), bind them (BindFields(true)). When it raises, the
  // framework calls CloseEngineCursor and the dataset stays inactive.
  virtual void EstablishCursor() = 0;
  // Close the cursor; also called after a failed EstablishCursor, so it must
  // cope with a half-open cursor. Should unbind the fields (BindFields(false))
  // and destroy them when DefaultFields() (DestroyFields). Must not raise.
  virtual void CloseEngineCursor() = 0;
  virtual bool CursorIsOpen() = 0;
  // Fill the field definitions from the open cursor.
  virtual void LoadFieldDefs() = 0;
  // Rebuild IndexDefs from the cursor's indexes; called by
  // IndexDefs().Update() when they are not updated. Default: nothing.
  virtual void UpdateIndexDefs();

  // ---- Hooks: fetching and positioning ---------------------------------
  // Fetch the current, next or prior record into `buffer` (the record
  // image, the bookmark with flag bfCurrent, and its calculated fields via
  // CalculateFields). Answers grOK, grBOF (no prior record), grEOF (no
  // current/next record) or grError (the current record is not visible or
  // the cursor cannot fetch). Moving past either end leaves the cursor
  // beyond that end. Must not fetch in the insert state (answer grError).
  virtual TGetResult FetchRecord(TRecordBuffer buffer, TGetMode mode) = 0;
  // Position the cursor before the first / after the last record.
  virtual void GoBeforeFirst() = 0;
  virtual void GoAfterLast() = 0;
  // Position the cursor on a bookmark's record / on the record a buffer
  // holds.
  virtual void GoToBookmark(const void* bookmark) = 0;
  virtual void GoToBufferRecord(TRecordBuffer buffer) = 0;
  // Re-read the cursor's current record from the store; the framework
  // refills the window afterwards.
  virtual void RefreshCurrentRecord() = 0;

  // ---- Hooks: bookmarks ------------------------------------------------
  // Copy BookmarkSize bytes out of / into a buffer's bookmark.
  virtual void CopyBookmarkOut(TRecordBuffer buffer, void* bookmark) = 0;
  virtual void CopyBookmarkIn(TRecordBuffer buffer, const void* bookmark) = 0;
  virtual TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
  // Whether a bookmark (null for none) names a reachable record. May move
  // the cursor (then call CursorPosChanged). Default: false.
  virtual bool BookmarkIsValid(const void* bookmark);

  // ---- Hooks: record numbers and counts --------------------------------
  // Record number of the active record (1-based; 0 when empty); -1 when the
  // dataset does not number records (default).
  virtual int ReadRecNo();
  // Make record `value` current (browse-mode check, scroll events and the
  // resynchronisation included). Default: nothing.
  virtual void MoveToRecNo(int value);
  // Number of records; -1 when unknown (default).
  virtual int CountRecords();
  // True when record numbers can drive a scroll position. Default: false.
  virtual bool SequencedQuery() const;

  // ---- Hooks: field values ---------------------------------------------
  // Read `field`'s value in the current state (ActiveBuffer in browse, edit
  // and insert; CalcBuffer in calc-fields; the dataset's own buffers in
  // set-key, filter, old-value ...). With `dest` non-null copy the value in
  // its value form (TField::DataSize bytes, see fields.h). Answers false for
  // null (or when the state has no buffer).
  virtual bool ReadFieldValue(TField& field, void* dest) = 0;
  // Read `field`'s value in the current state straight as a double, where
  // the dataset holds it in a form that converts more cheaply than through
  // the field's value form (a decimal text read without building a BCD).
  // Answers true with *value (0 for null) and *is_null; false when the field
  // must read its value form. The double must equal what the value form
  // converts to. Default: false.
  virtual bool ReadFieldAsDouble(TField& field, double* value, bool* is_null) {
    (void)field, (void)value, (void)is_null;
    return false;
  }
  // The same for a text field's value straight into *text (empty for null):
  // it must equal the text up to the first zero of the value form.
  virtual bool ReadFieldAsString(TField& field, std::string* text, bool* is_null) {
    (void)field, (void)text, (void)is_null;
    return false;
  }
  // Store `field`'s value (`value` in value form, null for null) into the
  // buffer of the current state. Must run field.Validate(value) first for
  // data fields in edit and insert, refuse states that cannot be written,
  // and send NotifyDataEvent(deFieldChange, field) afterwards except in the
  // calc-fields, filter and new-value states.
  virtual void WriteFieldValue(TField& field, const void* value) = 0;
  // Copy the active record's image (RecordImageSize bytes) out; false when
  // there is no current record. Default: false.
  virtual bool CopyCurrentRecord(void* dest);

  // ---- Hooks: editing ---------------------------------------------------
  // Whether the dataset can be modified. Default: true.
  virtual bool CanModify();
  // Edit: the cursor stands on the active record; prepare it for editing
  // (locks, re-read into ActiveBuffer()).
  virtual void BeginEditRecord() {}
  // Insert/Append: the new buffer is the active buffer, initialised.
  virtual void PrepareInsert() {}
  // Post the active buffer: append it (insert state) or update the cursor's
  // current record (edit state). The framework has run CheckRequiredFields
  // just before. On failure the state stays edit or insert.
  virtual void PostRecord() = 0;
  // Undo the edit or insert in the store. In the insert state leave the
  // cursor on the record the new one stood before (after the last record
  // when Eof); the framework refills the window around the cursor.
  virtual void CancelRecordChanges() {}
  // Delete the cursor's current record; leave the cursor on the record that
  // followed it (or beyond the end).
  virtual void DeleteCurrentRecord() = 0;

  // ---- Hooks: events and notifications ----------------------------------
  // The master data source. Default: none.
  virtual TDataSource* MasterDataSource();
  // Whether `field` is part of the active index; in the set-key state only
  // such fields can be modified (TField::CanModify). Default: false.
  virtual bool IsIndexField(TField& field);
  // Frees resources of a blob field held for the current record; called
  // for every blob field after a post, cancel or delete. Default: nothing.
  virtual void CloseBlobField(TField& field);

  // ---- Hooks: filters, searches, keys, blobs -----------------------------
  // Find the first/last (`restart`) or next/prior record satisfying the
  // filter, forwards or backwards; when found, make it current (scroll
  // events included). Default: false.
  virtual bool FindRecord(bool restart, bool go_forward);
  // Search by field values (see Locate/Lookup). Defaults: not found / null.
  virtual bool LocateRecord(const std::string& key_fields, const Variant& key_values,
                            TLocateOptions options);
  virtual Variant LookupValues(const std::string& key_fields, const Variant& key_values,
                               const std::string& result_fields);
  // Prepare the key buffer before SetKey enters the set-key state. Default:
  // refuses (the dataset has no key buffers).
  virtual void BeginKeyEdit();
  // A stream over a blob field. Default: refuses.
  virtual std::unique_ptr<TStream> OpenBlobStream(TField& field, TBlobStreamMode mode);
  // Refused in datasets without cached updates.
  virtual void UpdateStatus();
};

}  // namespace dataset

#endif  // DATASET_DATASET_HOOKS_H
