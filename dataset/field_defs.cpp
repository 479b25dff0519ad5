// Field definitions of a dataset.
#include "dataset/field_defs.h"

#include "dataset/dataset.h"
#include "dataset/exceptions.h"
#include "dataset/text.h"

namespace dataset {

namespace {
// Types whose definitions carry a size of their own.
bool TypeHasSize(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
      return true;
    default:
      return false;
  }
}
}  // namespace

TFieldDef::TFieldDef(TCollection* collection) : TCollectionItem(collection) {}

TFieldDefs* TFieldDef::FieldDefs() const {
  return dynamic_cast<TFieldDefs*>(Collection());
}

void TFieldDef::SetName(const std::string& name) {
  if (TFieldDefs* defs = FieldDefs()) {
    int index = defs->IndexOf(name);
    if (index >= 0 && defs->Items(index) != this) {
      throw EDatabaseError("Duplicate field name '" + name + "'");
    }
  }
  name_ = name;
}

void TFieldDef::SetRequired(bool value) {
  if (value) {
    attributes_.Include(faRequired);
  } else {
    attributes_.Exclude(faRequired);
  }
}

int TFieldDef::FieldNo() const {
  if (field_no_ > 0) return field_no_;
  return Index() + 1;
}

void TFieldDef::Assign(const TPersistent* source) {
  auto* def = dynamic_cast<const TFieldDef*>(source);
  if (!def) {
    TPersistent::Assign(source);
    return;
  }
  name_ = def->name_;
  data_type_ = def->data_type_;
  size_ = def->size_;
  precision_ = def->precision_;
  attributes_ = def->attributes_;
  internal_calc_ = def->internal_calc_;
  field_no_ = def->field_no_;
}

TFieldDefs::TFieldDefs(TDataSet* dataset)
    : TCollection([](TCollection* defs) { return new TFieldDef(defs); }, dataset),
      dataset_(dataset) {}

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
  if (name.empty()) throw EDatabaseError("Field name missing");
  if (IndexOf(name) >= 0) throw EDatabaseError("Duplicate field name '" + name + "'");
  if (TypeHasSize(type) && (size < 1 || size > 65535)) throw EDatabaseError("Invalid field size");
  TFieldDef* def = AddFieldDef();
  def->SetName(name);
  def->SetDataType(type);
  def->SetSize(size);
  def->SetRequired(required);
  return def;
}

int TFieldDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(Items(i)->Name(), name)) return i;
  }
  return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  if (index < 0) throw EDatabaseError("Field '" + name + "' not found");
  return Items(index);
}

void TFieldDefs::Update() {
  if (updated_ || !dataset_) return;
  dataset_->BuildFieldDefs();
  updated_ = true;
}

}  // namespace dataset
