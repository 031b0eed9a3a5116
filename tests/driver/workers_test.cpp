// The worker pool: every item done once, and a pinned pool that gives its caller's processors back.
#include "engine/driver/workers.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <vector>

namespace trov {
namespace {

cpu_set_t own_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  sched_getaffinity(0, sizeof set, &set);
  return set;
}

TEST(workers_test, a_pinned_pool_does_every_item_once_on_one_processor_a_worker_and_gives_the_caller_back) {
  const cpu_set_t before = own_processors();
  std::vector<std::atomic<int>> done(100);
  std::atomic<bool> one_each{true};
  {
    WorkerPool pool(2, true);
    for (int job = 0; job < 2; ++job)
      pool.run(static_cast<int>(done.size()), [&](int, int item) {
        ++done[static_cast<std::size_t>(item)];
        const cpu_set_t now = own_processors();
        if (CPU_COUNT(&before) > 1 && CPU_COUNT(&now) != 1) one_each = false;
      });
  }
  for (const std::atomic<int>& d : done) EXPECT_EQ(d, 2);
  EXPECT_TRUE(one_each);
  const cpu_set_t after = own_processors();
  EXPECT_TRUE(CPU_EQUAL(&before, &after));
}

}  // namespace
}  // namespace trov
