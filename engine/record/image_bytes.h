// Byte-level access shared by the field codecs: little-endian loads and
// stores at any alignment, byte-run tests and blank trimming.
#ifndef ENGINE_RECORD_IMAGE_BYTES_H
#define ENGINE_RECORD_IMAGE_BYTES_H

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace nce {

static_assert(std::endian::native == std::endian::little,
              "record images are little-endian; a big-endian host needs byte swaps here");

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// True when each of the `n` bytes at `p` is `a` or `b`.
inline bool AllBytes(const uint8_t* p, uint32_t n, uint8_t a, uint8_t b) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != a && p[i] != b) return false;
  return true;
}

// `s` without leading and trailing spaces and zero bytes.
inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

}  // namespace nce

#endif  // ENGINE_RECORD_IMAGE_BYTES_H
