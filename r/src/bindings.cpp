// The R package's side of the library: R vectors and lists in, trov::api::analyse's results out as R
// lists and data frames. Only checks of R types are made here; the settings' ranges, the workers and the
// data are checked by the library. Its refusals, and those of the R types, come back as an error list
// that the R code signals as a trov_error.

#include "bindings.h"

#include <Rcpp.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/api/derived.h"

namespace trov_r {

[[noreturn]] void refuse(const std::string& text) { throw Refused{{trov::ErrorCode::settings, text}}; }

namespace {

template <std::size_t N>
int index_named(SEXP value, const char* const (&names)[N], const std::string& setting) {
  if (TYPEOF(value) == STRSXP && Rf_length(value) == 1) {
    const std::string given = Rcpp::as<std::string>(value);
    for (std::size_t i = 0; i < N; ++i)
      if (given == names[i]) return static_cast<int>(i);
  }
  std::string choices;
  for (std::size_t i = 0; i < N; ++i) choices += (i ? ", \"" : "\"") + std::string(names[i]) + "\"";
  refuse(setting + " must be one of " + choices);
}

// One number of R (NA as NaN).
double single_number(SEXP value, const std::string& setting) {
  if (!(Rf_isReal(value) || Rf_isInteger(value)) || Rf_length(value) != 1 || Rf_isFactor(value))
    refuse(setting + " must be a single number");
  if (Rf_isInteger(value)) return INTEGER(value)[0] == NA_INTEGER ? NAN : INTEGER(value)[0];
  return REAL(value)[0];
}

}  // namespace

double number(SEXP value, const std::string& setting) {
  const double v = single_number(value, setting);
  if (!std::isfinite(v)) refuse(setting + " must be a finite number");
  return v;
}

// A whole number that fits an int: 21 and 21.0 are taken, 21.5 is refused rather than cut.
int whole(SEXP value, const std::string& setting) {
  const double v = number(value, setting);
  if (v != std::floor(v) || std::abs(v) > std::numeric_limits<int>::max())
    refuse(setting + " must be a whole number");
  return static_cast<int>(v);
}

bool flag(SEXP value, const std::string& setting) {
  if (TYPEOF(value) != LGLSXP || Rf_length(value) != 1 || LOGICAL(value)[0] == NA_LOGICAL)
    refuse(setting + " must be TRUE or FALSE");
  return LOGICAL(value)[0] != 0;
}

// The settings the R call names; every other one keeps the library's default (workers: every processor).
api::Settings settings_from(const Rcpp::List& given, int& workers) {
  api::Settings s;
  workers = std::get<int>(api::worker_threads(0));
  if (given.size() == 0) return s;
  const Rcpp::CharacterVector names = given.names();
  for (R_xlen_t i = 0; i < given.size(); ++i) {
    const std::string name = Rcpp::as<std::string>(names[i]);
    SEXP value = given[i];
    if (name == "model") {
      s.model = static_cast<api::Model>(index_named(value, kModels, name) + 1);
    } else if (name == "lnlambda") {
      if (!Rf_isNull(value)) s.lnlambda = number(value, name);
    } else if (name == "grid") {
      const Rcpp::NumericVector range =
          Rf_isNumeric(value) ? Rcpp::NumericVector(value) : Rcpp::NumericVector();
      if (range.size() != 2 || !std::isfinite(range[0]) || !std::isfinite(range[1]))
        refuse("grid must be two finite numbers: the smallest and the largest ln(lambda)");
      s.lnlambda_min = range[0];
      s.lnlambda_max = range[1];
    } else if (name == "grid_points") {
      s.grid_points = whole(value, name);
    } else if (name == "categorical") {
      s.categorical = flag(value, name);
    } else if (name == "fit_recommended") {
      s.fit_recommended = flag(value, name);
    } else if (name == "maxit") {
      s.maxit = whole(value, name);
    } else if (name == "stop") {
      s.stop = number(value, name);
    } else if (name == "bootstrap") {
      s.bootstrap = whole(value, name);
    } else if (name == "seed") {
      s.seed = whole(value, name);
    } else if (name == "criterion") {
      s.criterion = static_cast<api::Criterion>(index_named(value, kCriteria, name));
    } else if (name == "bootstrap_lambda") {
      s.bootstrap_lambda = static_cast<api::BootstrapLambda>(index_named(value, kBootstrapLambdas, name));
    } else if (name == "bootstrap_type") {
      s.bootstrap_type = static_cast<api::BootstrapType>(index_named(value, kBootstrapTypes, name));
    } else if (name == "classic") {
      s.classic = flag(value, name);
    } else if (name == "workers") {
      const std::variant<int, api::Error> threads = api::worker_threads(single_number(value, name));
      if (const auto* error = std::get_if<api::Error>(&threads)) throw Refused{*error};
      workers = std::get<int>(threads);
    } else {
      refuse("unknown setting '" + name +
             "': the settings are grid, grid_points, categorical, fit_recommended, classic, maxit, stop, "
             "bootstrap, seed, criterion, bootstrap_lambda, bootstrap_type and workers");
    }
  }
  return s;
}

Rcpp::List settings_list(const api::Settings& s, int workers) {
  Rcpp::RObject lnlambda;  // NULL for a grid
  if (s.lnlambda) lnlambda = Rcpp::NumericVector::create(*s.lnlambda);
  return Rcpp::List::create(_["model"] = kModels[static_cast<int>(s.model) - 1], _["lnlambda"] = lnlambda,
                            _["grid"] = Rcpp::NumericVector::create(s.lnlambda_min, s.lnlambda_max),
                            _["grid_points"] = s.grid_points, _["categorical"] = s.categorical,
                            _["fit_recommended"] = s.fit_recommended, _["classic"] = s.classic,
                            _["maxit"] = s.maxit, _["stop"] = s.stop, _["bootstrap"] = s.bootstrap,
                            _["seed"] = s.seed, _["criterion"] = kCriteria[static_cast<int>(s.criterion)],
                            _["bootstrap_lambda"] = kBootstrapLambdas[static_cast<int>(s.bootstrap_lambda)],
                            _["bootstrap_type"] = kBootstrapTypes[static_cast<int>(s.bootstrap_type)],
                            _["workers"] = workers);
}

std::vector<double> doubles(const Rcpp::NumericVector& v) { return {v.begin(), v.end()}; }

namespace {

api::Data data_from(const Rcpp::NumericVector& x, const Rcpp::NumericVector& y, const Rcpp::NumericVector& n,
                    const Rcpp::NumericVector& covariate) {
  return {.x = doubles(x), .y = doubles(y), .n = doubles(n), .covariate = doubles(covariate)};
}

// R's NA for a string that says nothing ("" in the library).
Rcpp::String text_or_na(const std::string& text) {
  return text.empty() ? Rcpp::String(NA_STRING) : Rcpp::String(text);
}

}  // namespace

// Columns of one length as an R data frame, made here: Rcpp::DataFrame::create runs R's data.frame(),
// which took most of a result's conversion.
Rcpp::List data_frame(Rcpp::List columns) {
  const R_xlen_t rows = columns.size() ? Rf_xlength(columns[0]) : 0;
  columns.attr("row.names") = Rcpp::IntegerVector::create(NA_INTEGER, -static_cast<int>(rows));
  columns.attr("class") = "data.frame";
  return columns;
}

namespace {

Rcpp::List grid_frame(const std::vector<api::GridRow>& g) {
  Rcpp::IntegerVector iterations(g.size());
  Rcpp::LogicalVector ok(g.size());
  for (std::size_t i = 0; i < g.size(); ++i) {
    iterations[i] = g[i].classic_iterations;
    ok[i] = g[i].converged_ok;
  }
  using R = api::GridRow;
  return data_frame(Rcpp::List::create(
      _["lnlambda"] = column(g, [](const R& r) { return r.lnlambda; }),
      _["edf"] = column(g, [](const R& r) { return r.edf; }),
      _["reml"] = column(g, [](const R& r) { return r.reml; }),
      _["ml"] = column(g, [](const R& r) { return r.ml; }),
      _["gcv"] = column(g, [](const R& r) { return r.gcv; }),
      _["ocv"] = column(g, [](const R& r) { return r.ocv; }),
      _["ubre"] = column(g, [](const R& r) { return r.ubre; }),
      _["deviance"] = column(g, [](const R& r) { return r.deviance; }), _["converged_ok"] = ok,
      _["classic_edf"] = column(g, [](const R& r) { return r.classic_edf; }),
      _["classic_gcv"] = column(g, [](const R& r) { return r.classic_gcv; }),
      _["classic_ocv"] = column(g, [](const R& r) { return r.classic_ocv; }),
      _["classic_iterations"] = iterations,
      _["largest_difference"] = column(g, [](const R& r) { return r.largest_difference; })));
}

Rcpp::List minima_frame(const std::vector<api::Minimum>& m) {
  Rcpp::CharacterVector criterion(m.size()), limit(m.size());
  for (std::size_t i = 0; i < m.size(); ++i) {
    criterion[i] = kCriteria[static_cast<int>(m[i].criterion)];
    limit[i] = text_or_na(m[i].limit);
  }
  using M = api::Minimum;
  return data_frame(Rcpp::List::create(
      _["criterion"] = criterion, _["lnlambda"] = column(m, [](const M& r) { return r.lnlambda; }),
      _["score"] = column(m, [](const M& r) { return r.score; }),
      _["edf"] = column(m, [](const M& r) { return r.edf; }), _["limit"] = limit));
}

Rcpp::List points_frame(const std::vector<api::FittedPoint>& p) {
  using P = api::FittedPoint;
  return data_frame(Rcpp::List::create(
      _["x"] = column(p, [](const P& r) { return r.x; }),
      _["covariate"] = column(p, [](const P& r) { return r.covariate; }),
      _["n"] = column(p, [](const P& r) { return r.n; }), _["y"] = column(p, [](const P& r) { return r.y; }),
      _["fitted"] = column(p, [](const P& r) { return r.fitted; }),
      _["eta"] = column(p, [](const P& r) { return r.eta; }),
      _["lower"] = column(p, [](const P& r) { return r.lower; }),
      _["upper"] = column(p, [](const P& r) { return r.upper; }),
      _["classic_fitted"] = column(p, [](const P& r) { return r.classic_fitted; })));
}

// One row per gradient: its estimate and bootstrap spread.
Rcpp::List gradients_frame(const api::Gradients& g) {
  const std::vector<std::pair<const char*, const api::Estimate*>> rows = {
      {"beta", &g.beta},
      {"gamma", &g.gamma},
      {"beta_standardized", &g.beta_standardized},
      {"gamma_standardized", &g.gamma_standardized},
      {"beta_mean_standardized", &g.beta_mean_standardized},
      {"gamma_mean_standardized", &g.gamma_mean_standardized},
      {"lande_arnold_beta", &g.lande_arnold_beta},
      {"lande_arnold_gamma", &g.lande_arnold_gamma}};
  Rcpp::CharacterVector names(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) names[i] = rows[i].first;
  using E = std::pair<const char*, const api::Estimate*>;
  Rcpp::List frame =
      data_frame(Rcpp::List::create(_["estimate"] = column(rows, [](const E& r) { return r.second->value; }),
                                    _["se"] = column(rows, [](const E& r) { return r.second->se; }),
                                    _["p"] = column(rows, [](const E& r) { return r.second->p; }),
                                    _["lower"] = column(rows, [](const E& r) { return r.second->lower; }),
                                    _["upper"] = column(rows, [](const E& r) { return r.second->upper; })));
  frame.attr("row.names") = names;
  return frame;
}

// Rcpp::RObject (not a bare SEXP) for each part built before the list: it keeps the part from R's
// garbage collector while the later parts are allocated.
Rcpp::List fit_list(const api::Fit& f) {
  Rcpp::RObject gradients, selection, bootstrap;  // NULL unless present
  if (f.gradients) {
    const api::Gradients& g = *f.gradients;
    gradients = gradients_frame(g);
    selection = Rcpp::List::create(_["mean_fitness"] = g.mean_fitness, _["trait_mean"] = g.trait_mean,
                                   _["trait_sd"] = g.trait_sd, _["linear_limit"] = g.linear_limit,
                                   _["classic_beta"] = g.classic_beta, _["classic_gamma"] = g.classic_gamma,
                                   _["peak"] = peak_list(g.peak, {"x"}));
  }
  if (f.bootstrap) {
    const api::Bootstrap& b = *f.bootstrap;
    bootstrap = Rcpp::List::create(
        _["replicates"] = b.replicates, _["type"] = kBootstrapTypes[static_cast<int>(b.type)],
        _["degenerate"] = b.degenerate, _["not_converged"] = b.not_converged,
        _["failed_refits"] = b.failed_refits, _["converged_failed"] = b.converged_failed,
        _["lnlambda"] = Rcpp::NumericVector(b.lnlambda.begin(), b.lnlambda.end()));
  }
  return Rcpp::List::create(
      _["lnlambda"] = f.lnlambda, _["converged_ok"] = f.converged_ok, _["edf"] = f.edf,
      _["dispersion"] = f.dispersion, _["points"] = points_frame(f.points),
      _["coefficients"] = Rcpp::NumericVector(f.coefficients.begin(), f.coefficients.end()),
      _["level_values"] = Rcpp::NumericVector(f.levels.begin(), f.levels.end()),
      _["level_effects"] = Rcpp::NumericVector(f.level_effects.begin(), f.level_effects.end()),
      _["selection"] = selection, _["gradients"] = gradients, _["bootstrap"] = bootstrap);
}

}  // namespace

Rcpp::List error_list(const api::Error& error) {
  return Rcpp::List::create(_["error"] = Rcpp::List::create(_["code"] = static_cast<int>(error.code),
                                                            _["kind"] = api::error_text(error.code),
                                                            _["text"] = error.text));
}

namespace {

Rcpp::List outcome_list(const api::Outcome& outcome) {
  if (const auto* error = std::get_if<api::Error>(&outcome)) return error_list(*error);
  const auto& r = std::get<api::Results>(outcome);
  Rcpp::RObject recommended, fit;
  if (r.fit) fit = fit_list(*r.fit);
  if (r.recommended)
    recommended =
        Rcpp::List::create(_["criterion"] = kCriteria[static_cast<int>(r.recommended->criterion)],
                           _["lnlambda"] = r.recommended->lnlambda, _["edf"] = r.recommended->edf,
                           _["limit"] = text_or_na(r.recommended->limit), _["text"] = r.recommended->text);
  return Rcpp::List::create(_["cases"] = r.cases, _["points"] = r.points, _["observations"] = r.observations,
                            _["grid"] = grid_frame(r.grid), _["minima"] = minima_frame(r.minima),
                            _["recommended"] = recommended, _["fit"] = fit,
                            _["warnings"] = Rcpp::CharacterVector(r.warnings.begin(), r.warnings.end()),
                            _["report"] = report_text(r));
}

void check_interrupt(void*) { R_CheckUserInterrupt(); }

}  // namespace

// Whether the user pressed Ctrl-C: R's check, kept from jumping out of this C++ code (R_ToplevelExec
// catches the jump and says it happened).
bool r_interrupted() { return !R_ToplevelExec(check_interrupt, nullptr); }

}  // namespace trov_r

using namespace trov_r;

// [[Rcpp::export]]
Rcpp::List analyse_r(Rcpp::NumericVector x, Rcpp::NumericVector y, Rcpp::NumericVector n,
                     Rcpp::NumericVector covariate, Rcpp::List settings) try {
  int workers = 0;
  const api::Settings s = settings_from(settings, workers);
  const api::Data data = data_from(x, y, n, covariate);
  Rcpp::List out = outcome_list(
      interruptible([&](const api::Control& control) { return api::analyse(data, s, workers, control); }));
  out["settings"] = settings_list(s, workers);
  return out;
} catch (const Refused& refused) {
  return error_list(refused.error);
}

// [[Rcpp::export]]
Rcpp::List analyse_many_r(Rcpp::List traits, Rcpp::NumericVector y, Rcpp::NumericVector n,
                          Rcpp::NumericVector covariate, Rcpp::List settings) try {
  int workers = 0;
  const api::Settings s = settings_from(settings, workers);
  std::vector<std::vector<double>> columns;
  columns.reserve(traits.size());
  for (R_xlen_t i = 0; i < traits.size(); ++i) columns.push_back(doubles(traits[i]));
  const std::vector<double> ys = doubles(y), ns = doubles(n), covariates = doubles(covariate);
  const std::vector<api::Outcome> outcomes = interruptible([&](const api::Control& control) {
    return api::analyse_many(columns, ys, ns, covariates, s, workers, control);
  });
  Rcpp::List out(outcomes.size());
  const Rcpp::List used = settings_list(s, workers);
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    Rcpp::List one = outcome_list(outcomes[i]);
    one["settings"] = used;
    out[i] = one;
  }
  return out;
} catch (const Refused& refused) {
  return error_list(refused.error);
}

// The words of the library's error code, for the package's own refusals.
// [[Rcpp::export]]
std::string error_text_r(int code) { return api::error_text(static_cast<trov::ErrorCode>(code)); }

// The fitted function at the trait values `at` (see trov::api::predict) as list(eta, mean), of the fit
// the package keeps: its points' x, covariate, n and eta, the covariate's coefficients, level values
// and level effects (empty without a covariate, or a continuous one); at_covariate empty for the mean
// effect.
// [[Rcpp::export]]
Rcpp::List predict_r(SEXP model, Rcpp::NumericVector x, Rcpp::NumericVector covariate, Rcpp::NumericVector n,
                     Rcpp::NumericVector eta, Rcpp::NumericVector coefficients, Rcpp::NumericVector levels,
                     Rcpp::NumericVector level_effects, Rcpp::NumericVector at,
                     Rcpp::NumericVector at_covariate) {
  api::Fit fit{.coefficients = doubles(coefficients),
               .levels = doubles(levels),
               .level_effects = doubles(level_effects)};
  for (R_xlen_t i = 0; i < x.size(); ++i)
    fit.points.push_back({.x = x[i], .covariate = covariate[i], .n = n[i], .eta = eta[i]});
  const auto engine_model = static_cast<api::Model>(index_named(model, kModels, "model") + 1);
  const api::Prediction p = api::predict(fit, engine_model, doubles(at), doubles(at_covariate));
  return Rcpp::List::create(_["eta"] = Rcpp::NumericVector(p.eta.begin(), p.eta.end()),
                            _["mean"] = Rcpp::NumericVector(p.mean.begin(), p.mean.end()));
}
