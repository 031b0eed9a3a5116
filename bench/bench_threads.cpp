// Whole runs of trov40 against their targets, everything on (converged fits, REML, the refined
// searches, converged bootstrap refits): each case's wall time on every processor and on processor 0
// alone, 5 runs each, alternately, medians; and, in the same run, what the machine itself gains from a
// second processor: two busy threads of a trivial loop on processor 0 alone and on every processor. A
// speed-up is only worth what the machine gives: on a machine where other work holds a processor, the
// engine's speed-up falls with the loop's, so the counter to read is speedup_share = speedup /
// loop_speedup (at least 0.9), and others_busy says how many processors other processes kept busy.
// The loop shares nothing between the processors; the engine's work shares caches and memory, and on a
// virtual machine perhaps a physical core. So the same run also times two copies of the case side by
// side, one on each processor: pair_speedup = 2 x (one copy alone) / (the pair) is what the machine
// gains from a second processor for this very work, and speedup_share_of_pair the engine's share of it.
// Start-up: the engine on 5 points against a trivial program that reads the same trov.in and data.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <thread>
#include <vector>

#include "bench/engine_process.h"

namespace {

namespace fs = std::filesystem;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Two threads that each spin through the same trivial loop, both on processor 0 or on every processor:
// the wall time.
double two_busy_threads(bool one_processor) {
  const auto start = std::chrono::steady_clock::now();
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 2; ++t)
      threads.emplace_back([one_processor] {
        bench::run_on(one_processor ? 0 : bench::kEveryProcessor);
        volatile double sum = 0;
        for (int k = 0; k < 40'000'000; ++k) sum = sum + 1e-9 * k;
      });
  }
  return seconds_since(start);
}

// CPU seconds of every processor of the machine that were not idle, from /proc/stat.
double machine_busy_seconds() {
  std::ifstream stat("/proc/stat");
  std::string cpu;
  double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
  stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
  return (user + nice + system + irq + softirq + steal) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU seconds of this process and its finished children.
double own_seconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage{};
    getrusage(who, &usage);
    total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  }
  return total;
}

// How many processors, on average, processes other than this benchmark kept busy since it started.
class OthersBusy {
 public:
  double processors() const {
    const double others = machine_busy_seconds() - busy_ - (own_seconds() - own_);
    return std::max(0.0, others / seconds_since(start_));
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  double busy_ = machine_busy_seconds(), own_ = own_seconds();
};

// Two copies of the case at once, on processors 0 and 1 (the second in a twin folder, as each writes
// its files there): the wall time until both have ended.
double side_by_side(const fs::path& dir, const fs::path& twin) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t first = bench::start_run(TROV40_PATH, dir, 0);
  const pid_t second = bench::start_run(TROV40_PATH, twin, 1 % bench::online_processors());
  bench::cpu_seconds_when_done(first);
  bench::cpu_seconds_when_done(second);
  return seconds_since(start);
}

void against_target(benchmark::State& state, const fs::path& dir, double target_seconds) {
  const OthersBusy others;
  const fs::path twin = dir.string() + "_twin";
  fs::copy(dir, twin, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::vector<double> all, one, loop_all, loop_one, pair;
  for (auto _ : state) {
    loop_one.push_back(two_busy_threads(true));
    one.push_back(bench::times_of_run(TROV40_PATH, dir, true).elapsed);
    loop_all.push_back(two_busy_threads(false));
    all.push_back(bench::times_of_run(TROV40_PATH, dir).elapsed);
    pair.push_back(side_by_side(dir, twin));
    state.SetIterationTime(all.back());
  }
  const double speedup = median(one) / median(all), loop_speedup = median(loop_one) / median(loop_all);
  const double pair_speedup = 2 * median(one) / median(pair);
  state.counters["wall_s"] = median(all);
  state.counters["target_s"] = target_seconds;
  state.counters["one_processor_s"] = median(one);
  state.counters["speedup"] = speedup;
  state.counters["loop_speedup"] = loop_speedup;
  state.counters["speedup_share"] = speedup / loop_speedup;
  state.counters["pair_speedup"] = pair_speedup;
  state.counters["speedup_share_of_pair"] = speedup / pair_speedup;
  state.counters["others_busy"] = others.processors();
  fs::remove_all(dir);
  fs::remove_all(twin);
}

fs::path survival_run(const std::string& name, int cases, int levels, bench::Parameters parameters) {
  parameters.covariates = parameters.categorical = levels > 0 ? 1 : 0;
  return bench::prepare_run("threads_" + name, cases, levels, parameters);
}

void grid21_binomial_10000(benchmark::State& state) {
  against_target(state, survival_run("grid", 10000, 0, {}), 0.10);
}

void grid21_binomial_10000_cov20(benchmark::State& state) {
  against_target(state, survival_run("grid_cov", 10000, 20, {}), 0.8);
}

void bootstrap_1000_binomial_1000(benchmark::State& state) {
  against_target(state, survival_run("boot", 1000, 0, {.nstep = "1", .lmin = "0", .iboot = "1000"}), 0.3);
}

void bootstrap_100_binomial_10000_cov20(benchmark::State& state) {
  against_target(state, survival_run("boot_cov", 10000, 20, {.nstep = "1", .lmin = "0", .iboot = "100"}),
                 4.0);
}

void bootstrap_1000_reselected_binomial_1000(benchmark::State& state) {
  against_target(
      state,
      survival_run(
          "boot_reselected", 1000, 0,
          {.nstep = "1", .lmin = "0", .iboot = "1000", .options = "bootstrap_lambda = reselected\n"}),
      3.0);
}

// The engine's whole run on 5 points against the trivial reader's, alternately: ratio of the medians.
void startup_against_trivial_process(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "trov_bench_threads_startup";
  fs::create_directories(dir);
  std::ofstream(dir / "data.dat") << "1 1\n0 2\n1 3\n0 4\n1 5\n";
  bench::write_parameter_file(dir, {.nstep = "5", .lmin = "-2", .lmax = "2"});
  std::vector<double> engine, trivial;
  for (auto _ : state) {
    trivial.push_back(bench::times_of_run(TRIVIAL_READER_PATH, dir).elapsed);
    engine.push_back(bench::times_of_run(TROV40_PATH, dir).elapsed);
    state.SetIterationTime(engine.back());
  }
  state.counters["engine_ms"] = 1e3 * median(engine);
  state.counters["trivial_ms"] = 1e3 * median(trivial);
  state.counters["ratio"] = median(engine) / median(trivial);
  state.counters["target_ratio"] = 1.5;
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK(grid21_binomial_10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(grid21_binomial_10000_cov20)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(bootstrap_1000_binomial_1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(bootstrap_100_binomial_10000_cov20)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(bootstrap_1000_reselected_binomial_1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(startup_against_trivial_process)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(51);
