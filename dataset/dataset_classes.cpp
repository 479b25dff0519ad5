// Registration of the dataset classes for stored descriptions: the
// published properties of TDataSet, TDataSource and the field classes.
#include <mutex>

#include "dataset/data_source.h"
#include "dataset/dataset.h"
#include "dataset/dataset_events.h"
#include "dataset/index_defs.h"
#include "dataset/streaming.h"

namespace dataset {

namespace {

// A field's own label; empty when it shows its field name.
std::string StoredDisplayLabel(const TField& field) {
  return field.DisplayLabel() == field.FieldName() ? std::string() : field.DisplayLabel();
}

void RegisterFields() {
  RegisterClass<TField, TComponent>("TField")
      .Component<TDataSet>("DataSet", &TField::DataSet, &TField::SetDataSet)
      .String("DefaultExpression", &TField::DefaultExpression, &TField::SetDefaultExpression)
      .String("DisplayLabel", StoredDisplayLabel, &TField::SetDisplayLabel)
      .Enum<TFieldKind>("FieldKind", &TField::FieldKind, &TField::SetFieldKind,
                        {"fkData", "fkCalculated", "fkLookup", "fkInternalCalc"}, fkData)
      .String("FieldName", &TField::FieldName, &TField::SetFieldName, std::nullopt)
      .String("KeyFields", &TField::KeyFields, &TField::SetKeyFields)
      .Component<TDataSet>("LookupDataSet", &TField::LookupDataSet, &TField::SetLookupDataSet)
      .String("LookupKeyFields", &TField::LookupKeyFields, &TField::SetLookupKeyFields)
      .String("LookupResultField", &TField::LookupResultField, &TField::SetLookupResultField)
      .Boolean("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly, false)
      .Boolean("Required", &TField::Required, &TField::SetRequired, false)
      .Boolean("Visible", &TField::Visible, &TField::SetVisible, true);
  RegisterClass<TStringField, TField>("TStringField")
      .Integer("Size", &TStringField::Size, &TStringField::SetSize, 20);
  RegisterClass<TIntegerField, TField>("TIntegerField")
      .Integer("MaxValue", &TIntegerField::MaxValue, &TIntegerField::SetMaxValue, 0)
      .Integer("MinValue", &TIntegerField::MinValue, &TIntegerField::SetMinValue, 0);
  RegisterClass<TSmallintField, TIntegerField>("TSmallintField");
  RegisterClass<TWordField, TIntegerField>("TWordField");
  RegisterClass<TAutoIncField, TIntegerField>("TAutoIncField");
  RegisterClass<TLargeintField, TIntegerField>("TLargeintField");
  RegisterClass<TFloatField, TField>("TFloatField")
      .Boolean("Currency", &TFloatField::Currency, &TFloatField::SetCurrency, false)
      .Integer("Precision", &TFloatField::Precision, &TFloatField::SetPrecision, 15);
  RegisterClass<TCurrencyField, TFloatField>("TCurrencyField");
  RegisterClass<TBCDField, TField>("TBCDField")
      .Boolean("Currency", &TBCDField::Currency, &TBCDField::SetCurrency, false)
      .Integer("Precision", &TBCDField::Precision, &TBCDField::SetPrecision, 0)
      .Integer("Size", &TBCDField::Size, &TBCDField::SetSize, 4);
  RegisterClass<TFMTBCDField, TBCDField>("TFMTBCDField");
  RegisterClass<TBooleanField, TField>("TBooleanField")
      .String("DisplayValues", &TBooleanField::DisplayValues, &TBooleanField::SetDisplayValues,
              std::string("True;False"));
  RegisterClass<TDateTimeField, TField>("TDateTimeField");
  RegisterClass<TDateField, TDateTimeField>("TDateField");
  RegisterClass<TTimeField, TDateTimeField>("TTimeField");
  RegisterClass<TBytesField, TField>("TBytesField")
      .Integer("Size", &TBytesField::Size, &TBytesField::SetSize, 16);
  RegisterClass<TVarBytesField, TBytesField>("TVarBytesField");
  RegisterClass<TBlobField, TField>("TBlobField");
  RegisterClass<TMemoField, TBlobField>("TMemoField");
  RegisterClass<TGraphicField, TBlobField>("TGraphicField");
}

// The index definitions a dataset describes; published by datasets but
// never stored, since they come from the cursor.
void RegisterIndexDefs() {
  RegisterClass<TIndexDef, TCollectionItem>("TIndexDef")
      .String("Name", &TIndexDef::Name, &TIndexDef::SetName)
      .String("Fields", &TIndexDef::Fields, &TIndexDef::SetFields)
      .Set<TIndexOption>("Options", &TIndexDef::Options, &TIndexDef::SetOptions,
                         {"ixPrimary", "ixUnique", "ixDescending", "ixCaseInsensitive",
                          "ixExpression", "ixNonMaintained"})
      .String("DescFields", &TIndexDef::DescFields, &TIndexDef::SetDescFields)
      .String("CaseInsFields", &TIndexDef::CaseInsFields, &TIndexDef::SetCaseInsFields)
      .String("Expression", &TIndexDef::Expression, &TIndexDef::SetExpression)
      .String("Source", &TIndexDef::Source, &TIndexDef::SetSource);
  RegisterClass<TIndexDefs, TCollection>("TIndexDefs");
}

void RegisterAll() {
  auto dataset =
      RegisterClass<TDataSet, TComponent>("TDataSet")
          .Boolean("Active", &TDataSet::Active, &TDataSet::SetActive, false,
                   [](const TDataSet& d) { return d.StoresActive(); })
          .Boolean("AutoCalcFields", &TDataSet::AutoCalcFields, &TDataSet::SetAutoCalcFields, true)
          .String("Filter", &TDataSet::Filter, &TDataSet::SetFilter)
          .Boolean("Filtered", &TDataSet::Filtered, &TDataSet::SetFiltered, false);
  PublishDataSetEvents(dataset);
  RegisterIndexDefs();
  RegisterClass<TDataSource, TComponent>("TDataSource")
      .Boolean("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit, true)
      .Component<TDataSet>("DataSet", &TDataSource::DataSet, &TDataSource::SetDataSet)
      .Boolean("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled, true);
  RegisterFields();
}

}  // namespace

void RegisterDataSetClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}

}  // namespace dataset
