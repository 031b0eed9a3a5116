// The analysis of two traits at 10,000 binary cases (correlational selection): the additive model and
// the surface, each with its lambdas chosen by REML.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "engine/api/traits.h"

namespace {

trov::api::TraitsData two_traits(int cases) {
  trov::api::TraitsData data{.names = {"a", "b"}, .traits = {{}, {}}, .y = {}, .n = {}, .covariates = {}};
  std::uint64_t state = 2387498;
  auto uniform = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
  };
  for (int i = 0; i < cases; ++i) {
    // normal deviates by Box and Muller
    const double r = std::sqrt(-2 * std::log(uniform())), t = 6.283185307179586 * uniform();
    const double a = r * std::cos(t), b = 0.3 * a + r * std::sin(t);
    const double eta = 0.2 + 0.6 * a - 0.4 * a * a + 0.3 * b - 0.35 * a * b;
    data.traits[0].push_back(a);
    data.traits[1].push_back(b);
    data.y.push_back(uniform() < 1 / (1 + std::exp(-eta)) ? 1 : 0);
  }
  return data;
}

void traits_additive_10000(benchmark::State& state) {
  const trov::api::TraitsData data = two_traits(10000);
  for (auto _ : state) benchmark::DoNotOptimize(trov::api::analyse_traits(data, trov::api::Settings{}));
}

void traits_surface_10000(benchmark::State& state) {
  const trov::api::TraitsData data = two_traits(10000);
  const trov::api::TraitsModel surface{.surface = true, .knots = 20, .surface_knots = 8};
  for (auto _ : state)
    benchmark::DoNotOptimize(trov::api::analyse_traits(data, trov::api::Settings{}, surface));
}

}  // namespace

BENCHMARK(traits_additive_10000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(traits_surface_10000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
