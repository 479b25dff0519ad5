// The engine side of the failpoints declared in nce_failpoints.h.
#ifndef ENGINE_BASE_FAILPOINTS_H
#define ENGINE_BASE_FAILPOINTS_H

#include <atomic>
#include <cstdint>

namespace nce {

extern std::atomic<int> g_armed_failpoints;  // number of armed failpoints

// When `function`'s failpoint fires: records its error and returns the code.
uint32_t FailpointFired(const char* function);

// 0 unless an armed failpoint for `function` fires on this call.
inline uint32_t CheckFailpoint(const char* function) {
  if (g_armed_failpoints.load(std::memory_order_relaxed) == 0) return 0;
  return FailpointFired(function);
}

}  // namespace nce

#endif  // ENGINE_BASE_FAILPOINTS_H
