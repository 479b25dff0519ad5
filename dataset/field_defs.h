// Field definitions: what a dataset's cursor says about its columns (name,
// type, size, precision, required), from which the dataset makes its field
// objects. The "updated" flag tells whether the list reflects the cursor.
#ifndef DATASET_FIELD_DEFS_H
#define DATASET_FIELD_DEFS_H

#include <memory>
#include <string>
#include <vector>

#include "dataset/collection.h"
#include "dataset/component.h"
#include "dataset/field_type.h"
#include "dataset/set.h"

namespace dataset {

class TDataSet;
class TFieldDefs;

// Attributes of a field definition.
enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TSet<TFieldAttribute>;

class TFieldDef : public TCollectionItem {
 public:
  // Made by TFieldDefs::AddFieldDef (or with the definitions as argument);
  // numbered 1, 2, ... in list order.
  explicit TFieldDef(TCollection* collection);

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  TFieldType DataType() const { return data_type_; }
  void SetDataType(TFieldType type) { data_type_ = type; }
  // Characters, bytes or decimal places, as TField::Size.
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }
  // Digits of a BCD or float definition; 0 when not given.
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }
  bool Required() const { return attributes_.Contains(faRequired); }
  void SetRequired(bool value);
  TFieldAttributes Attributes() const { return attributes_; }
  void SetAttributes(TFieldAttributes value) { attributes_ = value; }
  // Kept by the dataset like a data field but computed (fkInternalCalc).
  bool InternalCalcField() const { return internal_calc_; }
  void SetInternalCalcField(bool value) { internal_calc_ = value; }
  // 1-based position in the definitions, unless set explicitly.
  int FieldNo() const;
  void SetFieldNo(int value) { field_no_ = value; }
  // The definitions holding this one, or null.
  TFieldDefs* FieldDefs() const;

  void Assign(const TPersistent* source) override;
  std::string DisplayName() const override { return name_; }

 private:
  std::string name_;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  TFieldAttributes attributes_;
  bool internal_calc_ = false;
  int field_no_ = 0;  // 0: the position decides
};

class TFieldDefs : public TCollection {
 public:
  // `dataset` owns the list and brings it up to date (may be null).
  explicit TFieldDefs(TDataSet* dataset);

  TDataSet* DataSet() const { return dataset_; }
  // Raises EListError for a bad index.
  TFieldDef* Items(int index) const { return static_cast<TFieldDef*>(TCollection::Items(index)); }
  TFieldDef* operator[](int index) const { return Items(index); }

  // Appends a definition. A size that does not suit the type raises
  // EDatabaseError "Invalid field size" (strings and bytes need 1..65535,
  // fixed-size types ignore it).
  TFieldDef* Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
  TFieldDef* AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }
  // Case-insensitive; -1 / null when there is none. Find raises
  // "Field 'X' not found".
  int IndexOf(const std::string& name) const;
  TFieldDef* Find(const std::string& name) const;

  // Whether the list reflects the dataset's cursor. Update() brings it up
  // to date through the dataset (BuildFieldDefs) when it does not.
  bool Updated() const { return updated_; }
  void SetUpdated(bool value) { updated_ = value; }
  void Update();
  using TCollection::Update;

 private:
  TDataSet* dataset_;     // owner, may be null
  bool updated_ = false;  // see Updated()
};

}  // namespace dataset

#endif  // DATASET_FIELD_DEFS_H
