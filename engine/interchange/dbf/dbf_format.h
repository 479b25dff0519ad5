// The header of an xBase table (.dbf): its version byte, counts and
// lengths, language driver, and the field descriptors that follow it, as
// dBase III, dBase IV, dBase 7, FoxPro 2 and Visual FoxPro write them.
//
// Layout (integers least significant byte first):
//   0      version byte (kVersions below)
//   1..3   date of the last update, YY (from 1900) MM DD
//   4..7   record count            8..9   header length (first record's offset)
//   10..11 record length, the deletion mark included
//   28     table flags (Visual FoxPro: 0x02 memo file)   29  language driver
//   32..   field descriptors of 32 bytes (dBase 7: from 68, of 48 bytes),
//          ended by 0x0D; Visual FoxPro follows them with a 263-byte
//          backlink to its database container.
// A descriptor (32-byte form): name 0..10 (NUL padded), type letter 11,
// displacement 12..15 (Visual FoxPro), length 16, decimals 17, field flags 18
// (Visual FoxPro: 0x01 system, 0x02 nullable, 0x04 binary, 0x0C autoincrement),
// autoincrement next value 19..22 and step 23.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_FORMAT_H
#define ENGINE_INTERCHANGE_DBF_DBF_FORMAT_H

#include <cstdint>
#include <string>
#include <vector>

namespace nce {

class TextEncoding;

// The families whose files differ in layout or in what a field letter means.
enum class DbfFlavor { kDbase3, kDbase4, kDbase7, kFoxPro, kVisualFoxPro };

// The memo file a table's memo fields point into.
enum class MemoKind {
  kNone,
  kDbt3,  // dBase III .dbt: blocks of 512, text ended by 0x1A
  kDbt4,  // dBase IV/7 .dbt: block size in the header, blocks with a length
  kFpt,   // FoxPro .fpt: big-endian block size, typed blocks with a length
};

// Visual FoxPro field flags (descriptor byte 18).
constexpr uint8_t kFieldSystem = 0x01;
constexpr uint8_t kFieldNullable = 0x02;
constexpr uint8_t kFieldBinary = 0x04;
constexpr uint8_t kFieldAutoincrement = 0x08;

// The sizes every writer and reader of the layout above agrees on.
constexpr uint32_t kHeaderPrefix = 32;      // fixed part before the descriptors
constexpr uint32_t kDbase7Prefix = 68;      // dBase 7: with the driver name
constexpr uint32_t kDescriptorSize = 32;    // one field descriptor
constexpr uint32_t kDbase7Descriptor = 48;  // one dBase 7 field descriptor
constexpr uint32_t kBacklinkSize = 263;     // Visual FoxPro database backlink
constexpr uint8_t kDescriptorEnd = 0x0D;
constexpr uint8_t kFileEnd = 0x1A;

// One field as its descriptor gives it.
struct DbfField {
  std::string name;     // UTF-8
  char type = 0;        // the xBase letter
  uint32_t offset = 0;  // first byte in the record (the mark is byte 0)
  uint32_t length = 0;  // bytes in the record
  uint8_t decimals = 0;
  uint8_t flags = 0;          // Visual FoxPro field flags
  uint32_t autoinc_next = 0;  // Visual FoxPro autoincrement: next value
  uint8_t autoinc_step = 0;   // ... and step
  int null_bit = -1;          // bit of _NullFlags saying NULL; -1: none
  int varlength_bit = -1;     // V and Q: bit saying the last byte holds the length
};

struct DbfHeader {
  uint8_t version_byte = 0;
  DbfFlavor flavor = DbfFlavor::kDbase3;
  MemoKind memo = MemoKind::kNone;  // what the version byte says; kNone: no memo file named
  uint32_t record_count = 0;
  uint32_t header_length = 0;
  uint32_t record_length = 0;
  uint8_t table_flags = 0;
  uint8_t language_driver = 0;
  std::vector<DbfField> fields;    // the user's fields, _NullFlags left out
  uint32_t null_flags_offset = 0;  // Visual FoxPro _NullFlags: first byte, 0 when none
  uint32_t null_flags_length = 0;
};

// Reads a header from the first bytes of a file of `file_size` bytes
// (`bytes` holds at least min(file_size, header length) of them; call
// DbfHeaderLength first to know how many). Field names are decoded with
// `names`. Throws EngineError NDS_E_BAD_FILE naming `file` for a header
// that is cut short, names an unknown version, has lengths that disagree
// with each other, with the descriptors or with the file's size, or
// descriptors with empty or repeated names or zero lengths.
DbfHeader ParseDbfHeader(const std::string& file, const std::string& bytes, uint64_t file_size,
                         TextEncoding& names);

// The header length a file's first 12 bytes state; throws NDS_E_BAD_FILE
// when fewer than 12 bytes are given or the version byte is unknown.
uint32_t DbfHeaderLength(const std::string& file, const std::string& first_bytes);

// The bytes of a header for `header` (32-byte descriptors; fields carry
// their names already encoded, offsets, lengths and flags; a Visual FoxPro
// table gets the _NullFlags descriptor when null_flags_length > 0 and the
// backlink). The update date is today's.
std::string BuildDbfHeader(const DbfHeader& header);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_FORMAT_H
