// Whole runs of the engine as a process on generated data: grid searches and bootstraps.
#include <benchmark/benchmark.h>

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

fs::path prepare(const RunSpec& spec) {
  const int covariate = spec.levels ? 1 : 0;
  return bench::prepare_run("runs_" + std::to_string(spec.cases) + "_" + std::to_string(spec.levels) + "_" +
                                spec.nstep + "_" + spec.iboot,
                            spec.cases, spec.levels,
                            {.covariates = covariate,
                             .categorical = covariate,
                             .nstep = spec.nstep,
                             .lmin = spec.lmin,
                             .iboot = spec.iboot});
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
