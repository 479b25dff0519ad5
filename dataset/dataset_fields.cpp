// TDataSet: its field objects, their binding to the field definitions, the
// calculated-field area and the values of fields by name.
#include <algorithm>
#include <cstring>

#include "dataset/dataset.h"
#include "dataset/text.h"

namespace dataset {

namespace {

// Field types that may stand for each other between a field object and its
// definition (a stored field of one kind over a cursor column of the other).
int TypeFamily(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
      return 1;
    case ftInteger:
    case ftAutoInc:
      return 2;
    case ftBCD:
    case ftFMTBcd:
      return 3;
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
      return 4;
    default:
      return 100 + static_cast<int>(type);
  }
}

bool TypeHasSize(TFieldType type) {
  return TypeFamily(type) == 1 || type == ftBytes || type == ftVarBytes;
}

}  // namespace

// ---- The fields list -------------------------------------------------------

void TDataSet::AddField(TField* field) {
  if (fields_.FindField(field->FieldName())) {
    throw EDatabaseError("Duplicate field name '" + field->FieldName() + "'");
  }
  fields_.Add(field);
  if (!IsDestroying()) NotifyDataEvent(deFieldListChange);
}

void TDataSet::RemoveField(TField* field) {
  fields_.Remove(field);
  if (!IsDestroying()) NotifyDataEvent(deFieldListChange);
}

TDataSet::TFieldFactory TDataSet::FieldClassFor(TFieldType type) {
  return [type](TComponent* owner) { return CreateDefaultField(type, owner); };
}

void TDataSet::CreateFields() {
  for (int i = 0; i < field_defs_->Count(); ++i) {
    TFieldDef* def = field_defs_->Items(i);
    TFieldFactory factory = FieldClassFor(def->DataType());
    TField* field = factory ? factory(this) : nullptr;
    if (!field) DatabaseError("Field '" + def->Name() + "' is of an unknown type");
    try {
      field->SetFieldName(def->Name());
      if (TypeHasSize(def->DataType())) field->SetSize(def->Size());
      if (auto* bcd = dynamic_cast<TBCDField*>(field)) {
        bcd->SetSize(def->Size());
        bcd->SetPrecision(std::clamp(def->Precision(), 0, kMaxBcdPrecision));
      }
      if (auto* flt = dynamic_cast<TFloatField*>(field)) {
        if (def->Precision() >= 2 && def->Precision() <= 15) flt->SetPrecision(def->Precision());
      }
      field->SetRequired(def->Required());
      field->SetReadOnly(def->Attributes().Contains(faReadonly));
      if (def->InternalCalcField()) field->SetFieldKind(fkInternalCalc);
      field->SetDataSet(this);
    } catch (...) {
      delete field;
      throw;
    }
  }
}

void TDataSet::DestroyFields() {
  while (fields_.Count() > 0) delete fields_[fields_.Count() - 1];
}

void TDataSet::BindFields(bool binding) {
  calc_fields_size_ = 0;
  blob_field_count_ = 0;
  internal_calc_fields_ = false;
  for (TField* field : fields_) {
    field->blob_index_ = -1;
    if (!binding) {
      field->field_no_ = 0;
      field->offset_ = 0;
      continue;
    }
    if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
      field->field_no_ = -1;
      field->offset_ = calc_fields_size_;
      calc_fields_size_ += field->DataSize() + 1;
      continue;
    }
    int index = field_defs_->IndexOf(field->FieldName());
    if (index < 0) DatabaseError("Field '" + field->DisplayName() + "' not found");
    TFieldDef* def = field_defs_->Items(index);
    if (TypeFamily(field->DataType()) != TypeFamily(def->DataType())) {
      DatabaseError("Type mismatch for field '" + field->DisplayName() +
                    "', expecting: " + FieldTypeName(field->DataType()) +
                    " actual: " + FieldTypeName(def->DataType()));
    }
    // A text or bytes field narrower than its column would overflow its
    // value buffer when the dataset copies the column into it.
    if (TypeHasSize(def->DataType()) && field->Size() != def->Size()) {
      DatabaseError("Size mismatch for field '" + field->DisplayName() + "', expecting: " +
                    IntToStr(field->Size()) + " actual: " + IntToStr(def->Size()));
    }
    field->field_no_ = def->FieldNo();
    if (field->FieldKind() == fkInternalCalc) internal_calc_fields_ = true;
    if (field->IsBlob()) field->blob_index_ = blob_field_count_++;
  }
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& names) const {
  std::vector<TField*> list;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = Trim(names.substr(start, end - start));
    if (!name.empty()) list.push_back(FieldByName(name));
    start = end + 1;
  }
  return list;
}

Variant TDataSet::FieldValues(const std::string& names) const {
  std::vector<TField*> list = GetFieldList(names);
  if (list.size() == 1) return list[0]->AsVariant();
  std::vector<Variant> values;
  values.reserve(list.size());
  for (TField* field : list) values.push_back(field->AsVariant());
  return Variant(std::move(values));
}

void TDataSet::SetFieldValues(const std::string& names, const Variant& value) {
  std::vector<TField*> list = GetFieldList(names);
  if (list.size() == 1) {
    list[0]->SetAsVariant(value);
    return;
  }
  if (!value.IsArray() || value.ArrayLength() != static_cast<int>(list.size())) {
    DatabaseError("Expected one value for each of the fields " + names);
  }
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetAsVariant(value[static_cast<int>(i)]);
}

// ---- Calculated fields ------------------------------------------------------

void TDataSet::RunCalculateFields(TRecordBuffer buffer) {
  TRecordBuffer saved_buffer = calc_buffer_;
  TDataSetState previous = SetTempState(dsCalcFields);
  calc_buffer_ = buffer;
  try {
    ClearCalculatedArea(buffer);
    for (TField* field : fields_) {
      if (field->FieldKind() == fkLookup) field->CalcLookupValue();
    }
    Fire(OnCalcFields);
  } catch (...) {
    calc_buffer_ = saved_buffer;
    RestoreState(previous);
    throw;
  }
  calc_buffer_ = saved_buffer;
  RestoreState(previous);
}

bool TDataSet::ReadCalcSlot(TRecordBuffer buffer, const TField& field, void* dest) {
  if (!buffer) return false;
  const uint8_t* slot = buffer + RecordImageSize() + field.Offset();
  if (slot[0] == 0) return false;
  if (dest) std::memcpy(dest, slot + 1, field.DataSize());
  return true;
}

void TDataSet::WriteCalcSlot(TRecordBuffer buffer, const TField& field, const void* value) {
  if (!buffer) return;
  uint8_t* slot = buffer + RecordImageSize() + field.Offset();
  slot[0] = value ? 1 : 0;
  if (value) {
    std::memcpy(slot + 1, value, field.DataSize());
  } else {
    std::memset(slot + 1, 0, field.DataSize());
  }
}

Variant TDataSet::StateFieldValue(TDataSetState state, TField& field) {
  TempState temp(*this, state);
  return field.AsVariant();
}

// ---- Definitions and records --------------------------------------------------

void TDataSet::BuildFieldDefs() {
  LoadFieldDefs();
}

void TDataSetHooks::UpdateIndexDefs() {}

bool TDataSetHooks::CopyCurrentRecord(void*) {
  return false;
}

bool TDataSetHooks::IsIndexField(TField&) {
  return false;
}

void TDataSetHooks::CloseBlobField(TField&) {}

}  // namespace dataset
