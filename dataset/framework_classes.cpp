// Registration of the framework's own classes for stored descriptions, and
// the extra stored properties of string lists.
#include <mutex>

#include "dataset/collection.h"
#include "dataset/dataset.h"
#include "dataset/field_type.h"
#include "dataset/params.h"
#include "dataset/streaming.h"
#include "dataset/strings.h"

namespace dataset {

void TStrings::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        reader.ReadListBegin();
        BeginUpdate();
        try {
          Clear();
          while (!reader.EndOfList()) Add(reader.ReadString());
          reader.ReadListEnd();
        } catch (...) {
          EndUpdate();
          throw;
        }
        EndUpdate();
      },
      [this](TWriter& writer) { writer.WriteStrings(ToVector()); }, Count() > 0);
}

namespace {

std::vector<std::string> FieldTypeNames() {
  std::vector<std::string> names;
  for (int i = 0; i < kFieldTypeCount; ++i)
    names.push_back(FieldTypeName(static_cast<TFieldType>(i)));
  return names;
}

std::vector<std::string> ParamTypeNames() {
  std::vector<std::string> names;
  for (int i = 0; i <= ptResult; ++i) names.push_back(ParamTypeName(static_cast<TParamType>(i)));
  return names;
}

void RegisterAll() {
  RegisterClass<TPersistent>("TPersistent");
  RegisterClass<TComponent, TPersistent>("TComponent")
      .Integer("Tag", &TComponent::Tag, &TComponent::SetTag, 0);
  RegisterClass<TStrings, TPersistent>("TStrings");
  RegisterClass<TStringList, TStrings>("TStringList");
  RegisterClass<TCollectionItem, TPersistent>("TCollectionItem");
  RegisterClass<TCollection, TPersistent>("TCollection");
  // Data type, name and parameter type are always written, as the
  // framework's descriptions have them.
  RegisterClass<TParam, TCollectionItem>("TParam")
      .Enum<TFieldType>("DataType", &TParam::DataType, &TParam::SetDataType, FieldTypeNames())
      .String("Name", &TParam::Name, &TParam::SetName, std::nullopt)
      .Integer("NumericScale", &TParam::NumericScale, &TParam::SetNumericScale, 0)
      .Enum<TParamType>("ParamType", &TParam::ParamType, &TParam::SetParamType, ParamTypeNames())
      .Integer("Precision", &TParam::Precision, &TParam::SetPrecision, 0)
      .Integer("Size", &TParam::Size, &TParam::SetSize, 0)
      .VariantValue("Value", &TParam::Value, &TParam::SetValue,
                    [](const TParam& p) { return p.Bound(); });
  RegisterClass<TParams, TCollection>("TParams");
  RegisterDataSetClasses();
}

}  // namespace

void RegisterFrameworkClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}

}  // namespace dataset
