// A recursive lock: the thread that holds it may take it again, and it is
// free once that thread has let go as often as it took it. Every engine
// function on a connection takes its connection's lock, three times per
// record of a walk: taking it again costs a compare, and taking it first one
// plain mutex, which is cheaper than a recursive pthread mutex and keeps its
// way of queueing waiters.
#ifndef ENGINE_BASE_RECURSIVE_LOCK_H
#define ENGINE_BASE_RECURSIVE_LOCK_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace nce {

class RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() {
    if (HeldHere()) {
      ++depth_;
      return;
    }
    mutex_.lock();
    Take();
  }

  bool try_lock() {
    if (HeldHere()) {
      ++depth_;
      return true;
    }
    if (!mutex_.try_lock()) return false;
    Take();
    return true;
  }

  void unlock() {
    if (--depth_ > 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

 private:
  // Only the holding thread ever stores its own id, so a relaxed read that
  // finds it is certain; any other answer means another thread or no one.
  bool HeldHere() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
  void Take() {
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
  }

  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  uint32_t depth_ = 0;  // touched only by the holding thread
};

}  // namespace nce

#endif  // ENGINE_BASE_RECURSIVE_LOCK_H
