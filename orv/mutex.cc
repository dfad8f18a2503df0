#include "orv/mutex.h"

#include <deque>

namespace orv {
namespace {

// Released mutexes stay in the pool until the process ends.
std::deque<std::recursive_mutex*>& Pool() {
  static auto* pool = new std::deque<std::recursive_mutex*>;
  return *pool;
}

SimpleMutex& PoolLock() {
  static SimpleMutex lock;
  return lock;
}

}  // namespace

SimpleMutex::SimpleMutex() {
  mutex_ = new std::recursive_mutex;
}

SimpleMutex::~SimpleMutex() {
  delete mutex_;
}

Mutex::Mutex() {
  MutexLock lock(PoolLock());
  if (Pool().empty()) {
    mutex_ = new std::recursive_mutex;
  } else {
    mutex_ = Pool().front();
    Pool().pop_front();
  }
}

Mutex::~Mutex() {
  try {
    MutexLock lock(PoolLock());
    Pool().push_back(mutex_);
  } catch (...) {
    delete mutex_;
  }
}

MutexLock::MutexLock(MutexInterface& mutex, bool lock_now) : mutex_(mutex) {
  if (lock_now) Relock();
}

MutexLock::~MutexLock() {
  if (locked_) mutex_.Unlock();
}

void MutexLock::Relock() {
  if (!locked_) {
    mutex_.Lock();
    locked_ = true;
  }
}

}  // namespace orv
