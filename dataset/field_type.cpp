#include "dataset/field_type.h"

#include "dataset/text.h"

namespace dataset {

namespace {

// Indexed by TFieldType; must follow the enumeration's order.
const char* const kNames[kFieldTypeCount] = {
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
    "ftOraBlob",    "ftOraClob",    "ftVariant",  "ftInterface",   "ftIDispatch", "ftGuid",
    "ftTimeStamp",  "ftFMTBcd",
};

}  // namespace

std::string FieldTypeName(TFieldType type) {
  int i = static_cast<int>(type);
  return (i >= 0 && i < kFieldTypeCount) ? kNames[i] : kNames[0];
}

bool FieldTypeFromName(const std::string& name, TFieldType& type) {
  for (int i = 0; i < kFieldTypeCount; ++i) {
    if (SameText(name, kNames[i])) {
      type = static_cast<TFieldType>(i);
      return true;
    }
  }
  return false;
}

bool IsBlobFieldType(TFieldType type) {
  switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return true;
    default:
      return false;
  }
}

}  // namespace dataset
