#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/core/grouping.h"
#include "engine/covariate/backfit.h"
#include "engine/covariate/design.h"
#include "engine/spline/links.h"

namespace {

constexpr int kCapacity = 10000;
using trov::kMaxcol;

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
  trov::Design design{
      .rows = n, .columns = p, .xcov = std::vector<double>(static_cast<std::size_t>(n) * kMaxcol)};
  std::vector<double> y(n), dy(n);
  for (int i = 0; i < n; ++i) {
    design.xcov[i] = 1.0;
    const int level = static_cast<int>(uniform(seed) * p);
    for (int j = 1; j < p; ++j)
      design.xcov[i + j * n] = p == 2 || dense ? uniform(seed) : (level == j ? 1.0 : 0.0);
    y[i] = uniform(seed);
    dy[i] = 0.5 + uniform(seed);
  }
  std::vector<double> beta(kMaxcol), fit(n);
  trov::RegressWork work(n);
  for (auto _ : state) {
    trov::regress(design, n, y, dy, beta, fit, work);
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
  trov::Points points;
  points.n = n;
  for (int i = 0; i < n; ++i) {
    const double x = 1 + i / 20;
    const int level = i % 20;
    const int irep = 1 + static_cast<int>(4 * uniform(seed));
    const double probability = 1 / (1 + std::exp(-(std::sin(x / 80) + 0.05 * level)));
    int successes = 0;
    for (int k = 0; k < irep; ++k) successes += uniform(seed) < probability;
    points.x.push_back(x);
    points.y.push_back(static_cast<double>(successes) / irep);
    points.covariate.push_back(level);
    points.counts.push_back(irep);
  }
  const trov::Covariate covariate{trov::build_design(points, true),
                                  trov::compressx(points.x, points.counts, n)};
  const trov::FitOptions options{.model = trov::Model::binomial, .maxit = 5, .stop = stop};
  trov::BackfitWork work(n, covariate.groups.size);
  int niter = 0;
  for (auto _ : state) {
    const trov::FitResult& fit = trov::backfit(0.5, points, points.y, covariate, options, work);
    niter = fit.iterations;
    benchmark::DoNotOptimize(fit.gcv);
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
