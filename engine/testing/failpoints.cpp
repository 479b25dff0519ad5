#include "engine/base/failpoints.h"

#include <map>
#include <mutex>
#include <string>

#include "engine/base/errors.h"
#include "engine/testing/nce_failpoints.h"

namespace nce {

std::atomic<int> g_armed_failpoints{0};

namespace {

struct Failpoint {
  uint32_t code = 0;
  std::string text;
  int remaining = 0;  // calls still to fail
  int hits = 0;       // calls failed so far
};

std::mutex g_mutex;
std::map<std::string, Failpoint, std::less<>> g_failpoints;  // by function name

void RecountArmed() {
  int armed = 0;
  for (const auto& [name, fp] : g_failpoints) armed += fp.remaining > 0;
  g_armed_failpoints.store(armed, std::memory_order_relaxed);
}

}  // namespace

uint32_t FailpointFired(const char* function) {
  std::lock_guard lock(g_mutex);
  auto it = g_failpoints.find(std::string_view(function));
  if (it == g_failpoints.end() || it->second.remaining <= 0) return 0;
  Failpoint& fp = it->second;
  --fp.remaining;
  ++fp.hits;
  uint32_t code = fp.code;
  std::string text = fp.text;
  if (fp.remaining == 0) RecountArmed();
  if (code != 0) StoreError(code, text);
  return code;
}

namespace testing {

void ArmFailpoint(const std::string& function, uint32_t code, const std::string& text, int count) {
  std::lock_guard lock(g_mutex);
  g_failpoints[function] = Failpoint{code, text, count, 0};
  RecountArmed();
}

void DisarmAllFailpoints() {
  std::lock_guard lock(g_mutex);
  g_failpoints.clear();
  RecountArmed();
}

int FailpointHits(const std::string& function) {
  std::lock_guard lock(g_mutex);
  auto it = g_failpoints.find(function);
  return it == g_failpoints.end() ? 0 : it->second.hits;
}

}  // namespace testing
}  // namespace nce
