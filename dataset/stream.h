// Streams of bytes: TStream (the interface), TMemoryStream (bytes held in
// memory) and TStringStream (a memory stream over 8-bit text).
#ifndef DATASET_STREAM_H
#define DATASET_STREAM_H

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/component.h"

namespace dataset {

// Where a Seek offset counts from.
enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes `count` bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new one. A position before the start
  // raises EStreamError "Invalid stream position"; one past the end is
  // allowed (writing there fills the gap with zeros).
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
  virtual int64_t Size();
  // Streams that cannot change size raise EStreamError.
  virtual void SetSize(int64_t size);

  // Read or write exactly `count` bytes, or raise EReadError
  // "Stream read error" / EWriteError "Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies `count` bytes from `source`'s position, or, with count 0, all of
  // `source` from its start. Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  // Growing fills with zeros; the position stays, even past a new end.
  void SetSize(int64_t size) override;

  // The bytes; valid until the next change of size.
  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  void Clear();
  // Replaces the content with all of `source` (from its start).
  void LoadFromStream(TStream& source);
  // Writes the whole content to `dest` at its position.
  void SaveToStream(TStream& dest) const;

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

class TStringStream : public TMemoryStream {
 public:
  explicit TStringStream(const std::string& text = std::string());
  // The whole content as text.
  std::string DataString() const;
  // Reads up to `count` characters from the position.
  std::string ReadString(int64_t count);
  void WriteString(const std::string& text);
};

}  // namespace dataset

#endif  // DATASET_STREAM_H
