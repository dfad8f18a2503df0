// Recursive mutexes, a scoped lock, and a pool that recycles the mutexes of
// released orv::Mutex objects. Built on std::recursive_mutex.
#ifndef ORV_MUTEX_H_
#define ORV_MUTEX_H_

#include <mutex>

namespace orv {

class noncopyable {
 protected:
  noncopyable() = default;
  ~noncopyable() = default;

 public:
  noncopyable(const noncopyable&) = delete;
  noncopyable& operator=(const noncopyable&) = delete;
};

class MutexInterface : private noncopyable {
 public:
  virtual ~MutexInterface() = default;
  void Lock() { mutex_->lock(); }
  void Unlock() { mutex_->unlock(); }
  // The underlying mutex, for telling whether two objects share one.
  const std::recursive_mutex* native() const { return mutex_; }

 protected:
  std::recursive_mutex* mutex_ = nullptr;
};

// A mutex of its own, destroyed with the object.
class SimpleMutex : public MutexInterface {
 public:
  SimpleMutex();
  ~SimpleMutex() override;
};

// A mutex taken from the process-wide pool and given back to it, oldest
// first, when the object goes. Must be unlocked when destroyed.
class Mutex : public MutexInterface {
 public:
  Mutex();
  ~Mutex() override;
};

// Holds a mutex locked for its lifetime (from construction when lock_now,
// otherwise from Relock) and unlocks it exactly once.
class MutexLock : private noncopyable {
 public:
  explicit MutexLock(MutexInterface& mutex, bool lock_now = true);
  ~MutexLock();
  void Relock();

 private:
  MutexInterface& mutex_;
  bool locked_ = false;
};

}  // namespace orv

#endif  // ORV_MUTEX_H_
