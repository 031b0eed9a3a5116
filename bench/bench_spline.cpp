#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/spline/glisp.h"
#include "engine/spline/links.h"
#include "engine/spline/smths.h"

namespace {

// Unevenly spaced knots with a wavy response and uneven standard deviations.
struct Data {
  std::vector<double> x, y, dy;
  std::vector<int> counts;
};

Data make_data(int n, bool proportions) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> gap(0.1, 1.0), unit(0.0, 1.0);
  Data data;
  double x = 0;
  for (int i = 0; i < n; ++i) {
    x += gap(rng);
    data.x.push_back(x);
    const double nu = std::sin(6.0 * i / n) * 2;
    const double mean = 1 / (1 + std::exp(-nu));
    data.y.push_back(proportions ? (unit(rng) < mean ? 1.0 : 0.0) : nu + unit(rng));
    data.dy.push_back(0.5 + unit(rng));
    data.counts.push_back(1 + static_cast<int>(3 * unit(rng)));
  }
  return data;
}

void BM_smths(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Data data = make_data(n, false);
  trov::SplineWork work(n);
  std::vector<double> fit(n), lev(n);
  double trace = 0;
  for (auto _ : state) {
    trace = trov::smths(std::exp(2.0), data.x, data.y, data.dy, fit, lev, work);
    benchmark::DoNotOptimize(fit.data());
    benchmark::DoNotOptimize(trace);
  }
}
BENCHMARK(BM_smths)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Binomial fit, five iterations (tolerance 0 never converges early).
void BM_glisp_binomial(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Data data = make_data(n, true);
  trov::GlispWork work(n);
  const trov::FitOptions options{.model = trov::Model::binomial, .maxit = 5, .stop = 0.0};
  const trov::FitResult* fit = nullptr;
  for (auto _ : state) {
    fit = &trov::glisp(std::exp(2.0), data.x, data.y, data.counts, options, work);
    benchmark::DoNotOptimize(fit->mean.data());
  }
  if (fit->status != trov::FitStatus::ok || fit->iterations != 5)
    state.SkipWithError("fit failed or stopped early");
}
BENCHMARK(BM_glisp_binomial)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
