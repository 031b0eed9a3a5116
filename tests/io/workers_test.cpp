// The worker pool: every item done once, a pinned pool that gives its caller's processors back, and a
// pool the system gives fewer threads than asked.
#include "engine/analysis/workers.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
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

// In a child process whose address space may grow by `headroom` bytes only: a pool asked for 1000
// threads does every item once on those the system gives it, and ends. Exit status 0 when it did.
[[noreturn]] void pool_within_address_space(long headroom) {
  alarm(10);  // a pool that hangs ends the child instead of the test
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const auto limit = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + headroom);
  const rlimit space{limit, limit};
  if (setrlimit(RLIMIT_AS, &space) != 0) _exit(3);
  std::vector<std::atomic<int>> done(100);
  int size = 0;
  {
    WorkerPool pool(1000);
    size = pool.size();
    pool.run(static_cast<int>(done.size()), [&](int, int item) { ++done[static_cast<std::size_t>(item)]; });
  }
  for (const std::atomic<int>& d : done)
    if (d != 1) _exit(1);
  _exit(size < 1000 ? 0 : 2);
}

TEST(workers_test, a_pool_the_system_gives_fewer_threads_works_on_those_it_has_and_ends) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' own mappings do not keep within a limit of the address space";
#endif
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(pool_within_address_space(64L << 20), testing::ExitedWithCode(0), "");  // a few threads
  EXPECT_EXIT(pool_within_address_space(1L << 20), testing::ExitedWithCode(0), "");   // none: the caller
}

}  // namespace
}  // namespace trov
