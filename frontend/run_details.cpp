#include "frontend/run_details.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "common/data_case.h"
#include "engine/core/covariate_effect.h"
#include "engine/core/model.h"
#include "engine/spline/links.h"

namespace trov::front {

namespace {

// The model of trov.json's "model" (as model_name writes it).
Model model_of(const std::string& name) {
  return name == "binomial" ? Model::binomial : name == "poisson" ? Model::poisson : Model::normal;
}

double inverse_link(const std::string& model, double eta) { return mean_at_eta_direct(eta, model_of(model)); }

double link(const std::string& model, double mean) {
  if (model == "binomial") return std::log(mean / (1.0 - mean));
  if (model == "poisson") return std::log(mean);
  return mean;
}

// Each point's covariate effect, the level's coefficient (0 for the first) or the slope times the
// covariate, and their case-weighted mean.
struct CovariateEffects {
  std::vector<double> effect;
  double mean = 0;
};
CovariateEffects covariate_effects(const RunDetails& run, const std::vector<double>& coefficients) {
  CovariateEffects e{std::vector<double>(run.x.size())};
  for (std::size_t i = 0; i < e.effect.size(); ++i) {
    if (run.categorical)
      e.effect[i] = trov::level_effect(run.levels, coefficients, run.c[i]);  // the first level's is 0
    else
      e.effect[i] = coefficients.size() > 1 ? coefficients[1] * run.c[i] : 0.0;
  }
  e.mean = trov::case_weighted_mean(std::span<const double>(e.effect), std::span<const double>(run.n));
  return e;
}

}  // namespace

std::vector<double> corrected_for_covariate(const RunDetails& run, const std::vector<double>& eta,
                                            const std::vector<double>& coefficients) {
  const CovariateEffects e = covariate_effects(run, coefficients);
  std::vector<double> values(eta.size());
  for (std::size_t i = 0; i < eta.size(); ++i)
    values[i] = inverse_link(run.model, eta[i] - e.effect[i] + e.mean);
  return values;
}

void complete_bootstrap_points(RunDetails& run) {
  if (!run.read || run.kind != RunKind::bootstrap) return;
  std::ifstream file(run.data_file);
  if (!file) return;
  ListReader reader(file, run.data_file);
  const bool has_c = run.covariates > 0;
  const int needed = 2 + (has_c ? 1 : 0) + (run.counts_column ? 1 : 0);
  std::vector<DataCase> cases;
  while (true) {
    DataCase read;
    const ListReader::Result r = read_case(reader, has_c, run.counts_column, read);
    if (r.status == ListReader::Status::end_of_file) break;  // an incomplete last case is dropped
    if (!r.ok() || r.values < needed) return;                // the engine stopped there
    read.n = run.counts_column ? std::max(read.n, 1) : 1;
    cases.push_back(read);
  }
  // the points: equal X, and equal covariate, pooled; ordered by X, then covariate
  std::sort(cases.begin(), cases.end(),
            [](const DataCase& a, const DataCase& b) { return a.x < b.x || (a.x == b.x && a.c < b.c); });
  std::vector<double> n, c;
  double observations = 0;
  for (std::size_t k = 0; k < cases.size(); ++k) {
    if (k == 0 || cases[k].x != cases[k - 1].x || (has_c && cases[k].c != cases[k - 1].c)) {
      if (n.size() == run.x.size() || cases[k].x != run.x[n.size()]) return;  // not trov.json's points
      n.push_back(0);
      c.push_back(cases[k].c);
    }
    n.back() += cases[k].n;
    observations += cases[k].n;
  }
  if (n.size() != run.x.size() || observations != run.observations) return;
  run.n = std::move(n);
  if (!has_c) return;
  run.c = std::move(c);
  // the curve's fit at each point's own covariate, as the symbols of a fit without bootstrap
  const std::vector<double>& curve = run.converged.empty() ? run.classic : run.converged;
  if (run.curve_coefficients.empty()) return;
  const CovariateEffects e = covariate_effects(run, run.curve_coefficients);
  run.uncorrected.resize(curve.size());
  for (std::size_t i = 0; i < curve.size(); ++i)
    run.uncorrected[i] = inverse_link(run.model, link(run.model, curve[i]) + e.effect[i] - e.mean);
}

namespace {

void grid_details(const RunReport& report, RunDetails& run) {
  for (const GridRow& row : report.grid) {
    run.grid_lnlambda.push_back(row.lnlambda);
    run.grid_gcv.push_back(row.gcv);
    run.grid_ocv.push_back(row.ocv);
  }
  run.recommended = report.minimum->recommended;
  if (!run.recommended) return;
  for (const GridRow& row : report.grid) {
    const auto score = row.converged_score.find(run.recommended->criterion);
    run.criterion_score.push_back(score == row.converged_score.end() ? kNoValue : score->second);
  }
}

std::optional<Gradient> gradient(const Gradient& g) {
  return std::isnan(g.value) ? std::nullopt : std::optional<Gradient>(g);
}

void fixed_details(const RunReport& report, RunDetails& run) {
  run.lnlambda = report.settings.lmin;
  run.edf = fixed_lambda_edf(report);
  if (const std::optional<ReportBootstrap>& bootstrap = report.bootstrap) {
    run.kind = RunKind::bootstrap;
    const ReportPoints& points = bootstrap->points;
    run.x = points.x;
    run.y = points.y;  // the counts N are not among them: complete_bootstrap_points
    run.lower = points.lower;
    run.upper = points.upper;
    // the points hold the converged fit and band unless the converged fit failed ("band": "classic")
    const std::optional<ReportPoints>& classic = bootstrap->classic_points;
    run.classic = classic ? classic->yhat : points.yhat;
    if (classic && bootstrap->band == "converged") run.converged = points.yhat;
    run.curve_coefficients =
        run.converged.empty() ? bootstrap->coefficients : bootstrap->converged_coefficients;
    run.bootstrap_lambda = bootstrap->lambda;
    run.lnlambda_quantiles = bootstrap->lnlambda_quantiles;
  } else {
    run.kind = RunKind::fitted;
    const ReportPoints& points = report.fit->points;
    run.x = points.x;
    run.y = points.y;
    run.n = points.n;
    if (run.covariates > 0) {
      run.c = points.c;
      run.uncorrected = points.yhat;
    }
    run.classic = run.covariates > 0 ? points.yhat_corrected : points.yhat;
    if (const std::optional<ReportPoints>& converged = report.fit->converged_points) {
      const bool link_scale = run.model != "normal";
      const std::vector<double>& values = link_scale ? converged->nu : converged->yhat;
      if (run.covariates == 0)
        run.converged = converged->yhat;
      else if (!report.fit->converged_coefficients.empty())
        run.converged = corrected_for_covariate(run, values, report.fit->converged_coefficients);
    }
  }
  if (const std::optional<ReportSelection>& selection = report.selection) {
    run.beta = gradient(selection->beta);
    run.gamma = gradient(selection->gamma);
    run.beta_standardized = gradient(selection->beta_standardized);
    run.gamma_standardized = gradient(selection->gamma_standardized);
    run.linear_limit = selection->linear_limit;
    run.mean_fitness = selection->mean_fitness;
  }
  // a classic table that stopped leaves the classic values null: then no symbols of them
  if (std::any_of(run.uncorrected.begin(), run.uncorrected.end(), [](double v) { return std::isnan(v); }))
    run.uncorrected.clear();
}

}  // namespace

std::string significant_text(double v, int digits) {
  if (!std::isfinite(v)) return "undefined";
  if (v == 0) return "0";
  char text[64];
  const double a = std::fabs(v);
  if (a < 1e-4 || a >= 1e6) {
    std::snprintf(text, sizeof text, "%.*e", digits - 1, v);
  } else {
    const int decimals = std::max(0, digits - 1 - static_cast<int>(std::floor(std::log10(a))));
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
  }
  return text;
}

std::string gradient_text(std::string_view name, const Gradient& g, GradientStyle style) {
  std::string text = std::string(name) + " = " + significant_text(g.value, style.digits);
  if (style.link_only) return text + ": link only (no curvature found)";
  if (!std::isfinite(g.se)) return text;
  text += " (SE " + significant_text(g.se, style.digits);
  if (style.with_p && std::isfinite(g.p)) text += ", P = " + significant_text(g.p, style.digits);
  return text + ")";
}

std::string criterion_title(const std::string& criterion) {
  std::string title = criterion;
  std::transform(title.begin(), title.end(), title.begin(),
                 [](unsigned char ch) { return std::toupper(ch); });
  return title;
}

RunDetails run_details(const RunReport& report) {
  RunDetails run;
  const std::string& path = report.path;
  const bool other_layout = report.read == RunReport::Read::other_layout;
  if (report.read == RunReport::Read::no_file)
    run.unread = "the engine wrote no " + path;
  else if (report.read == RunReport::Read::unreadable)
    run.unread = path + " cannot be read";
  else if (!report.has_results() && !(other_layout && report.status == "ok"))
    run.unread = path + " reports no results";
  else if (other_layout || !report.data || !(report.minimum || report.fit || report.bootstrap))
    run.unread = path + " is not laid out as trovwin reads it";
  if (!run.unread.empty()) return run;
  run.classic_stopped = report.diagnostics.classic_stopped;
  run.dispersion = report.diagnostics.dispersion;
  const ReportSettings& settings = report.settings;
  run.model = settings.model;
  run.data_file = settings.data_file;
  run.covariates = settings.covariates;
  run.categorical = settings.categorical;
  run.replicates = settings.bootstrap_replicates;
  run.counts_column = settings.counts_column;
  run.criterion = settings.criterion;
  run.cases = report.data->cases;
  run.observations = report.data->observations;
  run.levels = report.data->levels;
  run.warnings = report.warnings;
  if (report.minimum)
    grid_details(report, run);
  else
    fixed_details(report, run);
  run.read = true;
  return run;
}

RunDetails read_run_details(const std::string& path) { return run_details(read_run_report(path)); }

std::optional<ErrorReport> read_error_report(const std::string& path) { return read_run_report(path).error; }

std::vector<bool> classic_differs(const RunDetails& run) {
  std::vector<bool> differs(run.classic.size(), false);
  if (run.converged.size() != run.classic.size() || run.y.empty()) return differs;
  const auto [lo, hi] = std::minmax_element(run.y.begin(), run.y.end());
  const double limit = classic_differs_limit(model_of(run.model), *hi - *lo);
  for (std::size_t i = 0; i < differs.size(); ++i)
    differs[i] = !std::isnan(run.classic[i]) && !(std::fabs(run.classic[i] - run.converged[i]) <= limit);
  return differs;
}

}  // namespace trov::front
