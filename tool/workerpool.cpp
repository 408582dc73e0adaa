// The worker threads and their job queue.
#include "tool/workerpool.hpp"

#include <utility>  // std::move

#if defined(__linux__)
#include <sched.h>  // sched_getaffinity: the processors this process may use
#endif

WorkerPool::WorkerPool(unsigned workers) {
  if (workers == 0) workers = 1;
  threads.reserve(workers);
  for (unsigned i = 0; i < workers; i++) threads.emplace_back([this, i] { run(i); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
  }
  work_ready.notify_all();
  for (std::thread& t : threads) t.join();
}

uint64_t WorkerPool::submit(std::function<void(unsigned worker)> job) {
  uint64_t ticket;
  {
    std::lock_guard<std::mutex> guard(lock);
    ticket = next_ticket++;
    queue.emplace_back(ticket, std::move(job));
  }
  work_ready.notify_one();
  return ticket;
}

void WorkerPool::wait(uint64_t ticket) {
  std::unique_lock<std::mutex> guard(lock);
  work_done.wait(guard, [&] { return finished.count(ticket) != 0; });
  finished.erase(ticket);
}

void WorkerPool::run(unsigned worker) {
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    work_ready.wait(guard, [&] { return stopping || !queue.empty(); });
    if (queue.empty()) return;  // stopping, and nothing left to do
    auto job = std::move(queue.front());
    queue.pop_front();
    guard.unlock();
    job.second(worker);
    guard.lock();
    finished.insert(job.first);
    work_done.notify_all();
  }
}

unsigned processor_count() {
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
#endif
  const unsigned count = std::thread::hardware_concurrency();
  return count ? count : 1;
}
