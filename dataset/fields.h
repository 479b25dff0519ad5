// Field objects: one TField per column a dataset shows, reading and writing
// its value through the dataset (ReadFieldValue / WriteFieldValue) in the
// value form of its type, and offering it as text, numbers, dates, BCD or
// Variant. One class per TFieldType the framework supports.
//
// Value forms (what a dataset reads and writes for a field, DataSize bytes):
//   ftString, ftFixedChar   zero-terminated 8-bit text, Size + 1 bytes
//   ftSmallint              int16_t        ftWord       uint16_t
//   ftInteger, ftAutoInc    int32_t        ftLargeint   int64_t
//   ftBoolean               int16_t, 0 false, -1 true (any non-zero reads true)
//   ftFloat, ftCurrency     double
//   ftBCD, ftFMTBcd         TBcd
//   ftDate                  int32_t day number, 0001-01-01 is day 1
//   ftTime                  int32_t milliseconds since midnight
//   ftDateTime              double, milliseconds from day 0 of the day numbering
//   ftBytes                 Size bytes     ftVarBytes   uint16_t length, Size bytes
//   ftBlob, ftMemo, ftGraphic, ftFmtMemo: none (DataSize 0); the value travels
//                           through TDataSet::CreateBlobStream.
#ifndef DATASET_FIELDS_H
#define DATASET_FIELDS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataset/bcd.h"
#include "dataset/component.h"
#include "dataset/dataset_types.h"
#include "dataset/datetime.h"
#include "dataset/field_type.h"
#include "dataset/variant.h"

namespace dataset {

class TStream;
using TFieldNotifyEvent = std::function<void(TField& field)>;

class TField : public TComponent {
 public:
  // `owner` destroys the field (may be null); `type` is fixed by the class.
  TField(TComponent* owner, TFieldType type);
  // Removes the field from its dataset.
  ~TField() override;

  // ---- Identity -------------------------------------------------------
  TDataSet* DataSet() const { return dataset_; }
  // Adds the field to `dataset`'s fields (removing it from the former one).
  // Refused while either dataset is open; a second field of the same name
  // (letter case ignored) is refused with "Duplicate field name 'X'".
  void SetDataSet(TDataSet* dataset);
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name);
  const std::string& DisplayLabel() const {
    return display_label_.empty() ? field_name_ : display_label_;
  }
  void SetDisplayLabel(const std::string& label) { display_label_ = label; }
  // The label when one is set, otherwise the field name; used in messages.
  const std::string& DisplayName() const { return DisplayLabel(); }
  TFieldType DataType() const { return data_type_; }
  // Characters of a string field, bytes of a bytes field, decimal places of
  // a BCD field; 0 for fixed-size types. Changed only while the dataset is
  // closed.
  int Size() const { return size_; }
  virtual void SetSize(int size);
  TFieldKind FieldKind() const { return field_kind_; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return field_kind_ == fkCalculated; }
  bool Lookup() const { return field_kind_ == fkLookup; }
  // 1-based number of the field's definition while bound; -1 for
  // calculated and lookup fields; 0 while unbound.
  int FieldNo() const { return field_no_; }
  // Offset of a calculated or lookup field's slot in the calculated-field
  // area (its has-value byte; the data follows).
  int Offset() const { return offset_; }
  // 0, 1, ... for blob data fields in field order; -1 for others.
  int BlobIndex() const { return blob_index_; }
  // Position in the dataset's fields, -1 without dataset.
  int Index() const;
  // Bytes of the field's value form.
  virtual int DataSize() const;
  virtual bool IsBlob() const { return false; }

  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  const std::string& DefaultExpression() const { return default_expression_; }
  void SetDefaultExpression(const std::string& value) { default_expression_ = value; }
  // Writable: not read-only, a data field (or the calc-fields state), a
  // dataset that can be modified; in the set-key state: a field of the
  // active index.
  bool CanModify() const;

  // ---- Values ---------------------------------------------------------
  // Conversions a class does not offer raise EDatabaseError
  // "Cannot access field 'X' as type Y"; text that does not convert raises
  // EConvertError. A null value reads as "", 0, false or an empty Variant.
  virtual bool IsNull() const;
  virtual void Clear();
  virtual std::string AsString() const;
  virtual void SetAsString(const std::string& value);
  virtual int32_t AsInteger() const;
  virtual void SetAsInteger(int32_t value);
  virtual int64_t AsLargeInt() const;
  virtual void SetAsLargeInt(int64_t value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  virtual TDateTime AsDateTime() const;
  virtual void SetAsDateTime(TDateTime value);
  virtual double AsCurrency() const;
  virtual void SetAsCurrency(double value);
  virtual TBcd AsBCD() const;
  virtual void SetAsBCD(const TBcd& value);
  // Null for a null field; Clear() for a null or empty Variant.
  virtual Variant AsVariant() const;
  virtual void SetAsVariant(const Variant& value);
  Variant Value() const { return AsVariant(); }
  void SetValue(const Variant& value) { SetAsVariant(value); }
  // The text shown to a user; AsString unless a class says otherwise.
  virtual std::string DisplayText() const { return AsString(); }
  // The field's value before the edit / as being assigned / as stored now.
  Variant OldValue();
  Variant NewValue();
  Variant CurValue();

  // ---- Raw access -----------------------------------------------------
  // Reads the value form into `buffer` (DataSize bytes; null to ask only
  // whether there is a value). While OnValidate runs, reads the value being
  // assigned. False for null. Raises when the field has no dataset.
  bool GetData(void* buffer) const;
  // Reads the value straight as a double when the dataset offers that for
  // this field (see TDataSet::ReadFieldAsDouble): true with *value (0 for
  // null) and *is_null; false when the value form must be read instead.
  bool GetDataAsDouble(double* value, bool* is_null) const;
  // The same for a text (see TDataSet::ReadFieldAsString).
  bool GetDataAsString(std::string* text, bool* is_null) const;
  // Writes the value form from `buffer`; null writes null.
  void SetData(const void* buffer);
  // Runs OnValidate with `buffer` as the field's value.
  void Validate(const void* buffer);

  // ---- Lookup fields --------------------------------------------------
  // A lookup field shows LookupResultField of the LookupDataSet record
  // whose LookupKeyFields equal this dataset's KeyFields.
  TDataSet* LookupDataSet() const { return lookup_dataset_; }
  void SetLookupDataSet(TDataSet* dataset);
  const std::string& KeyFields() const { return key_fields_; }
  void SetKeyFields(const std::string& value) { key_fields_ = value; }
  const std::string& LookupKeyFields() const { return lookup_key_fields_; }
  void SetLookupKeyFields(const std::string& value) { lookup_key_fields_ = value; }
  const std::string& LookupResultField() const { return lookup_result_field_; }
  void SetLookupResultField(const std::string& value) { lookup_result_field_ = value; }

  // ---- Events ---------------------------------------------------------
  TFieldNotifyEvent OnValidate;  // before a value is stored; raise to refuse
  TFieldNotifyEvent OnChange;    // after a value was stored

  void Notification(TComponent* component, TOperation operation) override;

 protected:
  [[noreturn]] void AccessError(const char* type_name) const;
  // Raises "Invalid value for field 'X'".
  [[noreturn]] void ValueError() const;
  void CheckInactive() const;
  // Sets the size without the closed-dataset check (constructors).
  void InitSize(int size) { size_ = size; }

 private:
  friend class TDataSet;

  void CalcLookupValue();

  TDataSet* dataset_ = nullptr;  // the dataset whose fields hold this one
  std::string field_name_;
  std::string display_label_;  // empty: the field name is shown
  TFieldType data_type_;
  int size_ = 0;
  TFieldKind field_kind_ = fkData;
  int field_no_ = 0;     // see FieldNo()
  int offset_ = 0;       // slot in the calculated-field area
  int blob_index_ = -1;  // see BlobIndex()
  bool required_ = false;
  bool read_only_ = false;
  bool visible_ = true;
  std::string default_expression_;
  TDataSet* lookup_dataset_ = nullptr;  // not owned; cleared when destroyed
  std::string key_fields_, lookup_key_fields_, lookup_result_field_;
  // While OnValidate runs: the value being assigned (null pointer: null).
  const void* validating_value_ = nullptr;
  bool validating_ = false;
  bool looking_up_ = false;  // inside CalcLookupValue
};

// The fields of one dataset, in field order. Does not own them.
class TFields {
 public:
  explicit TFields(TDataSet* dataset) : dataset_(dataset) {}
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int Count() const { return static_cast<int>(list_.size()); }
  // Raises EListError for a bad index.
  TField* operator[](int index) const;
  // Case-insensitive; null when there is none.
  TField* FindField(const std::string& name) const;
  // Raises EDatabaseError "Field 'X' not found".
  TField* FieldByName(const std::string& name) const;
  // The field bound to definition `field_no`, or null.
  TField* FieldByNumber(int field_no) const;
  int IndexOf(const TField* field) const;
  std::vector<TField*>::const_iterator begin() const { return list_.begin(); }
  std::vector<TField*>::const_iterator end() const { return list_.end(); }

 private:
  friend class TDataSet;
  void Add(TField* field);
  void Remove(TField* field);

  TDataSet* dataset_;          // the owner of this list
  std::vector<TField*> list_;  // the fields, not owned
};

// ---- Text -------------------------------------------------------------

class TStringField : public TField {
 public:
  // Size defaults to 20 characters.
  explicit TStringField(TComponent* owner, TFieldType type = ftString);
  int DataSize() const override { return Size() + 1; }
  void SetSize(int size) override;  // 1 .. 65535
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;  // longer text is cut to Size
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  TBcd AsBCD() const override;
  void SetAsBCD(const TBcd& value) override;
  Variant AsVariant() const override;
};

// ---- Numbers ----------------------------------------------------------

// Integer fields share range checking: a value outside MinValue..MaxValue
// (when either is set) or outside the type's range raises ERangeError
// "v is not a valid value for field 'X'. The allowed range is a to b".
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* owner, TFieldType type = ftInteger);
  int64_t MinValue() const { return min_value_; }
  int64_t MaxValue() const { return max_value_; }
  void SetMinValue(int64_t value) { min_value_ = value; }
  void SetMaxValue(int64_t value) { max_value_ = value; }
  int DataSize() const override;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;  // rounded to the nearest integer
  bool AsBoolean() const override { return AsLargeInt() != 0; }
  void SetAsBoolean(bool value) override { SetAsLargeInt(value ? 1 : 0); }
  TBcd AsBCD() const override;
  void SetAsBCD(const TBcd& value) override;
  Variant AsVariant() const override;

 protected:
  bool GetValue(int64_t& value) const;
  void CheckRange(int64_t value) const;
  int64_t min_range_, max_range_;  // the type's own range

 private:
  int64_t min_value_ = 0, max_value_ = 0;  // user range; both 0: none
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner) : TIntegerField(owner, ftSmallint) {}
};
class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* owner) : TIntegerField(owner, ftWord) {}
};
class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner) : TIntegerField(owner, ftAutoInc) {}
};
class TLargeintField : public TIntegerField {
 public:
  explicit TLargeintField(TComponent* owner) : TIntegerField(owner, ftLargeint) {}
};

class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* owner, TFieldType type = ftFloat);
  // Significant digits of the text forms (2 .. 15, default 15).
  int Precision() const { return precision_; }
  void SetPrecision(int value);
  // Shown as money (a currency field starts true).
  bool Currency() const { return currency_; }
  void SetCurrency(bool value) { currency_ = value; }
  int DataSize() const override { return sizeof(double); }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override { SetAsFloat(value); }
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override { SetAsFloat(static_cast<double>(value)); }
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  double AsCurrency() const override { return AsFloat(); }
  void SetAsCurrency(double value) override { SetAsFloat(value); }
  TBcd AsBCD() const override;
  void SetAsBCD(const TBcd& value) override;
  Variant AsVariant() const override;

 private:
  int precision_ = 15;
  bool currency_ = false;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* owner) : TFloatField(owner, ftCurrency) { SetCurrency(true); }
};

// Exact decimals. Size holds the decimal places, Precision the digits;
// values that do not fit raise ERangeError. Currency decides whether the
// Variant form is a currency or a BCD value.
class TBCDField : public TField {
 public:
  explicit TBCDField(TComponent* owner, TFieldType type = ftBCD);
  int Precision() const { return precision_; }
  void SetPrecision(int value);
  bool Currency() const { return currency_; }
  void SetCurrency(bool value) { currency_ = value; }
  int DataSize() const override { return sizeof(TBcd); }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override { SetAsBCD(Int64ToBcd(value)); }
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override { SetAsBCD(Int64ToBcd(value)); }
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  double AsCurrency() const override { return AsFloat(); }
  void SetAsCurrency(double value) override { SetAsFloat(value); }
  TBcd AsBCD() const override;
  void SetAsBCD(const TBcd& value) override;
  Variant AsVariant() const override;

 private:
  int precision_ = 0;  // 0: up to 32 digits
  bool currency_ = false;
};

class TFMTBCDField : public TBCDField {
 public:
  explicit TFMTBCDField(TComponent* owner) : TBCDField(owner, ftFMTBcd) {}
};

// ---- Booleans, dates ---------------------------------------------------

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner);
  // "True;False" by default: the texts of true and false.
  const std::string& DisplayValues() const { return display_values_; }
  void SetDisplayValues(const std::string& value);
  int DataSize() const override { return sizeof(int16_t); }
  std::string AsString() const override;
  // Accepts a prefix of either display text (letter case ignored); "" clears.
  void SetAsString(const std::string& value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  int32_t AsInteger() const override { return AsBoolean() ? 1 : 0; }
  void SetAsInteger(int32_t value) override { SetAsBoolean(value != 0); }
  Variant AsVariant() const override;

 private:
  std::string display_values_ = "True;False";
  std::string true_text_ = "True", false_text_ = "False";
};

class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner, TFieldType type = ftDateTime);
  int DataSize() const override;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  Variant AsVariant() const override;
};
class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner) : TDateTimeField(owner, ftDate) {}
};
class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner) : TDateTimeField(owner, ftTime) {}
};

// ---- Binary ------------------------------------------------------------

// Fixed (ftBytes) or variable (ftVarBytes) binary of at most Size bytes.
// The text and Variant forms hold the bytes as they are.
class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* owner, TFieldType type = ftBytes);
  int DataSize() const override;
  void SetSize(int size) override;  // 1 .. 65535
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
};
class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* owner) : TBytesField(owner, ftVarBytes) {}
};

// ---- Blobs -------------------------------------------------------------

// Blob, memo and graphic fields: the value lives in the dataset's blob
// storage and is read and written through TDataSet::CreateBlobStream.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner, TFieldType type = ftBlob);
  int DataSize() const override { return 0; }
  bool IsBlob() const override { return true; }
  // Bytes in the blob of the current record.
  int64_t BlobSize() const;
  // Whether the blob was written since the record was read (the dataset's
  // blob stream sets it).
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  // Empties the blob through a write stream.
  void Clear() override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
  // Replaces the blob with all of `stream`; writes the blob to `stream`.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

 private:
  bool modified_ = false;
};
class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner, TFieldType type = ftMemo) : TBlobField(owner, type) {}
};
class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* owner) : TBlobField(owner, ftGraphic) {}
};

// The framework's class for `type`, or null when it has none.
TField* CreateDefaultField(TFieldType type, TComponent* owner);

}  // namespace dataset

#endif  // DATASET_FIELDS_H
