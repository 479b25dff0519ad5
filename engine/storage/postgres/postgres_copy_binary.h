// Rows in the binary form of PostgreSQL's COPY ... FROM STDIN (FORMAT
// binary): a header, then per row a field count and each field as its
// length and the bytes of its type's binary receive form, then a trailer.
// The server then reads no number, date or timestamp text, which is most of
// its work in a text COPY.
//
// Every value arrives as the text COPY gives it: a value is encoded from
// the text the text COPY would send, read as the server reads that text
// (a real's shortest round-trip text, a decimal's digits and scale exactly,
// never through a double). A column whose type has no encoder here is
// left to the text COPY (CopyColumnTypeOf answers nullopt), and a value
// whose text the server would read otherwise than the encoder can is
// refused rather than sent in a form that might differ.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_COPY_BINARY_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_COPY_BINARY_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/base/values.h"

namespace nce {

// The server column types with a binary encoder.
enum class CopyColumnType {
  kBool,
  kInt2,
  kInt4,
  kInt8,
  kFloat8,
  kNumeric,
  kText,  // text and varchar: the UTF-8 bytes
  kBytea,
  kDate,       // days from 2000-01-01
  kTime,       // microseconds from midnight
  kTimestamp,  // microseconds from 2000-01-01 00:00
};

// Bytes of COPY data gathered before they are sent: grows as it must,
// and keeps its room when cleared, so that a field's bytes are written in
// place without a check per byte.
class CopyBuffer {
 public:
  CopyBuffer() = default;
  CopyBuffer(const CopyBuffer&) = delete;
  CopyBuffer& operator=(const CopyBuffer&) = delete;

  // `count` bytes at the end, to be written by the caller.
  char* Room(size_t count) {
    if (size_ + count > capacity_) Grow(count);
    char* at = data_.get() + size_;
    size_ += count;
    return at;
  }
  void Append(const char* bytes, size_t count);
  char* data() { return data_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() { size_ = 0; }

 private:
  void Grow(size_t count);

  std::unique_ptr<char[]> data_;  // the bytes; capacity_ of them allocated
  size_t size_ = 0;               // bytes in use
  size_t capacity_ = 0;
};

// The encoder for a column of the server type `oid` (pg_type's oid), or
// nullopt for a type the binary COPY leaves to the text one.
std::optional<CopyColumnType> CopyColumnTypeOf(uint32_t oid);

// Appends the stream's header, and its trailer after the last row.
void AppendCopyBinaryHeader(CopyBuffer* out);
void AppendCopyBinaryTrailer(CopyBuffer* out);

// Appends the start of a row of `fields` fields.
void AppendCopyBinaryRow(int fields, CopyBuffer* out);

// Appends `value` as a field of a column of `type` (an unset value is
// NULL). Throws EngineError NDS_E_VALUE_INVALID for a value the column
// cannot take (a text holding a zero byte, as the text COPY refuses it; a
// text that is no date for a date column) or one whose text the encoder
// does not read as the server would; `out` may then hold part of the field.
void AppendCopyBinaryField(CopyColumnType type, const Value& value, CopyBuffer* out);

// The binary receive form of the decimal `text` for a numeric column
// (int16 digit count, weight, sign, display scale, then base-10000
// digits), read as the server reads a numeric's text: an optional sign,
// digits with an optional point, an optional exponent, blanks around;
// NaN, Infinity and -Infinity. False for a text outside these forms.
bool AppendNumericFromText(std::string_view text, CopyBuffer* out);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_COPY_BINARY_H
