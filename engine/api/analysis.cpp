#include "engine/api/analysis.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>

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

bool is_likelihood(Score s) { return s == Score::reml || s == Score::ml; }

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

// A worker's fitters, allocated once for the run and on that worker: the first touch of their storage,
// page by page, is much of a run's start.
WorkerFit worker_fit(const RunData& data, const Settings& settings, const RunOptions& what) {
  WorkerFit fit{Fitter(data.points, data.with(), settings.fit_options()), std::nullopt, std::nullopt};
  if (what.report && what.converged) {
    fit.converged.emplace(data.points, data.with(), settings.model);
    fit.converged->compute_likelihood(what.likelihood);
  }
  if (what.report && !settings.grid()) fit.selection.emplace(data.points, data.with());
  return fit;
}

std::vector<WorkerFit> worker_fits(const RunData& data, const Settings& settings, const RunOptions& what,
                                   WorkerPool& pool) {
  std::vector<std::optional<WorkerFit>> made(static_cast<std::size_t>(pool.size()));
  pool.run(pool.size(),
           [&](int, int w) { made[static_cast<std::size_t>(w)].emplace(worker_fit(data, settings, what)); });
  std::vector<WorkerFit> fits;
  fits.reserve(made.size());
  for (std::optional<WorkerFit>& fit : made) fits.push_back(std::move(*fit));
  return fits;
}

// The grid's rows as the workers finish them, for searches that start before the last is in.
class RowBoard {
 public:
  explicit RowBoard(const std::vector<AnalysisRow>& rows) : rows_(rows), finished_(rows.size()) {}

  // Row k is done: computed, failed (its fit did not end ok) or left (the run was stopped).
  void finish(std::size_t k, bool failed) {
    {
      std::lock_guard lock(mutex_);
      finished_[k] = true;
      ++count_;
      failed_ = failed_ || failed;
    }
    all_in_.notify_all();
  }

  bool complete() {
    std::lock_guard lock(mutex_);
    return count_ == rows_.size();
  }

  // The converged scores of the rows finished so far, or of them all.
  struct Grid {
    std::vector<double> lnlambda, edf;
    std::vector<std::vector<double>> scores = std::vector<std::vector<double>>(std::size(kScores));
    bool complete = false;
    bool failed = false;  // some row failed, or the run was stopped: there is nothing to search
    ScoredRows of(Score s) const { return {lnlambda, scores[static_cast<std::size_t>(s)], edf}; }
  };
  Grid grid(bool all) {
    std::unique_lock lock(mutex_);
    if (all) all_in_.wait(lock, [&] { return count_ == rows_.size(); });
    Grid g;
    g.complete = count_ == rows_.size();
    g.failed = failed_;
    for (std::size_t k = 0; k < rows_.size(); ++k) {
      const AnalysisRow& row = rows_[k];
      if (!finished_[k] || !row.converged) continue;
      g.lnlambda.push_back(row.lnlambda);
      g.edf.push_back(row.converged->edf);
      for (Score s : kScores)
        g.scores[static_cast<std::size_t>(s)].push_back(row.converged->ok ? (*row.converged).*member_of(s)
                                                                          : NAN);
    }
    return g;
  }

 private:
  const std::vector<AnalysisRow>& rows_;
  std::vector<bool> finished_;
  std::size_t count_ = 0;
  bool failed_ = false;
  std::mutex mutex_;
  std::condition_variable all_in_;
};

// A search as it was started: its plan and how much of the log it saw.
struct StartedSearch {
  Score score;
  SearchSetting setting;
  SearchPlan plan;
  std::size_t logged;
};

// Whether every search would have started as it did from these rows (a NaN score next to the smallest
// compares unequal: that search begins again, which costs only time).
bool plans_hold(const RowBoard::Grid& grid, const std::vector<StartedSearch>& started, const ProbeLog& log) {
  return std::all_of(started.begin(), started.end(), [&](const StartedSearch& s) {
    return plan_search(grid.of(s.score), s.score, s.setting, std::span(log).first(s.logged)) == s.plan;
  });
}

// The smallest of each converged score, searched around the grid's smallest row (and beyond its end
// where that row is the first or the last). The searches run in two fixed sequences that share their
// fits, each on a worker of its own: the cross-validation scores (job 0), then the likelihood scores
// (job 1). A search starts from the classic fit at its first lambda and goes on from fit to fit, so
// they find the same whatever the number of workers. A sequence may begin while the last rows are
// still being fitted, from the rows that are in: once all are, it checks that each of its searches
// would have started alike from them, and begins again where one would not.
void run_sequence(int job, RowBoard& board, const std::vector<Score>& scores, const SearchSetting& setting,
                  WorkerFit& w, std::vector<std::optional<RefinedMinimum>>& refined) {
  RowBoard::Grid grid = board.grid(false);
  while (true) {
    if (grid.failed) return;
    if (grid.lnlambda.size() < 2) {
      if (grid.complete) return;
      grid = board.grid(true);
      continue;
    }
    ProbeLog log;
    std::vector<StartedSearch> started;
    bool hold = true;
    for (std::size_t k = 0; k < scores.size() && hold; ++k) {
      if (is_likelihood(scores[k]) != (job == 1)) continue;
      if (!grid.complete && board.complete()) {  // the last rows are in: check the searches so far
        grid = board.grid(false);
        hold = !grid.failed && plans_hold(grid, started, log);
        if (!hold) break;
      }
      SearchSetting tuned = setting;
      if (is_likelihood(scores[k])) tuned.tolerance = kLikelihoodTolerance;
      const StartedSearch& search = started.emplace_back(StartedSearch{
          scores[k], tuned, plan_search(grid.of(scores[k]), scores[k], tuned, log), log.size()});
      refined[k] = run_search(search.plan, *w.converged, w.fitter, scores[k], tuned, &log);
    }
    if (hold && !grid.complete) {
      grid = board.grid(true);
      hold = !grid.failed && plans_hold(grid, started, log);
    }
    if (hold || grid.failed) return;
    grid = board.grid(true);
  }
}

// The sequence of searches `job` on a worker's fitters. The cross-validation scores' sequence reads no
// likelihood scores, not even from its log: its fits leave them out.
void search_sequence(int job, RowBoard& board, const std::vector<Score>& scores, const SearchSetting& setting,
                     WorkerFit& w, std::vector<std::optional<RefinedMinimum>>& refined) {
  ConvergedFitter& converged = *w.converged;
  const bool likelihood = converged.computes_likelihood();
  converged.compute_likelihood(likelihood && job == 1);
  run_sequence(job, board, scores, setting, w, refined);
  converged.compute_likelihood(likelihood);
}

void analyse_grid(Analysis& analysis, const RunData& data, const Settings& settings, const RunOptions& what,
                  WorkerPool& pool, const RunControl& control) {
  const Points& points = data.points;
  auto lnlambda_of = [&](int k) { return k * settings.step + settings.lmin; };
  std::vector<AnalysisRow> rows(static_cast<std::size_t>(settings.nstep));
  RowBoard board(rows);
  const bool refine = what.report && what.converged;
  const std::vector<Score> scores =
      searched_scores(settings.model, data.covariate.has_value(), what.likelihood);
  std::vector<std::optional<RefinedMinimum>> refined(scores.size());
  const SearchSetting setting = search_setting(points, data.with());
  // each worker makes its fitters at its first item: the first to be ready starts the first row
  std::vector<std::optional<WorkerFit>> workers(static_cast<std::size_t>(pool.size()));
  // the rows, then the two sequences of searches; the pool hands the items out in this order
  pool.run(settings.nstep + (refine ? 2 : 0), [&](int worker, int item) {
    std::optional<WorkerFit>& made = workers[static_cast<std::size_t>(worker)];
    WorkerFit& w = made ? *made : made.emplace(worker_fit(data, settings, what));
    if (item >= settings.nstep) {
      search_sequence(item - settings.nstep, board, scores, setting, w, refined);
      return;
    }
    const auto k = static_cast<std::size_t>(item);
    if (control.stopped()) {
      board.finish(k, true);
      return;
    }
    const double lambda = std::exp(lnlambda_of(item));
    const FitResult& fit = w.fitter.fit(lambda, points.y);
    AnalysisRow& row = rows[k];
    row.lnlambda = lnlambda_of(item);
    row.classic = numbers_of(fit);
    if (w.converged && fit.status == FitStatus::ok) {
      const ConvergedFit& converged = w.converged->fit(lambda, points.y);
      row.converged = numbers_of(converged);
      if (converged.ok) row.difference = largest_difference(fit, converged);
    }
    board.finish(k, fit.status != FitStatus::ok);
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
  for (std::size_t k = 0; k < scores.size(); ++k)
    if (refined[k]) analysis.refined.emplace_back(scores[k], *refined[k]);
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
    analysis.converged = first.converged->fit(lambda, points.y);
    row.converged = numbers_of(*analysis.converged);
    if (analysis.converged->ok) row.difference = largest_difference(fit, *analysis.converged);
  }
  analysis.rows.push_back(std::move(row));
  if (first.selection) {
    analysis.classic_gradients = first.selection->gradients(points.y, fit, settings.model);
    if (analysis.converged && analysis.converged->ok)
      analysis.gradients = first.selection->gradients(points.y, *analysis.converged, settings.model);
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

// Whether the run's fits are worth more than one worker: a grid or a bootstrap on so few points that
// all its fits together take in fewer than 100 is done before a second thread would have started.
bool shares_work(const RunData& data, const Settings& settings) {
  constexpr double kLeastSharedPoints = 100;  // points times fits
  const double fits = settings.bootstrap() ? settings.iboot : settings.grid() ? settings.nstep : 1;
  return fits > 1 && fits * data.points.n >= kLeastSharedPoints;
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
        (likelihood || !is_likelihood(score)))
      scores.push_back(score);
  return scores;
}

Analysis analyse_run(const RunData& data, const Settings& settings, const Options& options,
                     const RunOptions& what, int workers, const RunControl& control) {
  WorkerPool pool(shares_work(data, settings) ? std::max(workers, 1) : 1, what.pinned);
  Analysis analysis;
  if (settings.grid()) {
    analyse_grid(analysis, data, settings, what, pool, control);
  } else {
    std::vector<WorkerFit> fits = worker_fits(data, settings, what, pool);
    analyse_fixed(analysis, data, settings, options, pool, fits, control);
  }
  return analysis;
}

}  // namespace trov
