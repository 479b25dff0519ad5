// Process-wide engine settings.
#ifndef ENGINE_BASE_SETTINGS_H
#define ENGINE_BASE_SETTINGS_H

#include <atomic>

namespace nce {

// How long a connection waits for another writer before it gives up, in
// milliseconds; read when a connection opens.
inline std::atomic<int> g_busy_timeout_ms{5000};

}  // namespace nce

#endif  // ENGINE_BASE_SETTINGS_H
