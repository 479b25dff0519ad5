#include "engine/base/values.h"

#include "engine/base/errors.h"

namespace nce {

FieldRef ReadFieldRef(NDSFIELD field) {
  if (field == nullptr) throw EngineError(NDS_E_INVALID_ARGUMENT, "No field was named.");
  auto raw = reinterpret_cast<uintptr_t>(field);
  FieldRef ref;
  if (raw <= NDS_MAX_FIELD_ORDINAL) {
    if (raw == 0) throw EngineError(NDS_E_INVALID_FIELD, "Field number 0 does not exist.");
    ref.ordinal = static_cast<uint32_t>(raw);
  } else {
    ref.name = field;
  }
  return ref;
}

}  // namespace nce
