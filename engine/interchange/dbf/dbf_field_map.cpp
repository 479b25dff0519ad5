#include "engine/interchange/dbf/dbf_field_map.h"

#include "engine/base/errors.h"
#include "engine/interchange/dbf/dbf_memo_file.h"

namespace nce {
namespace {

// Versions a letter has its meaning in.
constexpr uint8_t kIn3 = 1 << static_cast<int>(DbfFlavor::kDbase3);
constexpr uint8_t kIn4 = 1 << static_cast<int>(DbfFlavor::kDbase4);
constexpr uint8_t kIn7 = 1 << static_cast<int>(DbfFlavor::kDbase7);
constexpr uint8_t kInFox = 1 << static_cast<int>(DbfFlavor::kFoxPro);
constexpr uint8_t kInVfp = 1 << static_cast<int>(DbfFlavor::kVisualFoxPro);
constexpr uint8_t kInAll = kIn3 | kIn4 | kIn7 | kInFox | kInVfp;
constexpr uint8_t kInDbase = kIn3 | kIn4 | kIn7;

// Lengths: a fixed number, any (kAnyLength), or a memo pointer: 10 digits,
// or 4 bytes in Visual FoxPro (kMemoPointer).
constexpr uint8_t kAnyLength = 0;
constexpr uint8_t kMemoPointer = 0xFF;

struct ReadEntry {
  char letter;
  uint8_t versions;
  uint8_t length;
  FieldCodec codec;
  uint16_t type;
};
// The first entry for a letter and version applies.
constexpr ReadEntry kReadMap[] = {
    {'C', kInAll, kAnyLength, FieldCodec::kText, NDS_STRING},
    {'N', kInAll, kAnyLength, FieldCodec::kDecimal, NDS_NUMERIC},
    {'F', kInAll, kAnyLength, FieldCodec::kDecimal, NDS_NUMERIC},
    {'D', kInAll, 8, FieldCodec::kDate, NDS_DATE},
    {'L', kInAll, 1, FieldCodec::kLogical, NDS_LOGICAL},
    {'M', kInAll, kMemoPointer, FieldCodec::kMemoText, NDS_MEMO},
    {'G', kInAll, kMemoPointer, FieldCodec::kMemoBlob, NDS_IMAGE},
    {'P', kInFox | kInVfp, kMemoPointer, FieldCodec::kMemoBlob, NDS_IMAGE},
    {'B', kInVfp, 8, FieldCodec::kDouble, NDS_DOUBLE},
    {'B', kInDbase, kMemoPointer, FieldCodec::kMemoBlob, NDS_BINARY},
    {'W', kInVfp, kMemoPointer, FieldCodec::kMemoBlob, NDS_BINARY},
    {'I', kIn7, 4, FieldCodec::kSortableLong, NDS_INTEGER},
    {'I', kInAll, 4, FieldCodec::kInteger, NDS_INTEGER},
    {'+', kIn7, 4, FieldCodec::kSortableLong, NDS_AUTOINC},
    {'O', kIn7, 8, FieldCodec::kSortableDouble, NDS_DOUBLE},
    {'@', kIn7, 8, FieldCodec::kDbase7Timestamp, NDS_TIMESTAMP},
    {'Y', kInFox | kInVfp, 8, FieldCodec::kCurrency, NDS_MONEY},
    {'T', kInFox | kInVfp, 8, FieldCodec::kDateTime, NDS_TIMESTAMP},
    {'V', kInVfp, kAnyLength, FieldCodec::kVarText, NDS_VARCHAR},
    {'Q', kInVfp, kAnyLength, FieldCodec::kVarBlob, NDS_BINARY},
};

[[noreturn]] void Refuse(uint32_t code, const std::string& file, const std::string& field,
                         const std::string& what) {
  throw EngineError(code, PlacedMessage(FilePlace{file, 0, field}, "record", "field", what));
}

bool BlankReadsNull(FieldCodec codec) {
  switch (codec) {
    case FieldCodec::kDecimal:
    case FieldCodec::kDate:
    case FieldCodec::kLogical:
    case FieldCodec::kDateTime:
    case FieldCodec::kDbase7Timestamp:
      return true;
    default:
      return false;
  }
}

std::string TypeName(uint16_t type) {
  static const char* const kNames[] = {
      "",         "LOGICAL", "NUMERIC",   "DATE",        "STRING", "MEMO",
      "BINARY",   "IMAGE",   "VARCHAR",   "COMPACTDATE", "DOUBLE", "INTEGER",
      "SHORTINT", "TIME",    "TIMESTAMP", "AUTOINC",     "RAW",    "CURDOUBLE",
      "MONEY",    "",        "CISTRING",  "ROWVERSION",  "MODTIME"};
  return type < std::size(kNames) && kNames[type][0] ? kNames[type]
                                                     : "type " + std::to_string(type);
}

// The longest C and N fields the xBase versions know.
constexpr uint32_t kMaxCharField = 254;
constexpr uint32_t kMaxNumericField = 20;

}  // namespace

ReadPlan PlanRead(const std::string& file, const DbfField& field, DbfFlavor flavor) {
  uint8_t in = static_cast<uint8_t>(1 << static_cast<int>(flavor));
  const ReadEntry* entry = nullptr;
  for (const ReadEntry& e : kReadMap)
    if (e.letter == field.type && (e.versions & in)) {
      entry = &e;
      break;
    }
  if (!entry) {
    unsigned char c = static_cast<unsigned char>(field.type);
    Refuse(NDS_E_BAD_FILE, file, field.name,
           c >= 0x21 && c < 0x7F ? std::string("the field type '") + field.type + "' is not known"
                                 : "the field type byte " + std::to_string(c) + " is not known");
  }
  bool length_ok = entry->length == kAnyLength || field.length == entry->length ||
                   (entry->length == kMemoPointer && (field.length == 10 || field.length == 4));
  if (entry->codec == FieldCodec::kDecimal && field.decimals > 0 && field.decimals >= field.length)
    length_ok = false;
  if (!length_ok)
    Refuse(NDS_E_BAD_FILE, file, field.name,
           std::string("a field of type '") + field.type + "' cannot be " +
               std::to_string(field.length) + " bytes long");
  ReadPlan plan{entry->codec, FieldSpec{entry->type, field.length, 0}, false};
  bool binary = flavor == DbfFlavor::kVisualFoxPro && (field.flags & kFieldBinary);
  switch (entry->codec) {
    case FieldCodec::kText:
      if (binary) plan = {FieldCodec::kRawText, FieldSpec{NDS_RAW, field.length, 0}, false};
      break;
    case FieldCodec::kMemoText:
      if (binary) plan.codec = FieldCodec::kMemoBlob, plan.shape.type = NDS_BINARY;
      plan.shape.length = 10;
      break;
    case FieldCodec::kMemoBlob:
      plan.shape.length = 10;
      break;
    case FieldCodec::kVarText:
      if (binary) plan.codec = FieldCodec::kVarBlob, plan.shape.type = NDS_BINARY;
      break;
    case FieldCodec::kDecimal:
    case FieldCodec::kDouble:
      plan.shape.decimals = field.decimals;
      break;
    case FieldCodec::kInteger:
      if (flavor == DbfFlavor::kVisualFoxPro && (field.flags & kFieldAutoincrement))
        plan.shape.type = NDS_AUTOINC;
      break;
    case FieldCodec::kCurrency:
      plan.shape.decimals = 4;
      break;
    default:
      break;
  }
  plan.nullable = field.null_bit >= 0 || BlankReadsNull(plan.codec);
  return plan;
}

const char* DbfVersionName(uint32_t version) {
  switch (version) {
    case NDS_DBF_DBASE3:
      return "dBase III";
    case NDS_DBF_DBASE4:
      return "dBase IV";
    case NDS_DBF_FOXPRO:
      return "FoxPro 2";
    case NDS_DBF_VFP:
      return "Visual FoxPro";
    default:
      return "an unknown xBase version";
  }
}

uint32_t OldestVersionFor(const TableColumn& column) {
  const FieldSpec& s = column.shape;
  uint32_t oldest = NDS_DBF_DBASE3;
  switch (s.type) {
    case NDS_INTEGER:
    case NDS_SHORTINT:
    case NDS_AUTOINC:
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
    case NDS_MONEY:
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
    case NDS_BINARY:
    case NDS_RAW:
      oldest = NDS_DBF_VFP;
      break;
    case NDS_IMAGE:
      oldest = NDS_DBF_FOXPRO;
      break;
    default:
      break;
  }
  if (column.nullable && oldest < NDS_DBF_VFP) {
    WritePlan plan = PlanField("", TableColumn{column.name, s, false}, oldest);
    if (!plan.blank_is_null) oldest = NDS_DBF_VFP;
  }
  return oldest;
}

WritePlan PlanField(const std::string& file, const TableColumn& column, uint32_t version) {
  const FieldSpec& s = column.shape;
  bool vfp = version == NDS_DBF_VFP;
  bool fox = version >= NDS_DBF_FOXPRO;
  WritePlan p;
  auto set = [&p](char letter, uint32_t length, uint8_t decimals, FieldCodec codec) {
    p.letter = letter, p.length = length, p.decimals = decimals, p.codec = codec;
  };
  // A memo pointer is 4 binary bytes in Visual FoxPro, 10 digits before it.
  uint32_t pointer = vfp ? 4 : 10;
  std::string refusal;
  switch (s.type) {
    case NDS_STRING:
    case NDS_CISTRING:
      if (s.length >= 1 && s.length <= kMaxCharField) {
        set('C', s.length, 0, FieldCodec::kText);
      } else {
        set('M', pointer, 0, FieldCodec::kMemoText);
      }
      break;
    case NDS_MEMO:
    case NDS_VARCHAR:
      set('M', pointer, 0, FieldCodec::kMemoText);
      break;
    case NDS_TIME:  // no xBase type: its text
      set('C', 12, 0, FieldCodec::kText);
      break;
    case NDS_NUMERIC:
      if (s.length < 1 || s.length > kMaxNumericField ||
          (s.decimals > 0 && s.decimals + 2u > s.length))
        refusal =
            "NUMERIC(" + std::to_string(s.length) + "," + std::to_string(s.decimals) +
            ") does not fit an xBase N field (at most 20 characters, sign and point included)";
      set('N', s.length, static_cast<uint8_t>(s.decimals), FieldCodec::kDecimal);
      break;
    case NDS_ROWVERSION:
      set('N', 20, 0, FieldCodec::kDecimal);
      break;
    case NDS_LOGICAL:
      set('L', 1, 0, FieldCodec::kLogical);
      break;
    case NDS_DATE:
    case NDS_COMPACTDATE:
      set('D', 8, 0, FieldCodec::kDate);
      break;
    case NDS_INTEGER:
    case NDS_AUTOINC:
    case NDS_SHORTINT:
      if (vfp) {
        set('I', 4, 0, FieldCodec::kInteger);
        p.flags = kFieldBinary | (s.type == NDS_AUTOINC ? kFieldAutoincrement : 0);
      } else {
        set('N', s.type == NDS_SHORTINT ? 6 : 11, 0, FieldCodec::kDecimal);
      }
      break;
    case NDS_DOUBLE:
    case NDS_CURDOUBLE:
      set('B', 8, static_cast<uint8_t>(std::min<uint16_t>(s.decimals, 18)), FieldCodec::kDouble);
      p.flags = kFieldBinary;
      if (!vfp) refusal = "only Visual FoxPro keeps a double exactly";
      break;
    case NDS_MONEY:
      set('Y', 8, 4, FieldCodec::kCurrency);
      p.flags = kFieldBinary;
      if (!vfp) refusal = "only Visual FoxPro has a currency field";
      break;
    case NDS_TIMESTAMP:
    case NDS_MODTIME:
      set('T', 8, 0, FieldCodec::kDateTime);
      p.flags = kFieldBinary;
      if (!vfp) refusal = "only Visual FoxPro has a date-time field";
      break;
    case NDS_BINARY:
      if (vfp) {
        set('M', pointer, 0, FieldCodec::kMemoBlob);
        p.flags = kFieldBinary;
        p.fpt_type = kFptText;  // a text block holding bytes
      } else {
        set('G', pointer, 0, FieldCodec::kMemoBlob);  // reads back as IMAGE
        p.fpt_type = kFptObject;
        if (!fox) refusal = "binary memos need FoxPro 2 or Visual FoxPro";
      }
      break;
    case NDS_IMAGE:
      set('G', pointer, 0, FieldCodec::kMemoBlob);
      p.fpt_type = kFptObject;
      if (!fox) refusal = "binary memos need FoxPro 2 or Visual FoxPro";
      break;
    case NDS_RAW:
      if (s.length >= 1 && s.length <= kMaxCharField) {
        set('C', s.length, 0, FieldCodec::kRawText);
      } else {
        set('M', pointer, 0, FieldCodec::kMemoBlob);
        p.fpt_type = kFptText;
      }
      p.flags = kFieldBinary;
      if (!vfp) refusal = "only Visual FoxPro keeps binary character fields";
      break;
    default:
      refusal = "no xBase field holds it";
      break;
  }
  if (p.codec == FieldCodec::kMemoText) p.fpt_type = kFptText;
  p.blank_is_null = BlankReadsNull(p.codec);
  if (refusal.empty() && column.nullable && !vfp && !p.blank_is_null)
    refusal = "the column holds NULLs, which only Visual FoxPro keeps in a field of type '" +
              std::string(1, p.letter) + "'";
  if (!refusal.empty())
    Refuse(NDS_E_VALUE_INVALID, file, column.name,
           "a " + TypeName(s.type) + " column cannot be written to " + DbfVersionName(version) +
               ": " + refusal);
  return p;
}

}  // namespace nce
