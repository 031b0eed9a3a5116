#include "engine/api/traits_document.h"

#include <cmath>
#include <cstddef>
#include <span>

#include "common/options_file.h"
#include "engine/core/model.h"

namespace trov::api {

using Json = nlohmann::ordered_json;

namespace {

Json number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

Json numbers(std::span<const double> values) {
  Json list = Json::array();
  for (double v : values) list.push_back(number(v));
  return list;
}

// One field of estimates as a list, or as M rows of M (gamma[a * M + b] in row a).
Json field(std::span<const Estimate> estimates, double Estimate::*member, std::size_t rows) {
  Json list = Json::array();
  for (const Estimate& e : estimates) list.push_back(number(e.*member));
  if (rows == 0) return list;
  Json matrix = Json::array();
  const std::size_t width = estimates.size() / rows;
  for (std::size_t a = 0; a < rows; ++a)
    matrix.push_back(Json(list.begin() + static_cast<std::ptrdiff_t>(a * width),
                          list.begin() + static_cast<std::ptrdiff_t>((a + 1) * width)));
  return matrix;
}

// Estimates as {"estimate": [...], "se", "p", "lower", "upper"}; rows > 0: each an M x M matrix.
Json estimates(std::span<const Estimate> values, std::size_t rows = 0) {
  return {{"estimate", field(values, &Estimate::value, rows)},
          {"se", field(values, &Estimate::se, rows)},
          {"p", field(values, &Estimate::p, rows)},
          {"lower", field(values, &Estimate::lower, rows)},
          {"upper", field(values, &Estimate::upper, rows)}};
}

Json smooth(const TraitSmooth& s) {
  return {{"name", s.name},
          {"lnlambda", number(std::log(s.lambda))},
          {"edf", number(s.edf)},
          {"linear", s.linear},
          {"curve",
           {{"x", numbers(s.curve_x)},
            {"fitted", numbers(s.curve_fitted)},
            {"lower", numbers(s.curve_lower)},
            {"upper", numbers(s.curve_upper)}}}};
}

// The grid's fitted values as rows, one per grid_b value, each across grid_a.
Json surface(const TraitSurface& s) {
  Json lnlambda = Json::array();
  for (double lambda : s.lambda) lnlambda.push_back(number(std::log(lambda)));
  Json rows = Json::array();
  const std::size_t width = s.grid_a.size();
  for (std::size_t j = 0; width > 0 && (j + 1) * width <= s.grid_fitted.size(); ++j)
    rows.push_back(numbers(std::span(s.grid_fitted).subspan(j * width, width)));
  return {{"names", s.names},
          {"lnlambda", lnlambda},
          {"edf", number(s.edf)},
          {"grid_a", numbers(s.grid_a)},
          {"grid_b", numbers(s.grid_b)},
          {"fitted", rows}};
}

Json gradients(const TraitsGradients& g) {
  const std::size_t m = g.beta.size();
  return {{"mean_fitness", number(g.mean_fitness)},
          {"trait_mean", numbers(g.trait_mean)},
          {"trait_sd", numbers(g.trait_sd)},
          {"beta", estimates(g.beta)},
          {"beta_standardized", estimates(g.beta_standardized)},
          {"beta_mean_standardized", estimates(g.beta_mean_standardized)},
          {"lande_arnold_beta", estimates(g.lande_arnold_beta)},
          {"gamma", estimates(g.gamma, m)},
          {"gamma_standardized", estimates(g.gamma_standardized, m)},
          {"gamma_mean_standardized", estimates(g.gamma_mean_standardized, m)},
          {"lande_arnold_gamma", estimates(g.lande_arnold_gamma, m)}};
}

Json peak(const Peak& p) {
  Json location = nullptr, height = nullptr;
  if (p.inside) {
    const Json all = estimates(p.location);
    location = {
        {"estimate", all["estimate"]}, {"se", all["se"]}, {"lower", all["lower"]}, {"upper", all["upper"]}};
    height = {{"estimate", number(p.height.value)},
              {"se", number(p.height.se)},
              {"lower", number(p.height.lower)},
              {"upper", number(p.height.upper)}};
  }
  return {{"inside", p.inside}, {"location", location}, {"height", height}, {"replicates", p.replicates}};
}

Json bootstrap(const std::optional<TraitsBootstrap>& b) {
  if (!b) return nullptr;
  return {{"replicates", b->replicates},
          {"type", bootstrap_type_name(b->type)},
          {"lambda", bootstrap_lambda_name(b->lambda)},
          {"degenerate", b->degenerate},
          {"failed", b->failed}};
}

// Each case's traits under their names, then y, n (1 each where none were given) and the fitted value.
Json points(const TraitsData& data, const TraitsResults& results) {
  Json points;
  for (std::size_t a = 0; a < results.names.size() && a < data.traits.size(); ++a)
    points[results.names[a]] = numbers(data.traits[a]);
  points["y"] = numbers(data.y);
  points["n"] = data.n.empty() ? Json(std::vector<double>(data.y.size(), 1.0)) : numbers(data.n);
  points["fitted"] = numbers(results.fitted);
  return points;
}

}  // namespace

Json traits_document(const TraitsData& data, const TraitsResults& results, Model model) {
  Json coefficients = Json::object();
  for (std::size_t k = 0; k < results.coefficient_names.size() && k < results.coefficients.size(); ++k)
    coefficients[results.coefficient_names[k]] = number(results.coefficients[k]);
  Json smooths = Json::array();
  for (const TraitSmooth& s : results.smooths) smooths.push_back(smooth(s));
  return {{"names", results.names},
          {"shape", results.surface ? "surface" : "additive"},
          {"model", model_name(model)},
          {"cases", results.cases},
          {"observations", number(results.observations)},
          {"edf", number(results.edf)},
          {"reml", number(results.reml)},
          {"deviance", number(results.deviance)},
          {"scale", number(results.scale)},
          {"reml_iterations", results.reml_iterations},
          {"intercept", number(results.intercept)},
          {"coefficients", coefficients},
          {"smooths", smooths},
          {"surface", results.surface ? surface(*results.surface) : Json(nullptr)},
          {"gradients", gradients(results.gradients)},
          {"peak", peak(results.peak)},
          {"bootstrap", bootstrap(results.bootstrap)},
          {"points", points(data, results)},
          {"warnings", results.warnings}};
}

}  // namespace trov::api
