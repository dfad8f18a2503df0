#include "orv/work_queue.h"

#include <algorithm>
#include <utility>

namespace orv {

WorkQueue::WorkQueue(unsigned threads, unsigned waiting) : limit_(std::max(threads, 1u) + waiting) {
  for (unsigned i = 0; i < std::max(threads, 1u); ++i) threads_.emplace_back([this] { Serve(); });
}

WorkQueue::~WorkQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkQueue::Submit(std::function<void()> job) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return pending_ < limit_; });
  jobs_.push_back(std::move(job));
  ++pending_;
  lock.unlock();
  // One condition serves the threads and the waiters in Submit and WaitIdle,
  // so every change wakes all of them; there are few.
  changed_.notify_all();
}

void WorkQueue::WaitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == 0; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

bool WorkQueue::Failed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_ != nullptr;
}

void WorkQueue::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    std::exception_ptr thrown;
    try {
      job();
    } catch (...) {
      thrown = std::current_exception();
    }
    // The job's captures go before it counts as finished.
    job = nullptr;
    lock.lock();
    if (thrown && !failure_) failure_ = thrown;
    --pending_;
    changed_.notify_all();
  }
}

}  // namespace orv
