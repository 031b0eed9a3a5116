#pragma once

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace trov {

// The processors this process may run on: its CPU affinity mask, so `taskset -c 0` gives one.
int available_processors();

// What a long run tells its caller as it goes, and how the caller ends it early: progress(done, total)
// after each bootstrap replicate, in replicate order, on the calling thread; `stop`, set from anywhere,
// is looked at between batches of work and ends the run with RunStopped.
struct RunControl {
  std::function<void(int done, int total)> progress;
  const std::atomic<bool>* stop = nullptr;

  bool stopped() const { return stop && stop->load(std::memory_order_relaxed); }
};

// A fixed set of threads that work through the items of one job at a time. Results never depend on
// which worker takes which item: every item has its own place for what it computes, and the caller
// combines them in item order afterwards.
class WorkerPool {
 public:
  // pinned: each worker, the calling thread too, keeps to a processor of its own among those the
  // process may use (the calling thread gets its own set back when the pool ends). Else the system
  // may start a woken worker on the processor of the thread that woke it, where it waits for
  // milliseconds while another processor idles. Where the system starts fewer threads than asked (a
  // limit of the process), the pool works on those it started, or on the calling thread alone.
  explicit WorkerPool(int workers, bool pinned = false);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int size() const { return static_cast<int>(threads_.size()) + 1; }

  // Calls task(worker, item) for every item in [0, count), worker in [0, size()), and returns when all
  // are done. The calling thread is worker 0; items go out in increasing order as workers come free.
  void run(int count, const std::function<void(int worker, int item)>& task);

 private:
  void work(int worker);
  void take_items(int worker);

  std::optional<cpu_set_t> caller_set_;  // the calling thread's processors, while pinned
  std::vector<std::jthread> threads_;
  std::mutex mutex_;
  std::condition_variable job_ready_, job_done_;
  const std::function<void(int, int)>* task_ = nullptr;
  int count_ = 0;
  int next_ = 0;     // the next item to hand out
  int running_ = 0;  // workers still at the current job
  std::uint64_t job_ = 0;
  bool stopping_ = false;
};

}  // namespace trov
