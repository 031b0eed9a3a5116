// Every core at work: whole engine runs timed by the clock on processor 0 alone (as taskset -c 0) and on
// every processor, alternately in one run. Counter "speedup" = one processor / all processors.
#include <benchmark/benchmark.h>


#include "bench/engine_process.h"

namespace {

namespace fs = std::filesystem;

void one_against_all_processors(benchmark::State& state, const fs::path& dir) {
  double one = 0, all = 0;
  for (auto _ : state) {
    one += bench::times_of_run(TROV40_PATH, dir, true).elapsed;
    const double seconds = bench::times_of_run(TROV40_PATH, dir).elapsed;
    all += seconds;
    state.SetIterationTime(seconds);
  }
  state.counters["one_processor_s"] = one / static_cast<double>(state.iterations());
  state.counters["all_processors_s"] = all / static_cast<double>(state.iterations());
  state.counters["speedup"] = one / all;
  fs::remove_all(dir);
}

void bootstrap_1000_binomial_1000(benchmark::State& state) {
  one_against_all_processors(
      state, bench::prepare_run("threads_boot", 1000, 0, {.nstep = "1", .lmin = "0", .iboot = "1000"}));
}

void grid21_binomial_10000_cov20(benchmark::State& state) {
  one_against_all_processors(
      state, bench::prepare_run("threads_grid", 10000, 20, {.covariates = 1, .categorical = 1}));
}

}  // namespace

BENCHMARK(bootstrap_1000_binomial_1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(grid21_binomial_10000_cov20)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
