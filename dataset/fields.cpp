// TField (identity, raw access, validation, lookup values), TFields and the
// framework's field class for each field type.
#include "dataset/fields.h"

#include <cstring>

#include "dataset/dataset.h"
#include "dataset/text.h"

namespace dataset {

TField::TField(TComponent* owner, TFieldType type) : TComponent(owner), data_type_(type) {}

TField::~TField() {
  Destroying();
  // The window of an open dataset is laid out for its fields: removing one
  // closes the dataset first (unless it goes away itself).
  if (dataset_ && dataset_->Active() && !dataset_->IsDestroying()) dataset_->Close();
  if (dataset_) dataset_->RemoveField(this);
  if (lookup_dataset_) RemoveFreeNotification(lookup_dataset_);
}

void TField::CheckInactive() const {
  if (dataset_ && dataset_->Active()) DatabaseError(kDataSetOpenMessage);
}

void TField::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  CheckInactive();
  if (dataset) {
    dataset->CheckInactive();
    dataset->AddField(this);  // refuses a duplicate name before anything changes
  }
  if (dataset_) dataset_->RemoveField(this);
  dataset_ = dataset;
}

void TField::SetFieldName(const std::string& name) {
  if (name == field_name_) return;
  CheckInactive();
  if (dataset_) {
    TField* other = dataset_->FindField(name);
    if (other && other != this) DatabaseError("Duplicate field name '" + name + "'");
  }
  field_name_ = name;
}

void TField::SetSize(int size) {
  CheckInactive();
  size_ = size;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (kind == field_kind_) return;
  CheckInactive();
  field_kind_ = kind;
}

int TField::Index() const {
  return dataset_ ? dataset_->Fields().IndexOf(this) : -1;
}

int TField::DataSize() const {
  return 0;
}

bool TField::CanModify() const {
  if (!dataset_) return false;
  if (dataset_->State() == dsSetKey) return dataset_->IsIndexField(const_cast<TField&>(*this));
  if (read_only_) return false;
  if (field_kind_ != fkData && field_kind_ != fkInternalCalc && dataset_->State() != dsCalcFields &&
      dataset_->State() != dsSetKey) {
    return false;
  }
  return dataset_->CanModify();
}

// ---- Raw access ---------------------------------------------------------------

bool TField::GetData(void* buffer) const {
  if (!dataset_) {
    // Out of line: the message's set-up would cost every read its frame.
    const auto refuse = [this]() __attribute__((noinline, cold)) {
      DatabaseError("Field '" + DisplayName() + "' has no dataset");
    };
    refuse();
  }
  if (validating_) {
    if (!validating_value_) return false;
    if (buffer) std::memcpy(buffer, validating_value_, DataSize());
    return true;
  }
  return dataset_->ReadFieldValue(const_cast<TField&>(*this), buffer);
}

bool TField::GetDataAsDouble(double* value, bool* is_null) const {
  if (!dataset_ || validating_) return false;
  return dataset_->ReadFieldAsDouble(const_cast<TField&>(*this), value, is_null);
}

bool TField::GetDataAsString(std::string* text, bool* is_null) const {
  if (!dataset_ || validating_) return false;
  return dataset_->ReadFieldAsString(const_cast<TField&>(*this), text, is_null);
}

void TField::SetData(const void* buffer) {
  if (!dataset_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  dataset_->WriteFieldValue(*this, buffer);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  // While the handler runs, reading the field gives the value being
  // assigned; a handler that raises refuses it.
  const void* saved_value = validating_value_;
  bool saved_validating = validating_;
  validating_value_ = buffer;
  validating_ = true;
  try {
    OnValidate(*this);
  } catch (...) {
    validating_value_ = saved_value;
    validating_ = saved_validating;
    throw;
  }
  validating_value_ = saved_value;
  validating_ = saved_validating;
}

bool TField::IsNull() const {
  return !GetData(nullptr);
}

void TField::Clear() {
  SetData(nullptr);
}

// ---- Conversions a class does not offer ------------------------------------------

void TField::AccessError(const char* type_name) const {
  DatabaseError("Cannot access field '" + DisplayName() + "' as type " + type_name);
}

void TField::ValueError() const {
  DatabaseError("Invalid value for field '" + DisplayName() + "'");
}

std::string TField::AsString() const {
  AccessError("String");
}
void TField::SetAsString(const std::string&) {
  AccessError("String");
}
int32_t TField::AsInteger() const {
  AccessError("Integer");
}
void TField::SetAsInteger(int32_t) {
  AccessError("Integer");
}
int64_t TField::AsLargeInt() const {
  return AsInteger();
}
void TField::SetAsLargeInt(int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX) AccessError("LargeInt");
  SetAsInteger(static_cast<int32_t>(value));
}
double TField::AsFloat() const {
  AccessError("Float");
}
void TField::SetAsFloat(double) {
  AccessError("Float");
}
bool TField::AsBoolean() const {
  AccessError("Boolean");
}
void TField::SetAsBoolean(bool) {
  AccessError("Boolean");
}
TDateTime TField::AsDateTime() const {
  AccessError("DateTime");
}
void TField::SetAsDateTime(TDateTime) {
  AccessError("DateTime");
}
double TField::AsCurrency() const {
  return AsFloat();
}
void TField::SetAsCurrency(double value) {
  SetAsFloat(value);
}
TBcd TField::AsBCD() const {
  AccessError("BCD");
}
void TField::SetAsBCD(const TBcd&) {
  AccessError("BCD");
}
Variant TField::AsVariant() const {
  AccessError("Variant");
}

void TField::SetAsVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
    case varNull:
      Clear();
      break;
    case varSmallint:
    case varInteger:
    case varWord:
      SetAsInteger(value.AsInteger());
      break;
    case varInt64:
      SetAsLargeInt(value.AsInt64());
      break;
    case varDouble:
      SetAsFloat(value.AsDouble());
      break;
    case varCurrency:
      SetAsCurrency(value.AsCurrency());
      break;
    case varDate:
      SetAsDateTime(value.AsDateTime());
      break;
    case varBoolean:
      SetAsBoolean(value.AsBoolean());
      break;
    case varString:
      SetAsString(value.AsString());
      break;
    case varBcd:
      SetAsBCD(value.AsBcd());
      break;
    case varBytes: {
      TBytes bytes = value.AsBytes();
      SetAsString(std::string(bytes.begin(), bytes.end()));
      break;
    }
    case varArray:
      ValueError();
  }
}

Variant TField::OldValue() {
  if (!dataset_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  return dataset_->StateFieldValue(dsOldValue, *this);
}

Variant TField::NewValue() {
  if (!dataset_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  return dataset_->StateFieldValue(dsNewValue, *this);
}

Variant TField::CurValue() {
  if (!dataset_) DatabaseError("Field '" + DisplayName() + "' has no dataset");
  return dataset_->StateFieldValue(dsCurValue, *this);
}

// ---- Lookup fields ---------------------------------------------------------------

void TField::SetLookupDataSet(TDataSet* dataset) {
  if (dataset == lookup_dataset_) return;
  CheckInactive();
  if (dataset && dataset == dataset_) DatabaseError(kCircularDataLinkMessage);
  if (lookup_dataset_) RemoveFreeNotification(lookup_dataset_);
  lookup_dataset_ = dataset;
  if (lookup_dataset_) FreeNotification(lookup_dataset_);
}

void TField::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == lookup_dataset_) lookup_dataset_ = nullptr;
}

// Runs in the calc-fields state of the field's dataset: the key values come
// from the buffer being calculated and the result goes to the field's slot.
void TField::CalcLookupValue() {
  if (!lookup_dataset_ || !lookup_dataset_->Active() || key_fields_.empty() ||
      lookup_key_fields_.empty() || lookup_result_field_.empty()) {
    return;
  }
  // Lookup datasets whose own lookup fields lead back here would compute
  // each other's values without end.
  if (looking_up_) DatabaseError(kCircularDataLinkMessage);
  looking_up_ = true;
  try {
    Variant keys = dataset_->FieldValues(key_fields_);
    SetAsVariant(lookup_dataset_->Lookup(lookup_key_fields_, keys, lookup_result_field_));
  } catch (...) {
    looking_up_ = false;
    throw;
  }
  looking_up_ = false;
}

// ---- TFields ---------------------------------------------------------------------

TField* TFields::operator[](int index) const {
  if (index < 0 || index >= Count()) {
    throw EListError("List index out of bounds (" + IntToStr(index) + ")");
  }
  return list_[index];
}

TField* TFields::FindField(const std::string& name) const {
  for (TField* field : list_) {
    if (SameText(field->FieldName(), name)) return field;
  }
  return nullptr;
}

TField* TFields::FieldByName(const std::string& name) const {
  TField* field = FindField(name);
  if (!field) DatabaseError("Field '" + name + "' not found");
  return field;
}

TField* TFields::FieldByNumber(int field_no) const {
  for (TField* field : list_) {
    if (field->FieldNo() == field_no) return field;
  }
  return nullptr;
}

int TFields::IndexOf(const TField* field) const {
  for (int i = 0; i < Count(); ++i) {
    if (list_[i] == field) return i;
  }
  return -1;
}

void TFields::Add(TField* field) {
  list_.push_back(field);
}

void TFields::Remove(TField* field) {
  int index = IndexOf(field);
  if (index >= 0) list_.erase(list_.begin() + index);
}

// ---- Field classes ------------------------------------------------------------------

TField* CreateDefaultField(TFieldType type, TComponent* owner) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return new TStringField(owner, type);
    case ftSmallint:
      return new TSmallintField(owner);
    case ftInteger:
      return new TIntegerField(owner);
    case ftWord:
      return new TWordField(owner);
    case ftAutoInc:
      return new TAutoIncField(owner);
    case ftLargeint:
      return new TLargeintField(owner);
    case ftFloat:
      return new TFloatField(owner);
    case ftCurrency:
      return new TCurrencyField(owner);
    case ftBCD:
      return new TBCDField(owner);
    case ftFMTBcd:
      return new TFMTBCDField(owner);
    case ftBoolean:
      return new TBooleanField(owner);
    case ftDate:
      return new TDateField(owner);
    case ftTime:
      return new TTimeField(owner);
    case ftDateTime:
      return new TDateTimeField(owner);
    case ftBytes:
      return new TBytesField(owner);
    case ftVarBytes:
      return new TVarBytesField(owner);
    case ftBlob:
      return new TBlobField(owner);
    case ftMemo:
    case ftFmtMemo:
      return new TMemoField(owner, type);
    case ftGraphic:
      return new TGraphicField(owner);
    default:
      return nullptr;
  }
}

}  // namespace dataset
