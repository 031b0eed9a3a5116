#include "engine/api/traits.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <exception>
#include <set>
#include <span>

#include "engine/additive/design.h"
#include "engine/additive/gradients.h"
#include "engine/additive/penalized_fit.h"
#include "engine/additive/reml_search.h"
#include "engine/spline/links.h"

namespace trov::api {

namespace {

constexpr int kMostLevels = 20;
constexpr int kLeastDistinct = 4;

Error refused(ErrorCode code, std::string text) { return {code, std::move(text)}; }

// The faults of the data and settings, before any fit; the names of the traits.
std::optional<Error> check(const TraitsData& data, const Settings& settings, const TraitsModel& shape,
                           std::vector<std::string>& names) {
  if (settings.model != Model::normal && settings.model != Model::binomial &&
      settings.model != Model::poisson)
    return refused(ErrorCode::settings, "the model is not one of normal, binomial and Poisson");
  if (settings.criterion != Criterion::reml)
    return refused(ErrorCode::settings, "the traits' lambdas are chosen by REML: criterion must be reml");
  if (settings.bootstrapped())
    return refused(ErrorCode::settings,
                   "the analysis of several traits has no bootstrap: bootstrap must be 0");
  if (settings.lnlambda &&
      !(*settings.lnlambda >= std::log(kLeastLambda) && *settings.lnlambda <= std::log(kMostLambda)))
    return refused(ErrorCode::settings,
                   "ln(lambda) must lie within ln(1e-8) and ln(1e12) (-18.42 and 27.63)");
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

TraitsOutcome analyse_checked(const TraitsData& data, const Settings& settings, const TraitsModel& shape,
                              const std::vector<std::string>& names) {
  const int knots = shape.knots;
  const std::size_t cases = data.y.size(), m = data.traits.size();
  const std::vector<double> counts = data.n.empty() ? std::vector<double>(cases, 1.0) : data.n;
  std::vector<std::span<const double>> traits;
  for (const auto& t : data.traits) traits.emplace_back(t);
  std::vector<CovariateColumn> covariates;
  for (const auto& c : data.covariates) covariates.push_back({c.values, c.categorical});
  const AdditiveDesign design = additive_design(traits, knots, counts, covariates);

  AdditiveFitter fitter(design, data.y, counts, settings.model);
  TraitsResults results;
  AdditiveFit fit;
  std::vector<bool> at_most(m, false);
  if (settings.lnlambda) {
    fit = fitter.fit(std::vector<double>(m, std::exp(*settings.lnlambda)));
    std::fill(at_most.begin(), at_most.end(), std::exp(*settings.lnlambda) >= kMostLambda);
  } else {
    RemlChoice choice = choose_lambdas(fitter, design);
    fit = std::move(choice.fit);
    at_most = choice.at_most;
    results.reml_iterations = choice.iterations;
    if (fit.ok() && !choice.converged)
      results.warnings.push_back("reml_not_converged: the choice of lambdas by REML did not settle in " +
                                 std::to_string(choice.iterations) + " Newton steps");
  }
  if (fit.end == AdditiveFitEnd::not_positive_definite)
    return refused(ErrorCode::design,
                   "the model cannot be solved: its columns are collinear (a covariate constant, or "
                   "determined by the others or the traits)");
  if (!fit.ok())
    return refused(
        ErrorCode::weight_vanished,
        "the fit ran away: the responses separate (a weight vanished) or the iteration did not converge");

  results.cases = static_cast<int>(cases);
  std::vector<double> coordinates;
  design.coordinates_of(fit.beta, coordinates);
  for (double c : counts) results.observations += c;
  for (std::size_t a = 0; a < m; ++a) {
    const SmoothTerm& term = design.smooths[a];
    TraitSmooth smooth{.name = names[a],
                       .knots = term.basis.knots(),
                       .knot_values = term.knot_values(std::span<const double>(fit.beta).subspan(
                           static_cast<std::size_t>(term.first), static_cast<std::size_t>(term.columns))),
                       .lambda = fit.lambda[a],
                       .edf = fit.edf[a],
                       .linear = at_most[a]};
    for (std::size_t i = 0; i < cases; ++i)
      smooth.fitted.push_back(design.dot(static_cast<int>(i), coordinates, static_cast<int>(1 + 4 * a), 4));
    if (smooth.linear)
      results.warnings.push_back("linear: the smooth of " + names[a] +
                                 " is a straight line on the link scale (its lambda at the upper bound)");
    results.smooths.push_back(std::move(smooth));
  }
  results.intercept = fit.beta[0];
  for (std::size_t c = 0; c < data.covariates.size(); ++c) {
    if (!data.covariates[c].categorical) {
      results.coefficient_names.push_back(data.covariates[c].name);
      continue;
    }
    const std::vector<double>& levels = design.levels[c];
    for (std::size_t l = 1; l < levels.size(); ++l)
      results.coefficient_names.push_back(data.covariates[c].name + "[" + level_text(levels[l]) + "]");
  }
  results.coefficients.assign(fit.beta.begin() + design.covariate_first, fit.beta.end());
  results.edf = fit.total_edf;
  results.reml = fit.reml;
  results.deviance = fit.deviance;
  results.eta = fit.eta;
  for (double e : fit.eta) results.fitted.push_back(mean_at_eta(e, settings.model));

  const AdditiveGradients g =
      additive_gradients(design, traits, data.y, counts, fit.eta, fit.beta, settings.model);
  TraitsGradients& out = results.gradients;
  out.mean_fitness = g.mean_fitness;
  out.trait_mean = g.trait_mean;
  out.trait_sd = g.trait_sd;
  auto estimates = [](const std::vector<double>& values) {
    std::vector<Estimate> e;
    for (double v : values) e.push_back({v, NAN, NAN, NAN, NAN});
    return e;
  };
  out.beta = estimates(g.beta);
  out.beta_standardized = estimates(g.beta_standardized);
  out.gamma = estimates(g.gamma);
  out.gamma_standardized = estimates(g.gamma_standardized);
  out.lande_arnold_beta = estimates(g.lande_arnold_beta);
  out.lande_arnold_gamma = estimates(g.lande_arnold_gamma);
  for (std::size_t a = 0; a < m; ++a) {
    out.beta_names.push_back("beta[" + names[a] + "]");
    for (std::size_t b = 0; b < m; ++b) out.gamma_names.push_back("gamma[" + names[a] + "," + names[b] + "]");
  }
  return results;
}

}  // namespace

TraitsOutcome analyse_traits(const TraitsData& data, const Settings& settings, const TraitsModel& shape,
                             int /*workers*/, const Control& /*control*/) {
  try {
    std::vector<std::string> names;
    if (auto fault = check(data, settings, shape, names)) return *fault;
    return analyse_checked(data, settings, shape, names);
  } catch (const std::bad_alloc&) {
    return refused(ErrorCode::engine_failure, "not enough memory for the analysis");
  } catch (const std::exception& e) {
    return refused(ErrorCode::engine_failure, std::string("the analysis failed: ") + e.what());
  }
}

}  // namespace trov::api
