// A recursive lock: the thread that holds it may take it again, and it is
// free once that thread has let go as often as it took it. Every engine
// function on a connection takes its connection's lock, three times per
// record of a walk: taking it again costs a compare, and taking it first one
// plain mutex, which is cheaper than a recursive pthread mutex and keeps its
// way of queueing waiters.
//
// The lock is a capability for clang's -Wthread-safety (thread_annotations.h):
// take it through RecursiveLockGuard, and state what it guards with
// GUARDED_BY and REQUIRES. The analysis looks at one function at a time and
// knows nothing of re-entry: a function that takes the lock it already holds
// (within its own body) is reported, while a function taking it again below
// a caller that holds it is fine at run time and unseen by the analysis.
// Where a caller holds the lock but the analysis cannot name it (the
// connection reached through a cursor or a statement), AssertHeld says so,
// and checks it in debug builds.
#ifndef ENGINE_BASE_RECURSIVE_LOCK_H
#define ENGINE_BASE_RECURSIVE_LOCK_H

#include <atomic>
#include <cassert>
#include <cstdint>
#include <mutex>
#include <thread>

#include "engine/base/thread_annotations.h"

namespace nce {

class CAPABILITY("mutex") RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() ACQUIRE() {
    if (HeldHere()) {
      ++depth_;
      return;
    }
    mutex_.lock();
    Take();
  }

  bool try_lock() TRY_ACQUIRE(true) {
    if (HeldHere()) {
      ++depth_;
      return true;
    }
    if (!mutex_.try_lock()) return false;
    Take();
    return true;
  }

  void unlock() RELEASE() {
    if (--depth_ > 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

  // Tells the analysis that the calling thread holds the lock (taken by a
  // caller it cannot see); debug builds check that it does.
  void AssertHeld() const ASSERT_CAPABILITY(this) { assert(HeldHere()); }

  // How often the lock was taken by a thread that did not hold it: for the
  // holder, a number that stays while it holds the lock, and so names one
  // engine function's work on the connection the lock serialises.
  uint64_t takings() const { return takings_; }

 private:
  // Only the holding thread ever stores its own id, so a relaxed read that
  // finds it is certain; any other answer means another thread or no one.
  bool HeldHere() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
  void Take() {
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
    ++takings_;
  }

  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  uint32_t depth_ = 0;    // touched only by the holding thread
  uint64_t takings_ = 0;  // see takings(); written only by the holding thread
};

// Holds a RecursiveLock for a scope, as std::lock_guard does, where the
// analysis sees it taken and given back.
class SCOPED_CAPABILITY RecursiveLockGuard {
 public:
  explicit RecursiveLockGuard(RecursiveLock& lock) ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
  ~RecursiveLockGuard() RELEASE() { lock_.unlock(); }
  RecursiveLockGuard(const RecursiveLockGuard&) = delete;
  RecursiveLockGuard& operator=(const RecursiveLockGuard&) = delete;

 private:
  RecursiveLock& lock_;  // held while the guard lives
};

}  // namespace nce

#endif  // ENGINE_BASE_RECURSIVE_LOCK_H
