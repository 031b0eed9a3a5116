// The library's call against the engine program's whole process for the same work, and a large
// analysis's time and memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>

#include "bench/engine_process.h"
#include "engine/api/trov.h"

namespace {

namespace fs = std::filesystem;

trov::api::Data survival_data(int cases) {
  trov::api::Data data;
  bench::survival_cases(cases, 0, [&](int y, double x, int) {
    data.y.push_back(y);
    data.x.push_back(x);
  });
  return data;
}

// The program's settings: a 21-lambda binomial grid, maxit 5, stop 0.005 read in single precision.
trov::api::Settings grid_settings() {
  trov::api::Settings s;
  s.maxit = 5;
  s.stop = static_cast<float>(0.005);
  s.seed = 2387498;
  s.fit_recommended = false;
  return s;
}

void library_grid21_binomial_1000(benchmark::State& state) {
  const trov::api::Data data = survival_data(1000);
  for (auto _ : state) benchmark::DoNotOptimize(trov::api::analyse(data, grid_settings()));
}

void process_grid21_binomial_1000(benchmark::State& state) {
  const fs::path dir = bench::prepare_run("library_1000", 1000, 0, {});
  for (auto _ : state) state.SetIterationTime(bench::times_of_run(TROV40_PATH, dir).elapsed);
  fs::remove_all(dir);
}

// A million points, normal model, 21 lambdas: the counter is the growth of the peak resident memory
// per point (the process's peak before the call is small).
void library_grid21_normal_million(benchmark::State& state) {
  constexpr int kPoints = 1'000'000;
  trov::api::Data data;
  for (int i = 0; i < kPoints; ++i) {
    const double x = 10.0 * i / kPoints;
    data.x.push_back(x);
    data.y.push_back(std::sin(x) + 0.3 * std::sin(1e4 * x * x));
  }
  trov::api::Settings settings = grid_settings();
  settings.model = trov::api::Model::normal;
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : state) benchmark::DoNotOptimize(trov::api::analyse(data, settings));
  getrusage(RUSAGE_SELF, &after);
  state.counters["bytes_per_point"] = 1024.0 * static_cast<double>(after.ru_maxrss - before.ru_maxrss) / kPoints;
}

}  // namespace

BENCHMARK(library_grid21_binomial_1000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(process_grid21_binomial_1000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(library_grid21_normal_million)->Unit(benchmark::kSecond)->Iterations(1);
