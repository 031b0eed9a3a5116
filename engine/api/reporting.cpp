#include "engine/api/reporting.h"

namespace trov {

void report_rows(RunReport& report, const Analysis& analysis) {
  for (const AnalysisRow& row : analysis.rows)
    report.grid_row(row.lnlambda, row.classic, row.converged ? &*row.converged : nullptr, row.difference);
  for (const auto& [score, refined] : analysis.refined) report.refined_minimum(score, refined);
}

void report_fit(RunReport& report, const RunData& data, const Analysis& analysis) {
  if (!analysis.one_lambda) return;
  if (!analysis.bootstrap) {
    report.selection(analysis.gradients, analysis.classic_gradients, {});
    report.fit(analysis.rows.front().lnlambda, data.points, data.with(), analysis.fit,
               analysis.converged ? &*analysis.converged : nullptr);
    return;
  }
  report.bootstrap(data.points, *analysis.bootstrap);
  // without a converged fit to the data, no spread of converged gradients either
  report.selection(analysis.gradients, analysis.classic_gradients,
                   analysis.gradients ? std::span<const SelectionGradients>(analysis.bootstrap->gradients)
                                      : std::span<const SelectionGradients>());
}

}  // namespace trov
