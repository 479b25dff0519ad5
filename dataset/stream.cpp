#include "dataset/stream.h"

#include <algorithm>
#include <cstring>

#include "dataset/exceptions.h"

namespace dataset {

// Streams larger than this are refused rather than exhausting memory on a
// corrupt size.
constexpr int64_t kMaxMemoryStreamSize = int64_t{1} << 40;

// --- TStream ---------------------------------------------------------------

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count))
    throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count < 0 || (count != 0 && Write(buffer, count) != count))
    throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count < 0) throw EReadError("Stream read error");
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  int64_t copied = 0;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 64 * 1024)) + 1);
  while (copied < count) {
    int64_t n = std::min<int64_t>(count - copied, static_cast<int64_t>(buf.size()));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    copied += n;
  }
  return copied;
}

// --- TMemoryStream ---------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  int64_t n = std::min(count, Size() - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = position_ + count;
  if (end > kMaxMemoryStreamSize) throw EWriteError("Stream write error");
  if (end > Size()) data_.resize(static_cast<size_t>(end), 0);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : (origin == soCurrent ? position_ : Size());
  int64_t target = base + offset;
  if (target < 0 || target > kMaxMemoryStreamSize) throw EStreamError("Invalid stream position");
  position_ = target;
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0 || size > kMaxMemoryStreamSize) throw EStreamError("Invalid stream size");
  data_.resize(static_cast<size_t>(size), 0);
}

void TMemoryStream::Clear() {
  // The memory goes too: a stream emptied for reuse does not hold on to
  // the largest content it ever had.
  std::vector<uint8_t>().swap(data_);
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t size = source.Size();
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(size, 0)));
  source.ReadBuffer(bytes.data(), size);
  data_.swap(bytes);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) const {
  dest.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

// --- TStringStream ---------------------------------------------------------

TStringStream::TStringStream(const std::string& text) {
  WriteString(text);
  SetPosition(0);
}

std::string TStringStream::DataString() const {
  return std::string(Bytes().begin(), Bytes().end());
}

std::string TStringStream::ReadString(int64_t count) {
  std::string out(static_cast<size_t>(std::max<int64_t>(0, std::min(count, Size()))), '\0');
  out.resize(static_cast<size_t>(Read(out.data(), static_cast<int64_t>(out.size()))));
  return out;
}

void TStringStream::WriteString(const std::string& text) {
  WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

}  // namespace dataset
