// What a run costs beyond its fits, as ratios of whole processes timed pair by pair in one run:
// the engine on a 5-point grid against a trivial program that reads the same trov.in and data, and a
// fixed-lambda run with its fitted table against a 2-lambda grid on the same 10000 points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "bench/engine_process.h"

namespace {

namespace fs = std::filesystem;

fs::path folder(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("trov_bench_fixed_" + name);
  fs::create_directories(dir);
  return dir;
}

// Normal responses around a hump, every case at its own X.
void write_normal_data(const fs::path& dir, int cases) {
  std::mt19937 rng(20261207);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::ofstream data(dir / "data.dat");
  data.precision(10);
  for (int i = 0; i < cases; ++i) {
    const double x = 10.0 * (i + uniform(rng)) / cases;
    data << 1.5 - 0.25 * (x - 5) * (x - 5) + noise(rng) << ' ' << x << '\n';
  }
}

// Times `measured` and `reference` alternately; the manual time is the measured run's, and the counter
// "ratio" is the measured CPU time over the reference's.
void paired(benchmark::State& state, const char* measured, const fs::path& measured_dir,
            const char* reference, const fs::path& reference_dir) {
  double measured_total = 0, reference_total = 0;
  for (auto _ : state) {
    reference_total += bench::cpu_seconds_of_run(reference, reference_dir);
    const double seconds = bench::cpu_seconds_of_run(measured, measured_dir);
    measured_total += seconds;
    state.SetIterationTime(seconds);
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["measured_ms"] = 1e3 * measured_total / iterations;
  state.counters["reference_ms"] = 1e3 * reference_total / iterations;
  state.counters["ratio"] = measured_total / reference_total;
}

void startup_against_trivial_reader(benchmark::State& state) {
  const fs::path dir = folder("startup");
  {
    std::ofstream data(dir / "data.dat");
    data << "1 1\n0 2\n1 3\n0 4\n1 5\n";
  }
  bench::write_parameter_file(dir, {.nstep = "5", .lmin = "-2", .lmax = "2"});
  paired(state, TROV40_PATH, dir, TRIVIAL_READER_PATH, dir);
  fs::remove_all(dir);
}

void fitted_table_against_two_lambdas(benchmark::State& state) {
  const fs::path fixed = folder("table"), grid = folder("grid2");
  write_normal_data(fixed, 10000);
  fs::copy_file(fixed / "data.dat", grid / "data.dat", fs::copy_options::overwrite_existing);
  bench::write_parameter_file(fixed, {.nstep = "1", .lmin = "0", .model = 1});
  bench::write_parameter_file(grid, {.nstep = "2", .lmin = "0", .lmax = "1", .model = 1});
  paired(state, TROV40_PATH, fixed, TROV40_PATH, grid);
  fs::remove_all(fixed);
  fs::remove_all(grid);
}

}  // namespace

BENCHMARK(startup_against_trivial_reader)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(fitted_table_against_two_lambdas)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
