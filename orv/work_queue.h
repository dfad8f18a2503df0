// A fixed set of threads that run submitted jobs, with a bound on the jobs
// that may wait: a producer faster than the threads is held back in Submit
// instead of piling up work in memory. Filter mode serves requests and batch
// mode converts message files through one.
#ifndef ORV_WORK_QUEUE_H_
#define ORV_WORK_QUEUE_H_

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orv {

class WorkQueue {
 public:
  // Starts `threads` threads (at least one); at most `waiting` jobs wait
  // beside those that run.
  WorkQueue(unsigned threads, unsigned waiting);
  // Runs every job submitted, then ends the threads.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Queues job, first waiting while `threads` jobs run and `waiting` wait.
  void Submit(std::function<void()> job);

  // Waits until every job submitted so far has run. Rethrows, once, the first
  // exception a job let out.
  void WaitIdle();

  // Whether a job has let an exception out that WaitIdle has not rethrown.
  bool Failed();

 private:
  void Serve();

  const std::size_t limit_;  // jobs running and waiting at most
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  std::size_t pending_ = 0;  // submitted and not yet finished
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> threads_;
};

}  // namespace orv

#endif  // ORV_WORK_QUEUE_H_
