// Waiting on the server with a bound. The session's connection is in
// libpq's nonblocking mode, and every wait for the server's answer, or for
// room to send to it, polls the connection's socket until a deadline: a
// silent server or a broken link fails the call when the deadline passes,
// instead of holding the caller for ever.
#ifndef ENGINE_STORAGE_POSTGRES_POSTGRES_WIRE_H
#define ENGINE_STORAGE_POSTGRES_POSTGRES_WIRE_H

#include <chrono>

struct pg_conn;

namespace nce {

using WireDeadline = std::chrono::steady_clock::time_point;

// How a wait ended: what was waited for can be done without blocking; the
// deadline passed first; or the connection failed (libpq's error message
// says how).
enum class WireWait { kReady, kTimedOut, kFailed };

// Sends everything libpq holds for the server.
WireWait FlushAll(pg_conn* conn, WireDeadline deadline);
// Reads until PQgetResult can answer without blocking.
WireWait AwaitResult(pg_conn* conn, WireDeadline deadline);
// Waits for more of the server's bytes and reads them (for COPY data).
WireWait ReadMore(pg_conn* conn, WireDeadline deadline);
// Hands `size` bytes of COPY data, or the end of the COPY (`error` null for
// a good end), to libpq and sends them.
WireWait PutCopyData(pg_conn* conn, const char* data, int size, WireDeadline deadline);
WireWait PutCopyEnd(pg_conn* conn, const char* error, WireDeadline deadline);

}  // namespace nce

#endif  // ENGINE_STORAGE_POSTGRES_POSTGRES_WIRE_H
