#include "engine/io/reporting.h"

#include <cmath>

namespace trov {

void report_rows(RunReport& report, const Analysis& analysis) {
  const std::size_t stopped = analysis.classic_stop ? analysis.classic_stop->row : analysis.rows.size();
  for (std::size_t k = 0; k < analysis.rows.size(); ++k) {
    const AnalysisRow& row = analysis.rows[k];
    const FitResult* classic = row.classic && k < stopped ? &*row.classic : nullptr;
    report.grid_row(row.lnlambda, classic, row.converged ? &*row.converged : nullptr, row.difference);
  }
  for (const auto& [score, refined] : analysis.refined) report.refined_minimum(score, refined);
}

void report_fit(RunReport& report, const RunData& data, const Analysis& analysis) {
  if (!analysis.one_lambda) return;
  const ConvergedFit* converged = analysis.converged ? &*analysis.converged : nullptr;
  // a straight line on the link scale: edf within 1e-3 of the unpenalized columns
  const double unpenalized = 2.0 + (data.covariate ? data.covariate->design.columns - 1 : 0);
  const bool linear = converged && converged->ok && std::abs(converged->edf - unpenalized) <= 1e-3;
  const std::optional<SelectionGradients>& classic =
      analysis.classic_stop ? std::optional<SelectionGradients>() : analysis.classic_gradients;
  report.dispersion(analysis.dispersion);
  if (!analysis.bootstrap) {
    report.selection(analysis.gradients, classic, {}, linear);
    report.fit(analysis.rows.front().lnlambda, data.points, data.with(),
               analysis.fit && !analysis.classic_stop ? &*analysis.fit : nullptr, converged);
    return;
  }
  report.bootstrap(data.points, *analysis.bootstrap);
  report.bootstrap_coefficients(data.with(),
                                analysis.fit && !analysis.classic_stop ? &*analysis.fit : nullptr, converged);
  // without a converged fit to the data, no spread of converged gradients either
  report.selection(analysis.gradients, classic,
                   analysis.gradients ? std::span<const SelectionGradients>(analysis.bootstrap->gradients)
                                      : std::span<const SelectionGradients>(),
                   linear);
}

}  // namespace trov
