#include "engine/interchange/dbf/dbf_memo_file.h"

#include <cstring>

#include "engine/base/errors.h"
#include "engine/interchange/dbf/dbf_bytes.h"
#include "engine/interchange/dbf/dbf_values.h"

namespace nce {
namespace {

constexpr uint32_t kDbtBlock = 512;  // dBase III, and what this writer gives dBase IV
constexpr uint32_t kFptBlock = 64;   // what this writer gives an .fpt
constexpr char kDbt4Mark[4] = {'\xFF', '\xFF', '\x08', '\x00'};
constexpr size_t kScanChunk = 4096;

}  // namespace

MemoReader::MemoReader(const std::string& path, MemoKind kind) : file_(path), kind_(kind) {
  char header[kMemoHeaderSize];
  if (file_.ReadAt(0, header, sizeof header) < sizeof header)
    throw EngineError(NDS_E_BAD_FILE, path + ": the memo file is shorter than its header");
  if (kind == MemoKind::kFpt) {
    block_size_ = static_cast<uint8_t>(header[6]) << 8 | static_cast<uint8_t>(header[7]);
  } else if (kind == MemoKind::kDbt4) {
    uint32_t size = static_cast<uint8_t>(header[20]) | static_cast<uint8_t>(header[21]) << 8;
    if (size == 0) size = LoadLe32(header + 4);  // some writers keep it there
    block_size_ = size == 0 || size > 0x10000 ? kDbtBlock : size;
  }
}

uint64_t MemoReader::BlockOffset(uint64_t block) const {
  if (block_size_ == 0)
    FailField(NDS_E_BAD_FILE, "the memo file " + path() + " states a block size of 0");
  uint64_t offset = block * block_size_;
  if (offset < kMemoHeaderSize || offset >= file_.size())
    FailField(NDS_E_BAD_FILE, "the memo block " + std::to_string(block) + " lies outside " +
                                  path() + " (" + std::to_string(file_.size()) + " bytes)");
  return offset;
}

void MemoReader::Read(uint64_t block, std::string* out) {
  uint64_t offset = BlockOffset(block);
  char head[8];
  size_t got = file_.ReadAt(offset, head, sizeof head);
  uint64_t length = 0;
  if (kind_ == MemoKind::kFpt) {
    if (got < sizeof head)
      FailField(NDS_E_BAD_FILE,
                "the memo at block " + std::to_string(block) + " of " + path() + " is cut short");
    length = LoadBe32(head + 4);
    offset += 8;
  } else if (kind_ == MemoKind::kDbt4 && got == sizeof head &&
             std::memcmp(head, kDbt4Mark, sizeof kDbt4Mark) == 0) {
    length = LoadLe32(head + 4);
    if (length < 8)
      FailField(NDS_E_BAD_FILE, "the memo at block " + std::to_string(block) + " of " + path() +
                                    " states a length below its own header");
    length -= 8;
    offset += 8;
  } else {
    // dBase III, and dBase IV values written the dBase III way.
    ReadUntilEndMark(offset, out);
    return;
  }
  if (length > file_.size() - offset)
    FailField(NDS_E_BAD_FILE, "the memo at block " + std::to_string(block) + " of " + path() +
                                  " runs past the file's end");
  out->resize(length);
  file_.ReadAt(offset, out->data(), length);
}

// A value without a length runs to its first 0x1A; one the file's end cuts
// off before it ends there is kept whole.
void MemoReader::ReadUntilEndMark(uint64_t offset, std::string* out) {
  out->clear();
  char chunk[kScanChunk];
  for (;;) {
    size_t got = file_.ReadAt(offset, chunk, sizeof chunk);
    const void* mark = std::memchr(chunk, kFileEnd, got);
    if (mark) {
      out->append(chunk, static_cast<const char*>(mark) - chunk);
      return;
    }
    out->append(chunk, got);
    if (got < sizeof chunk) return;
    offset += got;
  }
}

MemoWriter::MemoWriter(const std::string& target, MemoKind kind)
    : file_(target),
      kind_(kind),
      block_size_(kind == MemoKind::kFpt ? kFptBlock : kDbtBlock),
      next_block_(kMemoHeaderSize / block_size_) {
  file_.Append(std::string(kMemoHeaderSize, '\0'));
}

uint32_t MemoWriter::Append(std::string_view data, uint32_t fpt_type) {
  if (data.empty()) return 0;
  char head[8];
  std::string_view tail;
  size_t head_size = 0;
  switch (kind_) {
    case MemoKind::kDbt3:
      if (data.find(static_cast<char>(kFileEnd)) != std::string_view::npos)
        FailField(NDS_E_VALUE_INVALID,
                  "the value holds the byte 0x1A, which ends a dBase III memo; choose another "
                  "xBase version");
      tail = "\x1A\x1A";
      break;
    case MemoKind::kDbt4:
      std::memcpy(head, kDbt4Mark, 4);
      StoreLe32(head + 4, static_cast<uint32_t>(data.size() + 8));
      head_size = 8;
      break;
    default:
      StoreBe32(head, fpt_type);
      StoreBe32(head + 4, static_cast<uint32_t>(data.size()));
      head_size = 8;
      break;
  }
  uint64_t bytes = head_size + data.size() + tail.size();
  uint64_t blocks = (bytes + block_size_ - 1) / block_size_;
  if (data.size() > 0xFFFFFFF0u || next_block_ + blocks > 0xFFFFFFFFu)
    FailField(NDS_E_VALUE_TOO_LONG, "the memo file would grow past 4 GB of blocks");
  uint32_t first = static_cast<uint32_t>(next_block_);
  file_.Append(head, head_size);
  file_.Append(data.data(), data.size());
  file_.Append(tail.data(), tail.size());
  std::string padding(blocks * block_size_ - bytes, '\0');
  file_.Append(padding);
  next_block_ += blocks;
  return first;
}

void MemoWriter::Close() {
  std::string header(kMemoHeaderSize, '\0');
  if (kind_ == MemoKind::kFpt) {
    StoreBe32(header.data(), static_cast<uint32_t>(next_block_));
    header[6] = static_cast<char>(block_size_ >> 8);
    header[7] = static_cast<char>(block_size_ & 0xFF);
  } else {
    StoreLe32(header.data(), static_cast<uint32_t>(next_block_));
    if (kind_ == MemoKind::kDbt3) header[16] = 0x03;
    if (kind_ == MemoKind::kDbt4) {
      header[20] = static_cast<char>(block_size_ & 0xFF);
      header[21] = static_cast<char>(block_size_ >> 8);
    }
  }
  file_.WriteAt(0, header);
  file_.Close();
}

}  // namespace nce
