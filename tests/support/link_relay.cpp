#include "tests/support/link_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace test_support {

namespace {

using Clock = std::chrono::steady_clock;

// A direction stops reading while this much waits to be written, so that a
// stalled relay holds a bounded amount and the sender feels it.
constexpr size_t kMaxQueued = 4 << 20;
constexpr size_t kReadSize = 64 << 10;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error("link relay: " + what + ": " + std::strerror(errno));
}

void NoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

class LinkRelay::Loop {
 public:
  Loop(LinkRelay& owner, int listener, sockaddr_in server, Delay delay)
      : owner_(owner), listener_(listener), server_(server), delay_(delay) {
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) throw SystemError("eventfd");
    thread_ = std::thread([this] { Run(); });
  }
  ~Loop() {
    Post([](Loop& loop) { loop.stop_ = true; });
    thread_.join();
    while (!pairs_.empty()) ClosePair(0);
    close(wake_);
    close(listener_);
  }

  // Runs `work` on the loop's thread and waits until it ran.
  void Post(std::function<void(Loop&)> work) {
    std::unique_lock lock(mutex_);
    tasks_.push_back(std::move(work));
    const uint64_t ticket = ++posted_;
    uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) {
    }  // the counter only saturates; the loop wakes either way
    done_changed_.wait(lock, [&] { return done_ >= ticket; });
  }

  void SetDelay(Delay delay) { delay_ = delay; }
  void SetStalled(bool stalled) { stalled_ = stalled; }
  void CutAll() {
    while (!pairs_.empty()) ClosePair(0);
  }

 private:
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
    size_t sent = 0;
  };
  // One way of a connection: what was read from `from` and waits to be
  // written to `to`.
  struct Direction {
    int from = -1, to = -1;
    std::deque<Chunk> queue;
    size_t queued = 0;     // bytes in queue
    bool ended = false;    // `from` said it sends no more
    bool shut = false;     // and `to` was told so
    bool blocked = false;  // `to` took no more; wait until it can
  };
  struct Pair {
    int client = -1, server = -1;
    Direction up, down;  // client to server, server to client
    bool asked = false;  // the server got bytes it has not answered yet
  };

  void Run() {
    while (!stop_) {
      std::vector<pollfd> polled{{wake_, POLLIN, 0}, {listener_, POLLIN, 0}};
      Clock::time_point next = Clock::time_point::max();
      for (const auto& pair : pairs_) {
        short client = 0, server = 0;
        Want(pair->up, &client, &server, &next);
        Want(pair->down, &server, &client, &next);
        polled.push_back({pair->client, client, 0});
        polled.push_back({pair->server, server, 0});
      }
      timespec wait{}, *timeout = nullptr;
      if (next != Clock::time_point::max()) {
        auto left = std::max(next - Clock::now(), Clock::duration::zero());
        auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        wait.tv_sec = seconds.count();
        wait.tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count();
        timeout = &wait;
      }
      if (ppoll(polled.data(), polled.size(), timeout, nullptr) < 0 && errno != EINTR)
        throw SystemError("poll");
      if (polled[0].revents) RunTasks();
      if (polled[1].revents) AcceptAll();
      // Pairs are visited by index from the back: a pair closed here leaves
      // the indexes of those before it as they were.
      const size_t polled_pairs = (polled.size() - 2) / 2;
      for (size_t i = std::min(polled_pairs, pairs_.size()); i-- > 0;) {
        if (!Serve(i, polled[2 + 2 * i].revents, polled[3 + 2 * i].revents)) ClosePair(i);
      }
    }
  }

  // What `d` needs of its sockets, and when its next chunk falls due.
  void Want(const Direction& d, short* from, short* to, Clock::time_point* next) const {
    if (!d.ended && d.queued < kMaxQueued) *from |= POLLIN;
    if (stalled_ || d.queue.empty()) return;
    if (d.blocked)
      *to |= POLLOUT;
    else
      *next = std::min(*next, d.queue.front().due);
  }

  void RunTasks() {
    uint64_t count = 0;
    if (read(wake_, &count, sizeof count) < 0) {
    }  // nothing to read: tasks may still wait
    std::vector<std::function<void(Loop&)>> tasks;
    {
      std::lock_guard lock(mutex_);
      tasks.swap(tasks_);
    }
    for (auto& task : tasks) task(*this);
    std::lock_guard lock(mutex_);
    done_ += tasks.size();
    done_changed_.notify_all();
  }

  void AcceptAll() {
    for (;;) {
      int client = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (client < 0) return;
      int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      // Loopback connects at once; a refusal closes the client at once too.
      if (server < 0 ||
          connect(server, reinterpret_cast<const sockaddr*>(&server_), sizeof server_) != 0) {
        if (server >= 0) close(server);
        close(client);
        continue;
      }
      if (fcntl(server, F_SETFL, fcntl(server, F_GETFL) | O_NONBLOCK) != 0) {
        close(server);
        close(client);
        continue;
      }
      NoDelay(client);
      NoDelay(server);
      auto pair = std::make_unique<Pair>();
      pair->client = client;
      pair->server = server;
      pair->up.from = pair->down.to = client;
      pair->up.to = pair->down.from = server;
      pairs_.push_back(std::move(pair));
      ++owner_.accepted_;
      ++owner_.open_;
    }
  }

  // Reads and writes what pair `i` can; false when the pair is done.
  bool Serve(size_t i, short client_events, short server_events) {
    Pair& pair = *pairs_[i];
    if (!Read(pair.up, client_events, nullptr) || !Read(pair.down, server_events, &pair))
      return false;
    if (!Write(pair.up, server_events, &pair) || !Write(pair.down, client_events, nullptr))
      return false;
    return !(pair.up.shut && pair.down.shut);
  }

  // Takes what `d.from` has; a server's answer after its client asked
  // counts a round trip (`pair` given for the server's side only).
  bool Read(Direction& d, short events, Pair* pair) {
    if (!(events & (POLLIN | POLLHUP | POLLERR)) || d.ended) return true;
    std::string bytes(kReadSize, '\0');
    ssize_t n = recv(d.from, bytes.data(), bytes.size(), 0);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) {
      d.ended = true;
      return true;
    }
    bytes.resize(static_cast<size_t>(n));
    if (pair && pair->asked) {
      ++owner_.round_trips_;
      pair->asked = false;
    }
    // Nothing overtakes a chunk already on its way, whatever the delay now.
    Clock::time_point due = Clock::now() + delay_;
    if (!d.queue.empty()) due = std::max(due, d.queue.back().due);
    d.queued += bytes.size();
    d.queue.push_back(Chunk{due, std::move(bytes)});
    return true;
  }

  // Writes the chunks of `d` that fell due; bytes reaching the server mark
  // the pair as asked (`pair` given for the client's side only).
  bool Write(Direction& d, short events, Pair* pair) {
    if (events & POLLOUT) d.blocked = false;
    const Clock::time_point now = Clock::now();
    while (!stalled_ && !d.blocked && !d.queue.empty() && d.queue.front().due <= now) {
      Chunk& chunk = d.queue.front();
      ssize_t n = send(d.to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent,
                       MSG_NOSIGNAL);
      if (n < 0) {
        if (errno != EAGAIN && errno != EINTR) return false;
        d.blocked = errno == EAGAIN;
        continue;
      }
      if (pair) pair->asked = true;
      chunk.sent += static_cast<size_t>(n);
      d.queued -= static_cast<size_t>(n);
      if (chunk.sent == chunk.bytes.size()) d.queue.pop_front();
    }
    if (d.ended && d.queue.empty() && !d.shut) {
      shutdown(d.to, SHUT_WR);
      d.shut = true;
    }
    return true;
  }

  void ClosePair(size_t i) {
    close(pairs_[i]->client);
    close(pairs_[i]->server);
    pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(i));
    --owner_.open_;
  }

  LinkRelay& owner_;
  int listener_;        // owned; accepts the clients
  sockaddr_in server_;  // where every connection goes
  int wake_ = -1;       // owned eventfd; a write wakes the loop for tasks
  std::thread thread_;
  // Only the loop's thread touches these.
  std::vector<std::unique_ptr<Pair>> pairs_;
  Delay delay_;
  bool stalled_ = false;
  bool stop_ = false;
  // Tasks handed to the loop, and how many were posted and done.
  std::mutex mutex_;
  std::condition_variable done_changed_;
  std::vector<std::function<void(Loop&)>> tasks_;
  uint64_t posted_ = 0;
  uint64_t done_ = 0;
};

LinkRelay::LinkRelay(const std::string& server_host, int server_port, Delay delay) {
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<uint16_t>(server_port));
  if (inet_pton(AF_INET, server_host.c_str(), &server.sin_addr) != 1)
    throw std::runtime_error("link relay: not an IPv4 address: " + server_host);
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener < 0) throw SystemError("socket");
  sockaddr_in here{};
  here.sin_family = AF_INET;
  here.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof here;
  if (bind(listener, reinterpret_cast<sockaddr*>(&here), sizeof here) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&here), &size) != 0) {
    std::runtime_error error = SystemError("listen");
    close(listener);
    throw error;
  }
  port_ = ntohs(here.sin_port);
  loop_ = std::make_unique<Loop>(*this, listener, server, delay);
}

LinkRelay::~LinkRelay() = default;

void LinkRelay::OnLoop(std::function<void(Loop&)> work) {
  loop_->Post(std::move(work));
}

void LinkRelay::SetDelay(Delay delay) {
  OnLoop([delay](Loop& loop) { loop.SetDelay(delay); });
}

void LinkRelay::Cut() {
  OnLoop([](Loop& loop) { loop.CutAll(); });
}

void LinkRelay::Stall() {
  OnLoop([](Loop& loop) { loop.SetStalled(true); });
}

void LinkRelay::Resume() {
  OnLoop([](Loop& loop) { loop.SetStalled(false); });
}

std::string ThroughRelay(const std::string& uri, const LinkRelay& relay) {
  const size_t scheme = uri.find("://");
  if (scheme == std::string::npos) return uri;
  const size_t begin = scheme + 3;
  const size_t end = std::min(uri.find('/', begin), uri.find('?', begin));
  const size_t authority_end = end == std::string::npos ? uri.size() : end;
  const size_t at = uri.rfind('@', authority_end);
  const size_t host = at != std::string::npos && at >= begin ? at + 1 : begin;
  return uri.substr(0, host) + "127.0.0.1:" + std::to_string(relay.port()) +
         uri.substr(authority_end);
}

}  // namespace test_support
