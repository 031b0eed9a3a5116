#include "engine/driver/workers.h"

#include <sched.h>

namespace trov {

int available_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

WorkerPool::WorkerPool(int workers) {
  for (int w = 1; w < workers; ++w) threads_.emplace_back([this, w] { work(w); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  job_ready_.notify_all();
}  // the threads join as they are destroyed

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
