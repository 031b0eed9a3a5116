#include "engine/report/reporting.h"

namespace trov {

void report_rows(ReportDocument& report, const Analysis& analysis, const Settings& settings,
                 const RunData& data) {
  GridDiagnostics diagnostics = grid_diagnostics(analysis, settings, data);
  for (std::size_t k = 0; k < analysis.rows.size(); ++k) {
    const AnalysisRow& row = analysis.rows[k];
    report.grid_row(row.lnlambda, reported_classic(analysis, k), row.converged ? &*row.converged : nullptr,
                    diagnostics.classic_inaccurate[k]);
  }
  report.grid_summary(std::move(diagnostics));
}

void report_fit(ReportDocument& report, const RunData& data, const Analysis& analysis) {
  if (!analysis.one_lambda) return;
  const ConvergedFit* converged = analysis.converged ? &*analysis.converged : nullptr;
  const bool linear = at_linear_limit(analysis, data);
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
