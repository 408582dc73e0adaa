// A fixed set of worker threads for chunk-sized jobs. Jobs run in the order
// they were queued, each on whichever worker is free; the queuing thread
// waits for a job by its ticket and so takes results back in any order it
// likes (the point reader and writer take them in chunk order). A job gets
// the index of the worker that runs it, for state that belongs to one
// worker (a decoder, an encoder). Jobs must not throw.
//
//   WorkerPool pool(3);
//   const uint64_t t = pool.submit([&](unsigned worker) { ... });
//   pool.wait(t);  // the job's writes are visible from here on
#ifndef TOOL_WORKERPOOL_HPP
#define TOOL_WORKERPOOL_HPP

#include <condition_variable>  // job and completion signals
#include <cstdint>             // tickets
#include <deque>               // queued jobs
#include <functional>          // jobs
#include <mutex>               // the queue lock
#include <set>                 // finished tickets not yet waited for
#include <thread>              // the workers
#include <vector>              // the workers

class WorkerPool {
 public:
  // Starts `workers` threads (at least one).
  explicit WorkerPool(unsigned workers);
  // Finishes every queued job, then joins the workers.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned size() const { return static_cast<unsigned>(threads.size()); }
  // Queues a job; returns its ticket.
  uint64_t submit(std::function<void(unsigned worker)> job);
  // Blocks until the job with this ticket has run. Each ticket is waited
  // for at most once.
  void wait(uint64_t ticket);

 private:
  void run(unsigned worker);

  std::mutex lock;
  std::condition_variable work_ready;
  std::condition_variable work_done;
  std::deque<std::pair<uint64_t, std::function<void(unsigned)>>> queue;
  std::set<uint64_t> finished;
  uint64_t next_ticket = 0;
  bool stopping = false;
  std::vector<std::thread> threads;
};

// The number of processors this process may run on, at least 1.
unsigned processor_count();

#endif
