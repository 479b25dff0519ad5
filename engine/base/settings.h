// Process-wide engine settings.
#ifndef ENGINE_BASE_SETTINGS_H
#define ENGINE_BASE_SETTINGS_H

#include <atomic>

namespace nce {

// How long a connection waits for another writer before it gives up, in
// milliseconds; read when a connection opens.
inline std::atomic<int> g_busy_timeout_ms{5000};

// Whether bulk inserts into a server send their rows in COPY's text format
// rather than its binary one: tests compare the values the two give.
inline std::atomic<bool> g_server_copy_as_text{false};

}  // namespace nce

#endif  // ENGINE_BASE_SETTINGS_H
