// TDataSet: filters, searches, key editing, blob streams, and the neutral
// defaults of the hooks only some datasets can offer (provider operations
// included).
#include <cmath>

#include "dataset/dataset.h"
#include "dataset/stream.h"
#include "dataset/text.h"

namespace dataset {

// ---- Filters ---------------------------------------------------------------

void TDataSet::SetFilterText(const std::string& text) {
  filter_text_ = text;
}

void TDataSet::SetFiltered(bool value) {
  if (filtered_ == value) return;
  filtered_ = value;
  if (Active()) First();
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  on_filter_record_ = std::move(handler);
  if (Active() && filtered_) First();
}

bool TDataSetHooks::FindRecord(bool, bool) {
  return false;
}

bool TDataSet::FindFirst() {
  found_ = FindRecord(true, true);
  return found_;
}

bool TDataSet::FindLast() {
  found_ = FindRecord(true, false);
  return found_;
}

bool TDataSet::FindNext() {
  found_ = FindRecord(false, true);
  return found_;
}

bool TDataSet::FindPrior() {
  found_ = FindRecord(false, false);
  return found_;
}

// ---- Locate and Lookup ----------------------------------------------------------

bool TDataSet::Locate(const std::string& key_fields, const Variant& key_values,
                      TLocateOptions options) {
  CheckActive();
  GetFieldList(key_fields);  // an unknown name is refused before any work
  return LocateRecord(key_fields, key_values, options);
}

Variant TDataSet::Lookup(const std::string& key_fields, const Variant& key_values,
                         const std::string& result_fields) {
  CheckActive();
  GetFieldList(key_fields);
  GetFieldList(result_fields);
  return LookupValues(key_fields, key_values, result_fields);
}

bool TDataSetHooks::LocateRecord(const std::string&, const Variant&, TLocateOptions) {
  return false;
}

Variant TDataSetHooks::LookupValues(const std::string&, const Variant&, const std::string&) {
  return Variant::Null();
}

namespace {

// Compares one field value with one search value. Text compares as text
// (case-insensitive and prefix under the options); everything else as
// Variant values, so 3 matches 3.0 and a null matches only a null.
bool ValueMatches(TField& field, const Variant& value, TLocateOptions options) {
  if (value.IsClear()) return field.IsNull();
  if (field.IsNull()) return false;
  bool is_text = field.DataType() == ftString || field.DataType() == ftFixedChar ||
                 field.DataType() == ftWideString || field.DataType() == ftMemo ||
                 field.DataType() == ftFmtMemo;
  if (!is_text) return field.AsVariant() == value;
  std::string have = field.AsString();
  std::string want = value.AsString();
  if (options.Contains(loPartialKey)) {
    if (have.size() < want.size()) return false;
    have.resize(want.size());
  }
  return options.Contains(loCaseInsensitive) ? SameText(have, want) : have == want;
}

}  // namespace

bool TDataSet::FieldValuesMatch(const std::vector<TField*>& fields, const Variant& values,
                                TLocateOptions options) {
  if (fields.size() == 1) {
    const Variant& value = values.IsArray() && values.ArrayLength() > 0 ? values[0] : values;
    return ValueMatches(*fields[0], value, options);
  }
  if (!values.IsArray() || values.ArrayLength() != static_cast<int>(fields.size())) {
    DatabaseError("Expected one search value for each search field");
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!ValueMatches(*fields[i], values[static_cast<int>(i)], options)) return false;
  }
  return true;
}

// ---- Key editing ---------------------------------------------------------------

void TDataSet::SetKey() {
  CheckBrowseMode();
  BeginKeyEdit();
  SetState(dsSetKey);
  NotifyDataEvent(deDataSetChange);
}

void TDataSetHooks::BeginKeyEdit() {
  DatabaseError("Key editing is not supported by this dataset");
}

void TDataSet::EndKeyEdit(bool) {
  NotifyDataEvent(deCheckBrowseMode);
  SetState(dsBrowse);
  NotifyDataEvent(deDataSetChange);
}

// ---- Blobs ------------------------------------------------------------------------

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  if (field.DataSet() != this)
    DatabaseError("Field '" + field.DisplayName() + "' belongs to another dataset");
  if (!field.IsBlob()) DatabaseError("Field '" + field.DisplayName() + "' is not a blob field");
  return OpenBlobStream(field, mode);
}

std::unique_ptr<TStream> TDataSetHooks::OpenBlobStream(TField&, TBlobStreamMode) {
  DatabaseError("Blob streams are not supported by this dataset");
}

void TDataSetHooks::UpdateStatus() {
  DatabaseError("Cached updates are not supported by this dataset");
}

// ---- Provider interface ---------------------------------------------------------

void TDataSetHooks::ProviderEndTransaction(bool) {}

int TDataSetHooks::ProviderExecuteStatement(const std::string&, TParams*,
                                            std::unique_ptr<TDataSet>*) {
  DatabaseError("This dataset cannot execute SQL statements");
}

std::string TDataSetHooks::ProviderQuoteChar() {
  return "";
}
bool TDataSetHooks::ProviderInTransaction() {
  return false;
}
bool TDataSetHooks::ProviderIsSQLBased() {
  return false;
}
bool TDataSetHooks::ProviderIsSQLSupported() {
  return false;
}
void TDataSetHooks::ProviderReset() {}
void TDataSetHooks::ProviderStartTransaction() {}
bool TDataSetHooks::ProviderUpdateRecord(TUpdateKind, TDataSet&) {
  return false;
}

void TDataSetHooks::ProviderExecute() {
  DatabaseError("This dataset cannot execute SQL statements");
}

std::unique_ptr<TIndexDef> TDataSetHooks::ProviderDefaultOrder() {
  return nullptr;
}
TParams* TDataSetHooks::ProviderParams() {
  return nullptr;
}
std::string TDataSetHooks::ProviderTableName() {
  return "";
}

void TDataSetHooks::ProviderSetParams(TParams&) {}

void TDataSetHooks::ProviderSetCommandText(const std::string& text) {
  if (!text.empty()) DatabaseError("This dataset has no command text");
}

}  // namespace dataset
