#include "engine/storage/postgres/postgres_wire.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace nce {

namespace {

// Waits until the socket allows `events`; false when the deadline passed.
// A failed poll counts as ready: libpq's next call then reports the error.
bool Poll(pg_conn* conn, short events, WireDeadline deadline) {
  for (;;) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    // Rounded up, so that a wait never ends early and spins.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd p{PQsocket(conn), events, 0};
    const int n = poll(&p, 1, static_cast<int>(std::min<long long>(ms, 60000)));
    if (n > 0 || (n < 0 && errno != EINTR)) return true;
  }
}

}  // namespace

WireWait FlushAll(pg_conn* conn, WireDeadline deadline) {
  for (;;) {
    const int left = PQflush(conn);
    if (left == 0) return WireWait::kReady;
    if (left < 0) return WireWait::kFailed;
    // The server may wait to send before it reads more: read as well.
    if (!Poll(conn, POLLOUT | POLLIN, deadline)) return WireWait::kTimedOut;
    if (PQconsumeInput(conn) == 0) return WireWait::kFailed;
  }
}

WireWait AwaitResult(pg_conn* conn, WireDeadline deadline) {
  WireWait flushed = FlushAll(conn, deadline);
  if (flushed != WireWait::kReady) return flushed;
  while (PQisBusy(conn)) {
    if (!Poll(conn, POLLIN, deadline)) return WireWait::kTimedOut;
    if (PQconsumeInput(conn) == 0) return WireWait::kFailed;
  }
  return WireWait::kReady;
}

WireWait ReadMore(pg_conn* conn, WireDeadline deadline) {
  if (!Poll(conn, POLLIN, deadline)) return WireWait::kTimedOut;
  return PQconsumeInput(conn) == 0 ? WireWait::kFailed : WireWait::kReady;
}

WireWait PutCopyData(pg_conn* conn, const char* data, int size, WireDeadline deadline) {
  for (;;) {
    const int put = PQputCopyData(conn, data, size);
    if (put < 0) return WireWait::kFailed;
    if (put == 1) return FlushAll(conn, deadline);
    // libpq's buffer is full: wait for room.
    if (!Poll(conn, POLLOUT, deadline)) return WireWait::kTimedOut;
    if (PQflush(conn) < 0) return WireWait::kFailed;
  }
}

WireWait PutCopyEnd(pg_conn* conn, const char* error, WireDeadline deadline) {
  for (;;) {
    const int put = PQputCopyEnd(conn, error);
    if (put < 0) return WireWait::kFailed;
    if (put == 1) return FlushAll(conn, deadline);
    if (!Poll(conn, POLLOUT, deadline)) return WireWait::kTimedOut;
    if (PQflush(conn) < 0) return WireWait::kFailed;
  }
}

}  // namespace nce
