// The mutex pool: released mutexes are handed out again, oldest first.
#include "orv/mutex.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orv {
namespace {

TEST(MutexTest, PoolReusesReleasedMutexesOldestFirst) {
  std::vector<Mutex> held(100);  // empties the pool of whatever earlier users left in it
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

}  // namespace
}  // namespace orv
