// Field definitions of the cursor dataset: each engine field described twice,
// to the framework as a TFieldDef (its type mapped from the engine's) and to
// the record layer as a TNCEFieldDef (where its bytes lie, which engine type
// it has). Also the dataset's two field classes and their settings at open.
#include <string>

#include "dataset/fields.h"
#include "dataset/text.h"
#include "nds/ndsdata.h"

namespace nds {

namespace {

// What a field definition receives for one engine field type.
struct TypeMapping {
  dataset::TFieldType type;
  bool sizeIsLength;  // the definition's size is the engine length
  int size;           // otherwise this size
  int precision;      // 0: none
};

// Engine types 1 to 22; 2 (numeric) is mapped by its own rule, 19 does not
// exist (ftUnknown marks the gaps).
constexpr TypeMapping kTypeMappings[] = {
    {dataset::ftUnknown, false, 0, 0},   // 0
    {dataset::ftBoolean, false, 0, 0},   // 1 logical
    {dataset::ftUnknown, false, 0, 0},   // 2 numeric: NumericMapping
    {dataset::ftDate, false, 0, 0},      // 3 date
    {dataset::ftString, true, 0, 0},     // 4 string
    {dataset::ftMemo, false, 1, 0},      // 5 memo
    {dataset::ftBlob, false, 1, 0},      // 6 binary
    {dataset::ftBlob, false, 1, 0},      // 7 image
    {dataset::ftMemo, false, 1, 0},      // 8 variable character
    {dataset::ftDate, false, 0, 0},      // 9 compact date
    {dataset::ftFloat, false, 0, 0},     // 10 double
    {dataset::ftInteger, false, 0, 0},   // 11 integer
    {dataset::ftSmallint, false, 0, 0},  // 12 short integer
    {dataset::ftTime, false, 0, 0},      // 13 time
    {dataset::ftDateTime, false, 0, 0},  // 14 timestamp
    {dataset::ftAutoInc, false, 0, 0},   // 15 autoincrement
    {dataset::ftBytes, true, 0, 0},      // 16 raw
    {dataset::ftCurrency, false, 0, 0},  // 17 currency double
    {dataset::ftBCD, false, 4, 20},      // 18 money
    {dataset::ftUnknown, false, 0, 0},   // 19
    {dataset::ftString, true, 0, 0},     // 20 case-insensitive string
    {dataset::ftBCD, false, 0, 20},      // 21 row version
    {dataset::ftDateTime, false, 0, 0},  // 22 modification time
};

// Numeric columns: exact decimals on NDT tables (unless the options ask for
// floats), floats or small integers elsewhere.
TypeMapping NumericMapping(std::uint32_t length, std::uint16_t decimals, bool ndt,
                           bool numericsAsFloats) {
  const int precision = static_cast<int>(decimals > 0 ? length - 2 : length - 1);
  if (ndt && !numericsAsFloats) {
    const bool wide = decimals > 4 || length > 18;
    return {wide ? dataset::ftFMTBcd : dataset::ftBCD, false, decimals, precision};
  }
  if (decimals > 0 || length >= 5) return {dataset::ftFloat, false, 0, 0};
  return {dataset::ftSmallint, false, 0, 0};
}

}  // namespace

TNCEFieldDefs::TNCEFieldDefs(dataset::TPersistent* owner)
    : TCollection([](dataset::TCollection* c) { return new TNCEFieldDef(c); }, owner) {}

int TNCEFieldDefs::FindEngineField(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (dataset::SameText(Items(i)->name, name)) return i;
  return -1;
}

TNdsBCDField::TNdsBCDField(dataset::TComponent* owner) : TBCDField(owner) {
  // A field read from a stored description keeps the stored setting.
  if (owner == nullptr || !owner->IsLoading()) SetCurrency(true);
}

TNdsDataSet::TFieldFactory TNdsDataSet::FieldClassFor(dataset::TFieldType type) {
  switch (type) {
    case dataset::ftString:
      return [](dataset::TComponent* owner) { return new TNdsStringField(owner); };
    case dataset::ftBCD:
      return [](dataset::TComponent* owner) { return new TNdsBCDField(owner); };
    default:
      return TDataSet::FieldClassFor(type);
  }
}

void TNdsDataSet::BuildFieldDefs() {
  const bool temporary = !Active() && tableHandle_ == kNoHandle;
  const NDSHANDLE cursor = temporary ? OpenEngineCursor() : tableHandle_;
  try {
    std::uint16_t count = 0;
    ReadFieldCount(cursor, count);
    for (std::uint16_t n = 1; n <= count; ++n) AddEngineField(cursor, n);
  } catch (...) {
    // The temporary cursor is nobody else's: it goes also on failure.
    if (temporary) NdsCloseTable(cursor);
    throw;
  }
  if (temporary) CheckEngineCode(this, NdsCloseTable(cursor));
}

void TNdsDataSet::LoadFieldDefs() {
  std::uint16_t count = 0;
  ReadFieldCount(tableHandle_, count);
  for (std::uint16_t n = 1; n <= count; ++n) AddEngineField(tableHandle_, n);
}

void TNdsDataSet::ReadFieldCount(NDSHANDLE cursor, std::uint16_t& count) {
  CheckEngineCode(this, NdsGetNumFields(cursor, &count));
  FieldDefs().Clear();
  engineFields_->Clear();
}

void TNdsDataSet::AddEngineField(NDSHANDLE cursor, std::uint16_t fieldNumber) {
  const NDSFIELD field = NDS_FIELD_ORDINAL(fieldNumber);
  std::uint16_t type = 0;
  std::uint32_t length = 0;
  std::uint16_t decimals = 0;
  CheckEngineCode(this, NdsGetFieldType(cursor, field, &type));
  CheckEngineCode(this, NdsGetFieldLength(cursor, field, &length));

  TypeMapping mapping{dataset::ftUnknown, false, 0, 0};
  if (type == NDS_NUMERIC) {
    CheckEngineCode(this, NdsGetFieldDecimals(cursor, field, &decimals));
    mapping = NumericMapping(length, decimals, engineTableType_ == NDS_NDT,
                             tableOptions_->NdsNumericsAsFloats());
  } else if (type < std::size(kTypeMappings)) {
    mapping = kTypeMappings[type];
  }
  if (mapping.type == dataset::ftUnknown)
    throw ENDSDatabaseError(this, NDS_E_COMPONENT,
                            "Unknown field type (" + std::to_string(type) + ") encountered.");

  char name[129] = {};
  std::uint16_t nameLength = sizeof name;
  CheckEngineCode(this, NdsGetFieldName(cursor, fieldNumber, name, &nameLength));

  const int size = mapping.sizeIsLength ? static_cast<int>(length) : mapping.size;
  dataset::TFieldDef* def = FieldDefs().Add(name, mapping.type, size, false);
  if (mapping.precision > 0) {
    try {
      def->SetPrecision(mapping.precision);
    } catch (const dataset::Exception&) {
      // A precision the framework does not take never fails the build.
    }
  }

  TNCEFieldDef* descriptor = engineFields_->AddDef();
  descriptor->name = name;
  descriptor->fieldNumber = fieldNumber;
  descriptor->length = length;
  descriptor->engineType = type;
  descriptor->decimals = decimals;
  CheckEngineCode(this, NdsGetFieldOffset(cursor, field, &descriptor->offset));
  CheckEngineCode(this, NdsGetColumnPermissions(cursor, field, &descriptor->columnPermissions));
  descriptor->fieldModified = false;
}

void TNdsDataSet::ApplyEngineFieldSettings() {
  for (dataset::TField* field : Fields()) {
    const int index = engineFields_->FindEngineField(field->FieldName());
    const std::uint16_t type = index >= 0 ? engineFields_->Items(index)->engineType : 0;
    if (field->DataType() == dataset::ftBCD) {
      auto* bcd = dynamic_cast<dataset::TBCDField*>(field);
      if (bcd == nullptr) continue;
      if (dynamic_cast<TNdsBCDField*>(field) == nullptr)
        bcd->SetCurrency(true);
      else if (type == NDS_ROWVERSION || type == NDS_NUMERIC)
        bcd->SetCurrency(false);
    } else if (field->DataType() == dataset::ftString) {
      auto* text = dynamic_cast<TNdsStringField*>(field);
      if (text != nullptr && type == NDS_CISTRING) text->SetCaseInsensitive(true);
    }
  }
}

}  // namespace nds
