#pragma once

#include "engine/analysis/analysis.h"
#include "engine/report/report_document.h"

namespace trov {

// What an analysis tells its report (trov.json), in the order the report takes it: the rows and the
// refined minima, then at one lambda the fit with its gradients, or the bootstrap with theirs.
void report_rows(ReportDocument& report, const Analysis& analysis, const Settings& settings,
                 const RunData& data);
void report_fit(ReportDocument& report, const RunData& data, const Analysis& analysis);

}  // namespace trov
