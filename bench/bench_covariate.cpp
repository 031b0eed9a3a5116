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

// regress on n = 10000 rows with p columns. Argument 2: p = 2, the continuous covariate. Argument 20:
// a categorical covariate of 20 levels (indicator columns). With a second argument of 1 the p - 1
// columns after the intercept are continuous values instead, the slowest kind of design.
void BM_regress(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  const bool dense = state.range(1) == 1;
  const int n = kCapacity;
  std::uint64_t seed = 7;
  std::vector<double> xcov(static_cast<std::size_t>(kCapacity) * kMaxcol), y(kCapacity), dy(kCapacity);
  for (int i = 0; i < n; ++i) {
    xcov[i] = 1.0;
    const int level = static_cast<int>(uniform(seed) * p);
    for (int j = 1; j < p; ++j)
      xcov[i + j * kCapacity] = p == 2 || dense ? uniform(seed) : (level == j ? 1.0 : 0.0);
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
BENCHMARK(BM_regress)
    ->Args({2, 0})
    ->Args({20, 0})
    ->Args({20, 1})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly();

}  // namespace
