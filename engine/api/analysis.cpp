#include "engine/api/analysis.h"

#include <algorithm>
#include <cmath>

#include "engine/core/grouping.h"
#include "engine/covariate/design.h"
#include "engine/driver/data.h"
#include "engine/driver/report.h"

namespace trov {

namespace {

// ln(lambda) of the likelihood criteria's minima to this: their edf to 1e-4 of themselves
constexpr double kLikelihoodTolerance = 1e-4;

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
  return finite(fit.sy) && finite(fit.syc);
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

ConvergedFit numbers_of(const ConvergedFit& fit) {
  ConvergedFit numbers = fit;  // the per-point vectors are not kept
  numbers.mean = numbers.eta = numbers.beta = numbers.effect = {};
  return numbers;
}

// The fitters of each worker, allocated once for the run.
std::vector<WorkerFit> worker_fits(const RunData& data, const Settings& settings, const RunOptions& what,
                                   int workers) {
  std::vector<WorkerFit> fits;
  fits.reserve(static_cast<std::size_t>(workers));
  for (int w = 0; w < workers; ++w) {
    fits.push_back({Fitter(data.points, data.with(), settings.fit_options()), std::nullopt, std::nullopt});
    if (what.report && what.converged) {
      fits.back().converged.emplace(data.points, data.with(), settings.model);
      fits.back().converged->compute_likelihood(what.likelihood);
    }
    if (what.report && !settings.grid()) fits.back().selection.emplace(data.points, data.with());
  }
  return fits;
}

// The smallest of each converged score, searched around the grid's smallest row (and beyond its end
// where that row is the first or the last). The searches run in two fixed sequences, each on a worker
// of its own; a search starts from the classic fit at its first lambda and goes on from fit to fit, so
// they find the same whatever the number of workers.
void refine_minima(Analysis& analysis, const RunData& data, const Settings& settings, bool likelihood,
                   WorkerPool& pool, std::span<WorkerFit> workers) {
  const std::vector<Score> scores = searched_scores(settings.model, data.covariate.has_value(), likelihood);
  std::vector<double> lnlambda, edf;
  std::vector<std::vector<double>> score_rows(std::size(kScores));
  for (const AnalysisRow& row : analysis.rows) {
    if (!row.converged) continue;
    lnlambda.push_back(row.lnlambda);
    edf.push_back(row.converged->edf);
    for (Score s : kScores)
      score_rows[static_cast<std::size_t>(s)].push_back(row.converged->ok ? (*row.converged).*member_of(s)
                                                                          : NAN);
  }
  if (lnlambda.size() < 2) return;
  std::vector<std::optional<RefinedMinimum>> refined(scores.size());
  const SearchSetting setting = search_setting(data.points, data.with());
  // two jobs, each a fixed sequence of searches that share their fits: the cross-validation scores,
  // then the likelihood scores
  const auto is_likelihood = [](Score s) { return s == Score::reml || s == Score::ml; };
  pool.run(2, [&](int worker, int job) {
    WorkerFit& w = workers[static_cast<std::size_t>(worker)];
    ProbeLog log;
    for (std::size_t k = 0; k < scores.size(); ++k) {
      if (is_likelihood(scores[k]) != (job == 1)) continue;
      SearchSetting tuned = setting;
      if (is_likelihood(scores[k])) tuned.tolerance = kLikelihoodTolerance;
      refined[k] = search_minimum(*w.converged, w.fitter,
                                  {lnlambda, score_rows[static_cast<std::size_t>(scores[k])], edf}, scores[k],
                                  tuned, &log);
    }
  });
  for (std::size_t k = 0; k < scores.size(); ++k)
    if (refined[k]) analysis.refined.emplace_back(scores[k], *refined[k]);
}

void analyse_grid(Analysis& analysis, const RunData& data, const Settings& settings, const RunOptions& what,
                  WorkerPool& pool, std::span<WorkerFit> workers, const RunControl& control) {
  const Points& points = data.points;
  auto lnlambda_of = [&](int k) { return k * settings.step + settings.lmin; };
  std::vector<AnalysisRow> rows(static_cast<std::size_t>(settings.nstep));
  pool.run(settings.nstep, [&](int worker, int k) {
    if (control.stopped()) return;
    WorkerFit& w = workers[static_cast<std::size_t>(worker)];
    const double lambda = std::exp(lnlambda_of(k));
    const FitResult& fit = w.fitter.fit(lambda, points.y);
    AnalysisRow& row = rows[static_cast<std::size_t>(k)];
    row.lnlambda = lnlambda_of(k);
    row.classic = numbers_of(fit);
    if (!w.converged || fit.status != FitStatus::ok) return;
    const ConvergedFit& converged = w.converged->fit(lambda, points.y, fit);
    row.converged = numbers_of(converged);
    if (converged.ok) row.difference = largest_difference(fit, converged);
  });
  if (control.stopped()) throw RunStopped{};
  // in row order, as one fit after the other: a failed fit ends the run after the rows before it
  for (AnalysisRow& row : rows) {
    if (auto fault = fit_fault(row.classic.status, row.classic.failed_column)) {
      analysis.fault = std::move(fault);
      return;
    }
    analysis.rows.push_back(std::move(row));
  }
  if (what.report && what.converged) refine_minima(analysis, data, settings, what.likelihood, pool, workers);
}

void analyse_fixed(Analysis& analysis, const RunData& data, const Settings& settings, const Options& options,
                   WorkerPool& pool, std::span<WorkerFit> workers, const RunControl& control) {
  const Points& points = data.points;
  WorkerFit& first = workers.front();
  analysis.one_lambda = true;
  const double lnlambda = settings.lmin, lambda = std::exp(lnlambda);
  analysis.fit = first.fitter.fit(lambda, points.y);
  const FitResult& fit = analysis.fit;
  if ((analysis.fault = fit_fault(fit.status, fit.failed_column))) return;
  AnalysisRow row{.lnlambda = lnlambda, .classic = numbers_of(fit)};
  // the gradients to report are the converged fit's; the classic fit's stay for comparison
  if (first.converged) {
    analysis.converged = first.converged->fit(lambda, points.y, fit);
    row.converged = numbers_of(*analysis.converged);
    if (analysis.converged->ok) row.difference = largest_difference(fit, *analysis.converged);
  }
  analysis.rows.push_back(std::move(row));
  if (first.selection) {
    analysis.classic_gradients = first.selection->gradients(points.y, fit, settings.model);
    if (analysis.converged && analysis.converged->ok)
      analysis.gradients = first.selection->gradients(points.y, analysis.converged->eta,
                                                      analysis.converged->effect, settings.model);
  }
  if (!settings.bootstrap()) return;
  // draws around values that are not numbers are no replicates
  if (!finite_fit(fit)) {
    analysis.fault = RunFault{.fault = Fault::fit_not_finite};
    return;
  }
  ReplicateRefits refits;
  if (analysis.converged && analysis.converged->ok)
    refits = {.observed = &*analysis.converged,
              .reselect = options.bootstrap_lambda == BootstrapLambda::reselected,
              .criterion = score_of(options.criterion),
              .search = search_setting(points, data.with())};
  try {
    analysis.bootstrap = run_bootstrap(settings, points, lambda, fit, refits, pool, workers, control);
  } catch (RunFault& fault) {
    analysis.fault = std::move(fault);
  }
}

}  // namespace

RunData prepare_run(Points points, const Settings& settings) {
  check_points(points, settings.model);
  RunData data{.points = std::move(points)};
  for (int i = 0; i < data.points.n; ++i) data.observations += data.points.irep[i];
  if (settings.covariates > 0) {
    Design design = build_design(data.points, settings.categorical);
    if (design.columns > kMaxcol)
      throw RunFault{.fault = Fault::too_many_levels, .levels = {design.levels.begin(), design.levels.end()}};
    data.covariate.emplace(std::move(design), compressx(data.points.x, data.points.irep, data.points.n));
  }
  return data;
}

std::vector<Score> searched_scores(Model model, bool covariate, bool likelihood) {
  std::vector<Score> scores;
  for (Score score : kScores)
    if (!(score == Score::ocv && covariate) && !(score == Score::ubre && model == Model::normal) &&
        (likelihood || (score != Score::reml && score != Score::ml)))
      scores.push_back(score);
  return scores;
}

Analysis analyse_run(const RunData& data, const Settings& settings, const Options& options,
                     const RunOptions& what, int workers, const RunControl& control) {
  WorkerPool pool(settings.grid() || settings.bootstrap() ? std::max(workers, 1) : 1);
  std::vector<WorkerFit> fits = worker_fits(data, settings, what, pool.size());
  Analysis analysis;
  if (settings.grid())
    analyse_grid(analysis, data, settings, what, pool, fits, control);
  else
    analyse_fixed(analysis, data, settings, options, pool, fits, control);
  return analysis;
}

}  // namespace trov
