#include "engine/driver/run.h"

#include <cmath>
#include <cstdint>
#include <optional>

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
#include "engine/fit/selection.h"

namespace trov {

namespace {

// The covariate's design (intercept and value, or the level design) and the grouping by distinct X.
Covariate covariate_of(const Points& points, bool categorical) {
  Design design = build_design(points, categorical);
  if (design.columns > kMaxcol) stop_run(Fault::too_many_levels, {.levels = design.levels});
  return {std::move(design), compressx(points.x, points.irep, points.n)};
}

}  // namespace

void run_engine(std::istream& parameter_stream, const RunOptions& options) {
  std::optional<RunReport> report;
  if (options.report) report.emplace("trov.json");
  ListReader parameters(parameter_stream, "the parameter file");
  const Settings settings = read_settings(parameters);
  const std::string data_file = read_data_file_name(parameters);
  if (report) report->settings(settings, data_file);
  const Points points = datin(data_file, settings);
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
  if (report) report->results_opened();
  out.header(settings, design, ntot, points.n);
  Fitter fitter(points, with, settings.fit_options());
  std::optional<ConvergedFitter> converged;  // the penalized maximum beside each fit, for trov.json
  if (report) converged.emplace(points, with, settings.model);
  const FitResult* fit = nullptr;
  const ConvergedFit* converged_fit = nullptr;
  double lnlambda = 0, lambda = 0;
  // Every fit starts afresh from the data: none depends on the lambda before it.
  for (int k = 1; k <= settings.nstep; ++k) {
    lnlambda = (k - 1) * settings.step + settings.lmin;
    lambda = std::exp(lnlambda);
    fit = &fitter.fit(lambda, points.y);
    check_fit(*fit);
    out.grid_line(settings, design, lnlambda, *fit);
    if (report) {
      converged_fit = &converged->fit(lambda, points.y, *fit);
      report->grid_row(lnlambda, *fit, *converged_fit);
    }
  }
  if (report && settings.grid()) {
    // The minimum of each converged score, refined between the grid rows around it.
    for (double ConvergedFit::*score : {&ConvergedFit::gcv, &ConvergedFit::ubre}) {
      if (score == &ConvergedFit::ubre && settings.model == Model::normal) continue;
      if (const auto bracket = report->converged_bracket(score))
        report->refined_minimum(
            score, refine_minimum(*converged, points.y, bracket->first, bracket->second, score, 0.001));
    }
  }
  if (!settings.grid()) {
    std::optional<SelectionWork> selection;
    SelectionGradients gradients;
    if (report) {
      selection.emplace(points, covariate ? &covariate->groups : nullptr);
      gradients = selection->gradients(*fit, settings.model);
    }
    if (!settings.bootstrap()) {
      out.fitted_table(settings, points, design, *fit);
      if (report) report->fit(lnlambda, points, with, *fit, *converged_fit);
      if (report) report->selection(gradients, {});
    } else {
      WorkerPool pool(available_processors());
      std::vector<WorkerFit> workers;  // a fitter and a workspace per thread, allocated once for the run
      workers.reserve(static_cast<std::size_t>(pool.size()));
      for (int w = 0; w < pool.size(); ++w) {
        workers.push_back({Fitter(points, with, settings.fit_options()), std::nullopt});
        if (selection) workers.back().selection.emplace(*selection);
      }
      const BootstrapOutcome outcome = run_bootstrap(settings, points, lambda, *fit, pool, workers);
      out.bootstrap_section(settings, with != nullptr, outcome.degenerate, outcome.columns(points));
      if (report) report->bootstrap(points, outcome);
      if (report) report->selection(gradients, outcome.gradients);
    }
  }
  out.close();
  if (report) report->finish();
}

}  // namespace trov
