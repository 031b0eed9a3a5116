// What parts of a whole run cost, measured in-process pair by pair, the same run with and without the
// part, alternately: trov.json and the selection gradients (the converged fits left out); the REML and
// ML scores and searches of a converged grid; the converged refits of a bootstrap. And the time of a
// bootstrap whose replicates each choose their own lambda.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "bench/engine_process.h"
#include "engine/program/run.h"

namespace {

namespace fs = std::filesystem;

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// One run in dir, its console output discarded; its CPU time (all threads) and elapsed time.
bench::RunTimes run_in(const fs::path& dir, const trov::RunOptions& options) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  std::ifstream parameters("trov.in");
  std::ostringstream console;
  std::streambuf* saved = std::cout.rdbuf(console.rdbuf());
  const double cpu_start = cpu_seconds();
  const auto start = std::chrono::steady_clock::now();
  trov::run_engine(parameters, options);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = cpu_seconds() - cpu_start;
  std::cout.rdbuf(saved);
  fs::current_path(before);
  return {cpu, elapsed};
}

// The elapsed times decide the manual time and "ratio"; "cpu_ratio" counts every thread's time.
void paired(benchmark::State& state, const fs::path& dir, const trov::RunOptions& without_part,
            const trov::RunOptions& with_part) {
  bench::RunTimes with{0, 0}, without{0, 0};
  for (auto _ : state) {
    const bench::RunTimes off = run_in(dir, without_part), on = run_in(dir, with_part);
    without.cpu += off.cpu, without.elapsed += off.elapsed;
    with.cpu += on.cpu, with.elapsed += on.elapsed;
    state.SetIterationTime(on.elapsed);
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["with_ms"] = 1e3 * with.elapsed / iterations;
  state.counters["without_ms"] = 1e3 * without.elapsed / iterations;
  state.counters["ratio"] = with.elapsed / without.elapsed;
  state.counters["cpu_ratio"] = with.cpu / without.cpu;
  fs::remove_all(dir);
}

constexpr trov::RunOptions kClassic{.report = false, .converged = false};
constexpr trov::RunOptions kReport{.report = true, .converged = false};
constexpr trov::RunOptions kNoLikelihood{.likelihood = false};
constexpr trov::RunOptions kEverything{};

void report_bootstrap_1000_binomial_1000(benchmark::State& state) {
  paired(state, bench::prepare_run("report_boot", 1000, 0, {.nstep = "1", .lmin = "0", .iboot = "1000"}),
         kClassic, kReport);
}

void report_fixed_lambda_binomial_10000(benchmark::State& state) {
  paired(state, bench::prepare_run("report_fixed", 10000, 0, {.nstep = "1", .lmin = "0"}), kClassic, kReport);
}

void reml_grid21_binomial_10000(benchmark::State& state) {
  paired(state, bench::prepare_run("reml_grid", 10000, 0, {.nstep = "21", .lmin = "-10"}), kNoLikelihood,
         kEverything);
}

void converged_refits_bootstrap_1000_binomial_1000(benchmark::State& state) {
  paired(state, bench::prepare_run("converged_boot", 1000, 0, {.nstep = "1", .lmin = "0", .iboot = "1000"}),
         kReport, kEverything);
}

void reselected_bootstrap_1000_binomial_1000(benchmark::State& state) {
  const fs::path dir =
      bench::prepare_run("reselected_boot", 1000, 0, {.nstep = "1", .lmin = "0", .iboot = "1000"});
  std::ofstream(dir / "trov.options") << "bootstrap_lambda = reselected\n";
  for (auto _ : state) state.SetIterationTime(run_in(dir, kEverything).elapsed);
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK(report_bootstrap_1000_binomial_1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(report_fixed_lambda_binomial_10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(reml_grid21_binomial_10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(converged_refits_bootstrap_1000_binomial_1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(reselected_bootstrap_1000_binomial_1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
