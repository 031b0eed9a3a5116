// Whole runs of the engine as a process on generated data: grid searches and bootstraps.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>

#include "bench/engine_process.h"

namespace {

namespace fs = std::filesystem;

struct RunSpec {
  int cases;
  int levels;  // 0: no covariate
  const char* nstep;
  const char* lmin;
  const char* iboot;
};

// Survival 0/1 with a stabilizing selection curve; every case has its own X.
fs::path prepare(const RunSpec& spec) {
  fs::path dir =
      fs::temp_directory_path() / ("trov_bench_" + std::to_string(spec.cases) + "_" +
                                   std::to_string(spec.levels) + "_" + spec.nstep + "_" + spec.iboot);
  fs::create_directories(dir);
  std::mt19937 rng(20261207);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::ofstream data(dir / "data.dat");
  for (int i = 0; i < spec.cases; ++i) {
    double x = 10.0 * (i + uniform(rng)) / spec.cases;
    int level = spec.levels ? 1 + i % spec.levels : 0;
    double eta = 1.5 - 0.25 * (x - 5) * (x - 5) + (spec.levels ? 0.05 * level : 0.0);
    int y = uniform(rng) < 1 / (1 + std::exp(-eta)) ? 1 : 0;
    data << y << ' ' << x;
    if (spec.levels) data << ' ' << level;
    data << '\n';
  }
  const int covariate = spec.levels ? 1 : 0;
  bench::write_parameter_file(dir, {.covariates = covariate,
                                    .categorical = covariate,
                                    .nstep = spec.nstep,
                                    .lmin = spec.lmin,
                                    .iboot = spec.iboot});
  return dir;
}

void whole_run(benchmark::State& state, RunSpec spec) {
  fs::path dir = prepare(spec);
  for (auto _ : state) state.SetIterationTime(bench::cpu_seconds_of_run(TROV40_PATH, dir));
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK_CAPTURE(whole_run, grid21_binomial_10000, RunSpec{10000, 0, "21", "-10", "0"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_run, grid21_binomial_10000_cov20, RunSpec{10000, 20, "21", "-10", "0"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_run, boot1000_binomial_1000, RunSpec{1000, 0, "1", "0", "1000"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_run, boot100_binomial_10000_cov20, RunSpec{10000, 20, "1", "0", "100"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
