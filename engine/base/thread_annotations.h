// Which lock guards which member, and which functions need it held, stated
// where clang's -Wthread-safety checks them (the clang build turns the
// check on); other compilers read nothing here. Mutex and MutexLock are a
// plain std::mutex and a scoped hold of it that the check knows; the
// connection's RecursiveLock and its guard are in recursive_lock.h.
#ifndef ENGINE_BASE_THREAD_ANNOTATIONS_H
#define ENGINE_BASE_THREAD_ANNOTATIONS_H

#include <mutex>

#if defined(__clang__)
#define NCE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define NCE_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) NCE_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY NCE_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) NCE_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) NCE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) NCE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) NCE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) NCE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) NCE_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) NCE_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) NCE_THREAD_ANNOTATION(lock_returned(x))

namespace nce {

class CAPABILITY("mutex") Mutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace nce

#endif  // ENGINE_BASE_THREAD_ANNOTATIONS_H
