#include "engine/analysis/workers.h"

#include <sched.h>

#include <exception>

namespace trov {

int available_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

namespace {

// The processors in a set, in order.
std::vector<int> processors_of(const cpu_set_t& set) {
  std::vector<int> processors;
  for (int p = 0; p < CPU_SETSIZE; ++p)
    if (CPU_ISSET(p, &set)) processors.push_back(p);
  return processors;
}

void keep_to(int processor) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(processor, &one);
  sched_setaffinity(0, sizeof one, &one);  // a hint: where it fails, the worker runs anywhere
}

}  // namespace

WorkerPool::WorkerPool(int workers, bool pinned) {
  std::vector<int> processors;
  if (cpu_set_t set; pinned && workers > 1 && sched_getaffinity(0, sizeof set, &set) == 0) {
    caller_set_ = set;
    processors = processors_of(set);
  }
  const auto processor = [&](int w) { return processors[static_cast<std::size_t>(w) % processors.size()]; };
  for (int w = 1; w < workers; ++w) {
    try {
      threads_.emplace_back([this, w, p = processors.empty() ? -1 : processor(w)] {
        if (p >= 0) keep_to(p);
        work(w);
      });
    } catch (const std::exception&) {
      break;  // the system gives no more threads (a limit of the process): the pool works on those it has
    }
  }
  if (!processors.empty()) keep_to(processor(0));
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  job_ready_.notify_all();
  threads_.clear();  // joined here, while the mutex and the conditions they wait on still exist
  if (caller_set_) sched_setaffinity(0, sizeof *caller_set_, &*caller_set_);
}

void WorkerPool::run(int count, const std::function<void(int, int)>& task) {
  if (threads_.empty() || count <= 1) {
    for (int item = 0; item < count; ++item) task(0, item);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    task_ = &task;
    count_ = count;
    next_ = 0;
    running_ = size();
    ++job_;
  }
  job_ready_.notify_all();
  take_items(0);
  std::unique_lock lock(mutex_);
  job_done_.wait(lock, [this] { return running_ == 0; });
  task_ = nullptr;
}

void WorkerPool::take_items(int worker) {
  while (true) {
    int item;
    {
      std::lock_guard lock(mutex_);
      if (next_ == count_) break;
      item = next_++;
    }
    (*task_)(worker, item);
  }
  std::lock_guard lock(mutex_);
  if (--running_ == 0) job_done_.notify_all();
}

void WorkerPool::work(int worker) {
  std::uint64_t done = 0;
  while (true) {
    {
      std::unique_lock lock(mutex_);
      job_ready_.wait(lock, [&] { return stopping_ || job_ != done; });
      if (stopping_) return;
      done = job_;
    }
    take_items(worker);
  }
}

}  // namespace trov
