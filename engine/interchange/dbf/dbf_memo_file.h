// The memo files of xBase tables, where memo, general, picture and binary
// fields keep their values; a record holds the number of the value's first
// block.
//   .dbt of dBase III: a 512-byte header (next free block, least significant
//     byte first), then blocks of 512; a value runs to its first 0x1A (the
//     writer ends it with 0x1A 0x1A), over as many blocks as it needs.
//   .dbt of dBase IV and 7: the block size at header offset 20 (2 bytes);
//     a value starts with FF FF 08 00 and its length, the 8 bytes of this
//     block header counted.
//   .fpt of FoxPro and Visual FoxPro: most significant byte first; the
//     next free block at 0 and the block size at 6 (2 bytes); a value
//     starts with its type (0 picture, 1 text, 2 object) and its length.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_MEMO_FILE_H
#define ENGINE_INTERCHANGE_DBF_DBF_MEMO_FILE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/interchange/dbf/dbf_files.h"
#include "engine/interchange/dbf/dbf_format.h"

namespace nce {

// FoxPro memo block types the writer uses (0 is a picture block).
constexpr uint32_t kFptText = 1;
constexpr uint32_t kFptObject = 2;

constexpr uint32_t kMemoHeaderSize = 512;

class MemoReader {
 public:
  // Opens the memo file `path` of `kind` (not kNone) and reads its block
  // size. Throws EngineError NDS_E_INVALID_PATH when it cannot be opened,
  // NDS_E_BAD_FILE when it is shorter than its header.
  MemoReader(const std::string& path, MemoKind kind);

  const std::string& path() const { return file_.path(); }
  // Reads the value that starts at `block` (not 0) into `*out`. Throws
  // FieldError NDS_E_BAD_FILE when the block or the value lies outside the
  // file, or the block header is impossible.
  void Read(uint64_t block, std::string* out);

 private:
  void ReadUntilEndMark(uint64_t offset, std::string* out);
  uint64_t BlockOffset(uint64_t block) const;

  InputFile file_;
  MemoKind kind_;
  uint32_t block_size_ = 512;  // 0: the header states none (an FPT fault)
};

class MemoWriter {
 public:
  // Starts the memo file `target` of `kind` (not kNone) under a temporary
  // name beside it (see OutputFile).
  MemoWriter(const std::string& target, MemoKind kind);

  // Appends a value and returns its first block; an empty value takes no
  // block and gives 0. `fpt_type` is the block type of an .fpt. Throws
  // FieldError NDS_E_VALUE_INVALID for a dBase III value holding 0x1A (it
  // would end there) and NDS_E_VALUE_TOO_LONG past 4 GB of blocks.
  uint32_t Append(std::string_view data, uint32_t fpt_type);
  // Writes the header's next free block and closes the file; Commit then
  // gives it its name.
  void Close();
  void Commit() { file_.Commit(); }

 private:
  OutputFile file_;
  MemoKind kind_;
  uint32_t block_size_;  // bytes per block
  uint64_t next_block_;  // first block after the last value
};

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_MEMO_FILE_H
