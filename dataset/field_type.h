// TFieldType: the framework's field and parameter data types. The order of
// the members is fixed: stored descriptions name them ("ftInteger") and
// tables elsewhere are indexed by them.
#ifndef DATASET_FIELD_TYPE_H
#define DATASET_FIELD_TYPE_H

#include <string>

namespace dataset {

enum TFieldType : int {
  ftUnknown,
  ftString,    // 8-bit text of fixed maximum size
  ftSmallint,  // 16-bit signed
  ftInteger,   // 32-bit signed
  ftWord,      // 16-bit unsigned
  ftBoolean,
  ftFloat,     // 64-bit IEEE
  ftCurrency,  // money held as a 64-bit IEEE value
  ftBCD,       // TBcd of small precision
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,     // fixed-length binary
  ftVarBytes,  // variable-length binary
  ftAutoInc,   // 32-bit signed, assigned by the database
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,  // 64-bit signed
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,  // TBcd of full precision
};

constexpr int kFieldTypeCount = ftFMTBcd + 1;

// "ftInteger" for ftInteger; "ftUnknown" for a value outside the enumeration.
std::string FieldTypeName(TFieldType type);
// The member of that name (case-insensitive); false when there is none.
bool FieldTypeFromName(const std::string& name, TFieldType& type);

// Blob-like types whose values travel through blob streams.
bool IsBlobFieldType(TFieldType type);

}  // namespace dataset

#endif  // DATASET_FIELD_TYPE_H
