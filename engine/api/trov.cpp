#include "engine/api/trov.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>

#include "engine/analysis/analysis.h"
#include "engine/analysis/diagnostics.h"
#include "engine/analysis/pooling.h"
#include "engine/report/reporting.h"

namespace trov::api {

namespace {

Error error_of(ErrorCode code, std::string text) { return {code, std::move(text)}; }

Error error_of(const RunFault& fault) {
  std::string text = fault_message(fault.fault, fault.details());
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return {error_code(fault.fault), std::move(text)};
}

// The words of a settings' fault for a caller who gives the settings as values.
std::string settings_words(SettingsFault fault, bool grid) {
  switch (fault) {
    case SettingsFault::model_unknown:
      return "the model is not one of normal, binomial and Poisson";
    case SettingsFault::lnlambda_out_of_range:
    case SettingsFault::grid_ends_out_of_order:
      return grid ? "the grid's smallest ln(lambda) must lie below its largest, both within -700 and 700"
                  : "ln(lambda) must lie within -700 and 700";
    case SettingsFault::grid_too_small:
    case SettingsFault::grid_too_large:
      return "a grid needs 2 to 10000 values of ln(lambda)";
    case SettingsFault::maxit_below_one:
    case SettingsFault::maxit_too_large:
      return "maxit must be 1 to 1000 for the binomial and Poisson models";
    case SettingsFault::stop_not_positive:
      return "stop must be a positive number";
    case SettingsFault::bootstrap_negative:
    case SettingsFault::bootstrap_too_large:
      return "bootstrap must be 0 to 100000 replicates";
    case SettingsFault::bootstrap_needs_one_lambda:
      return "a bootstrap needs one lambda: give lnlambda, or fit at the recommended one";
    case SettingsFault::seed_not_positive:
    case SettingsFault::seed_too_large:
      return "the seed must be 1 to 2147483646";
    case SettingsFault::ocv_with_covariate:
      return "criterion ocv needs an analysis without covariate (choose reml, ml, gcv or ubre)";
    case SettingsFault::ubre_with_normal:
      return "criterion ubre needs the binomial or Poisson model (choose reml, ml, gcv or ocv)";
    case SettingsFault::two_covariates:
      break;  // the library's data hold one covariate at most
  }
  return "the settings cannot be taken";
}

// The settings of one run of the engine: the grid (its bootstrap repaired to none, as the program
// repairs a bootstrap asked of a grid), or one lambda.
Settings run_settings(const Settings& s, bool covariate, std::optional<double> lnlambda) {
  Settings run = s;
  run.categorical = covariate && s.categorical;
  run.lnlambda = lnlambda;
  if (!lnlambda) run.bootstrap = std::min(s.bootstrap, 1);
  return run;
}

// The cases as the engine's points: checked, sorted and pooled; `cases` (when asked for) receives them
// before pooling.
std::variant<Points, Error> points_of(const Data& data, std::optional<Points>* kept,
                                      const std::atomic<bool>* stop) {
  const std::size_t cases = data.x.size();
  const bool covariate = !data.covariate.empty();
  if (data.y.size() != cases || (!data.n.empty() && data.n.size() != cases) ||
      (covariate && data.covariate.size() != cases))
    return error_of(ErrorCode::data, "x, y, n and the covariate must hold one value per case");
  if (cases > static_cast<std::size_t>(INT_MAX)) return error_of(ErrorCode::data, "too many cases");
  Points points;
  points.cases = static_cast<int>(cases);
  points.x = data.x;
  points.y = data.y;
  points.covariate = covariate ? data.covariate : std::vector<double>(cases, 0.0);
  points.counts.assign(cases, 1);
  for (std::size_t i = 0; i < cases; ++i) {
    const std::string which = "case " + std::to_string(i + 1) + ": ";
    if (!std::isfinite(data.x[i]) || !std::isfinite(data.y[i]) ||
        (covariate && !std::isfinite(data.covariate[i])))
      return error_of(ErrorCode::data, which + "a value is not a finite number");
    if (!data.n.empty()) {
      const double n = data.n[i];
      if (!(n >= 1 && n <= INT_MAX && n == std::floor(n)))
        return error_of(ErrorCode::data, which + "n must be a whole number from 1 to 2147483647");
      points.counts[i] = static_cast<int>(n);
    }
  }
  if (cases == 0) return error_of(ErrorCode::no_case, "there is no case");
  if (kept) *kept = points;
  organizedata(points, covariate, stop);
  return points;
}

// One run of the engine on prepared data: what it computed and what its results call attention to.
struct Run {
  Analysis analysis;
  RunDiagnostics diagnostics;
};

std::variant<Run, Error> run_once(const RunData& data, const Settings& settings, int workers,
                                  const RunControl& control) {
  Run run;
  run.analysis = analyse_run(data, settings, {.classic = settings.classic}, workers, control);
  if (run.analysis.fault) return error_of(*run.analysis.fault);
  run.diagnostics = diagnose(run.analysis, settings, data);
  return run;
}

void add_grid(Results& results, const Run& run, const Settings& settings, bool covariate) {
  const Analysis& a = run.analysis;
  for (std::size_t k = 0; k < a.rows.size(); ++k) {
    const AnalysisRow& row = a.rows[k];
    const bool classic = row.classic && !(a.classic_stop && k >= a.classic_stop->row);
    const auto of_classic = [&](double FitResult::*member) { return classic ? (*row.classic).*member : NAN; };
    GridRow g{.lnlambda = row.lnlambda,
              .classic_edf = of_classic(&FitResult::trace),
              .classic_gcv = of_classic(&FitResult::gcv),
              .classic_ocv = covariate ? NAN : of_classic(&FitResult::ocv),
              .classic_iterations = classic ? row.classic->iterations : 0};
    const bool ok = row.converged && row.converged->ok;
    g.converged_ok = ok;
    const auto value = [&](double ConvergedFit::*member) { return ok ? (*row.converged).*member : NAN; };
    g.edf = value(&ConvergedFit::edf);
    g.gcv = value(&ConvergedFit::gcv);
    g.ocv = covariate ? NAN : value(&ConvergedFit::ocv);
    g.ubre = settings.model == Model::normal ? NAN : value(&ConvergedFit::ubre);
    g.reml = value(&ConvergedFit::reml);
    g.ml = value(&ConvergedFit::ml);
    g.deviance = value(&ConvergedFit::deviance);
    g.largest_difference = ok && classic ? row.difference : NAN;
    results.grid.push_back(g);
  }
  for (const auto& [score, refined] : run.analysis.refined) {
    results.minima.push_back(
        {score, refined.lnlambda, refined.score, refined.edf, std::string(limit_name(refined.limit))});
  }
  if (const auto& r = run.diagnostics.recommended)
    results.recommended = Recommended{r->criterion, r->refined.lnlambda, r->refined.edf,
                                      std::string(limit_name(r->refined.limit)), r->text};
}

Estimate estimate(double value, std::span<const SelectionGradients> replicates,
                  double SelectionGradients::*member, bool applies = true) {
  if (!applies) return {NAN, NAN, NAN, NAN, NAN};
  if (replicates.empty()) return {value, NAN, NAN, NAN, NAN};
  std::vector<double> values;
  values.reserve(replicates.size());
  for (const SelectionGradients& g : replicates) values.push_back(g.*member);
  const ReplicateSummary s = summarize_replicates(values);
  return {value, s.se, s.p, s.lower, s.upper};
}

Gradients gradients_of(const SelectionGradients& g, const std::optional<SelectionGradients>& classic,
                       std::span<const SelectionGradients> replicates, bool linear) {
  using S = SelectionGradients;
  Gradients out{.mean_fitness = g.mean_fitness,
                .trait_mean = g.trait_mean,
                .trait_sd = g.trait_sd,
                .linear_limit = linear};
  // at the linear limit gamma reflects the link alone: no test of it
  const auto untested = [&](Estimate e) {
    if (linear) e.p = NAN;
    return e;
  };
  out.beta = estimate(g.beta, replicates, &S::beta);
  out.gamma = untested(estimate(g.gamma, replicates, &S::gamma));
  out.beta_standardized = estimate(g.beta_standardized, replicates, &S::beta_standardized);
  out.gamma_standardized = untested(estimate(g.gamma_standardized, replicates, &S::gamma_standardized));
  out.beta_mean_standardized =
      estimate(g.beta_mean_standardized, replicates, &S::beta_mean_standardized, g.trait_positive);
  out.gamma_mean_standardized = untested(
      estimate(g.gamma_mean_standardized, replicates, &S::gamma_mean_standardized, g.trait_positive));
  out.lande_arnold_beta = estimate(g.lande_arnold_beta, replicates, &S::lande_arnold_beta);
  out.lande_arnold_gamma = estimate(g.lande_arnold_gamma, replicates, &S::lande_arnold_gamma);
  out.classic_beta = classic ? classic->beta : NAN;
  out.classic_gamma = classic ? classic->gamma : NAN;
  // the peak's spread over the replicates whose own curve has one
  std::vector<SelectionGradients> peaked;
  for (const SelectionGradients& r : replicates)
    if (r.peak_inside) peaked.push_back(r);
  out.peak.replicates = static_cast<int>(peaked.size());
  if (g.peak_inside) {
    out.peak.inside = true;
    out.peak.location = {estimate(g.peak_x, peaked, &S::peak_x)};
    out.peak.height = estimate(g.peak_height, peaked, &S::peak_height);
    if (peaked.size() < 2) out.peak.location[0].se = out.peak.height.se = NAN;
  }
  return out;
}

// The level effects of a categorical covariate, relative to its smallest level, from the coefficients
// laid out as the engine met the levels (the first met carrying none).
void add_level_effects(Fit& fit, const Design& design, const std::vector<double>& beta) {
  const auto count = static_cast<std::size_t>(design.columns);
  std::vector<std::pair<double, double>> effects;  // level, effect relative to the first met
  for (std::size_t j = 0; j < count; ++j) effects.emplace_back(design.levels[j], j == 0 ? 0.0 : beta[j]);
  std::sort(effects.begin(), effects.end());
  for (const auto& [level, effect] : effects) {
    fit.levels.push_back(level);
    fit.level_effects.push_back(effect - effects.front().second);
  }
}

Fit fit_of(const Run& run, const RunData& data, int replicates, BootstrapType type) {
  const Analysis& a = run.analysis;
  const Points& p = data.points;
  const BootstrapOutcome* boot = a.bootstrap ? &*a.bootstrap : nullptr;
  Fit fit{.lnlambda = boot && boot->centre_lnlambda ? *boot->centre_lnlambda : a.rows.front().lnlambda};
  const bool ok = a.converged && a.converged->ok;
  fit.converged_ok = ok;
  fit.edf = ok ? a.converged->edf : NAN;
  fit.dispersion = a.dispersion.value_or(NAN);
  const FitResult* classic = a.fit && !a.classic_stop ? &*a.fit : nullptr;
  const bool band = boot && !boot->converged_lower.empty();
  for (int i = 0; i < p.n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    fit.points.push_back({.x = p.x[k],
                          .covariate = data.covariate ? p.covariate[k] : 0.0,
                          .n = static_cast<double>(p.counts[k]),
                          .y = p.y[k],
                          .fitted = ok ? a.converged->mean[k] : NAN,
                          .eta = ok ? a.converged->eta[k] : NAN,
                          .classic_fitted = classic ? classic->mean[k] : NAN,
                          .lower = band ? boot->converged_lower[k] : NAN,
                          .upper = band ? boot->converged_upper[k] : NAN});
  }
  if (data.covariate && (ok || classic)) {
    const auto columns = static_cast<std::size_t>(data.covariate->design.columns);
    const std::vector<double>& beta = ok ? a.converged->beta : classic->beta;
    fit.coefficients.assign(beta.begin(), beta.begin() + static_cast<std::ptrdiff_t>(columns));
    if (data.covariate->design.categorical) add_level_effects(fit, data.covariate->design, beta);
  }
  const double unpenalized = 2.0 + (data.covariate ? data.covariate->design.columns - 1 : 0);
  const bool linear = ok && std::abs(a.converged->edf - unpenalized) <= 1e-3;
  if (a.gradients)
    fit.gradients = gradients_of(
        *a.gradients, classic ? a.classic_gradients : std::nullopt,
        boot ? std::span<const SelectionGradients>(boot->gradients) : std::span<const SelectionGradients>(),
        linear);
  if (boot)
    fit.bootstrap = Bootstrap{.replicates = replicates,
                              .type = type,
                              .degenerate = boot->degenerate,
                              .not_converged = boot->not_converged,
                              .failed_refits = boot->failed_refits,
                              .converged_degenerate = boot->converged_degenerate,
                              .converged_failed = boot->converged_failed,
                              .lnlambda = boot->lnlambda};
  return fit;
}

void add_warnings(Results& results, const Run& run) {
  for (const Warning& w : run.diagnostics.warnings) results.warnings.push_back(warning_line(w));
}

}  // namespace

struct RunRecord {
  std::shared_ptr<const RunData> data;
  Settings settings;
  Analysis analysis;
};

std::string report_text(const Results& results) {
  if (!results.record) return {};
  const RunRecord& r = *results.record;
  ReportDocument report;
  report.settings(r.settings, {.covariate = r.data->covariate.has_value()}, "", {});
  report.data(r.data->points, r.data->observations, r.data->with());
  report_rows(report, r.analysis, r.settings, *r.data);
  report.classic_stopped(r.analysis);  // the classic comparison ends; the analysis goes on
  report_fit(report, *r.data, r.analysis);
  return report.document();
}

std::string error_text(ErrorCode code) {
  switch (code) {
    case ErrorCode::settings:
      return "a setting is out of its range";
    case ErrorCode::data:
      return "the data columns differ in length, or hold a value that is not a finite number";
    case ErrorCode::no_case:
      return "there is no case";
    case ErrorCode::no_variance:
      return "Y has no variance";
    case ErrorCode::negative_y:
      return "Y is negative";
    case ErrorCode::y_above_one:
      return "Y is greater than 1 in the binomial model";
    case ErrorCode::few_distinct_x:
      return "fewer than 4 distinct X values";
    case ErrorCode::counts_overflow:
      return "the counts of one point are too large";
    case ErrorCode::too_many_levels:
      return "the categorical covariate has too many levels";
    case ErrorCode::design:
      return "the covariate's design cannot be solved";
    case ErrorCode::weight_vanished:
      return "a fit ran away: a weight of the model vanished";
    case ErrorCode::degenerate_draws:
      return "too many bootstrap draws had no variance";
    case ErrorCode::fit_not_finite:
      return "the fit's values are not numbers, so they cannot be bootstrapped";
    case ErrorCode::stopped:
      return "the analysis was stopped";
    case ErrorCode::parameter_file:
      return "the parameter file cannot be read or holds a refused setting";
    case ErrorCode::data_file:
      return "the data file cannot be read";
    case ErrorCode::options_file:
      return "trov.options cannot be read or holds a fault";
    case ErrorCode::output_file:
      return "a results file cannot be written";
    case ErrorCode::interrupted:
      return "the engine was interrupted";
    case ErrorCode::engine_failure:
      return "the engine failed";
    case ErrorCode::traits_file:
      return "the table of several traits cannot be read, or its analysis is refused";
  }
  return "unknown error";
}

std::variant<int, Error> worker_threads(double workers) {
  if (!(workers >= 0) || !std::isfinite(workers) || workers != std::floor(workers)) {
    char given[32] = "NaN";
    if (!std::isnan(workers)) *std::to_chars(given, given + sizeof given - 1, workers).ptr = '\0';
    return error_of(ErrorCode::settings,
                    std::string("workers must be a whole number from 0 (0: every processor "
                                "this process may use), not ") +
                        given);
  }
  const int processors = available_processors();
  return workers == 0 || workers > processors ? processors : static_cast<int>(workers);
}

Outcome analyse(const Data& data, const Settings& settings, int workers_asked, const Control& control) {
  const bool covariate = !data.covariate.empty();
  if (const auto faults = settings_faults(settings, covariate ? 1 : 0); !faults.empty())
    return error_of(ErrorCode::settings, settings_words(faults.front(), settings.grid()));
  const std::variant<int, Error> threads = worker_threads(workers_asked);
  if (const auto* error = std::get_if<Error>(&threads)) return *error;
  const int workers = std::get<int>(threads);
  const RunControl run_control{control.progress, control.stop};
  try {
    std::optional<Points> cases;  // what a bootstrap of the cases draws
    const bool draws_cases = settings.bootstrap > 1 && settings.bootstrap_type == BootstrapType::cases;
    std::variant<Points, Error> points = points_of(data, draws_cases ? &cases : nullptr, control.stop);
    if (auto* error = std::get_if<Error>(&points)) return *error;
    const Settings first = run_settings(settings, covariate, settings.lnlambda);
    const auto shared = std::make_shared<const RunData>(
        prepare_run(std::move(std::get<Points>(points)), first, covariate, std::move(cases)));
    const RunData& prepared = *shared;
    Results results{.cases = static_cast<int>(data.x.size()),
                    .points = prepared.points.n,
                    .observations = static_cast<double>(prepared.observations)};
    // what the document of the analysis is written from: its last run
    const auto recorded = [&](Run& run, const Settings& run_settings) {
      results.record =
          std::make_shared<const RunRecord>(RunRecord{shared, run_settings, std::move(run.analysis)});
      return std::move(results);
    };
    std::variant<Run, Error> run = run_once(prepared, first, workers, run_control);
    if (auto* error = std::get_if<Error>(&run)) return *error;
    Settings last_settings = first;
    if (first.grid()) {
      add_grid(results, std::get<Run>(run), first, covariate);
      add_warnings(results, std::get<Run>(run));
      if (!settings.fit_recommended) return recorded(std::get<Run>(run), first);
      if (!results.recommended) {
        results.warnings.push_back(warning_line({.kind = WarningKind::no_recommended}));
        return recorded(std::get<Run>(run), first);
      }
      last_settings = run_settings(settings, covariate, results.recommended->lnlambda);
      run = run_once(prepared, last_settings, workers, run_control);
      if (auto* error = std::get_if<Error>(&run)) return *error;
    }
    Run& last = std::get<Run>(run);
    results.fit = fit_of(last, prepared, settings.bootstrap, settings.bootstrap_type);
    add_warnings(results, last);
    return recorded(last, last_settings);
  } catch (const RunFault& fault) {
    return error_of(fault);
  } catch (const RunStopped&) {
    return error_of(ErrorCode::stopped, error_text(ErrorCode::stopped));
  } catch (const std::exception& e) {
    return error_of(ErrorCode::engine_failure, std::string("the engine failed: ") + e.what());
  }
}

std::vector<Outcome> analyse_many(const std::vector<std::vector<double>>& traits,
                                  const std::vector<double>& y, const std::vector<double>& n,
                                  const std::vector<double>& covariate, const Settings& settings,
                                  int workers_asked, const Control& control) {
  const std::variant<int, Error> threads = worker_threads(workers_asked);
  if (const auto* error = std::get_if<Error>(&threads)) return std::vector<Outcome>(traits.size(), *error);
  const int workers = std::get<int>(threads);
  std::vector<Outcome> outcomes(traits.size(),
                                Outcome(Error{ErrorCode::stopped, error_text(ErrorCode::stopped)}));
  std::mutex progress_mutex;
  int done = 0;
  // each trait on one worker, the traits handed out in order; a trait's results depend on nothing else.
  // Each worker holds a trait's fitters at once: no more workers than fit their workspaces together.
  constexpr std::size_t kWorkspacePerCase = 600;  // bytes: a categorical covariate's fits, the most
  const int within = workers_within_budget(kWorkspacePerCase * y.size(), workers);
  WorkerPool pool(std::min<int>(within, static_cast<int>(std::max<std::size_t>(traits.size(), 1))));
  pool.run(static_cast<int>(traits.size()), [&](int, int t) {
    if (control.stop && control.stop->load()) return;
    const auto k = static_cast<std::size_t>(t);
    outcomes[k] = analyse({traits[k], y, n, covariate}, settings, 1, {.progress = {}, .stop = control.stop});
    if (control.progress) {
      std::lock_guard lock(progress_mutex);
      control.progress(++done, static_cast<int>(traits.size()));
    }
  });
  return outcomes;
}

}  // namespace trov::api
