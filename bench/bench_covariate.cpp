#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/covariate/design.h"

namespace {

constexpr int kCapacity = 10000;
constexpr int kMaxcol = 20;

double uniform(std::uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(state >> 11) * 0x1p-53;
}

// regress on n = 10000 rows with p columns: intercept and p - 1 continuous columns.
void BM_regress(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const int n = kCapacity;
  std::uint64_t seed = 7;
  std::vector<double> xcov(static_cast<std::size_t>(kCapacity) * kMaxcol), y(kCapacity), dy(kCapacity);
  for (int i = 0; i < n; ++i) {
    xcov[i] = 1.0;
    for (int j = 1; j < p; ++j) xcov[i + j * kCapacity] = uniform(seed);
    y[i] = uniform(seed);
    dy[i] = 0.5 + uniform(seed);
  }
  std::vector<double> beta(kMaxcol), fit(kCapacity);
  trov::RegressWork work(kCapacity, kMaxcol);
  for (auto _ : state) {
    trov::regress(xcov, y, kCapacity, kMaxcol, p, n, beta, fit, dy, work);
    benchmark::DoNotOptimize(fit.data());
  }
}
BENCHMARK(BM_regress)->Arg(2)->Arg(20)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
