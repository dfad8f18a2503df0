// Mutex pool reuse, recursive locking and MutexLock's single unlock.
#include "orv/mutex.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <vector>

namespace orv {
namespace {

// Whether another thread could take the mutex right now.
bool FreeForOthers(const MutexInterface& m) {
  return std::async(std::launch::async,
                    [&m] {
                      auto* native = const_cast<std::recursive_mutex*>(m.native());
                      if (!native->try_lock()) return false;
                      native->unlock();
                      return true;
                    })
      .get();
}

TEST(MutexTest, PoolReusesReleasedMutexesOldestFirst) {
  // Empty the pool of whatever earlier users left in it.
  std::vector<Mutex> held(100);
  const std::recursive_mutex *first, *second;
  {
    Mutex a;
    first = a.native();
  }
  Mutex b;
  EXPECT_EQ(b.native(), first);
  {
    auto x = std::make_unique<Mutex>(), y = std::make_unique<Mutex>();
    first = x->native();
    second = y->native();
    x.reset();
    y.reset();
  }
  Mutex c, d;
  EXPECT_EQ(c.native(), first);
  EXPECT_EQ(d.native(), second);
  EXPECT_NE(b.native(), c.native());
}

TEST(MutexTest, RecursiveLocking) {
  Mutex pooled;
  SimpleMutex simple;
  MutexInterface* both[] = {&pooled, &simple};
  for (MutexInterface* m : both) {
    m->Lock();
    m->Lock();
    EXPECT_FALSE(FreeForOthers(*m));
    m->Unlock();
    EXPECT_FALSE(FreeForOthers(*m));
    m->Unlock();
    EXPECT_TRUE(FreeForOthers(*m));
  }
  EXPECT_NE(pooled.native(), simple.native());
}

TEST(MutexTest, MutexLockUnlocksExactlyOnce) {
  SimpleMutex m;
  {
    MutexLock lock(m, false);
    EXPECT_TRUE(FreeForOthers(m));
  }
  EXPECT_TRUE(FreeForOthers(m));
  {
    MutexLock lock(m, false);
    lock.Relock();
    lock.Relock();
    EXPECT_FALSE(FreeForOthers(m));
  }
  EXPECT_TRUE(FreeForOthers(m));
  {
    MutexLock lock(m);
    EXPECT_FALSE(FreeForOthers(m));
    lock.Relock();
  }
  EXPECT_TRUE(FreeForOthers(m));
}

}  // namespace
}  // namespace orv
