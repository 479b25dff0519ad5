// Integers at a place in a byte buffer, in the two byte orders xBase files
// use: least significant byte first in tables and dBase memo files, most
// significant first in FoxPro memo files and dBase 7's sortable numbers.
#ifndef ENGINE_INTERCHANGE_DBF_DBF_BYTES_H
#define ENGINE_INTERCHANGE_DBF_DBF_BYTES_H

#include <cstdint>

namespace nce {

inline uint32_t LoadLe32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | uint32_t{u[1]} << 8 | uint32_t{u[2]} << 16 | uint32_t{u[3]} << 24;
}
inline uint64_t LoadLe64(const char* p) {
  return LoadLe32(p) | uint64_t{LoadLe32(p + 4)} << 32;
}
inline uint32_t LoadBe32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return uint32_t{u[0]} << 24 | uint32_t{u[1]} << 16 | uint32_t{u[2]} << 8 | u[3];
}
inline uint64_t LoadBe64(const char* p) {
  return uint64_t{LoadBe32(p)} << 32 | LoadBe32(p + 4);
}

inline void StoreLe32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void StoreLe64(char* p, uint64_t v) {
  StoreLe32(p, static_cast<uint32_t>(v));
  StoreLe32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void StoreBe32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_DBF_DBF_BYTES_H
