// A value as a store hands it over from a result column or a function
// argument, borrowed and not copied: what the record image codecs and the
// engine's SQL functions read, whichever store holds the data. The stores
// make these views (engine/storage/sqlite_values.h for SQLite); nothing that
// reads one knows where it came from.
#ifndef ENGINE_BASE_STORED_VIEW_H
#define ENGINE_BASE_STORED_VIEW_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nce {

struct StoredView {
  enum class Kind : uint8_t { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  int64_t integer = 0;  // kInteger
  double real = 0;      // kReal
  // kText, kBlob: owned by the store and valid until its next step or
  // reset; may be nullptr when there are no bytes.
  const char* bytes = nullptr;
  size_t size = 0;  // kText, kBlob: the number of bytes

  bool IsNumber() const { return kind == Kind::kInteger || kind == Kind::kReal; }
  // The number as a double (a whole number converted); 0 for other kinds.
  double Number() const {
    return kind == Kind::kInteger ? static_cast<double>(integer) : kind == Kind::kReal ? real : 0;
  }
  // The text or blob bytes; empty for other kinds.
  std::string_view Bytes() const {
    return bytes ? std::string_view(bytes, size) : std::string_view();
  }
};

}  // namespace nce

#endif  // ENGINE_BASE_STORED_VIEW_H
