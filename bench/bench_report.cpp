// What trov.json and the selection gradients add to a whole run, measured in-process pair by pair: the
// same run with and without the report (the converged fits, a cost of their own, left out), alternately.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "bench/engine_process.h"
#include "engine/driver/run.h"

namespace {

namespace fs = std::filesystem;

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// One run in dir, its console output discarded; its CPU time (all threads) and elapsed time.
bench::RunTimes run_in(const fs::path& dir, bool report) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  std::ifstream parameters("trov.in");
  std::ostringstream console;
  std::streambuf* saved = std::cout.rdbuf(console.rdbuf());
  const double cpu_start = cpu_seconds();
  const auto start = std::chrono::steady_clock::now();
  trov::run_engine(parameters, {.report = report, .converged = false});
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = cpu_seconds() - cpu_start;
  std::cout.rdbuf(saved);
  fs::current_path(before);
  return {cpu, elapsed};
}

// The elapsed times decide the manual time and "ratio"; "cpu_ratio" counts every thread's time.
void with_and_without_report(benchmark::State& state, const fs::path& dir) {
  bench::RunTimes with{0, 0}, without{0, 0};
  for (auto _ : state) {
    const bench::RunTimes off = run_in(dir, false), on = run_in(dir, true);
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

void bootstrap_1000_binomial_1000(benchmark::State& state) {
  with_and_without_report(
      state, bench::prepare_run("report_boot", 1000, 0, {.nstep = "1", .lmin = "0", .iboot = "1000"}));
}

void fixed_lambda_binomial_10000(benchmark::State& state) {
  with_and_without_report(state, bench::prepare_run("report_fixed", 10000, 0, {.nstep = "1", .lmin = "0"}));
}

}  // namespace

BENCHMARK(bootstrap_1000_binomial_1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(fixed_lambda_binomial_10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);
