// WorkQueue: the bound on waiting jobs, waiting for idle, a job that throws, the end.
#include "orv/work_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

namespace orv {
namespace {

TEST(WorkQueueTest, SubmitWaitsWhileRunningAndWaitingAreFull) {
  std::mutex gate;
  std::unique_lock<std::mutex> closed(gate);
  std::atomic<int> done{0};
  auto job = [&] {
    std::lock_guard<std::mutex> pass(gate);
    ++done;
  };
  WorkQueue queue(2, 1);
  for (int i = 0; i < 3; ++i) queue.Submit(job);
  std::atomic<bool> fourth{false};
  std::thread producer([&] {
    queue.Submit(job);
    fourth = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fourth);
  closed.unlock();
  producer.join();
  queue.WaitIdle();
  EXPECT_EQ(done, 4);
}

// One failure is rethrown once, after the other jobs; the end runs every job submitted.
TEST(WorkQueueTest, FailureAndEnd) {
  std::atomic<int> done{0};
  {
    WorkQueue queue(2, 10);
    queue.Submit([] { throw std::runtime_error("first"); });
    queue.Submit([] { throw std::logic_error("second"); });
    for (int i = 0; i < 4; ++i) queue.Submit([&] { ++done; });
    try {
      queue.WaitIdle();
      ADD_FAILURE() << "nothing rethrown";
    } catch (const std::exception& e) {
      EXPECT_TRUE(std::string(e.what()) == "first" || std::string(e.what()) == "second");
    }
    EXPECT_EQ(done, 4);
    EXPECT_FALSE(queue.Failed());
    queue.WaitIdle();
    for (int i = 0; i < 10; ++i) {
      queue.Submit([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ++done;
      });
    }
  }
  EXPECT_EQ(done, 14);
}

}  // namespace
}  // namespace orv
