// Every core at work: whole engine runs timed by the clock on processor 0 alone (as taskset -c 0) and on
// every processor, alternately in one run. Counter "speedup" = one processor / all processors.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "bench/engine_process.h"

namespace {

namespace fs = std::filesystem;

// Survival 0/1 along a stabilizing curve, every case at its own X, with a covariate of `levels` levels.
fs::path prepare(const std::string& name, int cases, int levels, const bench::Parameters& parameters) {
  const fs::path dir = fs::temp_directory_path() / ("trov_bench_threads_" + name);
  fs::create_directories(dir);
  std::mt19937 rng(20261207);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::ofstream data(dir / "data.dat");
  for (int i = 0; i < cases; ++i) {
    const double x = 10.0 * (i + uniform(rng)) / cases;
    const int level = levels ? 1 + i % levels : 0;
    const double eta = 1.5 - 0.25 * (x - 5) * (x - 5) + 0.05 * level;
    data << (uniform(rng) < 1 / (1 + std::exp(-eta)) ? 1 : 0) << ' ' << x;
    if (levels) data << ' ' << level;
    data << '\n';
  }
  bench::write_parameter_file(dir, parameters);
  return dir;
}

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
  one_against_all_processors(state, prepare("boot", 1000, 0, {.nstep = "1", .lmin = "0", .iboot = "1000"}));
}

void grid21_binomial_10000_cov20(benchmark::State& state) {
  one_against_all_processors(state, prepare("grid", 10000, 20, {.covariates = 1, .categorical = 1}));
}

}  // namespace

BENCHMARK(bootstrap_1000_binomial_1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(grid21_binomial_10000_cov20)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
