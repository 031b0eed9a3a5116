// The package's side of trov::api::analyse_traits: several traits of one response at once, their
// covariates and the shape of the function in, the results out as R lists and data frames; and the
// additive smooths' values at new trait values, for predict().

#include <Rcpp.h>

#include <cmath>
#include <string>
#include <vector>

#include "bindings.h"
#include "engine/additive/cubic_basis.h"
#include "engine/api/traits.h"

using namespace trov_r;

namespace {

Rcpp::List estimates_frame(const std::vector<api::Estimate>& e) {
  using E = api::Estimate;
  return data_frame(Rcpp::List::create(_["estimate"] = column(e, [](const E& r) { return r.value; }),
                                       _["se"] = column(e, [](const E& r) { return r.se; }),
                                       _["p"] = column(e, [](const E& r) { return r.p; }),
                                       _["lower"] = column(e, [](const E& r) { return r.lower; }),
                                       _["upper"] = column(e, [](const E& r) { return r.upper; })));
}

// One row per gradient, each family's beta[a] per trait and then its gamma[a,b] for a <= b (gamma is
// symmetric), the families in the order of the one-trait table.
Rcpp::List gradients_frame(const api::TraitsGradients& g, const std::vector<std::string>& traits) {
  struct Family {
    const char* beta_name;
    const char* gamma_name;
    const std::vector<api::Estimate>* beta;
    const std::vector<api::Estimate>* gamma;
  };
  const Family families[] = {
      {"beta", "gamma", &g.beta, &g.gamma},
      {"beta_standardized", "gamma_standardized", &g.beta_standardized, &g.gamma_standardized},
      {"beta_mean_standardized", "gamma_mean_standardized", &g.beta_mean_standardized,
       &g.gamma_mean_standardized},
      {"lande_arnold_beta", "lande_arnold_gamma", &g.lande_arnold_beta, &g.lande_arnold_gamma}};
  const std::size_t m = traits.size();
  std::vector<api::Estimate> rows;
  std::vector<std::string> names;
  for (const Family& f : families) {
    for (std::size_t a = 0; a < m; ++a) {
      rows.push_back((*f.beta)[a]);
      names.push_back(std::string(f.beta_name) + "[" + traits[a] + "]");
    }
    for (std::size_t a = 0; a < m; ++a)
      for (std::size_t b = a; b < m; ++b) {
        rows.push_back((*f.gamma)[a * m + b]);
        names.push_back(std::string(f.gamma_name) + "[" + traits[a] + "," + traits[b] + "]");
      }
  }
  Rcpp::List frame = estimates_frame(rows);
  frame.attr("row.names") = Rcpp::CharacterVector(names.begin(), names.end());
  return frame;
}

Rcpp::List smooth_list(const api::TraitSmooth& s) {
  const Rcpp::List curve = data_frame(
      Rcpp::List::create(_["x"] = Rcpp::NumericVector(s.curve_x.begin(), s.curve_x.end()),
                         _["fitted"] = Rcpp::NumericVector(s.curve_fitted.begin(), s.curve_fitted.end()),
                         _["lower"] = Rcpp::NumericVector(s.curve_lower.begin(), s.curve_lower.end()),
                         _["upper"] = Rcpp::NumericVector(s.curve_upper.begin(), s.curve_upper.end())));
  return Rcpp::List::create(
      _["name"] = s.name, _["edf"] = s.edf, _["lnlambda"] = std::log(s.lambda), _["linear"] = s.linear,
      _["curve"] = curve, _["knots"] = Rcpp::NumericVector(s.knots.begin(), s.knots.end()),
      _["knot_values"] = Rcpp::NumericVector(s.knot_values.begin(), s.knot_values.end()),
      _["fitted"] = Rcpp::NumericVector(s.fitted.begin(), s.fitted.end()));
}

// The grid's fitness as a matrix: [i, j] at (grid_a[i], grid_b[j]), the library's order column by column.
Rcpp::List surface_list(const api::TraitSurface& s) {
  Rcpp::NumericVector lnlambda(s.lambda.size());
  for (std::size_t i = 0; i < s.lambda.size(); ++i) lnlambda[i] = std::log(s.lambda[i]);
  const auto rows = static_cast<int>(s.grid_a.size()), columns = static_cast<int>(s.grid_b.size());
  Rcpp::RObject fitted;
  if (static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns) == s.grid_fitted.size())
    fitted = Rcpp::NumericMatrix(rows, columns, s.grid_fitted.begin());
  return Rcpp::List::create(
      _["names"] = Rcpp::CharacterVector(s.names.begin(), s.names.end()), _["lnlambda"] = lnlambda,
      _["edf"] = s.edf, _["grid_a"] = Rcpp::NumericVector(s.grid_a.begin(), s.grid_a.end()),
      _["grid_b"] = Rcpp::NumericVector(s.grid_b.begin(), s.grid_b.end()), _["fitted"] = fitted);
}

Rcpp::List results_list(const api::TraitsResults& r, const std::vector<std::string>& traits) {
  Rcpp::List smooths(r.smooths.size());
  for (std::size_t a = 0; a < r.smooths.size(); ++a) smooths[a] = smooth_list(r.smooths[a]);
  Rcpp::RObject surface, bootstrap;  // NULL unless present
  if (r.surface) surface = surface_list(*r.surface);
  if (r.bootstrap) {
    const api::TraitsBootstrap& b = *r.bootstrap;
    bootstrap = Rcpp::List::create(_["replicates"] = b.replicates,
                                   _["type"] = kBootstrapTypes[static_cast<int>(b.type)],
                                   _["lambda"] = kBootstrapLambdas[static_cast<int>(b.lambda)],
                                   _["degenerate"] = b.degenerate, _["failed"] = b.failed);
  }
  Rcpp::NumericVector coefficients(r.coefficients.begin(), r.coefficients.end());
  coefficients.attr("names") = Rcpp::CharacterVector(r.coefficient_names.begin(), r.coefficient_names.end());
  const api::TraitsGradients& g = r.gradients;
  const Rcpp::List selection =
      Rcpp::List::create(_["mean_fitness"] = g.mean_fitness,
                         _["trait_mean"] = Rcpp::NumericVector(g.trait_mean.begin(), g.trait_mean.end()),
                         _["trait_sd"] = Rcpp::NumericVector(g.trait_sd.begin(), g.trait_sd.end()));
  return Rcpp::List::create(_["cases"] = r.cases, _["observations"] = r.observations, _["edf"] = r.edf,
                            _["reml"] = r.reml, _["deviance"] = r.deviance, _["scale"] = r.scale,
                            _["reml_iterations"] = r.reml_iterations, _["intercept"] = r.intercept,
                            _["coefficients"] = coefficients, _["smooths"] = smooths, _["surface"] = surface,
                            _["eta"] = Rcpp::NumericVector(r.eta.begin(), r.eta.end()),
                            _["fitted"] = Rcpp::NumericVector(r.fitted.begin(), r.fitted.end()),
                            _["gradients"] = gradients_frame(g, traits), _["selection"] = selection,
                            _["peak"] = peak_list(r.peak, traits), _["bootstrap"] = bootstrap,
                            _["warnings"] = Rcpp::CharacterVector(r.warnings.begin(), r.warnings.end()));
}

}  // namespace

Rcpp::List trov_r::peak_list(const api::Peak& p, const std::vector<std::string>& traits) {
  Rcpp::RObject location;  // NULL unless inside
  if (p.inside) {
    Rcpp::List frame = estimates_frame(p.location);
    frame.attr("row.names") = Rcpp::CharacterVector(traits.begin(), traits.end());
    location = frame;
  }
  const Rcpp::NumericVector height = Rcpp::NumericVector::create(
      _["estimate"] = p.inside ? p.height.value : NAN, _["se"] = p.inside ? p.height.se : NAN,
      _["p"] = p.inside ? p.height.p : NAN, _["lower"] = p.inside ? p.height.lower : NAN,
      _["upper"] = p.inside ? p.height.upper : NAN);
  return Rcpp::List::create(_["inside"] = p.inside, _["location"] = location, _["height"] = height,
                            _["replicates"] = p.replicates);
}

// The analysis of several traits: `traits` a named list of columns, `covariates` a list of
// list(name, values, categorical), `shape` list(surface, knots, surface_knots); the other settings as
// analyse_r's.
// [[Rcpp::export]]
Rcpp::List analyse_traits_r(Rcpp::List traits, Rcpp::NumericVector y, Rcpp::NumericVector n,
                            Rcpp::List covariates, Rcpp::List settings, Rcpp::List shape) try {
  int workers = 0;
  const api::Settings s = settings_from(settings, workers);
  const api::TraitsModel model{.surface = flag(shape["surface"], "surface"),
                               .knots = whole(shape["knots"], "knots"),
                               .surface_knots = whole(shape["surface_knots"], "surface_knots")};
  api::TraitsData data;
  data.names = Rcpp::as<std::vector<std::string>>(traits.names());
  data.y = doubles(y);
  data.n = doubles(n);
  for (R_xlen_t a = 0; a < traits.size(); ++a) data.traits.push_back(doubles(traits[a]));
  for (R_xlen_t c = 0; c < covariates.size(); ++c) {
    const Rcpp::List covariate = covariates[c];
    data.covariates.push_back({.name = Rcpp::as<std::string>(covariate["name"]),
                               .values = doubles(covariate["values"]),
                               .categorical = flag(covariate["categorical"], "categorical")});
  }
  const api::TraitsOutcome outcome = interruptible(
      [&](const api::Control& control) { return api::analyse_traits(data, s, model, workers, control); });
  if (const auto* error = std::get_if<api::Error>(&outcome)) return error_list(*error);
  Rcpp::List out = results_list(std::get<api::TraitsResults>(outcome), data.names);
  out["settings"] = settings_list(s, workers);
  return out;
} catch (const Refused& refused) {
  return error_list(refused.error);
}

// An additive smooth at the trait values `at`: the natural cubic spline through its knot values, linear
// beyond the end knots (so at -Inf and Inf its limit, or the end value where it is flat there); NA at NA.
// [[Rcpp::export]]
Rcpp::NumericVector smooth_at_r(Rcpp::NumericVector knots, Rcpp::NumericVector knot_values,
                                Rcpp::NumericVector at) {
  const trov::CubicBasis basis(doubles(knots));
  const auto k = static_cast<std::size_t>(basis.size());
  std::vector<double> value(k), slope(k), curvature(k);
  auto evaluate = [&](double x, bool want_slope) {
    basis.row(x, value, slope, curvature);
    double sum = 0;
    for (std::size_t j = 0; j < k; ++j) sum += (want_slope ? slope[j] : value[j]) * knot_values[j];
    return sum;
  };
  Rcpp::NumericVector out(at.size());
  for (R_xlen_t i = 0; i < at.size(); ++i) {
    const double x = at[i];
    if (std::isnan(x)) {
      out[i] = NA_REAL;
    } else if (std::isinf(x)) {
      const double end = x > 0 ? knots[knots.size() - 1] : knots[0];
      const double s = evaluate(end, true) * (x > 0 ? 1 : -1);
      out[i] = s == 0 ? evaluate(end, false) : std::copysign(INFINITY, s);
    } else {
      out[i] = evaluate(x, false);
    }
  }
  return out;
}
