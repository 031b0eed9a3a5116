#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/covariate/backfit.h"
#include "engine/covariate/design.h"
#include "engine/driver/grouping.h"
#include "engine/spline/links.h"

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

// backfit, binomial model, categorical covariate of 20 levels: 500 trait values with a point of every
// level, n = 10000 points, 5 cycles of at most maxit = 5 passes. Argument: the tolerance stop in
// thousandths (0: every inner loop runs all its passes).
void BM_backfit_binomial_20_levels(benchmark::State& state) {
  const double stop = static_cast<double>(state.range(0)) / 1000;
  const int n = kCapacity;
  std::uint64_t seed = 3;
  std::vector<double> x(n), y(n), xcov(static_cast<std::size_t>(kCapacity) * kMaxcol), levels(kMaxcol);
  std::vector<int> irep(n);
  for (int i = 0; i < n; ++i) {
    x[i] = 1 + i / 20;
    const int level = i % 20;
    irep[i] = 1 + static_cast<int>(4 * uniform(seed));
    const double probability = 1 / (1 + std::exp(-(std::sin(x[i] / 80) + 0.05 * level)));
    int successes = 0;
    for (int k = 0; k < irep[i]; ++k) successes += uniform(seed) < probability;
    y[i] = static_cast<double>(successes) / irep[i];
    xcov[i] = 1.0;
    xcov[kCapacity + i] = level;
  }
  int nlev = 1;
  trov::designx(xcov, kCapacity, kMaxcol, n, nlev, levels);
  std::vector<double> xcompress(kCapacity), ycompress(kCapacity);
  std::vector<int> icompress(kCapacity), icases(kCapacity);
  trov::XGroups groups{xcompress, icompress, icases, 0};
  trov::compressx(x, irep, n, groups);
  trov::compressy(y, irep, groups, ycompress);
  std::vector<double> sy(kCapacity), syc(kCapacity), beta(kMaxcol), nufit(kCapacity), snu(kCapacity);
  double trace = 0, gcv = 0;
  int niter = 0;
  trov::BackfitWork work(kCapacity, kMaxcol);
  for (auto _ : state) {
    trov::backfit(y, xcov, n, nlev, irep, trov::kBinomial, sy, syc, beta, nufit, snu, 1, stop, 5, 0.5,
                  kCapacity, kMaxcol, trace, niter, gcv, 5.0, 10.0, 5, groups, ycompress, work);
    benchmark::DoNotOptimize(gcv);
  }
  state.counters["niter"] = niter;
}
BENCHMARK(BM_backfit_binomial_20_levels)
    ->Arg(0)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly();

}  // namespace
