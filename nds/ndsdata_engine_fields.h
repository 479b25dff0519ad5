// The engine's description of a cursor's fields (TNCEFieldDef, TNCEFieldDefs),
// the reading of one field out of a record image, and the dataset's own
// string and BCD field classes.
#ifndef NDS_NDSDATA_ENGINE_FIELDS_H_
#define NDS_NDSDATA_ENGINE_FIELDS_H_

#include <cstdint>
#include <string>

#include "dataset/collection.h"
#include "dataset/field_type.h"
#include "dataset/fields.h"

namespace nds {

// Engine field descriptors: where each field of the open cursor lies in the
// engine's record image and which engine type it has. Item N - 1 describes
// engine field N, the same field as the framework's field definition N.

class TNCEFieldDef : public dataset::TCollectionItem {
 public:
  explicit TNCEFieldDef(dataset::TCollection* collection) : TCollectionItem(collection) {}

  std::string name;                    // the engine's field name
  std::uint16_t fieldNumber = 0;       // 1-based position in the cursor
  std::uint32_t offset = 0;            // first byte in the record image
  std::uint32_t length = 0;            // bytes in the record image
  std::uint16_t engineType = 0;        // NDS_LOGICAL ... NDS_MODTIME
  std::uint16_t decimals = 0;          // numeric fields only; 0 otherwise
  bool fieldModified = false;          // written since editing began
  std::uint8_t columnPermissions = 0;  // NDS_COLUMN_* bits
};

class TNCEFieldDefs : public dataset::TCollection {
 public:
  // `owner` may be null (the dataset makes its descriptors without one).
  explicit TNCEFieldDefs(dataset::TPersistent* owner);

  TNCEFieldDef* AddDef() { return static_cast<TNCEFieldDef*>(Add()); }
  // 0-based: item (engine field number - 1).
  TNCEFieldDef* Items(int index) const {
    return static_cast<TNCEFieldDef*>(TCollection::Items(index));
  }
  // The first descriptor named `name`, letter case ignored; -1 when none.
  int FindEngineField(const std::string& name) const;
};

// Reads one engine field of a record image: `bytes` is the field's place in
// the image (def.length bytes), `fieldType` and `dataSize` describe the
// field object's value form, `ndt` tells the table family. Answers true for
// null; otherwise, with `dest` non-null, writes the value form there (never
// more than `dataSize` bytes). A numeric text that does not convert leaves
// `dest` unchanged and still answers not null.
bool ReadEngineFieldValue(const std::uint8_t* bytes, const TNCEFieldDef& def,
                          dataset::TFieldType fieldType, int dataSize, bool ndt, void* dest);

// The dataset's string field: CaseInsensitive tells the application that
// the engine compares the field without regard to letter case (set at open
// for case-insensitive string columns); nothing in the components reads it.
class TNdsStringField : public dataset::TStringField {
 public:
  explicit TNdsStringField(dataset::TComponent* owner) : TStringField(owner) {}
  bool CaseInsensitive() const { return caseInsensitive_; }
  void SetCaseInsensitive(bool value) { caseInsensitive_ = value; }
  // While its dataset edits or inserts, a text longer than the field is
  // refused instead of being cut to the field's size.
  void SetAsString(const std::string& value) override;

 private:
  bool caseInsensitive_ = false;
};

// The dataset's BCD field: a currency value unless it is being read from a
// stored description (which keeps its stored setting). Opening sets it back
// to plain decimals over numeric and row-version columns.
class TNdsBCDField : public dataset::TBCDField {
 public:
  explicit TNdsBCDField(dataset::TComponent* owner);
};

}  // namespace nds

#endif  // NDS_NDSDATA_ENGINE_FIELDS_H_
