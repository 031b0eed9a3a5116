#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "bench/engine_process.h"
#include "engine/core/grouping.h"
#include "engine/covariate/design.h"
#include "engine/fit/converged.h"
#include "engine/fit/fitter.h"
#include "engine/fit/search.h"

namespace {

constexpr int kPoints = 10000;

double uniform(std::uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(state >> 11) * 0x1p-53;
}

// Binomial points, 10000 of them. Shape 0, no covariate: at 10000 distinct X; shape 1, a categorical
// covariate of 20 levels at 500 distinct X, a point of every level at each, one to four trials per point;
// shape 2, the survival data of the whole-run benchmarks: 0/1 outcomes, each case at its own X, 20 levels.
struct Run {
  trov::Points points;
  std::optional<trov::Covariate> covariate;

  explicit Run(int shape) {
    if (shape == 2) {
      bench::survival_cases(kPoints, 20, [&](int y, double x, int level) { add(x, y, level, 1); });
    } else {
      std::uint64_t seed = 3;
      for (int i = 0; i < kPoints; ++i) {
        const double x = shape == 1 ? 1 + i / 20 : 1 + i * 0.05;
        const int level = shape == 1 ? i % 20 : 0;
        const int irep = 1 + static_cast<int>(4 * uniform(seed));
        const double probability = 1 / (1 + std::exp(-(2 * std::sin(x / 80) + 0.05 * level)));
        int successes = 0;
        for (int k = 0; k < irep; ++k) successes += uniform(seed) < probability;
        add(x, static_cast<double>(successes) / irep, level, irep);
      }
    }
    if (shape > 0)
      covariate = trov::Covariate{trov::build_design(points, true),
                                  trov::compressx(points.x, points.counts, kPoints)};
  }
  void add(double x, double y, int level, int irep) {
    points.x.push_back(x);
    points.y.push_back(y);
    points.covariate.push_back(level);
    points.counts.push_back(irep);
    ++points.n;
  }
  const trov::Covariate* with() const { return covariate ? &*covariate : nullptr; }
};

// The classic fits of a 21-lambda grid from ln(lambda) -10 to 10 (maxit 5, stop 0.005), and with
// argument 1 also the converged fit at every lambda. Argument 2: the shape of the data, as above. The
// ratio of the two times is the cost of the converged fits.
void BM_grid(benchmark::State& state) {
  const bool converged = state.range(0) == 1;
  const Run run(static_cast<int>(state.range(1)));
  const trov::FitOptions options{.model = trov::Model::binomial};
  trov::Fitter fitter(run.points, run.with(), options);
  trov::ConvergedFitter penalized(run.points, run.with(), options.model);
  int steps = 0, not_ok = 0;
  for (auto _ : state) {
    steps = not_ok = 0;
    for (int k = 0; k < 21; ++k) {
      const double lambda = std::exp(k - 10.0);
      const trov::FitResult& fit = fitter.fit(lambda, run.points.y);
      benchmark::DoNotOptimize(fit.gcv);
      if (converged) {
        const trov::ConvergedFit& best = penalized.fit(lambda, run.points.y);
        steps += best.iterations;
        not_ok += best.ok ? 0 : 1;
        benchmark::DoNotOptimize(best.gcv);
      }
    }
  }
  state.counters["newton_steps"] = steps;
  state.counters["not_ok"] = not_ok;
}
BENCHMARK(BM_grid)
    ->ArgNames({"converged", "shape"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// The refinement of one converged minimum (GCV, then REML) between the grid rows -1 and 1 around
// ln(lambda) = 0.
void BM_refine(benchmark::State& state) {
  const Run run(static_cast<int>(state.range(0)));
  trov::ConvergedFitter penalized(run.points, run.with(), trov::Model::binomial);
  const std::vector<double> lnlambda = {-1, 0, 1};
  std::vector<double> gcv, reml, edf;
  for (double l : lnlambda) {
    const trov::ConvergedFit& fit = penalized.fit(std::exp(l), run.points.y);
    gcv.push_back(fit.gcv), reml.push_back(fit.reml), edf.push_back(fit.edf);
  }
  const trov::SearchSetting setting{.y = run.points.y,
                                    .interpolating_edf = static_cast<double>(run.points.n)};
  for (auto _ : state) {
    for (auto [score, values] :
         {std::pair{trov::Criterion::gcv, &gcv}, std::pair{trov::Criterion::reml, &reml}}) {
      const auto refined = trov::search_minimum(penalized, {lnlambda, *values, edf}, score, setting);
      benchmark::DoNotOptimize(refined);
    }
  }
}
BENCHMARK(BM_refine)
    ->ArgNames({"shape"})
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

}  // namespace
