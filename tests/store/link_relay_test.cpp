// The test network itself (tests/support/link_relay.h), between a client
// socket and an echo server of the test's own: bytes pass unchanged and in
// order, late by the delay; round trips are counted as exchanges; a cut
// closes both sides; a stall holds bytes until resumed.
#include "tests/support/link_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "gtest/gtest.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::LinkRelay;

int Listen(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in here{};
  here.sin_family = AF_INET;
  here.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof here;
  bind(fd, reinterpret_cast<sockaddr*>(&here), sizeof here);
  listen(fd, 8);
  getsockname(fd, reinterpret_cast<sockaddr*>(&here), &size);
  *port = ntohs(here.sin_port);
  return fd;
}

// Sends back every byte it reads, one connection at a time, and counts the
// connections that ended.
class EchoServer {
 public:
  EchoServer() : listener_(Listen(&port_)), thread_([this] { Serve(); }) {}
  ~EchoServer() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }
  int ended() const { return ended_.load(); }

 private:
  void Serve() {
    for (int client; (client = accept(listener_, nullptr, nullptr)) >= 0;) {
      char bytes[8192];
      for (ssize_t n; (n = recv(client, bytes, sizeof bytes, 0)) > 0;)
        send(client, bytes, static_cast<size_t>(n), MSG_NOSIGNAL);
      close(client);
      ++ended_;
    }
  }
  int port_ = 0;
  int listener_;
  std::atomic<int> ended_{0};
  std::thread thread_;
};

int ConnectTo(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in there{};
  there.sin_family = AF_INET;
  there.sin_port = htons(static_cast<uint16_t>(port));
  there.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&there), sizeof there), 0);
  return fd;
}

// Reads exactly `size` bytes, waiting at most `limit` for each piece; fewer
// when the peer closed or went silent.
std::string ReadBytes(int fd, size_t size, std::chrono::milliseconds limit = 5s) {
  std::string got;
  while (got.size() < size) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) <= 0) break;
    char bytes[65536];
    ssize_t n = recv(fd, bytes, std::min(sizeof bytes, size - got.size()), 0);
    if (n <= 0) break;
    got.append(bytes, static_cast<size_t>(n));
  }
  return got;
}

TEST(LinkRelay, CarriesBytesUnchangedLateByItsDelayAndCountsExchanges) {
  EchoServer echo;
  LinkRelay relay("127.0.0.1", echo.port(), 5ms);
  int client = ConnectTo(relay.port());

  // Three exchanges of a question and its answer: three round trips, each
  // at least the delay there and back.
  const uint64_t before = relay.RoundTrips();
  const auto start = Clock::now();
  for (const std::string question : {"one", "two", "three"}) {
    send(client, question.data(), question.size(), 0);
    EXPECT_EQ(ReadBytes(client, question.size()), question);
  }
  EXPECT_GE(Clock::now() - start, 3 * 10ms);
  EXPECT_EQ(relay.RoundTrips() - before, 3u);

  // Two megabytes of every byte value arrive unchanged and in order, also
  // with the delay changed while they travel.
  std::string payload(2 << 20, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 251);
  std::thread sender([&] {
    for (size_t at = 0; at < payload.size(); at += 100000)
      send(client, payload.data() + at, std::min<size_t>(100000, payload.size() - at), 0);
  });
  relay.SetDelay(0ms);
  EXPECT_TRUE(ReadBytes(client, payload.size()) == payload);
  sender.join();
  EXPECT_EQ(relay.Accepted(), 1u);
  close(client);
}

TEST(LinkRelay, StallHoldsBytesUntilResumedAndCutClosesBothSides) {
  EchoServer echo;
  LinkRelay relay("127.0.0.1", echo.port(), 0ms);
  int client = ConnectTo(relay.port());

  relay.Stall();
  send(client, "held", 4, 0);
  EXPECT_EQ(ReadBytes(client, 4, 100ms), "") << "a stalled link forwarded bytes";
  EXPECT_EQ(relay.OpenConnections(), 1);
  relay.Resume();
  EXPECT_EQ(ReadBytes(client, 4), "held");

  relay.Cut();
  EXPECT_EQ(relay.OpenConnections(), 0);
  char byte;
  EXPECT_LE(recv(client, &byte, 1, 0), 0) << "the client's side stayed open";
  for (auto until = Clock::now() + 5s; echo.ended() == 0 && Clock::now() < until;)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(echo.ended(), 1) << "the server's side stayed open";
  close(client);

  // The relay goes on forwarding new connections.
  int again = ConnectTo(relay.port());
  send(again, "again", 5, 0);
  EXPECT_EQ(ReadBytes(again, 5), "again");
  close(again);
}

}  // namespace
