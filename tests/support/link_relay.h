// A network between a client and a server, for tests and benchmarks: a TCP
// relay on a free port of 127.0.0.1 that forwards every connection it
// accepts to a server, late by a set delay each way, and that can be cut or
// stalled on command. It counts the round trips it carries, so that a test
// or a benchmark can say how many times a piece of work waited for the
// server.
//
// One thread of the relay's own polls every socket; bytes go on in the order
// they came, each chunk once its delay has passed. Nothing needs privileges.
#ifndef TESTS_SUPPORT_LINK_RELAY_H
#define TESTS_SUPPORT_LINK_RELAY_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace test_support {

class LinkRelay {
 public:
  using Delay = std::chrono::microseconds;

  // Listens on a free port of 127.0.0.1 and forwards to `server_port` on
  // `server_host` (a numeric IPv4 address), each way `delay` late. Raises
  // std::runtime_error when it cannot listen.
  LinkRelay(const std::string& server_host, int server_port,
            Delay delay = std::chrono::milliseconds(1));
  // Closes every connection and stops the thread.
  ~LinkRelay();
  LinkRelay(const LinkRelay&) = delete;
  LinkRelay& operator=(const LinkRelay&) = delete;

  // The port clients connect to, on 127.0.0.1.
  int port() const { return port_; }

  // Bytes read from now on go on `delay` late (0: at once). Bytes already
  // on their way keep their time, and nothing overtakes them.
  void SetDelay(Delay delay);

  // Closes both sides of every open connection at once, as a link that
  // broke would leave them; connections accepted later are forwarded again.
  void Cut();
  // Stops forwarding in either direction, keeping every connection open
  // (new ones are accepted and held as well): the server seems to have gone
  // silent. Resume forwards what waited, in order.
  void Stall();
  void Resume();

  // The round trips carried so far, over every connection: a server's
  // answer after its client sent something counts one, however many
  // packets either burst takes. Take the difference around a piece of work
  // to count its round trips.
  uint64_t RoundTrips() const { return round_trips_.load(); }
  // Connections accepted so far, and those open now.
  uint64_t Accepted() const { return accepted_.load(); }
  int OpenConnections() const { return open_.load(); }

 private:
  class Loop;  // the thread's sockets and queues (link_relay.cpp)
  // Runs `work` on the relay's thread and waits until it ran.
  void OnLoop(std::function<void(Loop&)> work);

  int port_ = 0;
  std::unique_ptr<Loop> loop_;  // owned; its thread runs until the destructor
  std::atomic<uint64_t> round_trips_{0};
  std::atomic<uint64_t> accepted_{0};
  std::atomic<int> open_{0};
};

// Routes `uri`'s host and port (postgresql://user@host:port/...) through
// `relay`: the same URI with 127.0.0.1 and the relay's port.
std::string ThroughRelay(const std::string& uri, const LinkRelay& relay);

}  // namespace test_support

#endif  // TESTS_SUPPORT_LINK_RELAY_H
