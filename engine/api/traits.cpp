#include "engine/api/traits.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <exception>
#include <set>
#include <span>

#include "engine/additive/fitness_function.h"
#include "engine/analysis/workers.h"
#include "engine/api/traits_bootstrap.h"
#include "engine/fit/selection.h"
#include "engine/spline/links.h"

namespace trov::api {

namespace {

constexpr int kMostLevels = 20;
constexpr int kLeastDistinct = 4;

Error refused(ErrorCode code, std::string text) { return {code, std::move(text)}; }

// The faults of the data and settings, before any fit; the names of the traits.
std::optional<Error> check(const TraitsData& data, const Settings& settings, const TraitsModel& shape,
                           int workers, std::vector<std::string>& names) {
  if (settings.model != Model::normal && settings.model != Model::binomial &&
      settings.model != Model::poisson)
    return refused(ErrorCode::settings, "the model is not one of normal, binomial and Poisson");
  if (settings.criterion != Criterion::reml)
    return refused(ErrorCode::settings, "the traits' lambdas are chosen by REML: criterion must be reml");
  if (settings.bootstrapped() && settings.bootstrap > 100000)
    return refused(ErrorCode::settings, "bootstrap must be at most 100000 replicates");
  if (settings.seed < 1 || settings.seed > 2147483646)
    return refused(ErrorCode::settings, "seed must be 1 to 2147483646");
  if (workers < 0) return refused(ErrorCode::settings, "workers must be 0 (every processor) or more");
  if (settings.lnlambda &&
      !(*settings.lnlambda >= std::log(kLeastLambda) && *settings.lnlambda <= std::log(kMostLambda)))
    return refused(ErrorCode::settings, "ln(lambda) must lie within ln(1e-8) and ln(1e9) (-18.42 and 20.72)");
  if (shape.knots < kLeastDistinct || shape.knots > 1000)
    return refused(ErrorCode::settings, "knots must be 4 to 1000 per trait");
  if (shape.surface_knots < kLeastDistinct || shape.surface_knots > 30)
    return refused(ErrorCode::settings, "surface_knots must be 4 to 30 per trait");
  if (shape.surface && data.traits.size() != 2)
    return refused(ErrorCode::settings, "a surface takes exactly two traits");
  const std::size_t cases = data.y.size();
  if (data.traits.empty()) return refused(ErrorCode::data, "there is no trait");
  if (!data.names.empty() && data.names.size() != data.traits.size())
    return refused(ErrorCode::data, "give one name per trait, or none");
  names = data.names;
  for (std::size_t a = names.size(); a < data.traits.size(); ++a) {
    std::string name = "x";
    names.push_back(name += std::to_string(a + 1));
  }
  if (std::set<std::string>(names.begin(), names.end()).size() != names.size())
    return refused(ErrorCode::data, "the traits' names must differ");
  bool lengths = data.n.empty() || data.n.size() == cases;
  for (const auto& t : data.traits) lengths = lengths && t.size() == cases;
  for (const auto& c : data.covariates) lengths = lengths && c.values.size() == cases;
  if (!lengths)
    return refused(ErrorCode::data, "every trait, y, n and every covariate must hold one value per case");
  if (cases > static_cast<std::size_t>(INT_MAX)) return refused(ErrorCode::data, "too many cases");
  if (cases == 0) return refused(ErrorCode::no_case, "there is no case");
  for (std::size_t i = 0; i < cases; ++i) {
    const std::string which = "case " + std::to_string(i + 1) + ": ";
    bool finite = std::isfinite(data.y[i]);
    for (const auto& t : data.traits) finite = finite && std::isfinite(t[i]);
    for (const auto& c : data.covariates) finite = finite && std::isfinite(c.values[i]);
    if (!finite) return refused(ErrorCode::data, which + "a value is not a finite number");
    if (!data.n.empty()) {
      const double n = data.n[i];
      if (!(n >= 1 && n <= INT_MAX && n == std::floor(n)))
        return refused(ErrorCode::data, which + "n must be a whole number from 1 to 2147483647");
    }
    if (settings.model != Model::normal && data.y[i] < 0)
      return refused(ErrorCode::negative_y,
                     which + "y must not be negative for the binomial and Poisson models");
    if (settings.model == Model::binomial && data.y[i] > 1)
      return refused(ErrorCode::y_above_one,
                     which + "y must not exceed 1 for the binomial model (a proportion of n)");
  }
  const auto [low, high] = std::minmax_element(data.y.begin(), data.y.end());
  if (*low == *high) return refused(ErrorCode::no_variance, "y has no variance");
  for (std::size_t a = 0; a < data.traits.size(); ++a)
    if (std::set<double>(data.traits[a].begin(), data.traits[a].end()).size() < kLeastDistinct)
      return refused(ErrorCode::few_distinct_x, "trait " + names[a] + " has fewer than 4 distinct values");
  for (const auto& c : data.covariates)
    if (c.categorical && std::set<double>(c.values.begin(), c.values.end()).size() > kMostLevels)
      return refused(ErrorCode::too_many_levels, "covariate " + c.name + " has more than 20 levels");
  return std::nullopt;
}

// A level as its shortest round-trip decimal ("2", "0.5").
std::string level_text(double level) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, level).ptr;
  return std::string(text, end);
}

constexpr int kCurvePoints = 101;
constexpr int kGridPoints = 41;

std::vector<double> spaced(std::span<const double> x, int points) {
  const auto [low, high] = std::minmax_element(x.begin(), x.end());
  std::vector<double> out;
  for (int i = 0; i < points; ++i) out.push_back(*low + (*high - *low) * i / (points - 1));
  return out;
}

std::vector<Estimate> estimates(std::span<const double> values) {
  std::vector<Estimate> e;
  for (double v : values) e.push_back({v, NAN, NAN, NAN, NAN});
  return e;
}

// Each estimate's spread over the replicates' values (the k-th target's at each replicate's k-th).
void spread(const std::vector<Estimate*>& targets,
            const std::vector<const std::vector<double>*>& replicates) {
  for (std::size_t k = 0; k < targets.size(); ++k) {
    std::vector<double> values;
    for (const auto* r : replicates) values.push_back((*r)[k]);
    if (values.size() < 2) continue;
    const ReplicateSummary s = summarize_replicates(values);
    *targets[k] = {targets[k]->value, s.se, s.p, s.lower, s.upper};
  }
}

// The results of the data's fitted function (without the bootstrap's spread).
TraitsResults results_of(const FittedFunction& f, const TraitsData& data, std::span<const double> counts,
                         const std::vector<std::string>& names, const TraitsModel& shape, Model model) {
  const std::size_t cases = data.y.size(), m = data.traits.size();
  const AdditiveDesign& design = f.design;
  TraitsResults results;
  results.cases = static_cast<int>(cases);
  results.names = names;
  for (double c : counts) results.observations += c;
  std::size_t l = 0;
  for (const SmoothTerm& term : design.smooths) {
    std::vector<double> fitted;
    for (std::size_t i = 0; i < cases; ++i)
      fitted.push_back(design.dot(static_cast<int>(i), f.coordinates, term.entry_first, term.entries));
    const bool linear = std::all_of(f.at_most.begin() + static_cast<std::ptrdiff_t>(l),
                                    f.at_most.begin() + static_cast<std::ptrdiff_t>(l) + term.lambdas(),
                                    [](bool b) { return b; });
    const std::size_t k = results.smooths.size();
    if (shape.surface) {
      TraitSurface surface{.names = names,
                           .lambda = {f.fit.lambda[l], f.fit.lambda[l + 1]},
                           .edf = f.fit.edf[0],
                           .grid_a = spaced(data.traits[0], kGridPoints),
                           .grid_b = spaced(data.traits[1], kGridPoints)};
      for (double b : surface.grid_b)
        for (double a : surface.grid_a) {
          const double x[2] = {a, b};
          surface.grid_fitted.push_back(mean_at_eta(f.offset + term.at(x, f.coordinates).value, model));
        }
      if (linear)
        results.warnings.push_back(
            "linear: the surface is a plane on the link scale (both lambdas at the upper bound)");
      results.surface = std::move(surface);
    } else {
      TraitSmooth smooth{
          .name = names[k],
          .knots = term.bases[0].knots(),
          .knot_values = term.knot_values(
              std::span<const double>(f.fit.beta)
                  .subspan(static_cast<std::size_t>(term.first), static_cast<std::size_t>(term.columns))),
          .lambda = f.fit.lambda[l],
          .edf = f.fit.edf[k],
          .linear = linear,
          .fitted = std::move(fitted),
          .curve_x = spaced(data.traits[k], kCurvePoints)};
      const CurveBand band = curve_band(f, static_cast<int>(k), smooth.curve_x);
      for (std::size_t p = 0; p < band.eta.size(); ++p) {
        smooth.curve_fitted.push_back(mean_at_eta(band.eta[p], model));
        smooth.curve_lower.push_back(mean_at_eta(band.eta[p] - 1.96 * band.se[p], model));
        smooth.curve_upper.push_back(mean_at_eta(band.eta[p] + 1.96 * band.se[p], model));
      }
      if (linear)
        results.warnings.push_back("linear: the smooth of " + names[k] +
                                   " is a straight line on the link scale (its lambda at the upper bound)");
      results.smooths.push_back(std::move(smooth));
    }
    l += static_cast<std::size_t>(term.lambdas());
  }
  results.intercept = f.fit.beta[0];
  for (std::size_t c = 0; c < data.covariates.size(); ++c) {
    if (!data.covariates[c].categorical) {
      results.coefficient_names.push_back(data.covariates[c].name);
      continue;
    }
    const std::vector<double>& levels = design.levels[c];
    for (std::size_t v = 1; v < levels.size(); ++v)
      results.coefficient_names.push_back(data.covariates[c].name + "[" + level_text(levels[v]) + "]");
  }
  results.coefficients.assign(f.fit.beta.begin() + design.covariate_first, f.fit.beta.end());
  results.edf = f.fit.total_edf;
  results.reml = f.fit.reml;
  results.deviance = f.fit.deviance;
  results.scale = f.scale;
  results.reml_iterations = f.reml_iterations;
  results.eta = f.fit.eta;
  for (double e : f.fit.eta) results.fitted.push_back(mean_at_eta(e, model));

  const AdditiveGradients& g = f.gradients;
  TraitsGradients& out = results.gradients;
  out.mean_fitness = g.mean_fitness;
  out.trait_mean = g.trait_mean;
  out.trait_sd = g.trait_sd;
  out.beta = estimates(g.beta);
  out.beta_standardized = estimates(g.beta_standardized);
  out.beta_mean_standardized = estimates(g.beta_mean_standardized);
  out.lande_arnold_beta = estimates(g.lande_arnold_beta);
  out.gamma = estimates(g.gamma);
  out.gamma_standardized = estimates(g.gamma_standardized);
  out.gamma_mean_standardized = estimates(g.gamma_mean_standardized);
  out.lande_arnold_gamma = estimates(g.lande_arnold_gamma);
  for (std::size_t a = 0; a < m; ++a) {
    out.beta_names.push_back("beta[" + names[a] + "]");
    for (std::size_t b = 0; b < m; ++b) out.gamma_names.push_back("gamma[" + names[a] + "," + names[b] + "]");
  }
  if (f.peak.inside) {
    const std::vector<double> v = peak_values(f, model);
    results.peak.inside = true;
    results.peak.location = estimates(std::span<const double>(v).first(m));
    results.peak.height = {v.back(), NAN, NAN, NAN, NAN};
  }
  return results;
}

// The bootstrap's spread into the estimates: the gradients over every fitted replicate, the peak over
// those with a peak inside their data.
void add_spread(TraitsResults& results, const TraitsReplicates& draws) {
  std::vector<const std::vector<double>*> gradients, peaks;
  for (const ReplicateValues& r : draws.replicates) {
    if (r.fitted) gradients.push_back(&r.gradients);
    if (r.peak) peaks.push_back(&r.peak_values);
  }
  TraitsGradients& g = results.gradients;
  std::vector<Estimate*> targets;
  for (auto* part : {&g.beta, &g.beta_standardized, &g.beta_mean_standardized, &g.lande_arnold_beta, &g.gamma,
                     &g.gamma_standardized, &g.gamma_mean_standardized, &g.lande_arnold_gamma})
    for (Estimate& e : *part) targets.push_back(&e);
  spread(targets, gradients);
  Peak& peak = results.peak;
  peak.replicates = static_cast<int>(peaks.size());
  if (peak.inside) {
    targets.clear();
    for (Estimate& e : peak.location) targets.push_back(&e);
    targets.push_back(&peak.height);
    spread(targets, peaks);
  }
}

TraitsOutcome analyse_checked(const TraitsData& data, const Settings& settings, const TraitsModel& shape,
                              const std::vector<std::string>& names, int workers, const Control& control) {
  const std::size_t cases = data.y.size(), m = data.traits.size();
  const std::vector<double> counts = data.n.empty() ? std::vector<double>(cases, 1.0) : data.n;
  FunctionData function_data{.y = data.y, .counts = counts};
  for (const auto& t : data.traits) function_data.traits.emplace_back(t);
  for (const auto& c : data.covariates) function_data.covariates.push_back({c.values, c.categorical});
  FunctionShape function_shape{.model = settings.model,
                               .surface = shape.surface,
                               .knots = shape.surface ? shape.surface_knots : shape.knots};
  if (settings.lnlambda) function_shape.lambda.emplace(shape.surface ? 2 : m, std::exp(*settings.lnlambda));
  const FittedFunction f = fit_function(function_data, function_shape);
  if (f.fit.end == AdditiveFitEnd::not_positive_definite)
    return refused(ErrorCode::design,
                   "the model cannot be solved: its columns are collinear (a covariate constant, or "
                   "determined by the others or the traits)");
  if (!f.fit.ok())
    return refused(
        ErrorCode::weight_vanished,
        "the fit ran away: the responses separate (a weight vanished) or the iteration did not converge");
  TraitsResults results = results_of(f, data, counts, names, shape, settings.model);
  if (!f.reml_converged)
    results.warnings.push_back("reml_not_converged: the choice of lambdas by REML did not settle in " +
                               std::to_string(f.reml_iterations) + " Newton steps");
  if (!settings.bootstrapped()) return results;
  const int threads = workers == 0 ? available_processors() : std::min(workers, available_processors());
  const TraitsReplicates draws =
      bootstrap_traits(function_data, function_shape, f, settings, threads, control);
  if (draws.stopped) return refused(ErrorCode::interrupted, "the analysis was stopped");
  add_spread(results, draws);
  TraitsBootstrap& b = results.bootstrap.emplace();
  b.replicates = settings.bootstrap;
  b.type = settings.bootstrap_type;
  b.lambda = settings.bootstrap_lambda;
  b.degenerate = draws.degenerate;
  for (const ReplicateValues& r : draws.replicates) b.failed += r.fitted ? 0 : 1;
  if (b.failed > 0)
    results.warnings.push_back("bootstrap_failed: " + std::to_string(b.failed) + " of " +
                               std::to_string(b.replicates) +
                               " replicates had no fit and are left out of the spread");
  return results;
}

}  // namespace

TraitsOutcome analyse_traits(const TraitsData& data, const Settings& settings, const TraitsModel& shape,
                             int workers, const Control& control) {
  try {
    std::vector<std::string> names;
    if (auto fault = check(data, settings, shape, workers, names)) return *fault;
    return analyse_checked(data, settings, shape, names, workers, control);
  } catch (const std::bad_alloc&) {
    return refused(ErrorCode::engine_failure, "not enough memory for the analysis");
  } catch (const std::exception& e) {
    return refused(ErrorCode::engine_failure, std::string("the analysis failed: ") + e.what());
  }
}

}  // namespace trov::api
