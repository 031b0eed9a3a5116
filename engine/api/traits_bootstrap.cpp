#include "engine/api/traits_bootstrap.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <set>

#include "engine/analysis/workers.h"
#include "engine/spline/links.h"

namespace trov::api {

namespace {

using Index = std::size_t;

constexpr int kMostRedraws = 100;
constexpr int kLeastDistinct = 4;

// One replicate's drawn responses (parametric), or its drawn cases with their own columns.
struct Draw {
  std::vector<std::vector<double>> traits;
  std::vector<double> y, counts;
  std::vector<CovariateColumn> covariates;
  FunctionData data() const {
    FunctionData d{.y = y, .counts = counts, .covariates = covariates};
    for (const auto& t : traits) d.traits.emplace_back(t);
    return d;
  }
};

bool constant(std::span<const double> v) {
  return std::all_of(v.begin(), v.end(), [&](double e) { return e == v.front(); });
}

// y* around the fitted means: binomial k/N with k ~ Binomial(N, mu), Poisson the mean of N counts of
// mean mu, normal mu + sqrt(scale / N) z.
void draw_responses(const FittedFunction& f, const FunctionData& data, Model model,
                    std::mt19937_64& generator, std::vector<double>& y) {
  y.resize(data.y.size());
  for (Index i = 0; i < y.size(); ++i) {
    const double mu = mean_at_eta(f.fit.eta[i], model), n = data.counts[i];
    switch (model) {
      case Model::binomial:
        y[i] = std::binomial_distribution<long>(static_cast<long>(n), mu)(generator) / n;
        break;
      case Model::poisson:
        y[i] = static_cast<double>(std::poisson_distribution<long>(n * mu)(generator)) / n;
        break;
      default:
        y[i] = mu + std::sqrt(f.scale / n) * std::normal_distribution<double>()(generator);
    }
  }
}

bool draw_cases(const FunctionData& data, std::mt19937_64& generator, Draw& draw) {
  const Index n = data.y.size();
  std::uniform_int_distribution<Index> pick(0, n - 1);
  std::vector<Index> index(n);
  for (Index& i : index) i = pick(generator);
  auto column = [&](std::span<const double> from) {
    std::vector<double> out(n);
    for (Index i = 0; i < n; ++i) out[i] = from[index[i]];
    return out;
  };
  draw.traits.clear();
  for (const auto& t : data.traits) {
    draw.traits.push_back(column(t));
    if (std::set<double>(draw.traits.back().begin(), draw.traits.back().end()).size() < kLeastDistinct)
      return false;
  }
  draw.y = column(data.y);
  draw.counts = column(data.counts);
  draw.covariates.clear();
  for (const auto& c : data.covariates) draw.covariates.push_back({column(c.values), c.categorical});
  return !constant(draw.y);
}

ReplicateValues replicate(const FunctionData& data, const FunctionShape& shape,
                          const FittedFunction& observed, const Settings& settings, int number,
                          int& degenerate) {
  std::seed_seq seed{static_cast<std::uint32_t>(settings.seed), static_cast<std::uint32_t>(number)};
  std::mt19937_64 generator(seed);
  const bool cases = settings.bootstrap_type == BootstrapType::cases;
  Draw draw;
  bool drawn = false;
  for (int attempt = 0; attempt <= kMostRedraws && !drawn; ++attempt) {
    if (cases) {
      drawn = draw_cases(data, generator, draw);
    } else {
      draw_responses(observed, data, shape.model, generator, draw.y);
      drawn = !constant(draw.y);
    }
    if (!drawn) ++degenerate;
  }
  if (!drawn) return {};
  FunctionShape own = shape;
  RemlStart start;
  if (settings.bootstrap_lambda == BootstrapLambda::fixed || shape.lambda) {
    own.lambda = observed.fit.lambda;
  } else {
    for (double l : observed.fit.lambda) start.rho.push_back(std::log(l));
  }
  if (!cases) start.beta = observed.fit.beta;            // the same design: the data's fit is a near start
  FunctionData drawn_data = cases ? draw.data() : data;  // parametric: the data's own traits
  if (!cases) drawn_data.y = draw.y;
  const FittedFunction f = fit_function(drawn_data, own, start);
  if (!f.fit.ok()) return {};
  ReplicateValues values{.fitted = true, .gradients = gradient_values(f.gradients), .peak = f.peak.inside};
  if (values.peak) values.peak_values = peak_values(f, shape.model);
  return values;
}

}  // namespace

std::vector<double> gradient_values(const AdditiveGradients& g) {
  std::vector<double> v;
  for (const auto* part :
       {&g.beta, &g.beta_standardized, &g.beta_mean_standardized, &g.lande_arnold_beta, &g.gamma,
        &g.gamma_standardized, &g.gamma_mean_standardized, &g.lande_arnold_gamma})
    v.insert(v.end(), part->begin(), part->end());
  return v;
}

std::vector<double> peak_values(const FittedFunction& f, Model model) {
  std::vector<double> v = f.peak.location;
  v.push_back(mean_at_eta(f.offset + f.peak.smooths, model));
  return v;
}

TraitsReplicates bootstrap_traits(const FunctionData& data, const FunctionShape& shape,
                                  const FittedFunction& observed, const Settings& settings, int workers,
                                  const Control& control) {
  const int total = settings.bootstrap;
  TraitsReplicates out;
  out.replicates.resize(static_cast<Index>(total));
  std::vector<int> degenerate(static_cast<Index>(total), 0);
  WorkerPool pool(std::max(1, std::min(workers, total)));
  // batches of a few replicates per worker, so that progress is told and a stop heard between them
  const int batch = 4 * pool.size();
  for (int begin = 0; begin < total; begin += batch) {
    if (control.stop && control.stop->load(std::memory_order_relaxed)) {
      out.stopped = true;
      return out;
    }
    const int count = std::min(batch, total - begin);
    pool.run(count, [&](int, int item) {
      const int r = begin + item;
      out.replicates[static_cast<Index>(r)] =
          replicate(data, shape, observed, settings, r + 1, degenerate[static_cast<Index>(r)]);
    });
    if (control.progress) control.progress(begin + count, total);
  }
  for (int d : degenerate) out.degenerate += d;
  return out;
}

}  // namespace trov::api
