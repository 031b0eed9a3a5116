#include "engine/driver/run.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <thread>

#include "common/list_writer.h"
#include "engine/core/grouping.h"
#include "engine/covariate/design.h"
#include "engine/driver/bootstrap.h"
#include "engine/driver/data.h"
#include "engine/driver/messages.h"
#include "engine/driver/report.h"
#include "engine/driver/results.h"
#include "engine/driver/settings.h"
#include "engine/driver/workers.h"
#include "engine/fit/converged.h"
#include "engine/fit/fitter.h"
#include "engine/fit/search.h"
#include "engine/fit/selection.h"

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

// The covariate's design (intercept and value, or the level design) and the grouping by distinct X.
Covariate covariate_of(const Points& points, bool categorical) {
  Design design = build_design(points, categorical);
  if (design.columns > kMaxcol) stop_run(Fault::too_many_levels, {.levels = design.levels});
  return {std::move(design), compressx(points.x, points.irep, points.n)};
}

// A trov.json that could not be written ends the run like a trov.out that could not: status 2.
[[noreturn]] void report_failed(const RunReport& report) {
  report.report_write_failure();
  std::exit(2);
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

// One grid row, fitted on a worker and written in row order afterwards.
struct GridRow {
  FitResult classic;
  ConvergedFit converged;
  double difference = 0;
  bool has_converged = false;
};

// The smallest of each converged score, searched around the grid's smallest row (and beyond its end
// where that row is the first or the last), each search on a worker of its own. A search starts from
// the classic fit at its first lambda and goes on from fit to fit, so it finds the same whatever the
// number of workers.
void refine_minima(RunReport& report, const Points& points, const Covariate* covariate, WorkerPool& pool,
                   std::span<WorkerFit> workers) {
  std::vector<Score> scores = report.converged_scores();
  // without the likelihood scores their searches have nothing to search
  std::erase_if(scores, [&](Score s) {
    return !workers.front().converged->computes_likelihood() && (s == Score::reml || s == Score::ml);
  });
  std::vector<std::optional<RefinedMinimum>> refined(scores.size());
  const SearchSetting setting = search_setting(points, covariate);
  pool.run(static_cast<int>(scores.size()), [&](int worker, int k) {
    const Score score = scores[static_cast<std::size_t>(k)];
    WorkerFit& w = workers[static_cast<std::size_t>(worker)];
    SearchSetting tuned = setting;
    if (score == Score::reml || score == Score::ml) tuned.tolerance = kLikelihoodTolerance;
    refined[static_cast<std::size_t>(k)] =
        search_minimum(*w.converged, w.fitter, report.converged_rows(score), score, tuned);
  });
  for (std::size_t k = 0; k < scores.size(); ++k)
    if (refined[k]) report.refined_minimum(scores[k], *refined[k]);
}

}  // namespace

void run_engine(std::istream& parameter_stream, const RunOptions& options) {
  std::optional<RunReport> report;
  if (options.report) report.emplace("trov.json");
  ListReader parameters(parameter_stream, "the parameter file");
  const Settings settings = read_settings(parameters);
  const std::string data_file = read_data_file_name(parameters);
  const Options run_options = read_options_file(settings);
  if (report) report->settings(settings, data_file, run_options);
  // a data file that is one of the run's own files is refused (by datin) before any report replaces it
  if (run_file_named(data_file))
    report.reset();
  else if (report)
    report->claim();
  DataLines lines;
  const Points points = datin(data_file, settings, &lines);
  if (report) report->data_lines(lines);
  check_points(points, settings.model);
  std::int64_t ntot = 0;  // observations: the sum of irep
  for (int i = 0; i < points.n; ++i) ntot += points.irep[i];
  std::optional<Covariate> covariate;
  if (settings.covariates > 0) covariate = covariate_of(points, settings.categorical);
  const Covariate* with = covariate ? &*covariate : nullptr;
  const Design* design = covariate ? &covariate->design : nullptr;
  if (report) report->data(points, ntot, with);
  say(results_file_message());

  ResultsFile out("trov.out");
  out.header(settings, design, ntot, points.n);
  // The fits of a grid, the bootstrap's refits and the converged fits are independent of each other:
  // they run on the workers, each with its own fitters and workspaces, allocated once for the run.
  WorkerPool pool(settings.grid() || settings.bootstrap() ? available_processors() : 1);
  std::vector<WorkerFit> workers;
  workers.reserve(static_cast<std::size_t>(pool.size()));
  for (int w = 0; w < pool.size(); ++w) {
    workers.push_back({Fitter(points, with, settings.fit_options()), std::nullopt, std::nullopt});
    if (report && options.converged) {
      workers.back().converged.emplace(points, with, settings.model);
      workers.back().converged->compute_likelihood(options.likelihood);
    }
    if (report && !settings.grid()) workers.back().selection.emplace(points, with);
  }
  auto lnlambda_of = [&](int k) { return k * settings.step + settings.lmin; };

  if (settings.grid()) {
    std::vector<GridRow> rows(static_cast<std::size_t>(settings.nstep));
    pool.run(settings.nstep, [&](int worker, int k) {
      WorkerFit& w = workers[static_cast<std::size_t>(worker)];
      const double lambda = std::exp(lnlambda_of(k));
      const FitResult& fit = w.fitter.fit(lambda, points.y);
      GridRow& row = rows[static_cast<std::size_t>(k)];
      row.classic = numbers_of(fit);
      if (!w.converged || fit.status != FitStatus::ok) return;
      row.has_converged = true;
      const ConvergedFit& converged = w.converged->fit(lambda, points.y, fit);
      row.converged = numbers_of(converged);
      if (converged.ok) row.difference = largest_difference(fit, converged);
    });
    // in row order, as one fit after the other: a failed fit ends the run after the rows before it
    for (int k = 0; k < settings.nstep; ++k) {
      const GridRow& row = rows[static_cast<std::size_t>(k)];
      check_fit(row.classic);
      out.grid_line(settings, design, lnlambda_of(k), row.classic);
      if (report)
        report->grid_row(lnlambda_of(k), row.classic, row.has_converged ? &row.converged : nullptr,
                         row.difference);
    }
    if (report && options.converged) refine_minima(*report, points, with, pool, workers);
    out.close();
    if (report && !report->finish()) report_failed(*report);
    return;
  }

  // One fixed lambda: its fit, then the fitted values or the bootstrap.
  WorkerFit& first = workers.front();
  const double lnlambda = settings.lmin, lambda = std::exp(lnlambda);
  const FitResult& fit = first.fitter.fit(lambda, points.y);
  check_fit(fit);
  out.grid_line(settings, design, lnlambda, fit);
  // the gradients to report are the converged fit's; the classic fit's stay for comparison
  SelectionGradients classic_gradients;
  ConvergedFit observed_converged;
  std::optional<SelectionGradients> gradients;
  const ConvergedFit* converged = nullptr;
  if (report) {
    if (first.converged) converged = &first.converged->fit(lambda, points.y, fit);
    report->grid_row(lnlambda, fit, converged,
                     converged && converged->ok ? largest_difference(fit, *converged) : 0);
    classic_gradients = first.selection->gradients(points.y, fit, settings.model);
    if (converged && converged->ok)
      gradients = first.selection->gradients(points.y, converged->eta, converged->effect, settings.model);
  }
  if (!settings.bootstrap()) {
    if (report) report->selection(gradients, classic_gradients, {});
    bool reported = true;
    std::exception_ptr reporting_failed;
    {
      // trov.json is made and written beside trov.out's table: both come from the same fit
      std::optional<std::jthread> reporting;
      if (report)
        reporting.emplace([&] {
          try {
            report->fit(lnlambda, points, with, fit, converged);
            reported = report->prepare();
          } catch (...) {  // passed on to the run's thread, which main catches
            reporting_failed = std::current_exception();
          }
        });
      out.fitted_table(settings, points, design, fit);
    }
    if (reporting_failed) std::rethrow_exception(reporting_failed);
    out.close();  // after trov.json is done, so a failed write stops no thread at work
    if (report && !(reported && report->finish())) report_failed(*report);
    return;
  }
  // draws around values that are not numbers are no replicates
  if (!finite_fit(fit)) stop_run(Fault::fit_not_finite);
  ReplicateRefits refits;
  if (converged && converged->ok) {
    // the observed fit is the first worker's; its fitter goes on to refit replicates
    observed_converged = *converged;
    refits = {.observed = &observed_converged,
              .reselect = run_options.bootstrap_lambda == BootstrapLambda::reselected,
              .criterion = score_of(run_options.criterion),
              .search = search_setting(points, with)};
  }
  const BootstrapOutcome outcome = run_bootstrap(settings, points, lambda, fit, refits, pool, workers);
  out.bootstrap_section(settings, with != nullptr, outcome.degenerate, outcome.columns(points));
  out.close();
  if (report) {
    report->bootstrap(points, outcome);
    // without a converged fit to the data, no spread of converged gradients either
    report->selection(gradients, classic_gradients,
                      gradients ? std::span<const SelectionGradients>(outcome.gradients)
                                : std::span<const SelectionGradients>());
    if (!report->finish()) report_failed(*report);
  }
}

}  // namespace trov
