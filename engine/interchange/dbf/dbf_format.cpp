#include "engine/interchange/dbf/dbf_format.h"

#include <cctype>
#include <ctime>
#include <unordered_set>

#include "engine/base/errors.h"
#include "engine/interchange/table_rows.h"
#include "engine/interchange/text_encoding.h"

namespace nce {
namespace {

// The version bytes this reader knows, with their family and memo file.
// 0x03 names no memo file although some writers give it memo fields: the
// reader then takes the .fpt or .dbt it finds beside the table.
struct VersionByte {
  uint8_t byte;
  DbfFlavor flavor;
  MemoKind memo;
};
constexpr VersionByte kVersions[] = {
    {0x03, DbfFlavor::kDbase3, MemoKind::kNone},       // dBase III/IV, FoxBASE+, no memo
    {0x83, DbfFlavor::kDbase3, MemoKind::kDbt3},       // dBase III with memo
    {0x8B, DbfFlavor::kDbase4, MemoKind::kDbt4},       // dBase IV with memo
    {0x43, DbfFlavor::kDbase4, MemoKind::kNone},       // dBase IV SQL table
    {0x63, DbfFlavor::kDbase4, MemoKind::kNone},       // dBase IV SQL system table
    {0xCB, DbfFlavor::kDbase4, MemoKind::kDbt4},       // dBase IV SQL table with memo
    {0x05, DbfFlavor::kDbase4, MemoKind::kNone},       // dBase 5
    {0x04, DbfFlavor::kDbase7, MemoKind::kNone},       // dBase 7
    {0x8C, DbfFlavor::kDbase7, MemoKind::kDbt4},       // dBase 7 with memo
    {0xF5, DbfFlavor::kFoxPro, MemoKind::kFpt},        // FoxPro 2 with memo
    {0xFB, DbfFlavor::kFoxPro, MemoKind::kFpt},        // FoxBASE with memo
    {0x30, DbfFlavor::kVisualFoxPro, MemoKind::kFpt},  // Visual FoxPro
    {0x31, DbfFlavor::kVisualFoxPro, MemoKind::kFpt},  // ... with autoincrement
    {0x32, DbfFlavor::kVisualFoxPro, MemoKind::kFpt},  // ... with varchar/varbinary/blob
};

const VersionByte* FindVersion(uint8_t byte) {
  for (const VersionByte& v : kVersions)
    if (v.byte == byte) return &v;
  return nullptr;
}

uint32_t Le16(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}
uint32_t Le32(const std::string& b, size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}
void PutLe16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void PutLe32(std::string& b, size_t at, uint32_t v) {
  PutLe16(b, at, v & 0xFFFF);
  PutLe16(b, at + 2, v >> 16);
}

[[noreturn]] void Bad(const std::string& file, const std::string& field, const std::string& what) {
  throw EngineError(NDS_E_BAD_FILE,
                    PlacedMessage(FilePlace{file, 0, field}, "record", "field", what));
}

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The name bytes of a descriptor: up to the first NUL, trailing blanks off.
std::string RawName(const std::string& bytes, size_t at, size_t width) {
  size_t n = 0;
  while (n < width && bytes[at + n] != '\0') ++n;
  while (n > 0 && bytes[at + n - 1] == ' ') --n;
  return bytes.substr(at, n);
}

DbfField ParseDescriptor(const std::string& file, const std::string& bytes, size_t at,
                         DbfFlavor flavor, TextEncoding& names, size_t number) {
  bool db7 = flavor == DbfFlavor::kDbase7;
  DbfField field;
  std::string raw = RawName(bytes, at, db7 ? 32 : 11);
  std::string label = "number " + std::to_string(number);
  if (raw.empty()) Bad(file, label, "the field has no name");
  if (!names.ToUtf8(raw, &field.name))
    Bad(file, label, "the field's name is not valid in the encoding " + names.name());
  if (db7) {
    field.type = bytes[at + 32];
    field.length = static_cast<uint8_t>(bytes[at + 33]);
    field.decimals = static_cast<uint8_t>(bytes[at + 34]);
    field.autoinc_next = Le32(bytes, at + 40);
  } else {
    field.type = bytes[at + 11];
    field.length = static_cast<uint8_t>(bytes[at + 16]);
    field.decimals = static_cast<uint8_t>(bytes[at + 17]);
    // FoxPro and Clipper keep character fields longer than 255 bytes with
    // the decimals byte as the length's high byte.
    if (field.type == 'C' && field.decimals != 0) {
      field.length += 256u * field.decimals;
      field.decimals = 0;
    }
    if (flavor == DbfFlavor::kVisualFoxPro) {
      field.flags = static_cast<uint8_t>(bytes[at + 18]);
      field.autoinc_next = Le32(bytes, at + 19);
      field.autoinc_step = static_cast<uint8_t>(bytes[at + 23]);
    }
  }
  if (field.length == 0) Bad(file, field.name, "the field's length is 0");
  return field;
}

// Visual FoxPro keeps one bit of _NullFlags for each V and Q field (set
// when the field's last byte holds the value's length) and one for each
// nullable field, in field order; a V or Q field that is also nullable has
// its null bit right after its length bit.
void AssignNullBits(const std::string& file, DbfHeader& header) {
  int bit = 0;
  for (DbfField& f : header.fields) {
    if (f.type == 'V' || f.type == 'Q') f.varlength_bit = bit++;
    if (f.flags & kFieldNullable) f.null_bit = bit++;
  }
  if (static_cast<uint32_t>(bit) > header.null_flags_length * 8)
    Bad(file, "_NullFlags",
        "the table's nullable and variable-length fields need " + std::to_string(bit) +
            " bits of _NullFlags, which holds " + std::to_string(header.null_flags_length * 8));
}

}  // namespace

uint32_t DbfHeaderLength(const std::string& file, const std::string& first_bytes) {
  if (first_bytes.size() < 12) Bad(file, "", "the file is too short for an xBase table header");
  uint8_t version = static_cast<uint8_t>(first_bytes[0]);
  if (!FindVersion(version)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", version);
    Bad(file, "",
        std::string("the version byte ") + hex + " names no xBase table this reader knows");
  }
  return Le16(first_bytes, 8);
}

DbfHeader ParseDbfHeader(const std::string& file, const std::string& bytes, uint64_t file_size,
                         TextEncoding& names) {
  DbfHeader header;
  header.header_length = DbfHeaderLength(file, bytes);
  const VersionByte& version = *FindVersion(static_cast<uint8_t>(bytes[0]));
  header.version_byte = version.byte;
  header.flavor = version.flavor;
  header.memo = version.memo;
  header.record_count = Le32(bytes, 4);
  header.record_length = Le16(bytes, 10);
  bool db7 = header.flavor == DbfFlavor::kDbase7;
  uint32_t prefix = db7 ? kDbase7Prefix : kHeaderPrefix;
  uint32_t descriptor = db7 ? kDbase7Descriptor : kDescriptorSize;
  if (header.header_length < prefix + 1)
    Bad(file, "",
        "the header length " + std::to_string(header.header_length) +
            " is too short for the table's header");
  if (header.header_length > file_size || bytes.size() < header.header_length)
    Bad(file, "",
        "the header is cut short: it states " + std::to_string(header.header_length) +
            " bytes, the file holds " + std::to_string(file_size));
  header.table_flags = static_cast<uint8_t>(bytes[28]);
  header.language_driver = static_cast<uint8_t>(bytes[29]);

  size_t at = prefix;
  bool ended = false;
  uint32_t offset = 1;  // byte 0 of a record is the deletion mark
  std::unordered_set<std::string> seen;
  while (at < header.header_length) {
    if (static_cast<uint8_t>(bytes[at]) == kDescriptorEnd) {
      ended = true;
      break;
    }
    size_t number = header.fields.size() + 1 + (header.null_flags_length ? 1 : 0);
    if (at + descriptor > header.header_length)
      Bad(file, "number " + std::to_string(number),
          "the field's descriptor runs past the header's " + std::to_string(header.header_length) +
              " bytes");
    DbfField field = ParseDescriptor(file, bytes, at, header.flavor, names, number);
    at += descriptor;
    field.offset = offset;
    offset += field.length;
    if (offset > 0x10000) Bad(file, field.name, "the fields are longer than a record can be");
    if (field.type == '0' && header.flavor == DbfFlavor::kVisualFoxPro) {
      if (header.null_flags_length) Bad(file, field.name, "the table has two _NullFlags fields");
      header.null_flags_offset = field.offset;
      header.null_flags_length = field.length;
      continue;
    }
    if (!seen.insert(Upper(field.name)).second) Bad(file, field.name, "two fields have this name");
    header.fields.push_back(std::move(field));
  }
  // A header whose descriptors fill it exactly has no room for the end
  // mark; some writers leave it out then.
  if (!ended && at != header.header_length)
    Bad(file, "", "the field descriptors have no end mark (0x0D) within the header");
  if (header.fields.empty()) Bad(file, "", "the table has no fields");
  if (offset != header.record_length)
    Bad(file, "",
        "the header states records of " + std::to_string(header.record_length) +
            " bytes, its fields make records of " + std::to_string(offset));
  uint64_t records_end =
      header.header_length + static_cast<uint64_t>(header.record_count) * header.record_length;
  if (records_end > file_size) {
    uint64_t held = (file_size - header.header_length) / header.record_length;
    Bad(file, "",
        "the record area is cut short: the header counts " + std::to_string(header.record_count) +
            " records, the file holds " + std::to_string(held));
  }
  if (header.flavor == DbfFlavor::kVisualFoxPro) AssignNullBits(file, header);
  return header;
}

std::string BuildDbfHeader(const DbfHeader& header) {
  bool vfp = header.flavor == DbfFlavor::kVisualFoxPro;
  size_t fields = header.fields.size() + (header.null_flags_length ? 1 : 0);
  std::string b(kHeaderPrefix + fields * kDescriptorSize + 1 + (vfp ? kBacklinkSize : 0), '\0');
  b[0] = static_cast<char>(header.version_byte);
  std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  b[1] = static_cast<char>(today.tm_year);  // years from 1900
  b[2] = static_cast<char>(today.tm_mon + 1);
  b[3] = static_cast<char>(today.tm_mday);
  PutLe32(b, 4, header.record_count);
  PutLe16(b, 8, static_cast<uint32_t>(b.size()));
  PutLe16(b, 10, header.record_length);
  b[28] = static_cast<char>(header.table_flags);
  b[29] = static_cast<char>(header.language_driver);
  size_t at = kHeaderPrefix;
  auto put = [&](const std::string& name, char type, uint32_t offset, uint32_t length,
                 uint8_t decimals, uint8_t flags, uint32_t next, uint8_t step) {
    b.replace(at, name.size(), name);
    b[at + 11] = type;
    if (vfp) PutLe32(b, at + 12, offset);
    b[at + 16] = static_cast<char>(length & 0xFF);
    b[at + 17] = static_cast<char>(decimals);
    b[at + 18] = static_cast<char>(flags);
    if (flags & kFieldAutoincrement) {
      PutLe32(b, at + 19, next);
      b[at + 23] = static_cast<char>(step);
    }
    at += kDescriptorSize;
  };
  for (const DbfField& f : header.fields)
    put(f.name, f.type, f.offset, f.length, f.decimals, f.flags, f.autoinc_next, f.autoinc_step);
  if (header.null_flags_length)
    put("_NullFlags", '0', header.null_flags_offset, header.null_flags_length, 0,
        kFieldSystem | kFieldBinary, 0, 0);
  b[at] = static_cast<char>(kDescriptorEnd);
  return b;
}

}  // namespace nce
