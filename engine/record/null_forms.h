// The null forms and null tests that several field codecs share.
#ifndef ENGINE_RECORD_NULL_FORMS_H
#define ENGINE_RECORD_NULL_FORMS_H

#include <cstdint>
#include <cstring>

#include "engine/record/image_bytes.h"
#include "engine/schema/catalog.h"

namespace nce {

inline void FillZeros(const FieldDesc& f, uint8_t* p) {
  std::memset(p, 0, f.shape.length);
}

inline void FillSpaces(const FieldDesc& f, uint8_t* p) {
  std::memset(p, ' ', f.shape.length);
}

inline bool ZerosAreNull(const FieldDesc& f, const uint8_t* p) {
  return AllBytes(p, f.shape.length, 0, 0);
}

// DBF text forms: blanks, zero bytes or a mix of both.
inline bool BlankIsNull(const FieldDesc& f, const uint8_t* p) {
  return AllBytes(p, f.shape.length, 0, ' ');
}

// DBF binary forms have no empty value.
inline bool NeverNull(const FieldDesc&, const uint8_t*) {
  return false;
}

// Types DBF files do not carry: blank is the form their DBF null form
// writes, anything else reads as in NDT images.
template <bool (*NdtTest)(const FieldDesc&, const uint8_t*)>
bool BlankOrAsNdt(const FieldDesc& f, const uint8_t* p) {
  return AllBytes(p, f.shape.length, ' ', ' ') || NdtTest(f, p);
}

}  // namespace nce

#endif  // ENGINE_RECORD_NULL_FORMS_H
