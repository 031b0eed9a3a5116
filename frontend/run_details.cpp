#include "frontend/run_details.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "common/data_case.h"
#include "engine/spline/links.h"

namespace trov::front {

namespace {

using Json = nlohmann::json;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A number of trov.json, which writes one that is not finite (or does not apply) as null.
double number(const Json& value) { return value.is_number() ? value.get<double>() : kNaN; }

// A member that may be absent or null (a run of another kind, an older engine); members every run has
// are read with at(), whose exception marks a file of another layout.
const Json* member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::vector<double> column(const Json& points, const char* key) {
  std::vector<double> values;
  for (const Json& point : points) values.push_back(number(point.value(key, Json())));
  return values;
}

double inverse_link(const std::string& model, double eta) {
  return mean_at_eta_direct(eta, model == "binomial"  ? Model::binomial
                                 : model == "poisson" ? Model::poisson
                                                      : Model::normal);
}

}  // namespace

namespace {

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
    if (!run.categorical) {
      e.effect[i] = coefficients.size() > 1 ? coefficients[1] * run.c[i] : 0.0;
      continue;
    }
    const auto level = std::find(run.levels.begin(), run.levels.end(), run.c[i]) - run.levels.begin();
    e.effect[i] = static_cast<std::size_t>(level) < coefficients.size() ? coefficients[level] : 0.0;
  }
  double weighted = 0, cases = 0;
  for (std::size_t i = 0; i < e.effect.size(); ++i) {
    weighted += run.n[i] * e.effect[i];
    cases += run.n[i];
  }
  e.mean = weighted / cases;
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

void read_grid(const Json& r, RunDetails& run) {
  for (const Json& row : r.at("grid")) {
    run.grid_lnlambda.push_back(number(row.at("lnlambda")));
    run.grid_gcv.push_back(number(row.at("gcv")));
    run.grid_ocv.push_back(number(row.value("ocv", Json())));
  }
  const Json* recommended = member(r.at("minimum"), "recommended");
  if (!recommended) return;
  Recommended rec;
  rec.criterion = recommended->at("criterion").get<std::string>();
  rec.lnlambda = number(recommended->at("lnlambda"));
  rec.edf = number(recommended->value("edf", Json()));
  rec.text = recommended->value("text", "");
  if (const Json* limit = member(*recommended, "limit")) rec.limit = limit->get<std::string>();
  rec.score = kNaN;
  if (const Json* minimum = member(r.at("minimum"), ("converged_" + rec.criterion).c_str())) {
    const Json* refined = member(*minimum, "refined");
    rec.score = number(refined ? refined->value("score", Json()) : minimum->value("score", Json()));
  }
  for (const Json& row : r.at("grid")) {
    const Json* converged = member(row, "converged_fit");
    run.criterion_score.push_back(converged ? number(converged->value(rec.criterion, Json())) : kNaN);
  }
  run.recommended = rec;
}

std::optional<Gradient> gradient(const Json& selection, const char* name) {
  if (!member(selection, name)) return std::nullopt;
  Gradient g{number(selection.at(name)), kNaN, kNaN};
  if (const Json* bootstrap = member(selection, "bootstrap"))
    if (const Json* summary = member(*bootstrap, name)) {
      g.se = number(summary->value("se", Json()));
      g.p = number(summary->value("p", Json()));
    }
  return g;
}

void read_fixed(const Json& r, RunDetails& run) {
  run.lnlambda = number(r.at("settings").at("lmin"));
  if (const Json* grid = member(r, "grid"); grid && !grid->empty()) {
    const Json* converged = member(grid->at(0), "converged_fit");
    run.edf = converged && member(*converged, "edf") ? number(converged->at("edf"))
                                                     : number(grid->at(0).value("trace", Json()));
  }
  if (const Json* bootstrap = member(r, "bootstrap")) {
    run.kind = RunKind::bootstrap;
    const Json& points = bootstrap->at("points");
    run.x = column(points, "x");
    run.y = column(points, "y");  // the counts N are not among them: complete_bootstrap_points
    run.lower = column(points, "lower");
    run.upper = column(points, "upper");
    // the points hold the converged fit and band unless the converged fit failed ("band": "classic")
    const Json* classic = member(*bootstrap, "classic_points");
    run.classic = column(classic ? *classic : points, "yhat");
    if (classic && bootstrap->value("band", "") == "converged") run.converged = column(points, "yhat");
    if (const Json* coefficients =
            member(*bootstrap, run.converged.empty() ? "coefficients" : "converged_coefficients"))
      run.curve_coefficients = coefficients->get<std::vector<double>>();
    run.bootstrap_lambda = bootstrap->value("lambda", "fixed");
    if (const Json* quantiles = member(*bootstrap, "lnlambda_quantiles"))
      run.lnlambda_quantiles = {number(quantiles->at("2.5")), number(quantiles->at("50")),
                                number(quantiles->at("97.5"))};
  } else if (const Json* fit = member(r, "fit")) {
    run.kind = RunKind::fitted;
    const Json& points = fit->at("points");
    run.x = column(points, "x");
    run.y = column(points, "y");
    run.n = column(points, "n");
    if (run.covariates > 0) {
      run.c = column(points, "c");
      run.uncorrected = column(points, "yhat");
    }
    run.classic = column(points, run.covariates > 0 ? "yhat_corrected" : "yhat");
    if (const Json* converged = member(*fit, "converged_points")) {
      const bool link_scale = run.model != "normal";
      std::vector<double> values = column(*converged, link_scale ? "nu" : "yhat");
      if (run.covariates == 0)
        run.converged = link_scale ? column(*converged, "yhat") : values;
      else if (const Json* coefficients = member(*fit, "converged_coefficients"))
        run.converged = corrected_for_covariate(run, values, coefficients->get<std::vector<double>>());
    }
  } else {
    throw std::invalid_argument("a fixed lambda without fitted values");
  }
  if (const Json* selection = member(r, "selection")) {
    run.beta = gradient(*selection, "beta");
    run.gamma = gradient(*selection, "gamma");
    run.beta_standardized = gradient(*selection, "beta_standardized");
    run.gamma_standardized = gradient(*selection, "gamma_standardized");
    run.linear_limit = selection->value("linear_limit", false);
    run.mean_fitness = number(selection->value("mean_fitness", Json()));
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

RunDetails read_run_details(const std::string& path) {
  RunDetails run;
  std::ifstream file(path);
  if (!file) {
    run.unread = "the engine wrote no " + path;
    return run;
  }
  const Json r = Json::parse(file, nullptr, /*allow_exceptions=*/false);
  const Json* diagnostics = member(r, "diagnostics");
  const Json* stop = diagnostics ? member(*diagnostics, "classic_stopped") : nullptr;
  if (!r.is_object() || (r.value("status", "") != "ok" && !stop)) {
    run.unread = path + (r.is_object() ? " reports no results" : " cannot be read");
    return run;
  }
  try {
    if (stop)
      run.classic_stopped = ClassicStop{number(stop->at("lnlambda")), stop->value("message", std::string())};
    if (diagnostics) run.dispersion = number(diagnostics->value("dispersion", Json()));
    const Json& settings = r.at("settings");
    run.model = settings.at("model").get<std::string>();
    run.data_file = settings.at("data_file").get<std::string>();
    run.covariates = settings.at("covariates").get<int>();
    run.categorical = settings.at("categorical").get<bool>();
    run.replicates = settings.at("bootstrap_replicates").get<int>();
    run.counts_column = settings.value("counts_column", false);
    if (const Json* criterion = member(settings, "criterion")) run.criterion = criterion->get<std::string>();
    const Json& data = r.at("data");
    run.cases = data.at("cases").get<int>();
    run.observations = data.at("observations").get<int>();
    if (const Json* levels = member(data, "levels")) run.levels = levels->get<std::vector<double>>();
    for (const Json& line : r.at("warnings")) run.warnings.push_back(line.get<std::string>());
    if (member(r, "minimum"))
      read_grid(r, run);
    else
      read_fixed(r, run);
  } catch (const std::exception&) {  // a file of another layout: nothing rather than half of it
    RunDetails none;
    none.unread = path + " is not laid out as trovwin reads it";
    return none;
  }
  run.read = true;
  return run;
}

std::optional<ErrorReport> read_error_report(const std::string& path) {
  std::ifstream file(path);
  const Json r = Json::parse(file, nullptr, /*allow_exceptions=*/false);
  if (!r.is_object() || r.value("status", "") != "error") return std::nullopt;
  ErrorReport report;
  if (const Json* code = member(r, "error_code"); code && code->is_number_integer())
    report.code = code->get<int>();
  if (const Json* lines = member(r, "error"); lines && lines->is_array())
    for (const Json& line : *lines)
      if (line.is_string()) report.message.push_back(line.get<std::string>());
  return report;
}

std::vector<bool> classic_differs(const RunDetails& run) {
  std::vector<bool> differs(run.classic.size(), false);
  if (run.converged.size() != run.classic.size() || run.y.empty()) return differs;
  double limit = 0.01;
  if (run.model != "binomial") {
    const auto [lo, hi] = std::minmax_element(run.y.begin(), run.y.end());
    limit = 0.01 * (*hi - *lo);
  }
  for (std::size_t i = 0; i < differs.size(); ++i)
    differs[i] = !std::isnan(run.classic[i]) && !(std::fabs(run.classic[i] - run.converged[i]) <= limit);
  return differs;
}

}  // namespace trov::front
