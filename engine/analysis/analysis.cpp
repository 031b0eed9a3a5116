#include "engine/analysis/analysis.h"

#include <algorithm>
#include <cmath>

#include "engine/analysis/grid_search.h"
#include "engine/analysis/pooling.h"
#include "engine/core/grouping.h"
#include "engine/covariate/design.h"

namespace trov {

namespace {

// The limits of the fits that a search can reach: a line with the covariate's columns, and the points.
SearchSetting search_setting(const Points& points, const Covariate* covariate) {
  return {.y = points.y,
          .linear_edf = 2.0 + (covariate ? covariate->design.columns - 1 : 0),
          .interpolating_edf = static_cast<double>(points.n)};
}

// Whether the fitted values the bootstrap draws around and reports are numbers, in the single precision
// the draws take them in.
bool finite_fit(const FitResult& fit) {
  const auto finite = [](const std::vector<double>& values) {
    return std::all_of(values.begin(), values.end(),
                       [](double v) { return std::isfinite(static_cast<float>(v)); });
  };
  return finite(fit.mean) && finite(fit.corrected_mean);
}

// Whether a converged fit that failed did so for want of numbers (X too close to 0 to be fitted, say),
// not because no maximum exists (separation) or the covariate's design is singular.
bool finite_fit(const ConvergedFit& fit) {
  if (fit.ok || fit.end == NewtonEnd::ran_away || fit.end == NewtonEnd::singular) return true;
  return std::isfinite(fit.edf) &&
         std::all_of(fit.mean.begin(), fit.mean.end(), [](double v) { return std::isfinite(v); });
}

// The numbers of a fit, without its per-point values: what a grid row keeps.
FitResult numbers_of(const FitResult& fit) {
  FitResult numbers;
  numbers.status = fit.status;
  numbers.failed_column = fit.failed_column;
  numbers.trace = fit.trace;
  numbers.gcv = fit.gcv;
  numbers.ocv = fit.ocv;
  numbers.iterations = fit.iterations;
  return numbers;
}

// Field by field: a copy of the whole fit would fill per-point vectors only to empty them (keeping
// their storage, fresh pages every row, for the whole run).
ConvergedFit numbers_of(const ConvergedFit& fit) {
  return {.ok = fit.ok,
          .iterations = fit.iterations,
          .edf = fit.edf,
          .gcv = fit.gcv,
          .ocv = fit.ocv,
          .ubre = fit.ubre,
          .deviance = fit.deviance,
          .reml = fit.reml,
          .ml = fit.ml,
          .mean = {},
          .eta = {},
          .beta = {},
          .end = fit.end,
          .effect = {},
          .spline = {},
          .jumps = {}};
}

// The most that the workers' workspaces may take together: past it, fewer workers (at least one) share
// the run, so that memory does not grow with their number.
constexpr std::size_t kWorkspaceBudget = std::size_t{512} << 20;

// A worker's fitters, allocated once for the run and on that worker: the first touch of their storage,
// page by page, is much of a run's start. The converged fits look at the run's stop before every step.
WorkerFit worker_fit(const RunData& data, const Settings& settings, const RunOptions& what,
                     const RunControl& control) {
  WorkerFit fit;
  if (what.classic) fit.fitter.emplace(data.points, data.with(), settings.fit_options());
  if (what.report && what.converged) {
    fit.converged.emplace(data.points, data.with(), settings.model, control.stop);
    fit.converged->compute_likelihood(what.likelihood);
  }
  if (what.report && !settings.grid()) fit.selection.emplace(data.points, data.with());
  return fit;
}

// The storage of a worker's fitters, in bytes (the classic fitter's, linear in the points too, counted
// as the converged one's third).
std::size_t workspace_bytes(const WorkerFit& fit) {
  const std::size_t converged = fit.converged ? fit.converged->workspace_bytes() : 0;
  const std::size_t selection = fit.selection ? fit.selection->workspace_bytes() : 0;
  return converged + selection + (fit.fitter ? std::max<std::size_t>(converged / 3, 1) : 0);
}

std::vector<WorkerFit> worker_fits(WorkerFit first, const RunData& data, const Settings& settings,
                                   const RunOptions& what, WorkerPool& pool, const RunControl& control) {
  std::vector<std::optional<WorkerFit>> made(static_cast<std::size_t>(pool.size()));
  made[0].emplace(std::move(first));
  pool.run(pool.size() - 1, [&](int, int w) {
    made[static_cast<std::size_t>(w + 1)].emplace(worker_fit(data, settings, what, control));
  });
  std::vector<WorkerFit> fits;
  fits.reserve(made.size());
  for (std::optional<WorkerFit>& fit : made) fits.push_back(std::move(*fit));
  return fits;
}

// The covariate's design checked as the classic fits check it, for a run without them: the normal
// equations of the points' design weighted by their counts.
void check_design(const RunData& data) {
  if (!data.covariate) return;
  const Points& p = data.points;
  RegressWork work(p.n);
  std::vector<double> dy(static_cast<std::size_t>(p.n)), beta(kMaxcol), fit(dy.size());
  for (int i = 0; i < p.n; ++i) dy[i] = 1 / std::sqrt(static_cast<double>(p.counts[i]));
  const int ifail = regress(data.covariate->design, p.n, p.y, dy, beta, fit, work);
  if (ifail == 0) return;
  const FitStatus status =
      ifail > 0 ? FitStatus::design_not_positive_definite : FitStatus::design_ill_conditioned;
  throw *fit_fault(status, std::abs(ifail));
}

// The first row whose classic fit failed, with its fault.
std::optional<ClassicStop> classic_stop_of(const std::vector<AnalysisRow>& rows) {
  for (std::size_t k = 0; k < rows.size(); ++k)
    if (rows[k].classic)
      if (auto fault = fit_fault(rows[k].classic->status, rows[k].classic->failed_column))
        return ClassicStop{std::move(*fault), k};
  return std::nullopt;
}

// Whether the classic fits stopped where the converged ones go on: a weight of theirs vanished (a fault
// of the covariate's design stops both).
bool classic_only(const ClassicStop& stop) { return stop.fault.fault == Fault::weight_vanished; }

// Row `row` of the grid on a worker's fitters: the numbers of the classic fit and the converged one at
// its lambda, with the largest difference of their means.
void fit_row(AnalysisRow& row, double lnlambda, WorkerFit& w, const Points& points) {
  const double lambda = std::exp(lnlambda);
  row.lnlambda = lnlambda;
  const FitResult* classic = w.fitter ? &w.fitter->fit(lambda, points.y) : nullptr;
  if (classic) row.classic = numbers_of(*classic);
  if (w.converged) {
    const ConvergedFit& converged = w.converged->fit(lambda, points.y);
    row.converged = numbers_of(converged);
    if (converged.ok && classic && classic->status == FitStatus::ok)
      row.difference = largest_difference(*classic, converged);
  }
}

// The grid's rows with the minima found, or, where a classic fit failed with a fault that stops the
// converged fits too, the rows before it and the fault.
void keep_grid(Analysis& analysis, std::vector<AnalysisRow> rows, const GridSearches& searches) {
  analysis.classic_stop = classic_stop_of(rows);
  if (analysis.classic_stop && !classic_only(*analysis.classic_stop)) {  // the rows before it, and the fault
    rows.resize(analysis.classic_stop->row);
    analysis.fault = std::move(analysis.classic_stop->fault);
    analysis.classic_stop.reset();
    analysis.rows = std::move(rows);
    return;
  }
  analysis.rows = std::move(rows);
  analysis.refined = searches.minima();
}

void analyse_grid(Analysis& analysis, WorkerFit first, const RunData& data, const Settings& settings,
                  const RunOptions& what, WorkerPool& pool, const RunControl& control) {
  const double step = settings.step();
  auto lnlambda_of = [&](int k) { return k * step + settings.lnlambda_min; };
  std::vector<AnalysisRow> rows(static_cast<std::size_t>(settings.grid_points));
  GridSearches searches(rows, searched_scores(settings.model, data.covariate.has_value(), what.likelihood),
                        search_setting(data.points, data.with()));
  const bool refine = what.report && what.converged;
  // each other worker makes its fitters at its first item: the first to be ready starts the first row
  std::vector<std::optional<WorkerFit>> workers(static_cast<std::size_t>(pool.size()));
  workers[0].emplace(std::move(first));
  // the rows, then the sequences of searches; the pool hands the items out in this order
  pool.run(settings.grid_points + (refine ? GridSearches::kSequences : 0), [&](int worker, int item) {
    std::optional<WorkerFit>& made = workers[static_cast<std::size_t>(worker)];
    WorkerFit& w = made ? *made : made.emplace(worker_fit(data, settings, what, control));
    if (item >= settings.grid_points) {
      searches.run_sequence(item - settings.grid_points, *w.converged);
      return;
    }
    const auto k = static_cast<std::size_t>(item);
    const bool stopped = control.stopped();
    if (!stopped) fit_row(rows[k], lnlambda_of(item), w, data.points);
    searches.finish_row(k, stopped);
  });
  if (control.stopped()) throw RunStopped{};
  keep_grid(analysis, std::move(rows), searches);
}

// The bootstrap at the fixed lambda: with lambda re-chosen per replicate, the observed data's fit (and
// its gradients) is the one at the lambda they choose the same way, the band's centre.
void bootstrap_fixed(Analysis& analysis, const RunData& data, const Settings& settings, WorkerPool& pool,
                     std::span<WorkerFit> workers, const RunControl& control) {
  const Points& points = data.points;
  WorkerFit& first = workers.front();
  const double lambda = std::exp(*settings.lnlambda);
  const bool converged = analysis.converged && analysis.converged->ok;
  ReplicateRefits refits;
  std::optional<double> centre;
  if (converged) {
    refits = {.observed = &*analysis.converged,
              .reselect = settings.bootstrap_lambda == BootstrapLambda::reselected,
              .criterion = settings.criterion,
              .search = search_setting(points, data.with()),
              .type = settings.bootstrap_type,
              .cases = data.cases ? &*data.cases : nullptr,
              .covariate = data.with(),
              .categorical = settings.categorical};
    if (refits.type == BootstrapType::cases && !refits.cases) refits.type = BootstrapType::parametric;
    if (refits.reselect) {
      const ConvergedFit observed = *analysis.converged;
      centre = reselect_lambda(*first.converged, *settings.lnlambda, points.y, observed, refits);
      const ConvergedFit& at =
          first.converged->fit(std::exp(centre.value_or(*settings.lnlambda)), points.y, observed);
      if (centre && at.ok) {
        analysis.converged = at;
        analysis.gradients = first.selection->gradients(points.y, *analysis.converged, settings.model);
        analysis.dispersion = pearson_dispersion(points, *analysis.converged, settings.model);
      } else {
        centre.reset();
        analysis.converged = observed;
      }
      refits.observed = &*analysis.converged;
    }
  }
  const FitResult* classic = analysis.fit ? &*analysis.fit : nullptr;
  if (!classic && !converged) return;  // nothing to draw replicates around
  analysis.bootstrap = run_bootstrap(settings, points, lambda, classic, refits, pool, workers, control);
  analysis.bootstrap->centre_lnlambda = centre;
  const ConvergedFit* at_run = analysis.rows.front().converged ? &*analysis.rows.front().converged : nullptr;
  analysis.bootstrap->centre_moved =
      centre && at_run && at_run->ok && std::abs(analysis.converged->edf - at_run->edf) > 1e-3 * at_run->edf;
}

void analyse_fixed(Analysis& analysis, const RunData& data, const Settings& settings, WorkerPool& pool,
                   std::span<WorkerFit> workers, const RunControl& control) {
  const Points& points = data.points;
  WorkerFit& first = workers.front();
  analysis.one_lambda = true;
  const double lnlambda = *settings.lnlambda, lambda = std::exp(lnlambda);
  AnalysisRow row{.lnlambda = lnlambda};
  if (first.fitter) {
    analysis.fit = first.fitter->fit(lambda, points.y);
    row.classic = numbers_of(*analysis.fit);
    if (auto fault = fit_fault(analysis.fit->status, analysis.fit->failed_column)) {
      const ClassicStop stop{std::move(*fault), 0};
      if (!classic_only(stop)) {
        analysis.fault = stop.fault;
        return;
      }
      analysis.classic_stop = stop;
    }
  }
  const bool classic_ok = analysis.fit && !analysis.classic_stop;
  // the gradients to report are the converged fit's; the classic fit's stay for comparison
  if (first.converged) {
    analysis.converged = first.converged->fit(lambda, points.y);
    row.converged = numbers_of(*analysis.converged);
    if (analysis.converged->ok && classic_ok)
      row.difference = largest_difference(*analysis.fit, *analysis.converged);
  }
  analysis.rows.push_back(std::move(row));
  // values that are not numbers are no fit, with a bootstrap or without one
  const bool finite = analysis.fit ? classic_ok && finite_fit(*analysis.fit)
                                   : !analysis.converged || finite_fit(*analysis.converged);
  if (!finite && (analysis.fit ? classic_ok : true)) {
    analysis.fault =
        RunFault{.fault = settings.bootstrapped() ? Fault::fit_not_finite : Fault::fit_values_not_finite};
    return;
  }
  const bool converged = analysis.converged && analysis.converged->ok;
  if (first.selection) {
    if (classic_ok)
      analysis.classic_gradients = first.selection->gradients(points.y, *analysis.fit, settings.model);
    if (converged)
      analysis.gradients = first.selection->gradients(points.y, *analysis.converged, settings.model);
  }
  if (converged) analysis.dispersion = pearson_dispersion(points, *analysis.converged, settings.model);
  if (!settings.bootstrapped() || analysis.classic_stop) return;
  try {
    bootstrap_fixed(analysis, data, settings, pool, workers, control);
  } catch (RunFault& fault) {
    analysis.fault = std::move(fault);
  }
}

// Whether the run's fits are worth more than one worker: a grid or a bootstrap on so few points that
// all its fits together take in fewer than 100 is done before a second thread would have started.
bool shares_work(const RunData& data, const Settings& settings) {
  constexpr double kLeastSharedPoints = 100;  // points times fits
  const double fits = settings.bootstrapped() ? settings.bootstrap
                      : settings.grid()       ? settings.grid_points
                                              : 1;
  return fits > 1 && fits * data.points.n >= kLeastSharedPoints;
}

}  // namespace

RunData prepare_run(Points points, const Settings& settings, bool covariate, std::optional<Points> cases) {
  check_points(points, settings.model);
  RunData data{.points = std::move(points), .cases = std::move(cases)};
  for (int i = 0; i < data.points.n; ++i) data.observations += data.points.counts[i];
  if (covariate) {
    Design design = build_design(data.points, settings.categorical);
    if (design.columns > kMaxcol)
      throw RunFault{.fault = Fault::too_many_levels, .levels = {design.levels.begin(), design.levels.end()}};
    data.covariate.emplace(
        Covariate{std::move(design), compressx(data.points.x, data.points.counts, data.points.n)});
  }
  return data;
}

std::vector<Criterion> searched_scores(Model model, bool covariate, bool likelihood) {
  std::vector<Criterion> scores;
  for (Criterion score : kScores)
    if (!(score == Criterion::ocv && covariate) && !(score == Criterion::ubre && model == Model::normal) &&
        (likelihood || !is_likelihood(score)))
      scores.push_back(score);
  return scores;
}

std::optional<double> pearson_dispersion(const Points& points, const ConvergedFit& fit, Model model) {
  if (model == Model::normal || !fit.ok) return std::nullopt;
  double cases = 0, chi2 = 0;
  for (int i = 0; i < points.n; ++i) {
    const double mu = fit.mean[i], variance = model == Model::binomial ? mu * (1 - mu) : mu;
    const double r = points.y[i] - mu;
    cases += points.counts[i];
    chi2 += points.counts[i] * (r * r) / variance;
  }
  // binomial: counts of several trials a case, two or more a point on average (0/1 cases tell nothing)
  if (model == Model::binomial && (cases <= points.cases || cases < 2.0 * points.n)) return std::nullopt;
  const double residual_df = points.n - fit.edf;
  if (!(residual_df > 0) || !std::isfinite(chi2)) return std::nullopt;
  return chi2 / residual_df;
}

int workers_within_budget(std::size_t workspace, int workers) {
  const std::size_t most = std::max<std::size_t>(1, kWorkspaceBudget / std::max<std::size_t>(workspace, 1));
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), most));
}

Analysis analyse_run(const RunData& data, const Settings& settings, const RunOptions& what, int workers,
                     const RunControl& control) {
  if (!what.classic) check_design(data);
  // the calling thread's fitters first: their size bounds how many workers the run takes
  WorkerFit first = worker_fit(data, settings, what, control);
  const int shared = shares_work(data, settings) ? workers_within_budget(workspace_bytes(first), workers) : 1;
  WorkerPool pool(shared, what.pinned);
  Analysis analysis;
  if (settings.grid()) {
    analyse_grid(analysis, std::move(first), data, settings, what, pool, control);
  } else {
    std::vector<WorkerFit> fits = worker_fits(std::move(first), data, settings, what, pool, control);
    analyse_fixed(analysis, data, settings, pool, fits, control);
  }
  return analysis;
}

double largest_difference(const FitResult& classic, const ConvergedFit& converged) {
  double largest = 0;
  for (std::size_t i = 0; i < converged.mean.size(); ++i)
    largest = std::max(largest, std::abs(classic.mean[i] - converged.mean[i]));
  return largest;
}

}  // namespace trov
